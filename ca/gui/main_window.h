// The main window of morvil_ca: the authorities of the store, at most one of them open, its
// certificates and requests in two tabs, its page on the right, and the commands that go to it.
#pragma once

#include "ca.h"

#include <QList>
#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTextEdit;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

// In a namespace: each program has its MainWindow, and the road test links all three.
namespace morvil::ca {

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QMainWindow* parent = nullptr);
    ~MainWindow() override;

    // For the tests: the list and the open authority (null when none is).
    const QList<CA>& authorities() const { return mCaList; }
    const CA* activeAuthority() const { return mCaActive; }

private slots:
    void caNew();
    void caOpen();
    void caUpdate();
    void caUpdateInfo();
    void caClose();
    void caDelete();
    void changeCertInfo(QTreeWidgetItem* item, int column);
    void changeReqInfo(QTreeWidgetItem* item, int column);
    void certGetReq();
    void certSignReq();
    void certSignReqAll();
    void certViewAll();
    void certViewValid();
    void certSaveAs();
    void certRevoke();
    void crlNew();
    void crlSaveAs();
    void changeLeftPanelTab(int index);

private:
    void createActions();
    void createMenus();
    void createToolBars();
    void createWelcomeWidget();
    void createCaInfoWidget();
    void createCentralWidget();
    // The names of the list, in list order.
    QStringList authorityNames() const;
    // The actions that work only on an open authority.
    QList<QAction*> openAuthorityActions() const;

    QSplitter* mCentral = nullptr;
    QStackedWidget* mRightPanelStack = nullptr;
    QTabWidget* mLeftPanelTab = nullptr;
    QTreeWidget* mCertTree = nullptr;
    QTextEdit* mCertInfo = nullptr;
    QTreeWidget* mReqTree = nullptr;
    QTextEdit* mReqInfo = nullptr;
    QWidget* mWelcome = nullptr;
    QWidget* mCaInfo = nullptr;
    QLabel* mCaName = nullptr;
    QLabel* mCaGeneralInfo = nullptr;
    QLabel* mCaCrlInfo = nullptr;
    QLabel* mCaPolicy = nullptr;
    QMenu* mGeneralMenu = nullptr;
    QMenu* mCaMenu = nullptr;
    QMenu* mCertMenu = nullptr;
    QMenu* mCrlMenu = nullptr;
    QMenu* mHelpMenu = nullptr;
    QToolBar* mCertToolBar = nullptr;
    QToolBar* mCrlToolBar = nullptr;
    QAction* mExitAct = nullptr;
    QAction* mCaNewAct = nullptr;
    QAction* mCaOpenAct = nullptr;
    QAction* mCaUpdateAct = nullptr;
    QAction* mCaCloseAct = nullptr;
    QAction* mCaImportAct = nullptr;
    QAction* mCaExportAct = nullptr;
    QAction* mCaDeleteAct = nullptr;
    QAction* mCertGetReqAct = nullptr;
    QAction* mCertSignReqAct = nullptr;
    QAction* mCertSignReqAllAct = nullptr;
    QAction* mCertViewAllAct = nullptr;
    QAction* mCertViewValidAct = nullptr;
    QAction* mCertSaveAsAct = nullptr;
    QAction* mCertRevokeAct = nullptr;
    QAction* mCrlNewAct = nullptr;
    QAction* mCrlSaveAsAct = nullptr;
    QAction* mCrlFtpEditAct = nullptr;
    QAction* mCrlFtpDistAct = nullptr;
    QAction* mHelpAct = nullptr;
    QAction* mAboutAct = nullptr;
    CA* mCaActive = nullptr;
    QList<CA> mCaList;
};

} // namespace morvil::ca
