// morvil_vpn on a real X display: with icewm's tray the program starts in the tray with its icon,
// its menu and its window, the user's close hides the window, a tray click brings it back, and one
// "&Zakończ" ends the program, the window shown; on a display without a tray host it says so and
// ends with 1. Run through with_tray_host.sh, which makes the display.
#include "box_watcher.h"
#include "conf_file.h"
#include "connection_store.h"
#include "main_window.h"
#include "vpn_start.h"
#include "x_display.h"

#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace morvil::test;

namespace {

// A home directory for the program with two connections in its store.
class Home
{
public:
    Home()
        : mOld(qgetenv("HOME"))
    {
        QDir(mDir.path()).mkdir(QLatin1String(vpn::kStoreDirName));
        const QDir store(mDir.filePath(QLatin1String(vpn::kStoreDirName)));
        for (const char* name : { "Alfa", "Beta" }) {
            QString made;
            vpn::createConnection(
                store,
                { vpn::newConf(
                      { QLatin1String(name), QStringLiteral("h"), QStringLiteral("1194"), QStringLiteral("T/k") }, {}),
                  "CA", "USER" },
                made);
        }
        qputenv("HOME", mDir.path().toLocal8Bit());
    }
    ~Home() { qputenv("HOME", mOld); }
    QString path() const { return mDir.path(); }

private:
    QTemporaryDir mDir;
    QByteArray mOld;
};

MainWindow* mainWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<MainWindow*>(widget)) {
            return window;
        }
    }
    return nullptr;
}

// Polls `done` on the event loop until it holds or 15 s have passed.
bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 15000) {
        QTest::qWait(20);
    }
    return done();
}

// Runs `work` from the program's event loop: a quit asked for outside it is not heard.
void onceRunning(const std::function<void()>& work)
{
    QTimer::singleShot(0, [work] {
        if (QThread::currentThread()->loopLevel() == 0) {
            onceRunning(work);
        } else {
            work();
        }
    });
}

} // namespace

class TrayTest : public QObject
{
    Q_OBJECT

private slots:
    void livesInTheTray()
    {
        // icewm takes a moment to claim the tray.
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 15000);
        Home home;
        BoxWatcher boxes; // a box here would be a failure, never a hang
        const QString before = QDir::currentPath();
        QStringList seen;
        QTimer stillRunning;
        QObject::connect(&stillRunning, &QTimer::timeout, [&] {
            seen << QStringLiteral("still running after one \"&Zakończ\"");
            QCoreApplication::exit(2);
        });
        onceRunning([&] {
            MainWindow* window = mainWindow();
            if (window == nullptr) {
                seen << QStringLiteral("no window");
                QApplication::quit();
                return;
            }
            // Embedded in icewm's tray, the icon has a place on the screen.
            const bool embedded = waitFor([&] { return !window->trayIcon()->geometry().isEmpty(); });
            seen << QStringLiteral("window %1, tray icon %2, embedded %3")
                        .arg(window->isVisible())
                        .arg(window->trayIcon()->isVisible())
                        .arg(embedded);
            QStringList entries;
            for (QAction* entry : window->connectMenu()->actions()) {
                entries << entry->text();
            }
            seen << entries.join(QLatin1Char(','));
            // Qt's own texts (the buttons of its dialogs) are Polish too.
            seen << QCoreApplication::translate("QPlatformTheme", "Cancel");
            // The user closes the window as the window manager asks: it hides, the program goes on.
            seen << QStringLiteral("close sent %1").arg(requestClose(*window));
            seen << QStringLiteral("closed: hidden %1").arg(waitFor([&] { return window->isHidden(); }));
            emit window->trayIcon()->activated(QSystemTrayIcon::Trigger);
            seen << QStringLiteral("tray click: visible %1").arg(window->isVisible());
            emit window->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
            seen << QStringLiteral("double click: visible %1").arg(window->isVisible());
            // One "&Zakończ", with the window shown, ends the program.
            window->trayIcon()->contextMenu()->actions().last()->trigger();
            stillRunning.start(15000);
        });
        const int code = runVpnClient();
        const QString storePath = QDir::currentPath();
        QDir::setCurrent(before);
        QCOMPARE(boxes.finish(), QStringList());
        QCOMPARE(code, 0);
        QCOMPARE(
            seen,
            QStringList({ QStringLiteral("window 1, tray icon 1, embedded 1"), QStringLiteral("Alfa,Beta"),
                          QStringLiteral("Anuluj"), QStringLiteral("close sent 1"), QStringLiteral("closed: hidden 1"),
                          QStringLiteral("tray click: visible 1"), QStringLiteral("double click: visible 1") }));
        QCOMPARE(storePath, QDir(home.path()).filePath(QLatin1String(vpn::kStoreDirName)));
    }

    // A store that can be neither made nor entered (a file of its name): the box, and the end.
    void aStoreThatCannotBeEnteredEndsTheProgram()
    {
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 15000);
        Home home;
        const QString store = QDir(home.path()).filePath(QLatin1String(vpn::kStoreDirName));
        QDir(store).removeRecursively();
        QFile file(store);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        BoxWatcher boxes;
        BoxAnswer answer;
        answer.icon = QMessageBox::Critical;
        answer.title = QStringLiteral("Błąd");
        answer.text = QStringLiteral("Nie można utworzyć ani otworzyć katalogu połączeń VPN %1.").arg(store);
        boxes.expect(answer);
        const QString before = QDir::currentPath();
        QCOMPARE(runVpnClient(), 1);
        QCOMPARE(boxes.finish(), QStringList());
        QCOMPARE(QDir::currentPath(), before);
    }

    void endsWithoutATray()
    {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        Home home;
        BoxWatcher boxes;
        BoxAnswer answer;
        answer.icon = QMessageBox::Critical;
        answer.title = QStringLiteral("Morvil VPN");
        answer.text = QStringLiteral("Nie można uruchomić tego programu w pasku zadań.");
        boxes.expect(answer);
        QCOMPARE(runVpnClient(), 1);
        QCOMPARE(boxes.finish(), QStringList());
    }
};

// Not the offscreen platform: the display comes from with_tray_host.sh.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TrayTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_tray.moc"
