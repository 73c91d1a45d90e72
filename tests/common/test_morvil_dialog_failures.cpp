// The chooser when things go wrong: a token unplugged while it is open, a token gone from the
// library's list, a file the token will not give, and a library that cannot be started.
#include "chooser_fixture.h"
#include "qt_test_main.h"

using namespace morvil::test;
using morvil::MorvilDialogIcons;

namespace {

const QString kLibraryFailure = QString::fromUtf8("Nie można zainicjować biblioteki obsługującej tokeny!");

BoxAnswer critical(const char* title, const QString& text)
{
    return { QMessageBox::Ok, QMessageBox::Critical, QString::fromUtf8(title), text, {} };
}

} // namespace

class MorvilDialogFailureTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { tokenBus(); }

    void cleanup()
    {
        for (const BoxRecord& box : mBoxes.seen()) {
            QCOMPARE(box.textFormat, Qt::PlainText); // every one of these boxes carries token names
        }
        endChooserTest(mBoxes, mTokens);
    }

    // The list stays as it was read; choosing a file of the unplugged token tells the user and
    // keeps the dialog, and a file of the other token is still read.
    void fileOfAnUnpluggedToken()
    {
        mTokens.plug(configuredToken("ALFA"));
        const int other = mTokens.plug(configuredToken("<u>B&amp;"));
        QVERIFY(writeFile("ALFA", "a.txt", kTextFile, "alfa\n").isEmpty());
        QVERIFY(writeFile("<u>B&amp;", "<b>b&gt;", kTextFile, "beta\n").isEmpty());

        QByteArray data;
        ChooserHand hand([&](MorvilDialog& dialog) {
            mTokens.unplug(other);
            mBoxes.expect(critical(
                "Brak pliku",
                QString::fromUtf8("Nie można odnaleźć pliku <b>b&gt;. Być może token <u>B&amp; został odłączony.")));
            doubleClick(dialog, chooserItem(dialog, QStringLiteral("<u>B&amp;/<b>b&gt;")));
            QVERIFY(dialog.isVisible());
            QVERIFY(dialog.data().isEmpty());
            doubleClick(dialog, chooserItem(dialog, QStringLiteral("ALFA/a.txt")));
        });
        QCOMPARE(MorvilDialog::getFileNameAndData(data, QString(), nullptr, MorvilDialogIcons::vpn()),
                 QStringLiteral("ALFA/a.txt"));
        QVERIFY(hand.acted());
        QCOMPARE(data, QByteArray("alfa\n"));
    }

    // Keys and token names need no token at the time of choosing: the reference is given.
    void keyOfAnUnpluggedToken()
    {
        const int id = mTokens.plug(configuredToken("ALFA"));
        QVERIFY(generateKey("ALFA", "klucz", 3).isEmpty());
        ChooserHand hand([&](MorvilDialog& dialog) {
            mTokens.unplug(id);
            doubleClick(dialog, chooserItem(dialog, QStringLiteral("ALFA/klucz")));
        });
        QCOMPARE(MorvilDialog::getKeyName(QString(), nullptr, MorvilDialogIcons::ca()), QStringLiteral("ALFA/klucz"));
        QVERIFY(hand.acted());
    }

    // Another user of the library enumerated while the dialog was open, and the unplugged token's
    // record went: the dialog holds names, never records, so it finds no such token.
    void tokenGoneFromTheList()
    {
        mTokens.plug(configuredToken("ALFA"));
        const int other = mTokens.plug(configuredToken("BETA"));
        QVERIFY(writeFile("BETA", "b.txt", kTextFile, "beta").isEmpty());
        MorvilDialog dialog(MorvilDialog::kFileDialog, MorvilDialogIcons::ca());
        dialog.show();
        mTokens.unplug(other);
        DEV_ZR40NN_lib_init();
        QCOMPARE(DEV_ZR40NN_lib_find_devices(), 1);
        DEV_ZR40NN_lib_finish();
        QCOMPARE(DEV_ZR40NN_find_by_name("BETA"), nullptr);
        mBoxes.expect(
            critical("Brak tokenu", QString::fromUtf8("Nie można odnaleźć tokenu BETA. Być może został odłączony.")));
        chooseAndAccept(dialog, chooserItem(dialog, QStringLiteral("BETA/b.txt")));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    // A read the token refuses is reported with the library's text, never taken as contents; the
    // file and the session are closed, so the same file reads once the token answers again.
    void failingReadIsReported_data()
    {
        QTest::addColumn<int>("nth");
        QTest::addColumn<QString>("libraryText");
        QTest::newRow("table entry") << 1 << "could not read file information table";
        QTest::newRow("second sector") << 3 << "could not read file contents";
    }
    void failingReadIsReported()
    {
        QFETCH(int, nth);
        QFETCH(QString, libraryText);
        const int id = mTokens.plug(configuredToken("ALFA"));
        const QByteArray contents = everyOctet(300);
        QVERIFY(writeFile("ALFA", "dane.bin", kBinaryFile, contents).isEmpty());
        MorvilDialog dialog(MorvilDialog::kFileDialog, MorvilDialogIcons::vpn());
        dialog.show();

        mTokens.token(id).failNth(0x04, nth, emu::kStatusNotAllowed);
        mBoxes.expect({ QMessageBox::Ok, QMessageBox::Critical, QString::fromUtf8("Błąd"), {}, {} });
        chooseAndAccept(dialog, chooserItem(dialog, QStringLiteral("ALFA/dane.bin")));
        QCOMPARE(mBoxes.finish(), QStringList());
        const QString shown = mBoxes.seen().value(0).text;
        QVERIFY2(shown.startsWith(QString::fromUtf8("Nie można odczytać pliku dane.bin z tokenu ALFA.\n\n")),
                 qPrintable(shown));
        QVERIFY2(shown.contains(libraryText), qPrintable(shown));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(dialog.data().isEmpty());
        QCOMPARE(DEV_ZR40NN_find_by_name("ALFA")->session_is_open, 0);

        chooseAndAccept(dialog, chooserItem(dialog, QStringLiteral("ALFA/dane.bin")));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.data() == contents);
    }

    // A token that does not answer its information stops the library's start: the box, and the
    // application quits once its event loop has control; the chooser never runs.
    void libraryStartFailureQuits()
    {
        mTokens.plug(configuredToken("ALFA"));
        const int failing = mTokens.plug(configuredToken("BETA"));
        mTokens.token(failing).failCommand(0x02, emu::kStatusNotAllowed);
        {
            // The dialog is still built, with the devices found.
            mBoxes.expect(critical("Błąd", kLibraryFailure));
            MorvilDialog dialog(MorvilDialog::kKeyDialog, MorvilDialogIcons::ca());
            QVERIFY(!dialog.libraryStarted());
            QCOMPARE(chooserList(dialog)->topLevelItemCount(), 2);
            QCOMPARE(mBoxes.finish(), QStringList());
        }
        QCoreApplication::processEvents(); // the quit asked for above, outside any event loop

        QString chosen = QStringLiteral("not run");
        ChooserHand hand([](MorvilDialog& dialog) { dialog.reject(); });
        mBoxes.expect(critical("Błąd", kLibraryFailure));
        QTimer::singleShot(0, this, [&] {
            chosen = MorvilDialog::getKeyName(QStringLiteral("Klucz"), nullptr, MorvilDialogIcons::ca());
        });
        QTimer::singleShot(10000, this, [] { QCoreApplication::exit(7); }); // not quitting fails here
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(chosen, QString());
        QVERIFY(!hand.acted());
        mTokens.token(failing).clearFailures();
    }

private:
    BoxWatcher mBoxes;
    PluggedTokens mTokens;
};

MORVIL_QTEST_MAIN(MorvilDialogFailureTest)
#include "test_morvil_dialog_failures.moc"
