// morvil_ca_screenshots OUTDIR: prepares the first token of the bus (a blank one, as zr40nn-emu
// plugs by default) with a user PIN and a key, then runs the authority window in a store of its
// own: a new authority made through the new-authority dialog, requests (made by the stock openssl)
// imported and signed, one certificate revoked and a revocation list issued. A picture of the
// dialog and of the window at each step is saved as OUTDIR/ca-NN-step.png.
#include "ca_new_dialog.h"
#include "main_window.h"
#include "token_transactions.h"
#include "tool_runner.h"

#include "dev_zr40nn.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

using morvil::ca::MainWindow;

namespace {

constexpr const char* kSoPin = "12345678";
constexpr const char* kUserPin = "1111";
constexpr const char* kTokenName = "Demo";
constexpr const char* kKeyName = "urzad";
const QString kAuthority = QStringLiteral("Demo_CA");

class PrintedReport : public morvil::admin::FailureReport
{
public:
    void failed(const QString& text) override
    {
        std::fprintf(stderr, "morvil_ca_screenshots: %s\n", qPrintable(text));
        mFailed = true;
    }
    bool mFailed = false;
};

// Configures the blank first token and makes the authority's key on it.
bool prepareToken()
{
    if (DEV_ZR40NN_lib_init() < 0 || DEV_ZR40NN_lib_find_devices() <= 0) {
        std::fprintf(stderr, "morvil_ca_screenshots: no token on the bus\n");
        return false;
    }
    DEV_ZR40NN_t* ut = DEV_ZR40NN_get_first();
    morvil::admin::fillConfiguration(ut->conf, kTokenName, 5, kSoPin, 3, kUserPin, false);
    PrintedReport report;
    morvil::admin::configureToken(ut, report);
    bool made = !report.mFailed && DEV_ZR40NN_session_open(ut) == 0;
    made = made && DEV_ZR40NN_cmd_generate_key(ut, kUserPin, morvil::admin::kUserPinId, kKeyName, 0) == 0;
    DEV_ZR40NN_session_close(ut);
    DEV_ZR40NN_lib_finish();
    return made;
}

class Walk
{
public:
    Walk(MainWindow& window, QString outDir, QString requestDir)
        : mWindow(window)
        , mOutDir(std::move(outDir))
        , mRequestDir(std::move(requestDir))
    {
        mDialogs.setInterval(20);
        QObject::connect(&mDialogs, &QTimer::timeout, [this] { answer(); });
        mDialogs.start();
    }

    bool run()
    {
        trigger("caNewAct");
        if (mWindow.authorities().isEmpty()) {
            return false;
        }
        mInputs = { kAuthority, QString::fromLatin1(kUserPin) };
        trigger("caOpenAct");
        if (mWindow.activeAuthority() == nullptr) {
            return false;
        }
        save("authority-opened");
        for (const char* name : { "anna", "jan" }) {
            const QString path = mRequestDir + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".req");
            const ToolRun made
                = runTool(QStringLiteral("openssl"),
                          { "req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                            "/dev/null", "-subj", QStringLiteral("/C=PL/O=Morvil/CN=") + QString::fromLatin1(name),
                            "-out", path },
                          mRequestDir, {});
            if (!made.succeeded()) {
                std::fprintf(stderr, "morvil_ca_screenshots: openssl req: %s\n", qPrintable(made.err));
                return false;
            }
            mChosenFile = path;
            trigger("certGetReqAct");
        }
        tabs()->setCurrentIndex(1);
        save("requests");
        trigger("certSignReqAllAct");
        tabs()->setCurrentIndex(0);
        save("certificates");
        auto* tree = mWindow.findChild<QTreeWidget*>(QStringLiteral("certTree"));
        const QList<QTreeWidgetItem*> jan = tree->findItems(QStringLiteral("jan"), Qt::MatchExactly, 1);
        if (jan.isEmpty()) {
            return false;
        }
        tree->setCurrentItem(jan[0]);
        trigger("certRevokeAct");
        save("revoked");
        trigger("crlNewAct");
        save("crl-issued");
        trigger("caCloseAct");
        return mSaved > 0;
    }

private:
    void trigger(const char* action) { mWindow.findChild<QAction*>(QString::fromLatin1(action))->trigger(); }
    QTabWidget* tabs() { return mWindow.findChild<QTabWidget*>(QStringLiteral("leftPanelTab")); }
    void save(const QString& step) { savePicture(mWindow.grab(), step); }
    void savePicture(const QPixmap& picture, const QString& step)
    {
        const QString path
            = QStringLiteral("%1/ca-%2-%3.png").arg(mOutDir).arg(++mSaved, 2, 10, QLatin1Char('0')).arg(step);
        if (!picture.save(path)) {
            std::fprintf(stderr, "morvil_ca_screenshots: cannot save %s\n", qPrintable(path));
        }
    }

    // Fills the new-authority form, pictures it and creates; answers the PIN and choice
    // dialogs, the file dialogs and every box.
    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible() || modal == mAnswered) {
            return;
        }
        if (auto* form = qobject_cast<CaNewDialog*>(modal)) {
            mAnswered = modal;
            form->findChild<QLineEdit*>(QStringLiteral("name"))->setText(kAuthority);
            form->findChild<QLineEdit*>(QStringLiteral("caKeyName"))
                ->setText(QString::fromLatin1(kTokenName) + QLatin1Char('/') + QString::fromLatin1(kKeyName));
            form->findChild<QLineEdit*>(QStringLiteral("caOrganizationName"))->setText(QStringLiteral("Morvil"));
            form->findChild<QLineEdit*>(QStringLiteral("caCommonName"))->setText(QStringLiteral("Morvil Demo CA"));
            savePicture(form->grab(), QStringLiteral("new-authority-dialog"));
            mInputs = { QString::fromLatin1(kUserPin) };
            form->accept();
        } else if (auto* input = qobject_cast<QInputDialog*>(modal)) {
            mAnswered = modal;
            input->setTextValue(mInputs.isEmpty() ? QString() : mInputs.takeFirst());
            input->accept();
        } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            mAnswered = modal;
            files->selectFile(mChosenFile);
            static_cast<QDialog*>(files)->accept();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            mAnswered = modal;
            std::printf("%s: %s\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            (yes != nullptr ? yes : box->button(QMessageBox::Ok))->click();
        }
    }

    MainWindow& mWindow;
    QString mOutDir;
    QString mRequestDir;
    QTimer mDialogs;
    QPointer<QWidget> mAnswered;
    QStringList mInputs;
    QString mChosenFile;
    int mSaved = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("out/screenshots");
    QDir().mkpath(outDir);
    if (!prepareToken()) {
        return 1;
    }
    // A store of its own: the user's authorities are never touched.
    QTemporaryDir store;
    QTemporaryDir requests;
    if (!store.isValid() || !requests.isValid() || !QDir::setCurrent(store.path())) {
        return 1;
    }
    MainWindow window;
    window.show();
    Walk walk(window, outDir, requests.path());
    bool done = false;
    QTimer::singleShot(0, [&] {
        done = walk.run();
        QApplication::quit();
    });
    QApplication::exec();
    return done ? 0 : 1;
}
