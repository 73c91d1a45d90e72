#include "main_window.h"

#include "tree_model.h"

#include <QAction>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QTreeView>

namespace {

// Built before main runs, when no translator is installed yet: it stays as written.
const QString welcomeString = QObject::tr("<center><h2>Morvil Admin v1.0</h2></center>");

} // namespace

namespace morvil::admin {

MainWindow::MainWindow(QMainWindow* parent)
    : QMainWindow(parent)
{
    applyFont();
    mModel = std::make_unique<TreeModel>();
    // The tokens already plugged in are in the tree before the window first shows.
    mModel->refresh();
    connect(mModel.get(), &TreeModel::pageActivated, this, &MainWindow::setActivePage);
    connect(mModel.get(), &TreeModel::pageDeleted, this, &MainWindow::deletePage);

    mView = new QTreeView(this);
    mView->setObjectName(QStringLiteral("tree"));
    mView->setModel(mModel.get());
    mView->setIconSize(QSize(32, 32));
    connect(mView, &QTreeView::clicked, mModel.get(), &TreeModel::setActive);

    createActions();
    createMenus();
    createToolBars();

    mMainPage = createWelcomePage();
    mPages = new QStackedWidget;
    mPages->setObjectName(QStringLiteral("pages"));
    mPages->addWidget(mMainPage);

    mSplitter = new QSplitter;
    mSplitter->addWidget(mView);
    mSplitter->addWidget(mPages);
    mSplitter->setSizes({ 200, 600 });
    mSplitter->setStretchFactor(1, 1);
    mSplitter->setMinimumSize(600, 300);
    setCentralWidget(mSplitter);

    setWindowIcon(QIcon(QStringLiteral(":img/morvil_admin.png")));
    setWindowTitle(tr("Morvil Admin"));
    resize(750, 600);
}

MainWindow::~MainWindow()
{
    // The tree goes first: its pageDeleted notices reach a window that still has all its widgets.
    mModel.reset();
    // Pages of deleted nodes are released now rather than left to an event loop that has ended.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QWidget* MainWindow::createWelcomePage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("welcome"));
    auto* grid = new QGridLayout(page);
    auto* logo = new QLabel;
    logo->setPixmap(QPixmap(QStringLiteral(":img/morvil_logo_120_60.png")));
    grid->addWidget(logo, 0, 0, Qt::AlignRight);
    auto* welcome = new QLabel(welcomeString);
    welcome->setTextFormat(Qt::RichText);
    grid->addWidget(welcome, 1, 0);
    grid->setRowStretch(1, 1);
    grid->setRowStretch(2, 1);
    return page;
}

void MainWindow::createActions()
{
    auto action = [this](const char* icon, const QString& text, const char* name) {
        auto* act = new QAction(QIcon(QString::fromLatin1(icon)), text, this);
        act->setObjectName(QString::fromLatin1(name));
        return act;
    };
    mExitAct = action(":img/exit.png", tr("Zakończ"), "exit");
    mExitAct->setShortcut(QKeySequence(tr("Ctrl+Q")));
    connect(mExitAct, &QAction::triggered, this, &MainWindow::close);
    mRefreshAct = action(":img/refresh.png", tr("Odśwież"), "refresh");
    mRefreshAct->setShortcut(QKeySequence(tr("F5")));
    connect(mRefreshAct, &QAction::triggered, mModel.get(), &TreeModel::refresh);
    mIncFontSizeAct = action(":img/view_plus.png", tr("Powiększ"), "incFontSize");
    mIncFontSizeAct->setShortcut(QKeySequence(tr("Ctrl++")));
    connect(mIncFontSizeAct, &QAction::triggered, this, &MainWindow::incFontSize);
    mDecFontSizeAct = action(":img/view_minus.png", tr("Pomniejsz"), "decFontSize");
    mDecFontSizeAct->setShortcut(QKeySequence(tr("Ctrl+-")));
    connect(mDecFontSizeAct, &QAction::triggered, this, &MainWindow::decFontSize);
    // Help and about have no contents yet: present, connected to nothing.
    mHelpAct = action(":img/contents_ii.png", tr("Podręcznik"), "help");
    mHelpAct->setShortcut(QKeySequence(tr("Ctrl+H")));
    mAboutAct = action(":img/morvil_admin.png", tr("O programie"), "about");
}

void MainWindow::createMenus()
{
    mGeneralMenu = menuBar()->addMenu(tr("Ogólne"));
    mGeneralMenu->addAction(mExitAct);
    mViewMenu = menuBar()->addMenu(tr("Widok"));
    mViewMenu->addAction(mRefreshAct);
    mViewMenu->addSeparator();
    mViewMenu->addAction(mIncFontSizeAct);
    mViewMenu->addAction(mDecFontSizeAct);
    mHelpMenu = menuBar()->addMenu(tr("Pomoc"));
    mHelpMenu->addAction(mHelpAct);
    mHelpMenu->addSeparator();
    mHelpMenu->addAction(mAboutAct);
}

void MainWindow::createToolBars()
{
    mViewToolBar = addToolBar(tr("Widok"));
    mViewToolBar->addAction(mRefreshAct);
    mViewToolBar->addAction(mIncFontSizeAct);
    mViewToolBar->addAction(mDecFontSizeAct);
    mHelpToolBar = addToolBar(tr("Pomoc"));
    mHelpToolBar->addAction(mHelpAct);
    mHelpToolBar->addAction(mAboutAct);
}

QWidget* MainWindow::currentPage() const
{
    return mPages->currentWidget();
}

void MainWindow::setActivePage(QWidget* page)
{
    // The root has no page; a null page leaves the shown one.
    if (page == nullptr) {
        return;
    }
    if (QWidget* current = mPages->currentWidget()) {
        mPages->removeWidget(current); // stays a hidden child of the page area
    }
    mPages->addWidget(page);
    mPages->setCurrentWidget(page);
}

void MainWindow::deletePage(QWidget* page)
{
    if (page != nullptr && page == mPages->currentWidget()) {
        setActivePage(mMainPage);
    }
}

void MainWindow::applyFont()
{
    setFont(QFont(QString::fromLatin1(mFontName), mFontSize));
}

void MainWindow::incFontSize()
{
    if (mFontSize >= kMaxFontSize) {
        return;
    }
    ++mFontSize;
    applyFont();
    mDecFontSizeAct->setEnabled(true);
    mIncFontSizeAct->setEnabled(mFontSize < kMaxFontSize);
}

void MainWindow::decFontSize()
{
    if (mFontSize <= kMinFontSize) {
        return;
    }
    mIncFontSizeAct->setEnabled(true);
    --mFontSize;
    applyFont();
    mDecFontSizeAct->setEnabled(mFontSize > kMinFontSize);
}

} // namespace morvil::admin
