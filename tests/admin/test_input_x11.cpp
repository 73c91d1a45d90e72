// morvil_admin on a real X display: what the user does while a token command runs is dropped, not
// handed to the window once the command is over. The input comes from outside the program
// (xdotool), so it reaches Qt through the display connection in batches, as a user's does; the
// offscreen platform hands test events straight to the widgets and shows none of this. The token
// holds its key generation until the program has received all of that input. Run through
// with_tray_host.sh --no-tray.
#include "admin_fixture.h"
#include "folder_nodes.h"
#include "main_window.h"
#include "x_display.h"

#include <QApplication>
#include <QTreeView>

using namespace morvil::test;

namespace {

constexpr int kWaitMs = 20000;

} // namespace

class InputTest : public QObject
{
    Q_OBJECT
    PluggedTokens mTokens;
    std::unique_ptr<BoxWatcher> mBoxes;
    std::unique_ptr<Beacon> mBeacon;
    std::unique_ptr<morvil::admin::MainWindow> mWindow;
    int mId = -1;

    emu::TokenModel& token() { return mTokens.token(mId); }
    MorvilItem* node() const { return static_cast<MorvilItem*>(mWindow->model()->rootItem()->child(0)); }
    QModelIndex rowOf(TreeItem* item) const { return mWindow->model()->indexOf(item); }
    QTreeView* view() const { return mWindow->view(); }

    // Has the display pass the mark and waits until the program has received what came before.
    bool everythingReceived()
    {
        if (!xdotool(mBeacon->nextMark())) {
            return false;
        }
        return QTest::qWaitFor([this] { return mBeacon->markSeen(); }, kWaitMs);
    }

    // Generates a key in slot 0 through the page. While the token holds the first command with
    // `heldCode` (the generation, or a read that follows it), runs `duringCommand`, has xdotool
    // send the chains it returns, one after the other, and lets the token answer once the program
    // has received all of it. Returns when the command is over and the display has nothing more
    // for the program.
    void generateWhile(const std::function<QList<QStringList>()>& duringCommand, std::uint8_t heldCode = 0x2C)
    {
        setText(keyBox(node(), 0), "keyName", QStringLiteral("pierwszy"));
        token().holdNext(heldCode);
        mTokens.clearLog(mId);
        enum
        {
            Waiting,
            Sent,
            Released
        } step
            = Waiting;
        QTimer script;
        connect(&script, &QTimer::timeout, this, [&] {
            if (step == Waiting && token().holding()) {
                step = Sent;
                QList<QStringList> chains = duringCommand();
                chains.append(mBeacon->nextMark());
                for (const QStringList& chain : chains) {
                    QVERIFY(xdotool(chain));
                }
            } else if (step == Sent && mBeacon->markSeen()) {
                token().releaseHeld();
                step = Released;
            }
        });
        script.start(5);
        press(keyBox(node(), 0), "generateKey");
        script.stop();
        QCOMPARE(step, Released);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        // Whatever the display still had for the program has come in now.
        QVERIFY(everythingReceived());
    }

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void init()
    {
        mBoxes = std::make_unique<BoxWatcher>();
        mId = mTokens.plug(configuredToken("WEJSCIE"));
        mBeacon = std::make_unique<Beacon>();
        mBeacon->show();
        QVERIFY(QTest::qWaitForWindowExposed(mBeacon.get()));
        mWindow = std::make_unique<morvil::admin::MainWindow>();
        mWindow->move(0, 0);
        mWindow->show();
        mWindow->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(mWindow.get()));
        login(node(), false, QString::fromLatin1(kUserPin));
        view()->expand(rowOf(node()));
        mWindow->model()->setActive(rowOf(keysFolder(node())));
        QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
        QCoreApplication::processEvents(); // the page's layout
    }

    void cleanup()
    {
        token().releaseHeld();
        mWindow.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        mBeacon.reset();
        mTokens.unplugAll();
        const QStringList problems = mBoxes->finish();
        mBoxes.reset();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // Typing a name into another slot, pressing its "Generuj" and clicking another node while a
    // key is generated, or while the slots are read after it: none of it happens, then or
    // afterwards.
    void inputDuringACommandIsDropped_data()
    {
        QTest::addColumn<int>("heldCode");
        QTest::newRow("generation") << 0x2C;
        QTest::newRow("slot read") << 0x03;
    }
    void inputDuringACommandIsDropped()
    {
        QFETCH(int, heldCode);
        QWidget* keysPage = mWindow->currentPage();
        QCOMPARE(keysPage, keysFolder(node())->page());
        QGroupBox* second = keyBox(node(), 1);
        const QPoint nameEdit = screenCentre(second->findChild<QLineEdit*>(QStringLiteral("keyName")));
        const QPoint generate = screenCentre(second->findChild<QPushButton*>(QStringLiteral("generateKey")));
        const QPoint tokenRow = screenCentre(view(), rowOf(node()));

        generateWhile([&] {
            // Typing takes the rest of its chain.
            return QList<QStringList> { clickAt(nameEdit) + typed(QStringLiteral("drugi")),
                                        clickAt(generate) + clickAt(tokenRow) };
        }, static_cast<std::uint8_t>(heldCode));
        if (QTest::currentTestFailed()) {
            return;
        }
        // One key generation (then the information and the four slots), none for slot 1.
        QCOMPARE(mTokens.commands(mId), QStringLiteral("2C 02 03 03 03 03"));
        QVERIFY(token().snapshot().keys[0].present);
        QVERIFY(!token().snapshot().keys[1].present);
        QCOMPARE(textOf(second, "keyName"), QString());
        QCOMPARE(mWindow->currentPage(), keysPage);
    }

    // The button goes down on a node before the command and comes up while it runs: the node's
    // page does not open, and once the command is over a click is a click again (elsewhere: at
    // the same spot it would make a double click with the press before the command).
    void pressBeforeACommandReleasedDuringItIsDropped()
    {
        QWidget* keysPage = mWindow->currentPage();
        const QPoint filesRow = screenCentre(view(), rowOf(filesFolder(node())));
        QVERIFY(xdotool({ QStringLiteral("mousemove"), QString::number(filesRow.x()), QString::number(filesRow.y()),
                          QStringLiteral("mousedown"), QStringLiteral("1") }));
        // The tree makes the row its current one on the press.
        QTRY_COMPARE_WITH_TIMEOUT(view()->currentIndex(), rowOf(filesFolder(node())), kWaitMs);

        generateWhile([] { return QList<QStringList> { { QStringLiteral("mouseup"), QStringLiteral("1") } }; });
        if (QTest::currentTestFailed()) {
            return;
        }
        QCOMPARE(mWindow->currentPage(), keysPage);

        QVERIFY(xdotool(clickAt(screenCentre(view(), rowOf(node())))));
        QTRY_COMPARE_WITH_TIMEOUT(mWindow->currentPage(), node()->page(), kWaitMs);
    }

    // A click on the window's close button while a key is generated leaves the window open; one
    // after the command closes it.
    void closeRequestDuringACommandIsRefused()
    {
        bool sent = false;
        generateWhile([&] {
            sent = requestClose(*mWindow);
            return QList<QStringList>();
        });
        QVERIFY(sent);
        if (QTest::currentTestFailed()) {
            return;
        }
        QVERIFY(token().snapshot().keys[0].present);
        QVERIFY(mWindow->isVisible());

        QVERIFY(requestClose(*mWindow));
        QTRY_VERIFY_WITH_TIMEOUT(!mWindow->isVisible(), kWaitMs);
    }
};

// Not the offscreen platform: the display comes from with_tray_host.sh.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    InputTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_input_x11.moc"
