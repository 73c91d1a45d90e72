// The token, key and file chooser on emulated tokens: what it lists, with which icons, what it
// gives back, and what it refuses.
#include "chooser_fixture.h"
#include "held_command.h"
#include "morvil_state.h"
#include "qt_test_main.h"

#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>

#include <algorithm>

using namespace morvil::test;
using morvil::MorvilDialogIcons;

Q_DECLARE_METATYPE(const MorvilDialogIcons*)

namespace {

const QString kTokenHint
    = QString::fromUtf8("Wybierz jeden z <b>tokenów</b> dostępnych na liście i naciśnij przycisk <b>Akceptuj</b>.");
const QString kKeyHint
    = QString::fromUtf8("Wybierz jeden z <b>kluczy</b> dostępnych na liście i naciśnij przycisk <b>Akceptuj</b>.");
const QString kFileHint
    = QString::fromUtf8("Wybierz jeden z <b>plików</b> dostępnych na liście i naciśnij przycisk <b>Akceptuj</b>.");

BoxAnswer hint(const char* title, const QString& text)
{
    return { QMessageBox::Ok, QMessageBox::Information, QString::fromUtf8(title), text, {} };
}

Qt::CursorShape overrideShape()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor != nullptr ? cursor->shape() : Qt::ArrowCursor;
}

QStringList childTexts(const QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i) {
        texts << item->child(i)->text(0);
    }
    return texts;
}

} // namespace

class MorvilDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { tokenBus(); }

    void cleanup() { endChooserTest(mBoxes, mTokens); }

    void bothIconSetsAreCompiledIn_data()
    {
        QTest::addColumn<const MorvilDialogIcons*>("icons");
        QTest::newRow("morvil_ca") << &MorvilDialogIcons::ca();
        QTest::newRow("morvil_vpn") << &MorvilDialogIcons::vpn();
    }
    void bothIconSetsAreCompiledIn()
    {
        QFETCH(const MorvilDialogIcons*, icons);
        QStringList names { icons->window,        icons->usableToken, icons->lockedToken,
                            icons->unusableToken, icons->key,         icons->otherFile };
        for (const QString& kind : icons->fileKinds) {
            names << kind;
        }
        for (const QString& name : names) {
            QVERIFY2(!QIcon(name).pixmap(32).isNull(), qPrintable(name));
        }
        // One picture per kind: the user tells them apart.
        QCOMPARE(QSet<QString>(names.begin() + 4, names.end()).size(), 9);
    }

    void noTokenListsNothingAndRefuses()
    {
        MorvilDialog dialog(MorvilDialog::kTokenDialog, MorvilDialogIcons::ca());
        QTreeWidget* list = chooserList(dialog);
        QCOMPARE(list->topLevelItemCount(), 0);
        dialog.show();
        mBoxes.expect(hint("Wybór tokenu", kTokenHint));
        chooseAndAccept(dialog, nullptr);
        QVERIFY(dialog.isVisible());
        QCOMPARE(mBoxes.seen().value(0).textFormat, Qt::RichText);
    }

    // Tokens in list order, each with the icon of its state; only a usable one has a name.
    void tokensShowTheirStateIcons_data() { bothIconSetsAreCompiledIn_data(); }
    void tokensShowTheirStateIcons()
    {
        QFETCH(const MorvilDialogIcons*, icons);
        mTokens.plug(configuredToken("ALFA"));
        mTokens.plug(blankToken());
        emu::TokenConfig locked = configuredToken("ZAMEK");
        locked.state |= emu::kLocked;
        mTokens.plug(locked);
        emu::TokenConfig initialised = blankToken();
        initialised.state = emu::kInitialised;
        mTokens.plug(initialised);
        QVERIFY(generateKey("ALFA", "klucz", 0).isEmpty());

        MorvilDialog dialog(MorvilDialog::kTokenDialog, *icons);
        QTreeWidget* list = chooserList(dialog);
        QCOMPARE(list->topLevelItemCount(), 4);
        // The library's list order; each token named, and pictured, by its state.
        QList<int> states;
        for (int i = 0; i < 4; ++i) {
            const int state = MorvilState(DEV_ZR40NN_find_by_index(i));
            states << state;
            QTreeWidgetItem* item = list->topLevelItem(i);
            QCOMPARE(item->type(), int(MorvilDialog::kTokenItem));
            QCOMPARE(item->text(0), state == kMorvilConfigured ? QStringLiteral("ALFA") : QString());
            QVERIFY2(showsIcon(item, icons->token(state)), qPrintable(icons->token(state)));
            QCOMPARE(item->childCount(), 0); // mode 0 lists no keys
        }
        std::sort(states.begin(), states.end());
        QCOMPARE(states, QList<int>({ kMorvilBlank, kMorvilInitialised, kMorvilConfigured, kMorvilLocked }));
        QCOMPARE(icons->token(kMorvilBlank), icons->unusableToken);
        QCOMPARE(icons->token(kMorvilInitialised), icons->unusableToken);
        QCOMPARE(icons->token(kMorvilLocked), icons->lockedToken);
        QVERIFY(!showsIcon(chooserItem(dialog, QStringLiteral("ALFA")), icons->lockedToken));
        QVERIFY(!dialog.windowIcon().isNull());
        QCOMPARE(dialog.windowIcon().pixmap(32).toImage(), QIcon(icons->window).pixmap(32).toImage());
        QVERIFY(!list->isSortingEnabled());
        QCOMPARE(list->currentItem(), nullptr);
    }

    void tokenModeGivesTheName()
    {
        mTokens.plug(configuredToken("ALFA"));
        emu::TokenConfig locked = configuredToken("ZAMEK");
        locked.state |= emu::kLocked;
        mTokens.plug(locked);
        {
            MorvilDialog dialog(MorvilDialog::kTokenDialog, MorvilDialogIcons::vpn());
            dialog.show();
            chooseAndAccept(dialog, chooserItem(dialog, QStringLiteral("ALFA")));
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.text(), QStringLiteral("ALFA"));
        }
        {
            // A locked token has no name to give.
            MorvilDialog dialog(MorvilDialog::kTokenDialog, MorvilDialogIcons::vpn());
            dialog.show();
            chooseAndAccept(dialog, chooserItem(dialog, QStringLiteral("#")));
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.text(), QString());
        }
    }

    // Keys of two usable tokens, in slot order; the token without keys has no children.
    void keyModeListsKeysAndGivesTheReference()
    {
        mTokens.plug(configuredToken("ALFA"));
        mTokens.plug(configuredToken("BETA"));
        QVERIFY(generateKey("ALFA", "drugi", 2).isEmpty());
        QVERIFY(generateKey("ALFA", QString::fromUtf8("pierwszy-ż").toUtf8(), 0).isEmpty());
        QVERIFY(writeFile("BETA", "plik.txt", kTextFile, "x").isEmpty());

        QString listed;
        ChooserHand hand([&](MorvilDialog& dialog) {
            QTreeWidgetItem* alfa = chooserItem(dialog, QStringLiteral("ALFA"));
            QTreeWidgetItem* beta = chooserItem(dialog, QStringLiteral("BETA"));
            listed = childTexts(alfa).join(QLatin1Char(',')) + QLatin1Char('|') + childTexts(beta).join(',');
            QVERIFY(showsIcon(alfa->child(0), MorvilDialogIcons::ca().key));
            QCOMPARE(alfa->child(0)->type(), int(MorvilDialog::kKeyItem));
            // A token item is not a key: the hint, and the dialog stays.
            mBoxes.expect(hint("Wybór klucza", kKeyHint));
            doubleClick(dialog, beta);
            QVERIFY(dialog.isVisible());
            doubleClick(dialog, alfa->child(1));
        });
        QCOMPARE(MorvilDialog::getKeyName(QStringLiteral("Klucz"), nullptr, MorvilDialogIcons::ca()),
                 QStringLiteral("ALFA/drugi"));
        QVERIFY(hand.acted());
        QCOMPARE(listed, QString::fromUtf8("pierwszy-ż,drugi|"));
    }

    // A key reference is split at its first "/": the keys of a token whose name holds one cannot
    // be named, so they are refused with the reason, and the chooser stays.
    void keysOfATokenNamedWithASlashAreRefused()
    {
        mTokens.plug(configuredToken("a/b"));
        QVERIFY(generateKey("a/b", "k", 0).isEmpty());
        ChooserHand hand([&](MorvilDialog& dialog) {
            QTreeWidgetItem* token = chooserList(dialog)->topLevelItem(0);
            QCOMPARE(token->text(0), QStringLiteral("a/b"));
            mBoxes.expect({ QMessageBox::Ok,
                            QMessageBox::Information,
                            QString::fromUtf8("Wybór klucza"),
                            QString::fromUtf8("Nazwa tokenu a/b zawiera znak '/', który w nazwie klucza oddziela "
                                              "nazwę tokenu od nazwy klucza. Kluczy tego tokenu nie można użyć."),
                            {} });
            chooseAndAccept(dialog, token->child(0));
            QVERIFY(dialog.isVisible());
            QCOMPARE(mBoxes.seen().value(0).textFormat, Qt::PlainText);
            chooserButton(dialog, "cancel")->click();
        });
        QCOMPARE(MorvilDialog::getKeyName(QStringLiteral("Klucz"), nullptr, MorvilDialogIcons::ca()), QString());
        QVERIFY(hand.acted());
    }

    void cancelGivesNothingAndTheNameAlone()
    {
        mTokens.plug(configuredToken("ALFA"));
        QVERIFY(writeFile("ALFA", "a.txt", kTextFile, "abc").isEmpty());
        QByteArray data("untouched");
        ChooserHand hand([](MorvilDialog& dialog) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Plik z tokenu"));
            chooserList(dialog)->setCurrentItem(chooserItem(dialog, QStringLiteral("ALFA/a.txt")));
            chooserButton(dialog, "cancel")->click();
        });
        QCOMPARE(
            MorvilDialog::getFileNameAndData(data, QStringLiteral("Plik z tokenu"), nullptr, MorvilDialogIcons::vpn()),
            QString());
        QVERIFY(hand.acted());
        QCOMPARE(data, QByteArray("untouched"));

        ChooserHand chooser(
            [](MorvilDialog& dialog) { doubleClick(dialog, chooserItem(dialog, QStringLiteral("ALFA/a.txt"))); });
        QCOMPARE(MorvilDialog::getFileName(QString(), nullptr, MorvilDialogIcons::vpn()), QStringLiteral("ALFA/a.txt"));
        QVERIFY(chooser.acted());
    }

    // The icon of each file kind; the printable bit plays no part, and kinds without a picture of
    // their own share the "other" one.
    void fileModeShowsTheKindOfEachFile_data() { bothIconSetsAreCompiledIn_data(); }
    void fileModeShowsTheKindOfEachFile()
    {
        QFETCH(const MorvilDialogIcons*, icons);
        mTokens.plug(configuredToken("ALFA"));
        const QList<int> types { 0x11, 0x20, 0x31, 0x40, 0x51, 0x60, 0x71, 0xF1, 0x81, 0x01 };
        for (int type : types) {
            const QByteArray name = "plik" + QByteArray::number(type, 16);
            QVERIFY(writeFile("ALFA", name, type, name).isEmpty());
        }
        MorvilDialog dialog(MorvilDialog::kFileDialog, *icons);
        QTreeWidgetItem* alfa = chooserItem(dialog, QStringLiteral("ALFA"));
        QCOMPARE(alfa->childCount(), types.size());
        for (int i = 0; i < types.size(); ++i) {
            const int kind = types[i] >> 4;
            const QString expected = kind >= 1 && kind <= 7 ? icons->fileKinds[kind - 1] : icons->otherFile;
            QCOMPARE(alfa->child(i)->type(), int(MorvilDialog::kFileItem));
            QCOMPARE(alfa->child(i)->text(0), QStringLiteral("plik%1").arg(types[i], 0, 16));
            QVERIFY2(showsIcon(alfa->child(i), expected), qPrintable(alfa->child(i)->text(0)));
        }
    }

    // What the library wrote comes back octet for octet, and an empty file is a file too.
    void fileModeReadsTheWholeFile()
    {
        mTokens.plug(configuredToken("ALFA"));
        mTokens.plug(configuredToken("BETA"));
        const QByteArray contents = everyOctet(DEV_ZR40NN_FILE_MAX - 5);
        QVERIFY(writeFile("BETA", "pusty", kBinaryFile, {}).isEmpty());
        QVERIFY(writeFile("BETA", QString::fromUtf8("dane ąę.bin").toUtf8(), kBinaryFile, contents).isEmpty());

        QByteArray data;
        ChooserHand hand([](MorvilDialog& dialog) {
            doubleClick(dialog, chooserItem(dialog, QString::fromUtf8("BETA/dane ąę.bin")));
        });
        QCOMPARE(MorvilDialog::getFileNameAndData(data, QString(), nullptr, MorvilDialogIcons::vpn()),
                 QString::fromUtf8("BETA/dane ąę.bin"));
        QVERIFY(hand.acted());
        QCOMPARE(data.size(), contents.size());
        QVERIFY(data == contents);

        MorvilDialog dialog(MorvilDialog::kFileDialog, MorvilDialogIcons::ca());
        dialog.show();
        chooseAndAccept(dialog, chooserItem(dialog, QStringLiteral("BETA/pusty")));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.text(), QStringLiteral("BETA/pusty"));
        QVERIFY(dialog.data().isEmpty());
        // The read left neither its file nor its session open: the same file reads again.
        DEV_ZR40NN_t* beta = DEV_ZR40NN_find_by_name("BETA");
        QCOMPARE(beta->session_is_open, 0);
        chooseAndAccept(dialog, chooserItem(dialog, QString::fromUtf8("BETA/dane ąę.bin")));
        QVERIFY(dialog.data() == contents);
        chooseAndAccept(dialog, chooserItem(dialog, QString::fromUtf8("BETA/dane ąę.bin")));
        QVERIFY(dialog.data() == contents);
        QCOMPARE(beta->session_is_open, 0);
    }

    // The chooser reads the tokens when it starts, and a chosen file, while the window waits under
    // the guard with the wait cursor: events are served (the test's turns come while the token
    // holds a command), and what is typed then goes nowhere.
    void tokenWorkTakesNoInput()
    {
        constexpr std::uint8_t kReadDevInfo = 0x02;
        constexpr std::uint8_t kReadPublicObj = 0x04;
        const int id = mTokens.plug(configuredToken("ALFA"));
        QVERIFY(writeFile("ALFA", "plik", kBinaryFile, "dane").isEmpty());
        QLineEdit edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QList<Qt::CursorShape> shown;
        std::unique_ptr<MorvilDialog> dialog;
        {
            DuringHeldCommand start(mTokens.token(id), kReadDevInfo, [&] {
                shown << overrideShape();
                QTest::keyClicks(&edit, QStringLiteral("abc"));
            });
            dialog = std::make_unique<MorvilDialog>(MorvilDialog::kFileDialog, MorvilDialogIcons::ca());
            QVERIFY(start.acted());
        }
        QVERIFY(dialog->libraryStarted());
        dialog->show();
        {
            DuringHeldCommand read(mTokens.token(id), kReadPublicObj, [&] {
                shown << overrideShape();
                QTest::keyClicks(&edit, QStringLiteral("def"));
            });
            chooseAndAccept(*dialog, chooserItem(*dialog, QStringLiteral("ALFA/plik")));
            QVERIFY(read.acted());
        }
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->data(), QByteArray("dane"));
        QCOMPARE(edit.text(), QString());
        QCOMPARE(shown, QList<Qt::CursorShape>({ Qt::WaitCursor, Qt::WaitCursor }));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    // An item of another kind than the mode asks for shows the mode's hint, and nothing is chosen.
    void wrongChoicesShowTheHint_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("key mode, a token") << 1 << "ALFA" << QString::fromUtf8("Wybór klucza") << kKeyHint;
        QTest::newRow("key mode, nothing") << 1 << "" << QString::fromUtf8("Wybór klucza") << kKeyHint;
        QTest::newRow("file mode, a token") << 2 << "ALFA" << QString::fromUtf8("Wybór pliku") << kFileHint;
        QTest::newRow("file mode, nothing") << 2 << "" << QString::fromUtf8("Wybór pliku") << kFileHint;
        QTest::newRow("token mode, nothing") << 0 << "" << QString::fromUtf8("Wybór tokenu") << kTokenHint;
    }
    void wrongChoicesShowTheHint()
    {
        QFETCH(int, mode);
        QFETCH(QString, path);
        QFETCH(QString, title);
        QFETCH(QString, text);
        mTokens.plug(configuredToken("ALFA"));
        QVERIFY(generateKey("ALFA", "klucz", 1).isEmpty());
        QVERIFY(writeFile("ALFA", "plik", kTextFile, "abc").isEmpty());
        MorvilDialog dialog(mode, MorvilDialogIcons::ca());
        dialog.show();
        mBoxes.expect({ QMessageBox::Ok, QMessageBox::Information, title, text, {} });
        chooseAndAccept(dialog, path.isEmpty() ? nullptr : chooserItem(dialog, path));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(dialog.text().isEmpty());
        QCOMPARE(mBoxes.seen().value(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

private:
    BoxWatcher mBoxes;
    PluggedTokens mTokens;
};

MORVIL_QTEST_MAIN(MorvilDialogTest)
#include "test_morvil_dialog.moc"
