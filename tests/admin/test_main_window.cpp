// The main window over emulated tokens: pages, refresh on F5, font steps, destruction.
#include "admin_fixture.h"
#include "main_window.h"
#include "qt_test_main.h"
#include "widgets/file_folder_widget.h"
#include "widgets/key_folder_widget.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QStackedWidget>
#include <QTreeView>

using morvil::admin::MainWindow;

using namespace morvil::test;

namespace {

QAction* action(MainWindow& window, const char* name)
{
    return window.findChild<QAction*>(QString::fromLatin1(name));
}

void click(MainWindow& window, int row, const QModelIndex& parent = {})
{
    const QModelIndex index = window.model()->index(row, 0, parent);
    QVERIFY(index.isValid());
    emit window.view()->clicked(index);
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
    PluggedTokens mTokens;
    std::unique_ptr<BoxWatcher> mBoxes;

private slots:
    void initTestCase() { tokenBus(); }
    void init() { mBoxes = std::make_unique<BoxWatcher>(); }
    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        mTokens.unplugAll();
        QCOMPARE(mBoxes->finish(), QStringList());
    }

    void f5FollowsPluggingAndTheWelcomePageReturns()
    {
        MainWindow window;
        window.show();
        QCOMPARE(window.currentPage(), window.mainPage());
        QCOMPARE(action(window, "refresh")->shortcut(), QKeySequence(Qt::Key_F5));
        const int id = mTokens.plug(configuredToken("ALFA"));
        action(window, "refresh")->trigger();
        QCOMPARE(window.model()->rowCount(), 1);
        click(window, 0);
        QWidget* page = window.currentPage();
        QVERIFY(page != window.mainPage());
        QCOMPARE(page, window.model()->rootItem()->child(0)->page());
        click(window, 0); // the same node again: the same page
        QCOMPARE(window.currentPage(), page);
        window.setActivePage(nullptr); // a page-less root changes nothing
        QCOMPARE(window.currentPage(), page);
        QCOMPARE(window.findChild<QStackedWidget*>(QStringLiteral("pages"))->count(), 1);
        // The token's folders show their own pages.
        const QModelIndex token = window.model()->index(0, 0);
        click(window, 0, token);
        QVERIFY(qobject_cast<KeyFolderWidget*>(window.currentPage()) != nullptr);
        click(window, 1, token);
        QVERIFY(qobject_cast<FileFolderWidget*>(window.currentPage()) != nullptr);

        mTokens.unplug(id);
        action(window, "refresh")->trigger();
        QCOMPARE(window.model()->rowCount(), 0);
        QCOMPARE(window.currentPage(), window.mainPage());
    }

    void pullingAnotherTokenKeepsThePageShown()
    {
        MainWindow window;
        mTokens.plug(configuredToken("ALFA"));
        const int other = mTokens.plug(blankToken());
        action(window, "refresh")->trigger();
        QCOMPARE(window.model()->rowCount(), 2);
        const int shownRow
            = QString::fromUtf8(static_cast<MorvilItem*>(window.model()->rootItem()->child(0))->device()->info.name)
                == QStringLiteral("ALFA")
            ? 0
            : 1;
        click(window, shownRow);
        QWidget* page = window.currentPage();
        mTokens.unplug(other);
        action(window, "refresh")->trigger();
        QCOMPARE(window.model()->rowCount(), 1);
        QCOMPARE(window.currentPage(), page);
    }

    void fontStepsStopAt8And24()
    {
        MainWindow window;
        QAction* bigger = action(window, "incFontSize");
        QAction* smaller = action(window, "decFontSize");
        QVERIFY(bigger->isEnabled() && smaller->isEnabled());
        for (int i = 0; i < 20; ++i) {
            smaller->trigger();
        }
        QCOMPARE(window.fontSize(), 8);
        QCOMPARE(window.font().pointSize(), 8);
        QVERIFY(!smaller->isEnabled() && bigger->isEnabled());
        bigger->trigger();
        QCOMPARE(window.font().pointSize(), 9);
        QVERIFY(smaller->isEnabled() && bigger->isEnabled());
        for (int i = 0; i < 30; ++i) {
            bigger->trigger();
        }
        QCOMPARE(window.fontSize(), 24);
        QCOMPARE(window.view()->font().pointSize(), 24); // children follow the window
        QVERIFY(!bigger->isEnabled() && smaller->isEnabled());
    }

    // Each menu and toolbar offers its actions, in order; "|" stands for a separator.
    void menusAndToolbarsOfferTheirActions()
    {
        MainWindow window;
        auto offered = [](const QList<QAction*>& actions) {
            QStringList names;
            for (const QAction* action : actions) {
                names << (action->isSeparator() ? QStringLiteral("|") : action->objectName());
            }
            return names.join(QLatin1Char(' '));
        };
        QStringList menus;
        for (const QAction* menu : window.menuBar()->actions()) {
            menus << menu->text() + QStringLiteral(": ") + offered(menu->menu()->actions());
        }
        QCOMPARE(menus, QStringList({ QStringLiteral("Ogólne: exit"),
                                      QStringLiteral("Widok: refresh | incFontSize decFontSize"),
                                      QStringLiteral("Pomoc: help | about") }));
        QStringList bars;
        for (const QToolBar* bar : window.findChildren<QToolBar*>()) {
            bars << bar->windowTitle() + QStringLiteral(": ") + offered(bar->actions());
        }
        QCOMPARE(bars, QStringList({ QStringLiteral("Widok: refresh incFontSize decFontSize"),
                                     QStringLiteral("Pomoc: help about") }));
        QCOMPARE(action(window, "help")->shortcut(), QKeySequence(QStringLiteral("Ctrl+H")));
    }

    // The model goes before the window's widgets: a shown token page is handed back cleanly.
    void zakonczClosesTheWindow()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(action(window, "exit")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        action(window, "exit")->trigger();
        QVERIFY(!window.isVisible());
    }

    void closingWithATokenPageShown()
    {
        mTokens.plug(configuredToken("ALFA"));
        auto window = std::make_unique<MainWindow>();
        window->show();
        click(*window, 0);
        QPointer<QWidget> page = window->currentPage();
        window.reset();
        QVERIFY(page.isNull());
    }
};

MORVIL_QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
