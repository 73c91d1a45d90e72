// The pieces the three programs share, on the offscreen platform.
#include "box_watcher.h"
#include "child_start.h"
#include "file_dialog_answer.h"
#include "file_dialog_wpr.h"
#include "full_targets.h"
#include "held_command.h"
#include "input_guard.h"
#include "message_box.h"
#include "morvil_state.h"
#include "pin_check.h"
#include "pin_entry.h"
#include "plain_text_pane.h"
#include "qt_test_main.h"
#include "secret_bytes.h"
#include "token_bus.h"
#include "typed_file_names.h"
#include "whole_file.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <functional>

using morvil::test::BoxWatcher;
using morvil::test::FileDialogAnswer;

namespace {

DEV_ZR40NN_t recordWithFlags(int flags)
{
    DEV_ZR40NN_t ut {};
    ut.info.info = flags;
    return ut;
}

} // namespace

class CommonTest : public QObject
{
    Q_OBJECT
private slots:
    void stateRule_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("state");
        QTest::newRow("blank") << 0x00 << 0;
        QTest::newRow("initialised") << 0x01 << 1;
        QTest::newRow("configured") << 0x02 << 2;
        QTest::newRow("configured, user PIN fixed") << 0x13 << 2;
        QTest::newRow("locked and configured") << 0x06 << 3;
        QTest::newRow("locked alone") << 0x04 << 3;
    }
    void stateRule()
    {
        QFETCH(int, flags);
        QFETCH(int, state);
        const DEV_ZR40NN_t ut = recordWithFlags(flags);
        QCOMPARE(MorvilState(&ut), state);
    }

    void initTestCase() { morvil::test::tokenBus(); }

    void secretBytesCountOctetsAndWipe()
    {
        morvil::SecretBytes pin;
        QCOMPARE(pin.c_str(), "");
        pin.assignUtf8(QString::fromUtf8("ąćęł1"));
        QCOMPARE(pin.size(), 9);
        QCOMPARE(QByteArray(pin.c_str()), QString::fromUtf8("ąćęł1").toUtf8());
        // The octets are overwritten in place, before the memory could be handed back.
        const char* octets = pin.c_str();
        pin.clear();
        QVERIFY(std::all_of(octets, octets + 10, [](char c) { return c == 0; }));
        QVERIFY(pin.isEmpty());
        QString typed = QStringLiteral("secret");
        morvil::wipe(typed);
        QVERIFY(typed.isEmpty());
    }

    void boxesArePlainTextWithStandardButtons()
    {
        BoxWatcher watcher;
        watcher.expectError(QStringLiteral("<b>x</b>"));
        morvil::box::critical(morvil::box::errorTitle(), QStringLiteral("<b>x</b>"));
        watcher.expectQuestion(QStringLiteral("Tak?"), QMessageBox::Yes);
        QVERIFY(morvil::box::question(morvil::box::questionTitle(), QStringLiteral("Tak?")));
        watcher.expectQuestion(QStringLiteral("Nie?"), QMessageBox::No);
        QVERIFY(!morvil::box::question(morvil::box::questionTitle(), QStringLiteral("Nie?")));
        watcher.expectInformation(QStringLiteral("Informacja"), QStringLiteral("i"));
        morvil::box::information(morvil::box::noticeTitle(), QStringLiteral("i"));
        QCOMPARE(watcher.finish(), QStringList());

        const QList<morvil::test::BoxRecord>& seen = watcher.seen();
        QCOMPARE(seen.size(), 4);
        QCOMPARE(seen[0].textFormat, Qt::PlainText);
        QCOMPARE(seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(seen[0].defaultButton, QMessageBox::NoButton);
        QCOMPARE(seen[1].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(seen[1].defaultButton, QMessageBox::No);
        QCOMPARE(seen[3].icon, QMessageBox::Information);
    }

    void watcherReportsUnexpectedAndMissingBoxes()
    {
        BoxWatcher watcher;
        morvil::box::critical(morvil::box::errorTitle(), QStringLiteral("nobody asked"));
        watcher.expectError(QStringLiteral("never shown"));
        const QStringList problems = watcher.finish();
        QCOMPARE(problems.size(), 2);
        QVERIFY(problems[0].startsWith(QStringLiteral("unexpected box: Błąd: nobody asked")));
        QVERIFY(problems[1].contains(QStringLiteral("never shown")));
    }

    // The typed names are what the dialog returns, whatever it had selected itself (here a file it
    // proposed, in the same directory), and whether its window has turned active yet or not: the
    // name field gets the focus only then, a moment after the dialog shows.
    void typedFileNamesWinOverTheDialogsChoice_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<QStringList>("typed");
        for (const bool active : { false, true }) {
            const char* when = active ? "window active" : "window not yet active";
            QTest::addRow("a new file to save, %s", when) << active << QStringList { QStringLiteral("new.req") };
            QTest::addRow("a file to open, %s", when) << active << QStringList { QStringLiteral("x.req") };
            QTest::addRow("two files to open, %s", when)
                << active << QStringList { QStringLiteral("x.req"), QStringLiteral("y.req") };
        }
    }
    void typedFileNamesWinOverTheDialogsChoice()
    {
        QFETCH(bool, active);
        QFETCH(QStringList, typed);
        QTemporaryDir dir;
        for (const char* name : { "proposed.cert", "x.req", "y.req" }) {
            QFile file(dir.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const bool save = !QFileInfo::exists(dir.filePath(typed.first()));
        QFileDialog dialog(nullptr, QStringLiteral("Wybierz"), dir.path());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile
                                : (typed.size() > 1 ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile));
        dialog.selectFile(dir.filePath(QStringLiteral("proposed.cert")));
        QSignalSpy chosen(&dialog, &QFileDialog::filesSelected);
        BoxWatcher boxes; // an overwrite question or a "not found" box would be a wrong answer
        dialog.show();
        if (active) {
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
        }
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->hasFocus(), active);

        QStringList expected;
        for (const QString& name : typed) {
            expected << dir.filePath(name);
        }
        if (typed.size() == 1) {
            QVERIFY(morvil::scripted::typeFileName(dialog, expected.first()));
        } else {
            QVERIFY(morvil::scripted::typeFileNames(dialog, typed));
        }
        QCOMPARE(boxes.finish(), QStringList());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.first().first().toStringList(), expected);
    }

    // One test: the three memories live for the whole process, so their story is told in order.
    void fileDialogsRememberTheirOwnDirectory()
    {
        QTemporaryDir a, b;
        QVERIFY(a.isValid() && b.isValid());
        QDir(a.path()).mkpath(QStringLiteral("sub"));
        const QString start = QDir::currentPath();
        {
            FileDialogAnswer answer({ a.path() + QStringLiteral("/sub/c.pem") });
            QCOMPARE(FileDialogWPR::getSaveFileName(), a.path() + QStringLiteral("/sub/c.pem"));
            QCOMPARE(answer.openedIn, QDir(start).absolutePath());
        }
        {
            FileDialogAnswer answer({});
            QVERIFY(FileDialogWPR::getSaveFileName().isEmpty());
            QCOMPARE(answer.openedIn, a.path() + QStringLiteral("/sub"));
        }
        {
            // The open dialog has a memory of its own, still at the start directory.
            FileDialogAnswer answer({});
            QVERIFY(FileDialogWPR::getOpenFileName().isEmpty());
            QCOMPARE(answer.openedIn, QDir(start).absolutePath());
        }
        {
            // A directory passed by the caller wins and is kept even when the user cancels.
            FileDialogAnswer answer({});
            QVERIFY(FileDialogWPR::getSaveFileName(nullptr, QString(), b.path()).isEmpty());
            QCOMPARE(answer.openedIn, b.path());
        }
        {
            FileDialogAnswer answer({});
            FileDialogWPR::getSaveFileName();
            QCOMPARE(answer.openedIn, b.path());
        }
        for (const char* name : { "x.req", "y.req", "z.req" }) {
            QFile file(a.path() + QLatin1Char('/') + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        {
            FileDialogAnswer answer({ QStringLiteral("x.req"), QStringLiteral("y.req"), QStringLiteral("z.req") });
            const QStringList chosen = FileDialogWPR::getOpenFileNames(nullptr, QString(), a.path(), QString(), nullptr,
                                                                       QFileDialog::DontUseNativeDialog);
            QCOMPARE(chosen.size(), 3);
        }
        {
            FileDialogAnswer answer({});
            QVERIFY(FileDialogWPR::getOpenFileNames().isEmpty());
            QCOMPARE(answer.openedIn, a.path());
        }
    }

    // The PIN dialog of the authority and the VPN client. A PIN of more than 8 octets (five Polish
    // letters fit the edit's 8 characters but take 10) is refused with a box while the dialog stays
    // open and empty, so no token is asked with a PIN the library would cut; the empty PIN is taken.
    void pinDialogRefusesWhatDoesNotFitAndTakesTheEmptyPin()
    {
        QStringList typed { QString::fromUtf8("ąąąąą"), QStringLiteral("1234abcd"), QString() };
        QStringList emptiedBefore;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || typed.isEmpty()) {
                return;
            }
            auto* edit = dialog->findChild<QLineEdit*>();
            emptiedBefore << edit->text();
            edit->insert(typed.takeFirst()); // as typed: through the undo history
            dialog->accept();
        });
        answer.start(10);
        BoxWatcher boxes;
        boxes.expectError(QString::fromUtf8("PIN jest za długi. Może on zawierać co najwyżej 8 znaków. Litery takie "
                                            "jak 'ą', 'ć', itd. kodowane są na 2 znakach."));
        QString pin = QStringLiteral("stale");
        QVERIFY(morvil::askPin(nullptr, QStringLiteral("Podaj PIN"), QStringLiteral("PIN:"), pin));
        QCOMPARE(pin, QStringLiteral("1234abcd"));
        QCOMPARE(boxes.finish(), QStringList());
        QVERIFY(morvil::askPin(nullptr, QStringLiteral("Podaj PIN"), QStringLiteral("PIN:"), pin));
        QCOMPARE(pin, QString());
        QCOMPARE(emptiedBefore, QStringList({ QString(), QString(), QString() }));
        QVERIFY(morvil::pinFits(QStringLiteral("12345678")));
        QVERIFY(!morvil::pinFits(QString::fromUtf8("1234567ą")));
    }

    // What a pane shows of a subject or a child's output is the text as written: markup stays
    // characters, and neither styles the pane nor names an image for it to load.
    void panesShowPlainText()
    {
        QTextEdit pane;
        const QString written[]
            = { QStringLiteral("<b>O=bold</b>"), QStringLiteral("<img src=/nonexistent/x.png>"),
                QStringLiteral("<title>evil.example</title>bank.example"), QStringLiteral("two\nlines &amp;") };
        for (const QString& text : written) {
            morvil::appendPlainText(&pane, text);
        }
        QCOMPARE(pane.toPlainText(),
                 QStringLiteral("<b>O=bold</b>\n<img src=/nonexistent/x.png>\n<title>evil.example</title>bank.example\n"
                                "two\nlines &amp;"));
        QCOMPARE(pane.document()->blockCount(), 5);
        for (QTextBlock block = pane.document()->begin(); block.isValid(); block = block.next()) {
            for (auto part = block.begin(); !part.atEnd(); ++part) {
                QCOMPARE(part.fragment().charFormat().fontWeight(), QFont::Normal);
                QVERIFY(!part.fragment().charFormat().isImageFormat());
            }
        }
    }

    // The guard that the waits for commands and child processes stand under: what is typed goes
    // nowhere, then or afterwards; the close button's request (a spontaneous close) is refused
    // while the program's own close() closes; timers run. Once the guard has gone, input and the
    // close request go through again.
    void inputGuardDropsInputAndCloseRequests()
    {
        QLineEdit edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        // True when the widget took the request: closing is then up to the window system.
        const auto requestClose = [&edit] {
            QCloseEvent request;
            // As the window system delivers it: sendEvent() would mark it the program's own.
            QSpontaneKeyEvent::setSpontaneous(&request);
            QCoreApplication::instance()->notify(&edit, &request);
            return request.isAccepted();
        };
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
        timer.start(0);
        {
            morvil::InputGuard guard;
            QTest::keyClicks(&edit, QStringLiteral("abc"));
            QVERIFY(!requestClose());
            QVERIFY(edit.isVisible());
            QTRY_VERIFY(ticks > 0);
            QLineEdit other;
            other.show();
            QVERIFY(QTest::qWaitForWindowExposed(&other));
            QVERIFY(other.close());
            QVERIFY(!other.isVisible());
        }
        QCOMPARE(edit.text(), QString());
        QTest::keyClicks(&edit, QStringLiteral("abc"));
        QCOMPARE(edit.text(), QStringLiteral("abc"));
        QVERIFY(requestClose());
    }

    // The PIN check talks to the token while the window waits for it under the guard, with the
    // wait cursor: events are served meanwhile (the test's turn comes while the token holds the
    // PIN try), and what is typed then goes nowhere.
    void pinCheckWaitsWithoutTakingInput()
    {
        morvil::test::PluggedTokens tokens;
        const int id = tokens.plug(morvil::test::configuredToken("SPRAWDZ"));
        QLineEdit edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        Qt::CursorShape shown = Qt::ArrowCursor;
        constexpr std::uint8_t kTryPin = 0x2F;
        morvil::test::DuringHeldCommand during(tokens.token(id), kTryPin, [&] {
            const QCursor* cursor = QGuiApplication::overrideCursor();
            shown = cursor != nullptr ? cursor->shape() : Qt::ArrowCursor;
            QTest::keyClicks(&edit, QStringLiteral("abc"));
        });
        const PinCheck check = checkUserPin("SPRAWDZ", morvil::test::kUserPin);
        QVERIFY(during.acted());
        QCOMPARE(check.outcome, PinCheckOutcome::Accepted);
        QCOMPARE(shown, Qt::WaitCursor);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QCOMPARE(edit.text(), QString());
    }

    // A file is written whole or not at all, and a write that did not reach the disk is a failure:
    // what the target held before stays, and a device stays a device.
    void filesAreWrittenWholeOrNotAtAll()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plik.pem"));
        QString error;
        QVERIFY(morvil::writeWholeFile(path, "pierwszy\n", &error));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        const QFile::Permissions ownerOnly = QFile::permissions(path);
        QVERIFY(morvil::writeWholeFile(path, "drugi\n", &error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("drugi\n"));
        file.close();
        QCOMPARE(QFile::permissions(path), ownerOnly);

        {
            // The disk fills up half-way: the old contents stay, and no piece of the new is left.
            morvil::test::FileSizeLimit limit(4096);
            QVERIFY(!morvil::writeWholeFile(path, QByteArray(8192, 'x'), &error));
        }
        QVERIFY(!error.isEmpty());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("drugi\n"));
        file.close();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("plik.pem") });

        // A device is written where it is; one that takes nothing is a failure, and stays.
        const QString full = morvil::test::fullDevice(dir.path());
        error.clear();
        QVERIFY(!morvil::writeWholeFile(full, "dane\n", &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo::exists(full) && !QFileInfo(full).isFile());
        const QString null = morvil::test::deviceNode(dir.path(), QStringLiteral("null"), 3);
        if (!null.isEmpty()) {
            QVERIFY(morvil::writeWholeFile(null, "dane\n", &error));
            QVERIFY(!QFileInfo(null).isFile());
        }

        QVERIFY(!morvil::writeWholeFile(dir.filePath(QStringLiteral("brak/plik")), "dane\n", &error));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("brak"))));

        // Nothing is written through a symbolic link: not to the file it names, not to a device,
        // not to a name that is not there yet. The link stays a link.
        QTemporaryDir outside;
        const QString named = outside.filePath(QStringLiteral("cudzy"));
        QVERIFY(morvil::writeWholeFile(named, "cudzy\n", &error));
        const QStringList links { named, outside.filePath(QStringLiteral("nowy")), full };
        for (qsizetype i = 0; i < links.size(); ++i) {
            const QString link = dir.filePath(QStringLiteral("link%1.crl").arg(i));
            QVERIFY(QFile::link(links[i], link));
            error.clear();
            QVERIFY(!morvil::writeWholeFile(link, "dane\n", &error));
            QVERIFY2(error.contains(QString::fromUtf8("dowiązaniem symbolicznym")), qPrintable(error));
            QVERIFY(QFileInfo(link).isSymbolicLink());
        }
        QFile kept(named);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("cudzy\n"));
        QCOMPARE(QDir(outside.path()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("cudzy") });
    }

    // The start of a child: one that ran and ended at once was started all the same; a program
    // that is not there was not.
    void childStartTellsStartedFromFailed()
    {
        QProcess quick;
        QVERIFY(morvil::startChild(quick, QStringLiteral("/bin/true"), {}, std::chrono::minutes(1)));
        // Its end may have come during the wait already.
        QTRY_COMPARE(quick.state(), QProcess::NotRunning);
        QCOMPARE(quick.exitCode(), 0);

        QProcess missing;
        QVERIFY(
            !morvil::startChild(missing, QStringLiteral("/nonexistent/morvil_openvpn"), {}, std::chrono::minutes(1)));
        QCOMPARE(missing.error(), QProcess::FailedToStart);
        QCOMPARE(missing.state(), QProcess::NotRunning);
    }
};

MORVIL_QTEST_MAIN(CommonTest)
#include "test_common.moc"
