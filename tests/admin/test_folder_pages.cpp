// The pages of the key and file folders, of a key node and the unwired pages, alone: their states,
// what they emit and what they ask first.
#include "admin_texts.h"
#include "box_watcher.h"
#include "file_dialog_answer.h"
#include "page_controls.h"
#include "qt_test_main.h"
#include "widgets/file_folder_widget.h"
#include "widgets/gen_cert_req_widget.h"
#include "widgets/key_folder_widget.h"
#include "widgets/unwired_pages.h"

#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>

using namespace morvil::test;
namespace text = morvil::admin::text;

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

} // namespace

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
        QSignalSpy generated(&page, &KeyFolderWidget::generateKeySig);
        QSignalSpy deleted(&page, &KeyFolderWidget::deleteKeySig);
        auto box = [&](int slot) { return page.findChild<QGroupBox*>(QStringLiteral("keySlot%1").arg(slot)); };
        const DEV_ZR40NN_key_info_t occupied[4]
            = { keySlot(0, ""), keySlot(0, ""), keySlot(1, "jest"), keySlot(0, "") };
        page.setInfo(occupied, 4);
        // A disabled box shows the name but enables nothing.
        QCOMPARE(textOf(box(2), "keyName"), QStringLiteral("jest"));
        QVERIFY(!box(2)->isEnabled() && !enabled(box(2), "deleteKey"));
        page.enable();
        QVERIFY(enabled(box(0), "keyName") && enabled(box(0), "generateKey") && !enabled(box(0), "deleteKey"));
        QVERIFY(!enabled(box(2), "keyName") && !enabled(box(2), "generateKey") && enabled(box(2), "deleteKey"));

        // The page emits what is typed, empty too; the token node judges it.
        press(box(1), "generateKey");
        QCOMPARE(generated.size(), 1);
        QCOMPARE(generated.at(0).at(1).toInt(), 1);
        mBoxes->expectQuestion(text::confirmKeyDelete(), QMessageBox::Yes);
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
        DEV_ZR40NN_t ut {};
        ut.files_no = 15;
        ut.file_types[0] = 0x41;
        ut.file_types[3] = 0x70;
        ut.file_types[14] = 0xF0;
        ut.file_types[15] = 0x40; // beyond the table
        std::fill(ut.free_sectors, ut.free_sectors + 100, 1);
        ut.info.public_mem = 16384;
        page.setInfo(&ut);
        QCOMPARE(page.findChild<QLabel*>(QStringLiteral("fileSystemInfo"))->text(),
                 QString::fromUtf8("Liczba zapisanych plików: <b>3</b><br>Maksymalna liczba plików: <b>15</b><br>"
                                   "Wolna pamięć (bajty): <b>12800</b><br>Całkowita pamięć (bajty): <b>16384</b><br>"
                                   "Maksymalny rozmiar pliku (bajty): <b>4096</b>"));
    }

    void fileFolderAsksForARowAndNames()
    {
        FileFolderWidget page;
        // The signal carries references, which a spy cannot keep: the texts are copied as they pass.
        QList<QStringList> saved;
        connect(&page, &FileFolderWidget::saveFileSig, this, [&](QString& src, QString& dst) {
            saved << QStringList { src, dst };
        });
        mBoxes->expectInformation(QStringLiteral("Informacja"), text::selectFileToSave());
        press(&page, "saveFile");
        QCOMPARE(saved.size(), 0);
    }

    void requestPageKeepsInputsUntilEmitted()
    {
        GenCertReqWidget page;
        QList<QStringList> emitted;
        connect(&page, &GenCertReqWidget::generateCertReqSig, this,
                [&](QString& /*fileName*/, QStringList& dn) { emitted << dn; });
        page.enable();
        setText(&page, "commonName", QStringLiteral("Jan"));
        {
            FileDialogAnswer cancel({});
            press(&page, "generateRequest");
        }
        QCOMPARE(emitted.size(), 0);
        QCOMPARE(textOf(&page, "commonName"), QStringLiteral("Jan"));
        {
            FileDialogAnswer answer({ mDir.filePath(QStringLiteral("jan.req")) });
            press(&page, "generateRequest");
        }
        QCOMPARE(emitted.size(), 1);
        QCOMPARE(emitted.at(0), QStringList({ QStringLiteral("countryName=PL"), QStringLiteral("commonName=Jan") }));
        QCOMPARE(textOf(&page, "commonName"), QString());
        QCOMPARE(page.subjectEntries(), QStringList({ QStringLiteral("countryName=PL") }));
    }

    void unwiredPages()
    {
        RbgWidget rbg;
        QSignalSpy generated(&rbg, &RbgWidget::generateSig);
        {
            FileDialogAnswer answer({ mDir.filePath(QStringLiteral("los.bin")) });
            QTest::mousePress(rbg.findChild<QPushButton*>(QStringLiteral("generate")), Qt::LeftButton);
        }
        QCOMPARE(generated.size(), 1);
        QCOMPARE(generated.at(0).at(0).toInt(), 0);
        QCOMPARE(generated.at(0).at(1).toInt(), RbgWidget::kBinaryAscii);

        ProgressWidget progress;
        auto* bar = progress.findChild<QProgressBar*>(QStringLiteral("progress"));
        progress.setProgress(40); // no range yet: at most 0
        QCOMPARE(bar->value(), 0);
        progress.setRange(100);
        progress.setProgress(150);
        QCOMPARE(bar->value(), 100);
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
