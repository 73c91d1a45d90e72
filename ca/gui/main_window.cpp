#include "main_window.h"

#include "authority_store.h"

#include <QAction>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeWidget>

namespace {

// Never translated: built before any translator is installed.
const QString welcomeString = QObject::tr("<center><h2>Morvil CA v1.0</h2></center>");
const QString kLogo = QStringLiteral(":img/morvil_logo_120_60.png");

QLabel* logoLabel()
{
    auto* logo = new QLabel;
    logo->setPixmap(QPixmap(kLogo));
    logo->setAlignment(Qt::AlignRight);
    return logo;
}

} // namespace

namespace morvil::ca {

MainWindow::MainWindow(QMainWindow* parent)
    : QMainWindow(parent)
{
    createActions();
    createMenus();
    createToolBars();
    createWelcomeWidget();
    createCaInfoWidget();
    createCentralWidget();
    mCaList = CA::findAll(QDir::current().path());
    setWindowTitle(tr("Morvil CA"));
    setWindowIcon(QIcon(QStringLiteral(":img/morvil_ca.png")));
    resize(700, 500);
}

MainWindow::~MainWindow()
{
    // The rows go back from the trees before either is destroyed.
    if (mCaActive != nullptr) {
        mCaActive->close(nullptr);
    }
}

void MainWindow::createActions()
{
    const auto action = [this](QAction*& member, const char* objectName, const QString& text, const char* icon,
                               const QString& shortcut, bool enabled) {
        member = new QAction(text, this);
        member->setObjectName(QString::fromLatin1(objectName));
        if (icon != nullptr) {
            member->setIcon(QIcon(QString::fromLatin1(icon)));
        }
        if (!shortcut.isEmpty()) {
            member->setShortcut(QKeySequence(shortcut));
        }
        member->setEnabled(enabled);
    };
    action(mExitAct, "exitAct", tr("Za&kończ"), ":img/exit.png", tr("Ctrl+Q"), true);
    action(mCaNewAct, "caNewAct", tr("&Nowy"), nullptr, {}, true);
    action(mCaOpenAct, "caOpenAct", tr("&Otwórz"), nullptr, tr("Ctrl+O"), true);
    action(mCaUpdateAct, "caUpdateAct", tr("&Aktualizuj"), nullptr, {}, false);
    action(mCaCloseAct, "caCloseAct", tr("Zamknij"), nullptr, {}, false);
    action(mCaImportAct, "caImportAct", tr("Importuj"), nullptr, {}, false);
    action(mCaExportAct, "caExportAct", tr("Eksportuj"), nullptr, {}, false);
    action(mCaDeleteAct, "caDeleteAct", tr("Usuń"), nullptr, {}, true);
    action(mCertGetReqAct, "certGetReqAct", tr("Pobierz &zgłoszenia"), ":img/add_user.png", tr("Ctrl+N"), false);
    action(mCertSignReqAct, "certSignReqAct", tr("&Podpisz zgłoszenie"), ":img/sign.png", tr("Ctrl+P"), false);
    action(mCertSignReqAllAct, "certSignReqAllAct", tr("Podpisz &wszystkie zgłoszenia"), nullptr, {}, false);
    action(mCertViewAllAct, "certViewAllAct", tr("Pokaż wszystkie certyfikaty"), ":img/viewcert_all.png", {}, false);
    action(mCertViewValidAct, "certViewValidAct", tr("Pokaż ważne certyfikaty"), ":img/viewcert_valid.png", {}, false);
    action(mCertSaveAsAct, "certSaveAsAct", tr("Zapi&sz certyfikat jako"), ":img/filecmd_saveas.png", tr("Ctrl+S"),
           false);
    action(mCertRevokeAct, "certRevokeAct", tr("&Unieważnij certyfikat"), ":img/cancel.png", tr("Ctrl+D"), false);
    action(mCrlNewAct, "crlNewAct", tr("Nowa lista CRL"), ":img/crl_new.png", tr("Ctrl+L"), false);
    action(mCrlSaveAsAct, "crlSaveAsAct", tr("Zapisz CRL jako"), ":img/crl_saveas.png", {}, false);
    action(mCrlFtpEditAct, "crlFtpEditAct", tr("Ustawienia rozsyłania CRL przez FTP"), nullptr, {}, false);
    action(mCrlFtpDistAct, "crlFtpDistAct", tr("Roześlij CRL przez FTP"), ":img/crl_ftp.png", {}, false);
    action(mHelpAct, "helpAct", tr("Podręcznik"), ":img/contents_open.png", tr("Ctrl+H"), true);
    action(mAboutAct, "aboutAct", tr("O programie"), nullptr, {}, true);

    connect(mExitAct, &QAction::triggered, this, &QWidget::close);
    connect(mCaNewAct, &QAction::triggered, this, &MainWindow::caNew);
    connect(mCaOpenAct, &QAction::triggered, this, &MainWindow::caOpen);
    connect(mCaUpdateAct, &QAction::triggered, this, &MainWindow::caUpdate);
    connect(mCaCloseAct, &QAction::triggered, this, &MainWindow::caClose);
    connect(mCaDeleteAct, &QAction::triggered, this, &MainWindow::caDelete);
    connect(mCertGetReqAct, &QAction::triggered, this, &MainWindow::certGetReq);
    connect(mCertSignReqAct, &QAction::triggered, this, &MainWindow::certSignReq);
    connect(mCertSignReqAllAct, &QAction::triggered, this, &MainWindow::certSignReqAll);
    connect(mCertViewAllAct, &QAction::triggered, this, &MainWindow::certViewAll);
    connect(mCertViewValidAct, &QAction::triggered, this, &MainWindow::certViewValid);
    connect(mCertSaveAsAct, &QAction::triggered, this, &MainWindow::certSaveAs);
    connect(mCertRevokeAct, &QAction::triggered, this, &MainWindow::certRevoke);
    connect(mCrlNewAct, &QAction::triggered, this, &MainWindow::crlNew);
    connect(mCrlSaveAsAct, &QAction::triggered, this, &MainWindow::crlSaveAs);
}

void MainWindow::createMenus()
{
    mGeneralMenu = menuBar()->addMenu(tr("Ogólne"));
    mGeneralMenu->addAction(mExitAct);
    mCaMenu = menuBar()->addMenu(tr("Urząd"));
    mCaMenu->addAction(mCaNewAct);
    mCaMenu->addSeparator();
    mCaMenu->addActions({ mCaOpenAct, mCaUpdateAct, mCaCloseAct });
    mCaMenu->addSeparator();
    mCaMenu->addActions({ mCaImportAct, mCaExportAct });
    mCaMenu->addSeparator();
    mCaMenu->addAction(mCaDeleteAct);
    mCertMenu = menuBar()->addMenu(tr("Certyfikaty"));
    mCertMenu->addActions({ mCertGetReqAct, mCertSignReqAct, mCertSignReqAllAct });
    mCertMenu->addSeparator();
    mCertMenu->addActions({ mCertViewAllAct, mCertViewValidAct });
    mCertMenu->addSeparator();
    mCertMenu->addAction(mCertSaveAsAct);
    mCertMenu->addSeparator();
    mCertMenu->addAction(mCertRevokeAct);
    mCrlMenu = menuBar()->addMenu(tr("Listy CRL"));
    mCrlMenu->addAction(mCrlNewAct);
    mCrlMenu->addSeparator();
    mCrlMenu->addAction(mCrlSaveAsAct);
    mCrlMenu->addSeparator();
    mCrlMenu->addActions({ mCrlFtpEditAct, mCrlFtpDistAct });
    mHelpMenu = menuBar()->addMenu(tr("Pomoc"));
    mHelpMenu->addAction(mHelpAct);
    mHelpMenu->addSeparator();
    mHelpMenu->addAction(mAboutAct);
}

void MainWindow::createToolBars()
{
    mCertToolBar = addToolBar(tr("Certyfikaty"));
    mCertToolBar->addActions({ mCertGetReqAct, mCertSignReqAct });
    mCertToolBar->addSeparator();
    mCertToolBar->addActions({ mCertViewAllAct, mCertViewValidAct });
    mCertToolBar->addSeparator();
    mCertToolBar->addAction(mCertSaveAsAct);
    mCertToolBar->addSeparator();
    mCertToolBar->addAction(mCertRevokeAct);
    mCrlToolBar = addToolBar(tr("CRL"));
    mCrlToolBar->addAction(mCrlNewAct);
    mCrlToolBar->addSeparator();
    mCrlToolBar->addActions({ mCrlSaveAsAct, mCrlFtpDistAct });
}

void MainWindow::createWelcomeWidget()
{
    mWelcome = new QWidget;
    auto* grid = new QGridLayout(mWelcome);
    grid->addWidget(logoLabel(), 0, 0);
    grid->addWidget(new QLabel(welcomeString), 1, 0);
    grid->setRowStretch(1, 1);
    grid->setRowStretch(2, 1);
}

void MainWindow::createCaInfoWidget()
{
    mCaInfo = new QWidget;
    auto* grid = new QGridLayout(mCaInfo);
    grid->addWidget(logoLabel(), 0, 0, 1, 4);
    // The pages are built as HTML with every outside text escaped: never guessed as plain text.
    mCaName = new QLabel;
    mCaName->setObjectName(QStringLiteral("caName"));
    mCaName->setTextFormat(Qt::RichText);
    grid->addWidget(mCaName, 1, 1, 1, 2);
    const auto group = [grid](const QString& title, QLabel*& label, int row) {
        auto* box = new QGroupBox(title);
        label = new QLabel;
        label->setObjectName(title);
        label->setTextFormat(Qt::RichText);
        (new QGridLayout(box))->addWidget(label, 0, 0);
        grid->addWidget(box, row, 0, 1, 4);
    };
    group(tr("Informacje ogólne"), mCaGeneralInfo, 2);
    group(tr("Polityka urzędu"), mCaPolicy, 3);
    group(tr("Lista CRL"), mCaCrlInfo, 4);
    grid->setRowStretch(5, 1);
}

void MainWindow::createCentralWidget()
{
    mCentral = new QSplitter(Qt::Horizontal);
    auto* certSplitter = new QSplitter(Qt::Vertical);
    auto* reqSplitter = new QSplitter(Qt::Vertical);
    mRightPanelStack = new QStackedWidget;
    mRightPanelStack->setObjectName(QStringLiteral("rightPanelStack"));
    mRightPanelStack->addWidget(mWelcome);
    mRightPanelStack->addWidget(mCaInfo);
    mLeftPanelTab = new QTabWidget;
    mLeftPanelTab->setObjectName(QStringLiteral("leftPanelTab"));
    connect(mLeftPanelTab, &QTabWidget::currentChanged, this, &MainWindow::changeLeftPanelTab);

    mCertTree = new QTreeWidget;
    mCertTree->setObjectName(QStringLiteral("certTree"));
    mCertTree->setHeaderLabels({ tr("Numer"), tr("Nazwa"), tr("Organizacja") });
    mCertTree->setSortingEnabled(true);
    connect(mCertTree, &QTreeWidget::itemClicked, this, &MainWindow::changeCertInfo);
    mCertInfo = new QTextEdit;
    mReqTree = new QTreeWidget;
    mReqTree->setObjectName(QStringLiteral("reqTree"));
    mReqTree->setHeaderLabels({ tr("Zgłoszenia") });
    connect(mReqTree, &QTreeWidget::itemClicked, this, &MainWindow::changeReqInfo);
    mReqInfo = new QTextEdit;

    certSplitter->addWidget(mCertTree);
    certSplitter->addWidget(mCertInfo);
    certSplitter->setStretchFactor(0, 2);
    certSplitter->setStretchFactor(1, 1);
    reqSplitter->addWidget(mReqTree);
    reqSplitter->addWidget(mReqInfo);
    reqSplitter->setStretchFactor(0, 2);
    reqSplitter->setStretchFactor(1, 1);
    mLeftPanelTab->addTab(certSplitter, tr("Certyfikaty"));
    mLeftPanelTab->addTab(reqSplitter, tr("Zgłoszenia"));
    mCentral->addWidget(mLeftPanelTab);
    mCentral->addWidget(mRightPanelStack);
    mCentral->setStretchFactor(0, 1);
    mCentral->setStretchFactor(1, 3);
    setCentralWidget(mCentral);
}

QStringList MainWindow::authorityNames() const
{
    QStringList names;
    for (const CA& ca : mCaList) {
        names << ca.name();
    }
    return names;
}

QList<QAction*> MainWindow::openAuthorityActions() const
{
    return { mCaUpdateAct,      mCaCloseAct,    mCertGetReqAct, mCertSignReqAct, mCertSignReqAllAct, mCertViewAllAct,
             mCertViewValidAct, mCertSaveAsAct, mCertRevokeAct, mCrlNewAct,      mCrlSaveAsAct };
}

void MainWindow::caNew()
{
    CA ca;
    if (!ca.create(tr("Nowy urząd"), this)) {
        return;
    }
    // The list may move its elements: the open authority is found again by its place.
    const qsizetype active = mCaActive == nullptr ? -1 : mCaActive - mCaList.constData();
    const qsizetype at = authorityInsertPosition(authorityNames(), ca.name());
    mCaList.insert(at, std::move(ca));
    if (active >= 0) {
        mCaActive = &mCaList[active >= at ? active + 1 : active];
    }
}

void MainWindow::caOpen()
{
    bool accepted = false;
    const QStringList names = authorityNames();
    const QString chosen = QInputDialog::getItem(this, tr("Otwórz"), tr("Wybierz urząd"), names, 0, false, &accepted);
    if (!accepted || names.isEmpty()) {
        return;
    }
    caClose();
    CA& ca = mCaList[names.indexOf(chosen)];
    ca.setCertificateTreeWidget(mCertTree);
    ca.setCertificateInfoWidget(mCertInfo);
    ca.setRequestTreeWidget(mReqTree);
    ca.setRequestInfoWidget(mReqInfo);
    if (!ca.open(this)) {
        return;
    }
    if (!ca.update(this)) {
        ca.close(this);
        return;
    }
    mCaActive = &ca;
    mLeftPanelTab->setCurrentIndex(0);
    for (QAction* action : openAuthorityActions()) {
        action->setEnabled(action != mCertSignReqAct && action != mCertSignReqAllAct);
    }
    caUpdateInfo();
    mRightPanelStack->setCurrentWidget(mCaInfo);
}

void MainWindow::caUpdate()
{
    if (mCaActive != nullptr) {
        mCaActive->update(this);
        caUpdateInfo();
    }
}

void MainWindow::caUpdateInfo()
{
    if (mCaActive == nullptr) {
        return;
    }
    mCaName->setText(QStringLiteral("<center><h2>") + mCaActive->name().toHtmlEscaped()
                     + QStringLiteral("</h2></center>"));
    mCaGeneralInfo->setText(mCaActive->generalInfo());
    mCaCrlInfo->setText(mCaActive->crlInfo());
    mCaPolicy->setText(mCaActive->policy());
}

void MainWindow::caClose()
{
    if (mCaActive == nullptr) {
        return;
    }
    mLeftPanelTab->setCurrentIndex(0);
    for (QAction* action : openAuthorityActions()) {
        action->setEnabled(false);
    }
    mCaActive->close(this);
    mCaActive = nullptr;
    mRightPanelStack->setCurrentWidget(mWelcome);
}

void MainWindow::caDelete()
{
    bool accepted = false;
    const QStringList names = authorityNames();
    const QString chosen = QInputDialog::getItem(this, tr("Usuń"), tr("Wybierz urząd"), names, 0, false, &accepted);
    const qsizetype index = names.indexOf(chosen);
    if (!accepted || index < 0) {
        return;
    }
    if (&mCaList[index] == mCaActive) {
        caClose();
    }
    if (!mCaList[index].remove(nullptr)) {
        return;
    }
    const qsizetype active = mCaActive == nullptr ? -1 : mCaActive - mCaList.constData();
    mCaList.removeAt(index);
    if (active >= 0) {
        mCaActive = &mCaList[active > index ? active - 1 : active];
    }
}

void MainWindow::changeCertInfo(QTreeWidgetItem*, int)
{
    if (mCaActive != nullptr) {
        mCaActive->changeCertificateInfo();
    }
}

void MainWindow::changeReqInfo(QTreeWidgetItem*, int)
{
    if (mCaActive != nullptr) {
        mCaActive->changeRequestInfo();
    }
}

void MainWindow::certGetReq()
{
    if (mCaActive != nullptr) {
        mCaActive->getReq(this);
    }
}

void MainWindow::certSignReq()
{
    if (mCaActive != nullptr) {
        mCaActive->signReq(this);
    }
}

void MainWindow::certSignReqAll()
{
    if (mCaActive != nullptr) {
        mCaActive->signReqAll(this);
    }
}

void MainWindow::certViewAll()
{
    if (mCaActive != nullptr) {
        mCaActive->setCertOnlyValidDisplay(false);
    }
}

void MainWindow::certViewValid()
{
    if (mCaActive != nullptr) {
        mCaActive->setCertOnlyValidDisplay(true);
    }
}

void MainWindow::certSaveAs()
{
    if (mCaActive != nullptr) {
        mCaActive->certSaveAs(this);
    }
}

void MainWindow::certRevoke()
{
    if (mCaActive != nullptr) {
        mCaActive->certRevoke(this);
        caUpdateInfo();
    }
}

void MainWindow::crlNew()
{
    if (mCaActive != nullptr) {
        mCaActive->crlNew(this);
        caUpdateInfo();
    }
}

void MainWindow::crlSaveAs()
{
    if (mCaActive != nullptr) {
        mCaActive->crlSaveAs(this);
    }
}

void MainWindow::changeLeftPanelTab(int index)
{
    if (mCaActive == nullptr) {
        return;
    }
    const bool requests = index == 1;
    mCertSignReqAct->setEnabled(requests);
    mCertSignReqAllAct->setEnabled(requests);
    mCertSaveAsAct->setEnabled(!requests);
    mCertRevokeAct->setEnabled(!requests);
}

} // namespace morvil::ca
