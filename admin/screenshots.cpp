// morvil_admin_screenshots OUTDIR: runs the administration window on the first token of the bus
// (a blank one, as zr40nn-emu plugs by default) and walks it through its life: configured, user
// and administrator logins, PIN changes, locked by wrong PINs, unlocked, erased. A picture of the
// window (or of the box it shows) is saved after each step as OUTDIR/NN-step.png. On the way the
// user makes two keys, writes a certificate request (checked with the stock openssl) and copies
// files of each kind onto the token and one back.
#include "file_items.h"
#include "key_items.h"
#include "main_window.h"
#include "morvil_item.h"
#include "qt_translation.h"
#include "tree_model.h"
#include "typed_file_names.h"
#include "widgets/admin_widget.h"
#include "widgets/file_folder_widget.h"
#include "widgets/gen_cert_req_widget.h"
#include "widgets/gen_info_widget.h"
#include "widgets/key_folder_widget.h"
#include "widgets/login_widget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdio>

using morvil::admin::MainWindow;

namespace {

constexpr const char* kSoPin = "12345678";
constexpr const char* kUserPin = "1111";
constexpr const char* kNewUserPin = "2222";
constexpr const char* kNewSoPin = "87654321";
constexpr int kUserPinLimit = 3;

class Walk
{
public:
    Walk(MainWindow& window, QString outDir)
        : mWindow(window)
        , mOutDir(std::move(outDir))
    {
        // Every box is pictured and answered: Yes to questions, Ok to the rest.
        mBoxes.setInterval(20);
        QObject::connect(&mBoxes, &QTimer::timeout, [this] { answerBox(); });
        mBoxes.start();
    }

    bool run()
    {
        MorvilItem* node = token();
        if (node == nullptr) {
            std::fprintf(stderr, "morvil_admin_screenshots: no token on the bus\n");
            return false;
        }
        show(node, 0);
        save("blank");

        set(node->genInfoWidget(), "tokenName", QStringLiteral("Demo"));
        for (const char* edit : { "soPin", "soPinCheck" }) {
            set(node->genInfoWidget(), edit, QString::fromLatin1(kSoPin));
        }
        for (const char* edit : { "userPin", "userPinCheck" }) {
            set(node->genInfoWidget(), edit, QString::fromLatin1(kUserPin));
        }
        node->genInfoWidget()->findChild<QSpinBox*>(QStringLiteral("userPinLimit"))->setValue(kUserPinLimit);
        node->genInfoWidget()->findChild<QSpinBox*>(QStringLiteral("soPinLimit"))->setValue(5);
        press(node->genInfoWidget(), "configure");
        node = token(); // the configuration enumerates the tokens again
        show(node, 0);
        save("configured");

        login(node, false, kUserPin);
        show(node, 1);
        save("user-logged-in");
        press(node->loginWidget(), "logout");

        login(node, true, kSoPin);
        show(node, 2);
        save("administrator-logged-in");
        set(node->adminWidget(), "newUserPin", QString::fromLatin1(kNewUserPin));
        set(node->adminWidget(), "newUserPinCheck", QString::fromLatin1(kNewUserPin));
        mBoxName = QStringLiteral("user-pin-change-question");
        press(node->adminWidget(), "userPinChange");
        press(node->loginWidget(), "logout");

        node->loginWidget()->findChild<QCheckBox*>(QStringLiteral("chooseSoLogin"))->setChecked(false);
        for (int i = 0; i < kUserPinLimit; ++i) {
            mBoxName = i == 0 ? QStringLiteral("wrong-pin") : QString();
            login(node, false, kUserPin); // the old PIN, no longer right
        }
        show(node, 0);
        save("locked-by-wrong-pins");

        set(node->genInfoWidget(), "lockSoPin", QString::fromLatin1(kSoPin));
        press(node->genInfoWidget(), "unlock");
        node = token();
        show(node, 0);
        save("unlocked");

        login(node, false, kNewUserPin);
        show(node, 1);
        save("user-logged-in-with-new-pin");
        const bool requestVerified = keysAndRequest(node);
        const bool copiedBack = filesOnAndBack(token());
        node = token();
        press(node->loginWidget(), "logout");

        // The administrator changes his own PIN, which logs him out, and comes back with it.
        login(node, true, kSoPin);
        set(node->adminWidget(), "newSoPin", QString::fromLatin1(kNewSoPin));
        set(node->adminWidget(), "newSoPinCheck", QString::fromLatin1(kNewSoPin));
        press(node->adminWidget(), "soPinChange");
        login(node, true, kNewSoPin);
        show(node, 1);
        save("administrator-logged-in-with-new-pin");
        mBoxName = QStringLiteral("erase-question");
        press(node->adminWidget(), "erase");
        show(node, 0);
        save("erased");
        return mSaved > 0 && requestVerified && copiedBack;
    }

private:
    MorvilItem* token() const
    {
        TreeItem* root = mWindow.model()->rootItem();
        return root->childCount() > 0 ? static_cast<MorvilItem*>(root->child(0)) : nullptr;
    }

    // Clicks the node in the tree and shows one of its tabs.
    void show(MorvilItem* node, int tab)
    {
        showItem(node);
        node->tabs()->setCurrentIndex(tab);
    }

    void showItem(TreeItem* item)
    {
        const QModelIndex index = mWindow.model()->indexOf(item);
        mWindow.view()->expand(index.parent());
        mWindow.view()->setCurrentIndex(index);
        mWindow.model()->setActive(index);
    }

    // True when the stock openssl verifies the request written.
    bool keysAndRequest(MorvilItem* node)
    {
        auto* keys = static_cast<MorvilKeysFolderItem*>(node->child(0));
        const QStringList names { QStringLiteral("Podpis"), QString::fromUtf8("Logowanie VPN") };
        for (int slot = 0; slot < names.size(); ++slot) {
            auto* box = keys->keyFolderWidget()->findChild<QGroupBox*>(QStringLiteral("keySlot%1").arg(slot));
            set(box, "keyName", names.at(slot));
            press(box, "generateKey");
        }
        showItem(keys);
        save("key-folder-with-two-keys");

        auto* key = static_cast<MorvilKeyItem*>(keys->child(0));
        GenCertReqWidget* form = key->genCertReqWidget();
        set(form, "localityName", QString::fromUtf8("Łódź"));
        set(form, "organizationName", QString::fromUtf8("Przykładowa Firma"));
        set(form, "commonName", QString::fromUtf8("Jan Kowalski"));
        set(form, "emailAddress", QStringLiteral("jan@example.pl"));
        showItem(key);
        save("certificate-request-page");
        mNextFile = mFiles.filePath(QStringLiteral("zgloszenie.req"));
        press(form, "generateRequest");
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      { QStringLiteral("req"), QStringLiteral("-verify"), QStringLiteral("-noout"),
                        QStringLiteral("-in"), mNextFile });
        openssl.waitForFinished();
        const bool verified = openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
        std::printf("openssl req -verify %s: %s\n", qPrintable(mNextFile), verified ? "verified" : "FAILED");
        return verified;
    }

    // True when a file copied onto the token comes back byte for byte.
    bool filesOnAndBack(MorvilItem* node)
    {
        auto* files = static_cast<MorvilFilesFolderItem*>(node->child(1));
        FileFolderWidget* page = files->fileFolderWidget();
        const QList<std::pair<const char*, QByteArray>> locals {
            { "notatki.txt", "Token DEV-ZR40NN\nLista zakupów: chleb, masło.\n" },
            { "strona.html", "<html><body><b>Morvil</b></body></html>\n" },
            { "openssl.cnf", "[ req ]\ndistinguished_name = dn\n" },
            { "dane.bin", QByteArray::fromHex("00ff10e0c3a5017f80") },
            { "klucz.pub", "-----BEGIN PUBLIC KEY-----\n" },
            { "ca.crt", "-----BEGIN CERTIFICATE-----\n" },
            { "inne.dat", "?" },
        };
        for (const auto& [name, contents] : locals) {
            QFile file(mFiles.filePath(QString::fromLatin1(name)));
            if (file.open(QIODevice::WriteOnly)) {
                file.write(contents);
            }
        }
        for (const QString& name : QDir(mFiles.path()).entryList(QDir::Files)) {
            mNextFile = mFiles.filePath(name);
            press(page, "addFile");
        }
        showItem(files);
        save("file-folder");
        for (int i = 0; i < files->childCount(); ++i) {
            if (files->child(i)->data(Qt::DisplayRole).toString() == QStringLiteral("notatki.txt")) {
                showItem(files->child(i));
                save("text-file");
            }
        }
        // One file back from the token, compared with its original.
        const QList<QTreeWidgetItem*> rows = page->fileTree()->findItems(QStringLiteral("dane.bin"), Qt::MatchExactly);
        if (rows.isEmpty()) {
            return false;
        }
        page->fileTree()->setCurrentItem(rows.first());
        mNextFile = mFiles.filePath(QStringLiteral("dane-z-tokenu.bin"));
        press(page, "saveFile");
        QFile original(mFiles.filePath(QStringLiteral("dane.bin")));
        QFile copy(mNextFile);
        const bool same = original.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly)
            && original.readAll() == copy.readAll();
        std::printf("dane.bin copied back from the token: %s\n", same ? "identical" : "DIFFERENT");
        return same;
    }

    void login(MorvilItem* node, bool so, const char* pin)
    {
        node->loginWidget()->findChild<QCheckBox*>(QStringLiteral("chooseSoLogin"))->setChecked(so);
        set(node->loginWidget(), so ? "soPin" : "userPin", QString::fromLatin1(pin));
        press(node->loginWidget(), so ? "soLogin" : "userLogin");
    }

    static void set(QWidget* page, const char* edit, const QString& text)
    {
        page->findChild<QLineEdit*>(QString::fromLatin1(edit))->setText(text);
    }

    static void press(QWidget* page, const char* button)
    {
        page->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    }

    void save(const QString& step) { savePicture(mWindow.grab(), step); }

    void savePicture(const QPixmap& picture, const QString& step)
    {
        QApplication::processEvents();
        const QString path = QStringLiteral("%1/%2-%3.png")
                                 .arg(mOutDir, QStringLiteral("%1").arg(++mSaved, 2, 10, QLatin1Char('0')), step);
        if (!picture.save(path)) {
            std::fprintf(stderr, "morvil_admin_screenshots: cannot write %s\n", qPrintable(path));
        }
    }

    void answerBox()
    {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            dialog != nullptr && dialog->isVisible()) {
            if (!morvil::scripted::typeFileName(*dialog, mNextFile)) {
                std::fprintf(stderr, "morvil_admin_screenshots: the file dialog has no name field for %s\n",
                             qPrintable(mNextFile));
            }
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        std::printf("%s: %s\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
        if (!mBoxName.isEmpty()) {
            savePicture(box->grab(), mBoxName);
            mBoxName.clear();
        }
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        (yes != nullptr ? yes : box->button(QMessageBox::Ok))->click();
    }

    MainWindow& mWindow;
    QString mOutDir;
    QTimer mBoxes;
    QString mBoxName;
    int mSaved = 0;
    QTemporaryDir mFiles; // the user's local files
    QString mNextFile; // what the next file dialog picks
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTranslator translator;
    installQtTranslation(translator);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("out/screenshots");
    QDir().mkpath(outDir);
    MainWindow window;
    window.show();
    Walk walk(window, outDir);
    return walk.run() ? 0 : 1;
}
