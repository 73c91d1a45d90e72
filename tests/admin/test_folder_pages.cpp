// The pages of the key and file folders, of a key node and the unwired pages, alone: their states,
// what they show, what they emit and what they ask first.
#include "box_watcher.h"
#include "file_dialog_answer.h"
#include "held_text.h"
#include "page_controls.h"
#include "qt_test_main.h"
#include "widgets/file_folder_widget.h"
#include "widgets/gen_cert_req_widget.h"
#include "widgets/key_folder_widget.h"
#include "widgets/unwired_pages.h"

#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace morvil::test;

namespace {

DEV_ZR40NN_key_info_t keySlot(int info, const char* name)
{
    DEV_ZR40NN_key_info_t slot {};
    slot.info = info;
    qstrncpy(slot.name, name, sizeof(slot.name));
    return slot;
}

bool enabled(QWidget* box, const char* child)
{
    return box->findChild<QWidget*>(QString::fromLatin1(child))->isEnabled();
}

QStringList rowNames(const QTreeWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        names << list->topLevelItem(i)->text(0);
    }
    return names;
}

const char* const kSubjectEdits[] = { "stateOrProvinceName",    "localityName", "organizationName",
                                      "organizationalUnitName", "commonName",   "emailAddress" };

} // namespace

// Counts the paint events a window gets after the last modal dialog has gone.
class PaintsAfterDialog : public QObject
{
public:
    explicit PaintsAfterDialog(QWidget* window)
        : mWindow(window)
    {
        qApp->installEventFilter(this);
    }
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (QApplication::activeModalWidget() != nullptr) {
            paints = 0;
        } else if (watched == mWindow && event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }

private:
    QWidget* mWindow;
};

class FolderPagesTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<BoxWatcher> mBoxes;
    QTemporaryDir mDir;

private slots:
    void init() { mBoxes = std::make_unique<BoxWatcher>(); }
    void cleanup()
    {
        const QStringList problems = mBoxes->finish();
        mBoxes.reset();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void keyBoxesFollowTheirSlotsAndTheLogin()
    {
        KeyFolderWidget page;
        QList<std::pair<QByteArray, int>> generated;
        connect(&page, &KeyFolderWidget::generateKeySig, this,
                [&](const char* name, int id) { generated << std::pair(QByteArray(name), id); });
        QSignalSpy deleted(&page, &KeyFolderWidget::deleteKeySig);
        auto box = [&](int slot) { return page.findChild<QGroupBox*>(QStringLiteral("keySlot%1").arg(slot)); };
        // The slots are numbered for the user from 1.
        for (int slot = 0; slot < 4; ++slot) {
            QCOMPARE(box(slot)->title(), QStringLiteral("Klucz #%1").arg(slot + 1));
        }
        const DEV_ZR40NN_key_info_t occupied[4]
            = { keySlot(0, ""), keySlot(0, ""), keySlot(1, "jest"), keySlot(0, "") };
        page.setInfo(occupied, 4);
        // A disabled box shows the name but enables nothing.
        QCOMPARE(textOf(box(2), "keyName"), QStringLiteral("jest"));
        QVERIFY(!box(2)->isEnabled() && !enabled(box(2), "deleteKey"));
        page.enable();
        QVERIFY(enabled(box(0), "keyName") && enabled(box(0), "generateKey") && !enabled(box(0), "deleteKey"));
        QVERIFY(!enabled(box(2), "keyName") && !enabled(box(2), "generateKey") && enabled(box(2), "deleteKey"));

        // The page emits what is typed, empty too; the token node judges it. A name takes 22
        // characters.
        press(box(1), "generateKey");
        auto* name = box(3)->findChild<QLineEdit*>(QStringLiteral("keyName"));
        typeInto(name, QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
        QCOMPARE(name->text(), QStringLiteral("abcdefghijklmnopqrstuv"));
        press(box(3), "generateKey");
        QCOMPARE(
            generated,
            (QList<std::pair<QByteArray, int>> { { QByteArray(), 1 }, { QByteArray("abcdefghijklmnopqrstuv"), 3 } }));
        const QString question = QString::fromUtf8("Czy jesteś pewien, że chcesz usunąć klucz?");
        mBoxes->expectQuestion(question, QMessageBox::No);
        press(box(2), "deleteKey");
        lastBoxAskedYesOrNo(*mBoxes);
        QCOMPARE(deleted.size(), 0);
        mBoxes->expectQuestion(question, QMessageBox::Yes);
        press(box(2), "deleteKey");
        QCOMPARE(deleted.size(), 1);
        QCOMPARE(deleted.at(0).at(0).toInt(), 2);

        // A slot that empties shows no name, whatever was typed; an enabled box follows it.
        setText(box(0), "keyName", QStringLiteral("wpisany"));
        const DEV_ZR40NN_key_info_t emptied[4] = { keySlot(0, ""), keySlot(0, ""), keySlot(0, "jest"), keySlot(0, "") };
        page.setInfo(emptied, 4);
        QCOMPARE(textOf(box(0), "keyName"), QString());
        QVERIFY(enabled(box(2), "generateKey") && !enabled(box(2), "deleteKey"));
        page.disable();
        QVERIFY(!box(0)->isEnabled() && !enabled(box(0), "generateKey"));

        // Slots the token does not have offer nothing, whoever logs in, and keep their place.
        page.setInfo(occupied, 2);
        page.enable();
        QVERIFY(box(2)->isHidden() && !box(2)->isEnabled() && !enabled(box(2), "deleteKey"));
        QVERIFY(box(3)->isHidden() && !enabled(box(3), "generateKey"));
        QVERIFY(!box(1)->isHidden() && enabled(box(1), "generateKey"));
        page.setInfo(occupied, 4);
        QVERIFY(!box(3)->isHidden() && enabled(box(3), "generateKey"));
    }

    void fileFolderFiguresCountOnlyTheTable()
    {
        FileFolderWidget page;
        auto* list = page.findChild<QTreeWidget*>(QStringLiteral("fileTree"));
        QCOMPARE(list->headerItem()->text(0), QStringLiteral("Nazwa pliku"));
        QCOMPARE(list->headerItem()->text(1), QStringLiteral("Rozmiar [Bajty]"));
        QCOMPARE(list->headerItem()->text(2), QString());
        auto* figures = page.findChild<QLabel*>(QStringLiteral("fileSystemInfo"));
        DEV_ZR40NN_t ut {};
        ut.files_no = 15;
        ut.file_types[0] = 0x41;
        ut.file_types[3] = 0x70;
        ut.file_types[14] = 0xF0;
        ut.file_types[15] = 0x40; // beyond the table
        std::fill(ut.free_sectors, ut.free_sectors + 100, 1);
        ut.info.public_mem = 16384;
        page.setInfo(&ut);
        QCOMPARE(figures->text(),
                 QString::fromUtf8("Liczba zapisanych plików: <b>3</b><br>Maksymalna liczba plików: <b>15</b><br>"
                                   "Wolna pamięć (bajty): <b>12800</b><br>Całkowita pamięć (bajty): <b>16384</b><br>"
                                   "Maksymalny rozmiar pliku (bajty): <b>4096</b>"));
        // A token without a file table counts nothing in it.
        ut.files_no = 0;
        std::fill(ut.free_sectors, ut.free_sectors + 128, 0);
        page.setInfo(&ut);
        QCOMPARE(figures->text(),
                 QString::fromUtf8("Liczba zapisanych plików: <b>0</b><br>Maksymalna liczba plików: <b>0</b><br>"
                                   "Wolna pamięć (bajty): <b>0</b><br>Całkowita pamięć (bajty): <b>16384</b><br>"
                                   "Maksymalny rozmiar pliku (bajty): <b>4096</b>"));
    }

    // The rows are the file nodes': put in first, taken out without being destroyed, sorted on
    // request.
    void fileRowsComeAndGoAsTheNodesSay()
    {
        FileFolderWidget page;
        QTreeWidget* list = page.fileTree();
        auto row = [](const char* name) { return new QTreeWidgetItem(QStringList { QLatin1String(name) }); };
        std::unique_ptr<QTreeWidgetItem> b(row("b")), a(row("a")), c(row("c"));
        page.insertFileWidgetItem(b.get());
        page.insertFileWidgetItem(a.get());
        page.insertFileWidgetItem(c.get());
        QCOMPARE(rowNames(list), QStringList({ "c", "a", "b" }));
        page.sortFilesByName();
        QCOMPARE(rowNames(list), QStringList({ "a", "b", "c" }));
        page.removeFileWidgetItem(a.get());
        QCOMPARE(rowNames(list), QStringList({ "b", "c" }));
        QCOMPARE(a->treeWidget(), nullptr);
        QCOMPARE(a->text(0), QStringLiteral("a"));
        page.removeFileWidgetItem(c.get());
        QCOMPARE(rowNames(list), QStringList({ "b" }));
        page.removeFileWidgetItem(c.get()); // not in the list any more
        QCOMPARE(rowNames(list), QStringList({ "b" }));
        page.removeFileWidgetItem(b.get());
    }

    void fileFolderAsksForARowAndNames()
    {
        FileFolderWidget page;
        // The signals carry references, which a spy cannot keep: the texts are copied as they pass.
        QList<QStringList> added, deleted, saved;
        connect(&page, &FileFolderWidget::addFileSig, this, [&](QString& src, QString& dst) {
            added << QStringList { src, dst };
        });
        connect(&page, &FileFolderWidget::deleteFileSig, this, [&](QString& name) { deleted << QStringList { name }; });
        connect(&page, &FileFolderWidget::saveFileSig, this, [&](QString& src, QString& dst) {
            saved << QStringList { src, dst };
        });
        auto* add = page.findChild<QPushButton*>(QStringLiteral("addFile"));
        auto* del = page.findChild<QPushButton*>(QStringLiteral("deleteFile"));
        auto* save = page.findChild<QPushButton*>(QStringLiteral("saveFile"));
        QCOMPARE(add->text(), QStringLiteral("Dodaj plik"));
        QCOMPARE(del->text(), QString::fromUtf8("Usuń plik"));
        QCOMPARE(save->text(), QStringLiteral("Zapisz jako"));

        // Without a login only saving is offered, and it needs a row.
        QVERIFY(!add->isEnabled() && !del->isEnabled() && save->isEnabled());
        mBoxes->expectInformation(QStringLiteral("Informacja"),
                                  QString::fromUtf8("Musisz wskazać plik, który ma być zapisany."));
        press(&page, "saveFile");
        page.enable();
        QVERIFY(add->isEnabled() && del->isEnabled() && save->isEnabled());
        mBoxes->expectInformation(QStringLiteral("Informacja"),
                                  QString::fromUtf8("Musisz wskazać plik, który ma być usunięty."));
        press(&page, "deleteFile");
        for (const BoxRecord& box : mBoxes->seen()) {
            QCOMPARE(box.buttons, QMessageBox::Ok);
        }

        // A local file goes on the token under the name after its last "/".
        const QString local = mDir.filePath(QStringLiteral("cert.pem"));
        QFile(local).open(QIODevice::WriteOnly);
        {
            FileDialogAnswer cancel({});
            press(&page, "addFile");
            QCOMPARE(cancel.caption, QStringLiteral("Importuj"));
        }
        {
            FileDialogAnswer answer({ local });
            press(&page, "addFile");
        }
        QCOMPARE(added, QList<QStringList>({ { local, QStringLiteral("cert.pem") } }));

        std::unique_ptr<QTreeWidgetItem> item(new QTreeWidgetItem(QStringList { QStringLiteral("dane.bin") }));
        page.insertFileWidgetItem(item.get());
        page.fileTree()->setCurrentItem(item.get());
        const QString question = QString::fromUtf8("Czy jesteś pewien, że chcesz usunąć plik?");
        mBoxes->expectQuestion(question, QMessageBox::No);
        press(&page, "deleteFile");
        lastBoxAskedYesOrNo(*mBoxes);
        mBoxes->expectQuestion(question, QMessageBox::Yes);
        press(&page, "deleteFile");
        QCOMPARE(deleted, QList<QStringList>({ { QStringLiteral("dane.bin") } }));

        // Saving stays once the login is gone.
        page.disable();
        QVERIFY(!add->isEnabled() && !del->isEnabled() && save->isEnabled());
        const QString copy = mDir.filePath(QStringLiteral("kopia.bin"));
        {
            FileDialogAnswer cancel({});
            press(&page, "saveFile");
            QCOMPARE(cancel.caption, QStringLiteral("Zapisz jako"));
        }
        {
            FileDialogAnswer answer({ copy });
            press(&page, "saveFile");
        }
        QCOMPARE(saved, QList<QStringList>({ { QStringLiteral("dane.bin"), copy } }));
        QCOMPARE(added.size(), 1);
        QCOMPARE(deleted.size(), 1);
        page.removeFileWidgetItem(item.get());
    }

    void requestPageKeepsInputsUntilEmitted()
    {
        GenCertReqWidget page;
        QList<QStringList> emitted;
        QStringList files;
        connect(&page, &GenCertReqWidget::generateCertReqSig, this, [&](QString& fileName, QStringList& dn) {
            files << fileName;
            emitted << dn;
        });
        page.enable();
        QStringList typed { QStringLiteral("countryName=PL") };
        for (const char* edit : kSubjectEdits) {
            const QString value = QStringLiteral(" %1 = x").arg(QLatin1String(edit));
            setText(&page, edit, value);
            typed << QLatin1String(edit) + QLatin1Char('=') + value;
        }
        {
            FileDialogAnswer cancel({});
            press(&page, "generateRequest");
            QCOMPARE(cancel.caption, QStringLiteral("Zapisz jako"));
        }
        QCOMPARE(emitted.size(), 0);
        for (const char* edit : kSubjectEdits) {
            QCOMPARE(textOf(&page, edit), QStringLiteral(" %1 = x").arg(QLatin1String(edit)));
        }
        const QString path = mDir.filePath(QStringLiteral("jan.req"));
        {
            FileDialogAnswer answer({ path });
            press(&page, "generateRequest");
        }
        QCOMPARE(files, QStringList({ path }));
        QCOMPARE(emitted, QList<QStringList>({ typed }));
        for (const char* edit : kSubjectEdits) {
            QCOMPARE(textOf(&page, edit), QString());
        }
        QCOMPARE(page.findChild<QComboBox*>(QStringLiteral("countryName"))->currentText(), QStringLiteral("PL"));
        QCOMPARE(page.subjectEntries(), QStringList({ QStringLiteral("countryName=PL") }));
    }

    // The window is drawn again where the dialog was before the request, which keeps the program
    // busy, is made.
    void theWindowIsRedrawnBeforeTheRequest()
    {
        QWidget window;
        auto* page = new GenCertReqWidget;
        // An opaque page: the window itself draws only its margin around the page.
        page->setAutoFillBackground(true);
        (new QVBoxLayout(&window))->addWidget(page);
        page->enable();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PaintsAfterDialog watch(&window);
        int paintsBeforeRequest = -1;
        connect(page, &GenCertReqWidget::generateCertReqSig, this,
                [&](QString&, QStringList&) { paintsBeforeRequest = watch.paints; });
        FileDialogAnswer answer({ mDir.filePath(QStringLiteral("okno.req")) });
        press(page, "generateRequest");
        QVERIFY(paintsBeforeRequest > 0);
    }

    void randomOctetsFormSendsCountFormatAndFile_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("code");
        QTest::newRow("binary ASCII") << QStringLiteral("binarnie ASCII") << int(RbgWidget::kBinaryAscii);
        QTest::newRow("hexadecimal ASCII") << QStringLiteral("szesnastkowo ASCII") << int(RbgWidget::kHexAscii);
        QTest::newRow("binary") << QStringLiteral("binarnie") << int(RbgWidget::kBinary);
    }
    void randomOctetsFormSendsCountFormatAndFile()
    {
        QFETCH(QString, format);
        QFETCH(int, code);
        RbgWidget rbg;
        QList<QVariantList> generated;
        connect(&rbg, &RbgWidget::generateSig, this, [&](int octets, int fmt, QString& fileName) {
            generated << QVariantList { octets, fmt, fileName };
        });
        auto* generate = rbg.findChild<QPushButton*>(QStringLiteral("generate"));
        auto* count = rbg.findChild<QSpinBox*>(QStringLiteral("octets"));
        const QString path = mDir.filePath(QStringLiteral("los.bin"));
        // The count starts at 0, the first format is chosen, and the button acts when pressed.
        {
            FileDialogAnswer answer({ path });
            QTest::mousePress(generate, Qt::LeftButton);
            QCOMPARE(answer.caption, QStringLiteral("Zapisz jako"));
        }
        QTest::mouseRelease(generate, Qt::LeftButton);
        QCOMPARE(generated, QList<QVariantList>({ { 0, int(RbgWidget::kBinaryAscii), path } }));

        for (QRadioButton* button : rbg.findChildren<QRadioButton*>()) {
            if (button->text() == format) {
                button->setChecked(true);
            }
        }
        count->setValue(200000000);
        QCOMPARE(count->value(), 100000000);
        {
            FileDialogAnswer cancel({});
            QTest::mousePress(generate, Qt::LeftButton);
        }
        QTest::mouseRelease(generate, Qt::LeftButton);
        QCOMPARE(generated.size(), 1);
        {
            FileDialogAnswer answer({ path });
            QTest::mousePress(generate, Qt::LeftButton);
        }
        QTest::mouseRelease(generate, Qt::LeftButton);
        QCOMPARE(generated.size(), 2);
        QCOMPARE(generated.at(1), (QVariantList { 100000000, code, path }));
    }

    void progressAndDetailsPages()
    {
        ProgressWidget progress;
        auto* bar = progress.findChild<QProgressBar*>(QStringLiteral("progress"));
        progress.setProgress(40); // no range yet: at most 0
        QCOMPARE(bar->value(), 0);
        progress.setRange(250);
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 250);
        progress.setProgress(300);
        QCOMPARE(bar->value(), 250);
        progress.setProgress(60);
        QCOMPARE(bar->value(), 60);

        DetInfoWidget details;
        DEV_ZR40NN_info_t info {};
        details.setInfo(&info);
        QVERIFY(details.layout() != nullptr && details.layout()->count() == 0);
    }
};

MORVIL_QTEST_MAIN(FolderPagesTest)
#include "test_folder_pages.moc"
