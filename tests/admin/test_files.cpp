// Token files from the file folder's page: copying local files on and back byte for byte, the
// size limit, kinds by extension, name order, and the refusals and failures that leave both the
// token and the local files as they were.
#include "admin_texts.h"
#include "file_dialog_answer.h"
#include "file_transactions.h"
#include "folder_nodes.h"
#include "full_targets.h"
#include "qt_test_main.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>

using namespace morvil::test;
namespace text = morvil::admin::text;

namespace {

QByteArray octets(int count)
{
    QByteArray data(count, '\0');
    for (int i = 0; i < count; ++i) {
        data[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    }
    return data;
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The table slot holding `name`, or -1.
int slotNamed(const DEV_ZR40NN_t* ut, const char* name)
{
    for (int i = 0; i < ut->files_no; ++i) {
        if (ut->file_types[i] != 0 && qstrcmp(ut->file_names[i], name) == 0) {
            return i;
        }
    }
    return -1;
}

} // namespace

class FilesTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<AdminFixture> f;
    QTemporaryDir mDir;
    int mId = -1;

    MorvilItem* startLoggedIn()
    {
        mId = f->tokens.plug(configuredToken("PLIKI"));
        f->start();
        login(f->node(), false, QString::fromLatin1(kUserPin));
        return f->node();
    }

    QString localFile(const QString& name, const QByteArray& contents)
    {
        const QString path = mDir.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(contents);
        }
        return path;
    }

    FileFolderWidget* page(MorvilItem* node) { return filesFolder(node)->fileFolderWidget(); }

    void addOnPage(MorvilItem* node, const QString& path)
    {
        FileDialogAnswer answer({ path });
        press(page(node), "addFile");
    }

    void selectRow(MorvilItem* node, const QString& name)
    {
        QTreeWidget* list = page(node)->fileTree();
        const QList<QTreeWidgetItem*> rows = list->findItems(name, Qt::MatchExactly, 0);
        QCOMPARE(rows.size(), 1);
        list->setCurrentItem(rows.first());
    }

    QStringList fileNodeNames(MorvilItem* node)
    {
        QStringList names;
        for (int i = 0; i < filesFolder(node)->childCount(); ++i) {
            names << filesFolder(node)->child(i)->data(Qt::DisplayRole).toString();
        }
        return names;
    }

private slots:
    void init() { f = std::make_unique<AdminFixture>(); }
    void cleanup()
    {
        const QStringList problems = endCase(f);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void addingNeedsALoginSavingDoesNot()
    {
        mId = f->tokens.plug(configuredToken("PLIKI"));
        f->start();
        MorvilItem* node = f->node();
        QVERIFY(!page(node)->findChild<QPushButton*>(QStringLiteral("addFile"))->isEnabled());
        QVERIFY(!page(node)->findChild<QPushButton*>(QStringLiteral("deleteFile"))->isEnabled());
        QVERIFY(page(node)->findChild<QPushButton*>(QStringLiteral("saveFile"))->isEnabled());
        // Past the disabled page, straight at the folder's relay: nothing reaches the token.
        QString src = localFile(QStringLiteral("a.txt"), "abc");
        QString dst = QStringLiteral("a.txt");
        f->tokens.clearLog(mId);
        emit filesFolder(node)->addFileSig(src, dst);
        emit filesFolder(node)->deleteFileSig(dst);
        QCOMPARE(f->tokens.commands(mId), QString());
        login(node, true, QString::fromLatin1(kSoPin));
        QVERIFY(page(node)->findChild<QPushButton*>(QStringLiteral("addFile"))->isEnabled());
        press(node->loginWidget(), "logout");
        QVERIFY(!page(node)->findChild<QPushButton*>(QStringLiteral("deleteFile"))->isEnabled());
    }

    void sizeLimitKindsAndNameOrder()
    {
        MorvilItem* node = startLoggedIn();
        addOnPage(node, localFile(QStringLiteral("full.bin"), octets(4096)));
        const QString big = localFile(QStringLiteral("big.bin"), octets(4097));
        f->tokens.clearLog(mId);
        f->boxes.expectError(text::fileTooLarge(big));
        addOnPage(node, big);
        QCOMPARE(f->tokens.commands(mId), QString());
        for (const char* name :
             { "b", "a", "C", "REPORT.TXT", "cert.CER", "d.cert", "r.req", "s.htm", "c.cnf", "x.key" }) {
            addOnPage(node, localFile(QString::fromLatin1(name), "tekst\n"));
        }
        const DEV_ZR40NN_t* ut = node->device();
        QCOMPARE(ut->file_sizes[slotNamed(ut, "full.bin")], 4096);
        QCOMPARE(ut->file_types[slotNamed(ut, "full.bin")] & 0xF0, 0x70);
        QCOMPARE(ut->file_types[slotNamed(ut, "REPORT.TXT")] & 0xF0, 0x40);
        QCOMPARE(ut->file_types[slotNamed(ut, "cert.CER")] & 0xF0, 0x10);
        QCOMPARE(ut->file_types[slotNamed(ut, "d.cert")] & 0xF0, 0x10);
        QCOMPARE(ut->file_types[slotNamed(ut, "r.req")] & 0xF0, 0x30);
        QCOMPARE(ut->file_types[slotNamed(ut, "s.htm")] & 0xF0, 0x50);
        QCOMPARE(ut->file_types[slotNamed(ut, "c.cnf")] & 0xF0, 0x60);
        QCOMPARE(ut->file_types[slotNamed(ut, "x.key")] & 0xF0, 0xF0);
        QCOMPARE(slotNamed(ut, "big.bin"), -1);
        const QStringList order { "C",      "REPORT.TXT", "a",     "b",     "c.cnf", "cert.CER",
                                  "d.cert", "full.bin",   "r.req", "s.htm", "x.key" };
        QCOMPARE(fileNodeNames(node), order);
        // The tree shows each file's kind by the extension of its name.
        const QList<QPair<const char*, const char*>> icons {
            { "C", ":img/filetype_unknown.png" },       { "REPORT.TXT", ":img/filetype_txt.png" },
            { "c.cnf", ":img/filetype_conf.png" },      { "cert.CER", ":img/filetype_usercert.png" },
            { "d.cert", ":img/filetype_usercert.png" }, { "full.bin", ":img/filetype_binary.png" },
            { "r.req", ":img/filetype_userreq.png" },   { "s.htm", ":img/filetype_html.png" },
            { "x.key", ":img/filetype_key.png" },
        };
        for (const auto& [name, icon] : icons) {
            const int row = order.indexOf(QString::fromLatin1(name));
            QVERIFY2(showsIcon(filesFolder(node)->child(row)->data(Qt::DecorationRole), icon), name);
        }
        QVERIFY(showsIcon(filesFolder(node)->data(Qt::DecorationRole), ":img/files_folder_blue.png"));
        QStringList rows;
        for (int i = 0; i < page(node)->fileTree()->topLevelItemCount(); ++i) {
            rows << page(node)->fileTree()->topLevelItem(i)->text(0);
        }
        QCOMPARE(rows, order);
        QVERIFY(page(node)
                    ->findChild<QLabel*>(QStringLiteral("fileSystemInfo"))
                    ->text()
                    .contains(QStringLiteral("Liczba zapisanych plików: <b>11</b>")));
    }

    void filesGoBackByteForByte()
    {
        MorvilItem* node = startLoggedIn();
        const QByteArray data = octets(2500);
        addOnPage(node, localFile(QStringLiteral("dane.bin"), data));
        selectRow(node, QStringLiteral("dane.bin"));
        const QString copy = mDir.filePath(QStringLiteral("kopia.bin"));
        {
            FileDialogAnswer answer({ copy });
            press(page(node), "saveFile");
        }
        QCOMPARE(contentsOf(copy), data);

        // The token file is read in pieces of 1024 octets.
        DEV_ZR40NN_t* ut = node->device();
        QCOMPARE(DEV_ZR40NN_session_open(ut), 0);
        DEV_ZR40NN_file_t* handle = DEV_ZR40NN_file_open(ut, "dane.bin");
        QVERIFY(handle != nullptr);
        QList<int> pieces;
        QByteArray read;
        QVERIFY(morvil::admin::readInPieces(handle, read, [&](int count) { pieces << count; }));
        DEV_ZR40NN_file_close(handle);
        DEV_ZR40NN_session_close(ut);
        QCOMPARE(pieces, QList<int>({ 1024, 1024, 452 }));
        QCOMPARE(read, data);
    }

    void deletionAsksFirst()
    {
        MorvilItem* node = startLoggedIn();
        addOnPage(node, localFile(QStringLiteral("a.txt"), "a"));
        f->boxes.expectInformation(QStringLiteral("Informacja"), text::selectFileToDelete());
        press(page(node), "deleteFile");
        selectRow(node, QStringLiteral("a.txt"));
        f->tokens.clearLog(mId);
        f->boxes.expectQuestion(text::confirmFileDelete(), QMessageBox::No);
        press(page(node), "deleteFile");
        QCOMPARE(f->tokens.commands(mId), QString());
        // A deletion the token refuses leaves the file, and the file can still be opened: the
        // next deletion goes through.
        constexpr std::uint8_t kWriteObject = 0x2E;
        f->tokens.token(mId).failNth(kWriteObject, 1, emu::kStatusWrongPin);
        f->boxes.expectQuestion(text::confirmFileDelete(), QMessageBox::Yes);
        f->boxes.expect({ QMessageBox::Ok, QMessageBox::Critical, QStringLiteral("Błąd"), std::nullopt, [] {
                             const QString shown = BoxWatcher::activeBox()->text();
                             QVERIFY(shown.startsWith(text::tokenFileNotDeleted(QStringLiteral("a.txt"), QString())));
                             QVERIFY(shown.contains(QStringLiteral("wrong PIN, command not allowed")));
                         } });
        press(page(node), "deleteFile");
        QCOMPARE(fileNodeNames(node), QStringList({ QStringLiteral("a.txt") }));
        selectRow(node, QStringLiteral("a.txt"));
        f->boxes.expectQuestion(text::confirmFileDelete(), QMessageBox::Yes);
        press(page(node), "deleteFile");
        QCOMPARE(fileNodeNames(node), QStringList());
        QCOMPARE(page(node)->fileTree()->topLevelItemCount(), 0);
        QCOMPARE(slotNamed(node->device(), "a.txt"), -1);
    }

    void printableFilesShowAsPlainText()
    {
        MorvilItem* node = startLoggedIn();
        addOnPage(node, localFile(QStringLiteral("strona.html"), "<b>gruby</b>\n"));
        addOnPage(node, localFile(QStringLiteral("dane.bin"), octets(300)));
        auto* view = qobject_cast<QTextEdit*>(filesFolder(node)->child(1)->page());
        QVERIFY(view != nullptr && view->isReadOnly());
        QCOMPARE(view->toPlainText(), QStringLiteral("<b>gruby</b>\n"));
        QVERIFY(qobject_cast<QTextEdit*>(filesFolder(node)->child(0)->page()) == nullptr);
        // The contents come from the token through a worker, under the wait cursor.
        tokenBus().setWireTime(true);
        RecordedFailures failures;
        QByteArray read;
        {
            CursorSampler sampler;
            read = morvil::admin::readFileContents(node->device(), slotNamed(node->device(), "strona.html"), failures);
            QCOMPARE(sampler.shapes, QSet<Qt::CursorShape>({ Qt::WaitCursor }));
        }
        tokenBus().setWireTime(false);
        QCOMPARE(read, QByteArray("<b>gruby</b>\n"));
        QCOMPARE(failures.texts, QStringList());
    }

    // The token refused the file's table entry, and the read that would have told the library so
    // failed too: the failure is shown, and the tree shows what the token holds, not the file.
    void aFailedAddShowsWhatTheTokenHolds()
    {
        constexpr std::uint8_t kWriteObject = 0x2E;
        constexpr std::uint8_t kReadObject = 0x04;
        MorvilItem* node = startLoggedIn();
        // 200 octets fill two sectors, four objects: the entry is the fifth write.
        f->tokens.token(mId).failNth(kWriteObject, 5, emu::kStatusNotAllowed);
        f->tokens.token(mId).failNth(kReadObject, 1, emu::kStatusFrameSyntax);
        f->boxes.expect({ QMessageBox::Ok, QMessageBox::Critical, QStringLiteral("Błąd"), std::nullopt, [] {
                             QVERIFY(BoxWatcher::activeBox()->text().startsWith(
                                 QStringLiteral("Nie można zapisać danych do pliku zgubiony.txt")));
                         } });
        addOnPage(node, localFile(QStringLiteral("zgubiony.txt"), QByteArray(200, 'z')));
        QCOMPARE(slotNamed(node->device(), "zgubiony.txt"), -1);
        QCOMPARE(fileNodeNames(node), QStringList());
        QCOMPARE(page(node)->fileTree()->topLevelItemCount(), 0);
    }

    void localProblemsAreReportedAsSuch()
    {
        MorvilItem* node = startLoggedIn();
        DEV_ZR40NN_t* ut = node->device();
        f->tokens.clearLog(mId);
        RecordedFailures report;
        QVERIFY(!morvil::admin::addFile(ut, kUserPin, 1, mDir.path(), QStringLiteral("dir"), report));
        QCOMPARE(report.texts, QStringList({ text::localFileNotRegular(mDir.path()) }));
        QCOMPARE(f->tokens.commands(mId), QString());

        // A token file that cannot be read leaves the local file as it was.
        const QString kept = localFile(QStringLiteral("zostaje.txt"), "stare");
        report.texts.clear();
        QVERIFY(!morvil::admin::saveFile(ut, QStringLiteral("brak"), kept, report));
        QCOMPARE(report.texts.size(), 1);
        QVERIFY(report.texts.first().startsWith(QStringLiteral("Nie można otworzyć pliku brak umieszczonego")));
        QCOMPARE(contentsOf(kept), QByteArray("stare"));

        // What succeeds says so, and reports nothing.
        report.texts.clear();
        QVERIFY(morvil::admin::addFile(ut, kUserPin, 1, localFile(QStringLiteral("b.txt"), "b"), QStringLiteral("b.txt"),
                                       report));
        const QString copy = mDir.filePath(QStringLiteral("b-kopia.txt"));
        QVERIFY(morvil::admin::saveFile(ut, QStringLiteral("b.txt"), copy, report));
        QCOMPARE(report.texts, QStringList());
        QCOMPARE(contentsOf(copy), QByteArray("b"));

        // A local file that cannot be written is reported.
        const QString nowhere = mDir.filePath(QStringLiteral("brak/b.txt"));
        QVERIFY(!morvil::admin::saveFile(ut, QStringLiteral("b.txt"), nowhere, report));
        QCOMPARE(report.texts.size(), 1);
        QVERIFY(report.texts.first().startsWith(QStringLiteral("Nie można zapisać pliku ") + nowhere));

        // A device that takes nothing is reported, and stays the device it was.
        const QString full = morvil::test::fullDevice(mDir.path());
        report.texts.clear();
        QVERIFY(!morvil::admin::saveFile(ut, QStringLiteral("b.txt"), full, report));
        QCOMPARE(report.texts.size(), 1);
        QVERIFY(report.texts.first().startsWith(text::localFileNotWritten(full, QString())));
        QVERIFY(QFileInfo::exists(full) && !QFileInfo(full).isFile());
    }
};

MORVIL_QTEST_MAIN(FilesTest)
#include "test_files.moc"
