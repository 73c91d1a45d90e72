// The window of morvil_admin: the tree of tokens on the left, the page of the node clicked last
// (or the welcome page) on the right, the menus and toolbars, refresh and the font steps.
#pragma once

#include <QMainWindow>

#include <memory>

class QAction;
class QMenu;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QTreeView;
class TreeModel;

// In a namespace: each program has its MainWindow, and the road test links all three.
namespace morvil::admin {

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kMinFontSize = 8;
    static constexpr int kMaxFontSize = 24;
    static constexpr int kStartFontSize = 10;

    explicit MainWindow(QMainWindow* parent = nullptr);
    ~MainWindow() override;

    TreeModel* model() const { return mModel.get(); }
    QTreeView* view() const { return mView; }
    QWidget* mainPage() const { return mMainPage; }
    QWidget* currentPage() const;
    int fontSize() const { return mFontSize; }

public slots:
    void setActivePage(QWidget* page);
    void deletePage(QWidget* page);

private slots:
    void incFontSize();
    void decFontSize();

private:
    void createActions();
    void createMenus();
    void createToolBars();
    QWidget* createWelcomePage();
    void applyFont();

    const char* mFontName = "Helvetica";
    int mFontSize = kStartFontSize;
    // Deleted first in the destructor, while the window that hears pageDeleted is still whole.
    std::unique_ptr<TreeModel> mModel;
    QSplitter* mSplitter;
    QTreeView* mView;
    QWidget* mMainPage;
    QStackedWidget* mPages;
    QMenu* mGeneralMenu;
    QMenu* mViewMenu;
    QMenu* mHelpMenu;
    QToolBar* mViewToolBar;
    QToolBar* mHelpToolBar;
    QAction* mExitAct;
    QAction* mRefreshAct;
    QAction* mIncFontSizeAct;
    QAction* mDecFontSizeAct;
    QAction* mHelpAct;
    QAction* mAboutAct;
};

} // namespace morvil::admin
