// The main window and its authority when things fail: the tool cannot run or cannot read the
// authority's certificate, the disk does not take a file. A stand-in tool answers the runs, so the
// test runs with the sanitizers too; the PIN checks go to an emulated token.
#include "authority_under_test.h"
#include "box_watcher.h"
#include "dialog_answers.h"
#include "file_dialog_answer.h"
#include "full_targets.h"
#include "main_window.h"
#include "new_authority.h"
#include "qt_test_main.h"
#include "stock_openssl.h"
#include "token_bus.h"

#include <QAction>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTreeWidget>

using morvil::ca::MainWindow;

using namespace morvil::test;

namespace {

// Stands in for morvil_openssl: every run of an authority succeeds but the reading of the CRL;
// the authority's certificate is read while its file is not empty, a revocation turns the
// certificate's line of the index to "R", and a new CRL has 1000 octets of body. It lifts the
// file-size limit a test may have set, which is for the program alone.
const char* const kTool = R"(#!/bin/sh
ulimit -f unlimited
for last; do :; done
case "$1" in
x509) [ -s "$3" ] || { echo "unable to load certificate" >&2; exit 1; }
    printf 'notBefore=Jan  1 00:00:00 2026 GMT\nnotAfter=Dec 31 23:59:59 2035 GMT\nsubject=/C=PL/CN=Urzad F\n' ;;
crl) exit 1 ;;
ca) case " $* " in
    *" -gencrl "*) { echo "-----BEGIN X509 CRL-----"; head -c 1000 /dev/zero | tr '\0' A; echo;
                     echo "-----END X509 CRL-----"; } > "$last" ;;
    *" -revoke "*) serial=$(basename "$last" .pem)
                   sed -i "s/^V\(\t[0-9]*Z\)\t\t$serial\t/R\1\t260101000000Z\t$serial\t/" db_cert ;;
    esac ;;
esac
exit 0
)";

const QString kCertificate = QStringLiteral("Certificate:\n    dump\n-----BEGIN CERTIFICATE-----\n")
    + QString(600, QLatin1Char('B')) + QStringLiteral("\n-----END CERTIFICATE-----\n");

} // namespace

class AuthorityFailuresTest : public QObject
{
    Q_OBJECT

    QAction* action(const char* name) { return mWindow->findChild<QAction*>(QString::fromLatin1(name)); }
    void trigger(const char* name) { action(name)->trigger(); }
    QTreeWidget* certTree() { return mWindow->findChild<QTreeWidget*>(QStringLiteral("certTree")); }
    QString generalBox() { return mWindow->findChild<QLabel*>(QStringLiteral("Informacje ogólne"))->text(); }
    QString store(const QString& name) const { return mStore.filePath(QStringLiteral("F/") + name); }
    void write(const QString& path, const QByteArray& contents)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(contents), contents.size());
    }
    void expectBoxes()
    {
        const QStringList problems = mBoxes.finish();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        mBoxes.clearSeen();
    }
    // Makes the certificate of that common name the current row.
    void select(const QString& commonName)
    {
        const QList<QTreeWidgetItem*> rows = certTree()->findItems(commonName, Qt::MatchExactly, 1);
        QCOMPARE(rows.size(), 1);
        certTree()->setCurrentItem(rows[0]);
    }
    // What a label shows the user: its text as it stands, or the text its markup makes.
    static QString shownText(const QLabel* label)
    {
        const bool rich = label->textFormat() == Qt::RichText
            || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
        if (!rich) {
            return label->text();
        }
        QTextDocument document;
        document.setHtml(label->text());
        return document.toPlainText();
    }
    // The dialog's own question when the chosen file exists, answered Yes.
    void expectReplaceQuestion() { mBoxes.expect({ QMessageBox::Yes, QMessageBox::Warning, {}, {}, {} }); }

    QTemporaryDir mStore;
    QTemporaryDir mOutside;
    PluggedTokens mTokens;
    BoxWatcher mBoxes;
    std::unique_ptr<MainWindow> mWindow;

private slots:
    void initTestCase()
    {
        tokenBus();
        mTokens.plug(configuredToken("TOK1"));
        const QString tool = mOutside.filePath(QStringLiteral("tool"));
        write(tool, kTool);
        QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        CA::setDefaultOpensslCmd(tool);

        QVERIFY(QDir::setCurrent(mStore.path()));
        AuthorityUnderTest ca;
        ca.setName(QStringLiteral("F"));
        ca.setCaKeyName(QStringLiteral("TOK1/ca"));
        ca.createConfDir();
        QVERIFY(ca.writeConfiguration());
        write(store(QStringLiteral("F.cert")), kCertificate.toLatin1());
        write(store(QStringLiteral("db_cert")),
              "V\t351231235959Z\t\t01\tunknown\t/C=PL/O=Firma/CN=Jan\n"
              "V\t351231235959Z\t\t02\tunknown\t/C=PL/O=Firma/CN=Ola\n"
              "V\t351231235959Z\t\t03\tunknown\t/C=PL/O=Firma/CN=Piotr\n"
              "V\t351231235959Z\t\t04\tunknown\t/C=PL/O=Firma/CN=Ewa\n");

        mWindow = std::make_unique<MainWindow>();
        InputAnswers answers({ QStringLiteral("F"), QString::fromLatin1(kUserPin) });
        trigger("caOpenAct");
        QVERIFY(answers.allUsed());
        QVERIFY(mWindow->activeAuthority() != nullptr);
        QCOMPARE(certTree()->topLevelItemCount(), 5);
        expectBoxes();
    }

    // A copy for the user is the whole file or a failure: a device that takes nothing, or a disk
    // that fills up, is reported, and what the target held stays.
    void exportsThatDoNotReachTheDiskAreReported()
    {
        const QString full = fullDevice(mOutside.path());
        select(QStringLiteral("Urzad F")); // the authority's own, from F.cert
        const QImage own = certTree()->currentItem()->icon(0).pixmap(16).toImage();
        QVERIFY(!own.isNull() && own == QIcon(QStringLiteral(":img/cacert.png")).pixmap(16).toImage());
        expectReplaceQuestion();
        mBoxes.expectError(QString::fromUtf8("Nie można zapisać pliku %1.").arg(full));
        {
            FileDialogAnswer answer({ full });
            trigger("certSaveAsAct");
        }
        expectBoxes();
        QVERIFY(QFileInfo::exists(full) && !QFileInfo(full).isFile());

        const QString target = mOutside.filePath(QStringLiteral("urzad.cert"));
        write(target, "poprzedni\n");
        expectReplaceQuestion();
        mBoxes.expectError(QString::fromUtf8("Nie można zapisać pliku %1.").arg(target));
        {
            const FileSizeLimit limit(256);
            FileDialogAnswer answer({ target });
            trigger("certSaveAsAct");
        }
        expectBoxes();
        QCOMPARE(fileContents(target), QByteArray("poprzedni\n"));

        write(store(QStringLiteral("F.crl")), "#IsNotActual\n-----BEGIN X509 CRL-----\nCC\n-----END X509 CRL-----\n");
        expectReplaceQuestion();
        mBoxes.expectError(QString::fromUtf8("Nie można zapisać pliku %1.").arg(full));
        {
            FileDialogAnswer answer({ full });
            trigger("crlSaveAsAct");
        }
        expectBoxes();
    }

    // The archive copy of a new list is whole or not there; marking a list stale leaves on disk
    // either the old list or the marked one, never a part.
    void listsThatDoNotReachTheDiskAreReported()
    {
        mBoxes.expectError(QString::fromUtf8("Nie można zapisać kopii listy CRL crl/01.crl."));
        {
            const FileSizeLimit limit(512);
            trigger("crlNewAct");
        }
        expectBoxes();
        QVERIFY(!QFileInfo::exists(store(QStringLiteral("crl/01.crl"))));
        const QByteArray issued = fileContents(store(QStringLiteral("F.crl")));
        QVERIFY(issued.startsWith("-----BEGIN X509 CRL-----\nAAAA"));

        trigger("crlNewAct");
        expectBoxes();
        QCOMPARE(fileContents(store(QStringLiteral("crl/01.crl"))), issued);

        select(QStringLiteral("Jan"));
        mBoxes.expectError(QString::fromUtf8("Nie można zapisać nowych danych do pliku z listą CRL."));
        {
            const FileSizeLimit limit(512);
            trigger("certRevokeAct");
        }
        expectBoxes();
        QCOMPARE(fileContents(store(QStringLiteral("F.crl"))), issued);
        // The revocation itself went through, and the list shows it.
        select(QStringLiteral("Jan"));
        QCOMPARE(static_cast<Certificate*>(certTree()->currentItem())->state(), QStringLiteral("R"));
        // Not marked yet, so marked at the next revocation.
        select(QStringLiteral("Ola"));
        trigger("certRevokeAct");
        expectBoxes();
        QCOMPARE(fileContents(store(QStringLiteral("F.crl"))), "#IsNotActual\n" + issued);
        QVERIFY(
            mWindow->findChild<QLabel*>(QStringLiteral("Lista CRL"))->text().contains("Lista CRL jest nieaktualna!"));
    }

    // An operation that cannot read what it needs ends with its box and says it failed.
    void unreadableFilesEndTheOperation()
    {
        QTreeWidget tree;
        tree.setColumnCount(3);
        AuthorityUnderTest ca(CA::findAll(QDir::currentPath()).value(0));
        ca.setCertificateTreeWidget(&tree);
        ca.setUserPin(QString::fromLatin1(kUserPin));
        QVERIFY(ca.update(nullptr));
        tree.setCurrentItem(tree.findItems(QStringLiteral("Piotr"), Qt::MatchExactly, 1).value(0));
        const QString crl = store(QStringLiteral("F.crl"));
        QVERIFY(QFile::rename(crl, crl + QStringLiteral(".old")));
        mBoxes.expectError(QString::fromUtf8("Nie można wczytać listy CRL."));
        QVERIFY(!ca.certRevoke(nullptr));
        QVERIFY(QFile::rename(crl + QStringLiteral(".old"), crl));

        const QString serial = store(QStringLiteral("serial_crl"));
        QVERIFY(QFile::rename(serial, serial + QStringLiteral(".old")));
        mBoxes.expectError(QString::fromUtf8("Nie można otworzyć pliku serial_crl."));
        QVERIFY(!ca.crlNew(nullptr));
        // The number names the archive copy: one that is no number is refused before the tool
        // runs, and nothing is written, in the store or beside it.
        const QByteArray list = fileContents(crl);
        for (const QByteArray& number : { QByteArray("../x\n"), QByteArray(300, '1'), QByteArray("0A zz\n") }) {
            write(serial, number);
            mBoxes.expectError(QString::fromUtf8("Plik serial_crl nie zawiera poprawnego numeru listy CRL, więc nowa "
                                                 "lista nie zostanie wygenerowana."));
            QVERIFY(!ca.crlNew(nullptr));
            QCOMPARE(fileContents(crl), list);
        }
        QVERIFY(!QFileInfo::exists(store(QStringLiteral("x.crl"))));
        QCOMPARE(QDir(store(QStringLiteral("crl"))).entryList(QDir::Files), QStringList { QStringLiteral("01.crl") });
        QVERIFY(QFile::remove(serial));
        QVERIFY(QFile::rename(serial + QStringLiteral(".old"), serial));

        // Neither the list nor its archive copy goes through a link out of the store.
        const QString elsewhere = mOutside.filePath(QStringLiteral("obca.crl"));
        write(elsewhere, "obca\n");
        const QStringList outside = QDir(mOutside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        for (const auto& [linked, target] :
             { std::pair { crl, elsewhere }, std::pair { store("crl"), mOutside.path() } }) {
            QVERIFY(QFile::rename(linked, linked + QStringLiteral(".old")));
            QVERIFY(QFile::link(target, linked));
            mBoxes.expectError(QString::fromUtf8("Nowa lista CRL nie zostanie wygenerowana: %1 jest dowiązaniem "
                                                 "symbolicznym, a przez dowiązanie program niczego nie zapisuje.")
                                   .arg(QFileInfo(linked).fileName()));
            QVERIFY(!ca.crlNew(nullptr));
            QVERIFY(QFile::remove(linked));
            QVERIFY(QFile::rename(linked + QStringLiteral(".old"), linked));
        }
        QCOMPARE(fileContents(elsewhere), QByteArray("obca\n"));
        QCOMPARE(QDir(mOutside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), outside);

        // The certificate's own file is not in the store.
        tree.setCurrentItem(tree.findItems(QStringLiteral("Piotr"), Qt::MatchExactly, 1).value(0));
        mBoxes.expectError(QString::fromUtf8("Nie można otworzyć pliku certs_new/03.pem."));
        {
            FileDialogAnswer answer({ mOutside.filePath(QStringLiteral("piotr.cert")) });
            QVERIFY(!ca.certSaveAs(nullptr));
        }
        QVERIFY(!QFileInfo::exists(mOutside.filePath(QStringLiteral("piotr.cert"))));

        // A tool that cannot run issues no list.
        const QString tool = mOutside.filePath(QStringLiteral("tool"));
        QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner));
        mBoxes.expectError(QString::fromUtf8("Nie można wygenerować nowej listy CRL.\n\n"));
        QVERIFY(!ca.crlNew(nullptr));
        QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        expectBoxes();
        ca.close(nullptr);
    }

    // A request the tool could not look at is neither taken nor called malformed.
    void importWithoutTheToolSaysTheRequestWasNotChecked()
    {
        const QString tool = mOutside.filePath(QStringLiteral("tool"));
        QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner));
        write(mOutside.filePath(QStringLiteral("anna.req")), "-----BEGIN CERTIFICATE REQUEST-----\n");
        write(mOutside.filePath(QStringLiteral("pusty.req")), QByteArray());
        for (const char* name : { "anna.req", "pusty.req" }) {
            mBoxes.expectError(QString::fromUtf8("Nie można sprawdzić zgłoszenia %1, więc nie zostanie ono dodane.\n\n")
                                   .arg(QLatin1String(name)));
        }
        {
            FileDialogAnswer answer(
                { mOutside.filePath(QStringLiteral("anna.req")), mOutside.filePath(QStringLiteral("pusty.req")) });
            trigger("certGetReqAct");
        }
        QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        expectBoxes();
        QCOMPARE(QDir(store(QStringLiteral("req_new"))).entryList(QDir::Files | QDir::Hidden), QStringList());

        // A copy the disk took only a part of is not checked, nor taken.
        write(mOutside.filePath(QStringLiteral("duzy.req")),
              "-----BEGIN CERTIFICATE REQUEST-----\n" + QByteArray(40000, 'A')
                  + "\n-----END CERTIFICATE REQUEST-----\n");
        mBoxes.expectError(QString::fromUtf8("Nie można zapisać zgłoszenia duzy.req w bazie urzędu."));
        {
            const FileSizeLimit limit(4096);
            FileDialogAnswer answer({ mOutside.filePath(QStringLiteral("duzy.req")) });
            trigger("certGetReqAct");
        }
        expectBoxes();
        QCOMPARE(QDir(store(QStringLiteral("req_new"))).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // When the tool cannot read the authority's certificate, the refresh says so and every view
    // goes on showing what was last read, whichever operation refreshed.
    void aListThatFailedToLoadIsNotShown()
    {
        const QString shown = generalBox();
        QVERIFY(shown.contains(QStringLiteral("Ważny od: 2026-01-01 (00:00:00) GMT")));
        write(store(QStringLiteral("F.cert")), QByteArray());
        const QString failed = QString::fromUtf8("Nie można wczytać bazy danych certyfikatów.");

        mBoxes.expectError(failed);
        trigger("caUpdateAct");
        expectBoxes();
        QCOMPARE(generalBox(), shown);
        QCOMPARE(certTree()->topLevelItemCount(), 5);

        select(QStringLiteral("Ewa"));
        mBoxes.expectError(failed);
        trigger("certRevokeAct");
        expectBoxes();
        QCOMPARE(generalBox(), shown);

        trigger("crlNewAct");
        expectBoxes();
        QCOMPARE(generalBox(), shown);
        QCOMPARE(certTree()->topLevelItemCount(), 5);

        write(store(QStringLiteral("F.cert")), kCertificate.toLatin1());
        // Without its index, the list does not load either.
        const QString index = store(QStringLiteral("db_cert"));
        QVERIFY(QFile::rename(index, index + QStringLiteral(".old")));
        mBoxes.expectError(failed);
        trigger("caUpdateAct");
        expectBoxes();
        QCOMPARE(certTree()->topLevelItemCount(), 5);
        QVERIFY(QFile::rename(index + QStringLiteral(".old"), index));
        trigger("caUpdateAct");
        expectBoxes();
        QCOMPARE(certTree()->topLevelItemCount(), 5);

        // An authority never read has no dates to show.
        AuthorityUnderTest unread;
        unread.setName(QStringLiteral("F"));
        unread.setCaKeyName(QStringLiteral("TOK1/ca"));
        QCOMPARE(unread.generalInfo(),
                 QString::fromUtf8("Klucz urzędu: <ol><li>Nazwa tokenu: TOK1</li><li>Nazwa klucza: ca</li></ol>"
                                   "Certyfikat urzędu: <ol><li>Nazwa pliku: F.cert</li></ol>"));
    }

    // A new authority whose files the disk does not take is reported and leaves nothing.
    void creationThatDoesNotReachTheDiskLeavesNothing()
    {
        NewAuthority values;
        values.name = QStringLiteral("Pelny");
        values.caKeyName = QStringLiteral("TOK1/ca");
        values.caSubject.setCountryName(QStringLiteral("PL"));
        values.caSubject.setCommonName(QStringLiteral("Pelny"));
        AuthorityUnderTest ca;
        mBoxes.expectError(QString::fromUtf8("Nie można utworzyć katalogu urzędu %1.").arg(mStore.filePath("Pelny")));
        {
            PinDialogAnswer pin(QString::fromLatin1(kUserPin));
            const FileSizeLimit limit(1024);
            QVERIFY(!ca.create(values, nullptr));
        }
        expectBoxes();
        QVERIFY(!QFileInfo::exists(mStore.filePath("Pelny")));
    }

    // An authority's name from the store shows as it stands, whatever markup it looks like; so do
    // the file names made of it.
    void anAuthorityNameShowsAsItIs()
    {
        const QString name = QStringLiteral("<i>G&amp;");
        AuthorityUnderTest ca;
        ca.setName(name);
        ca.setCaKeyName(QStringLiteral("TOK1/ca"));
        ca.createConfDir();
        QVERIFY(ca.writeConfiguration());
        write(mStore.filePath(name + QStringLiteral("/") + name + QStringLiteral(".cert")), kCertificate.toLatin1());
        trigger("caCloseAct");
        mWindow = std::make_unique<MainWindow>();
        {
            InputAnswers answers({ name, QString::fromLatin1(kUserPin) });
            trigger("caOpenAct");
            QVERIFY(answers.allUsed());
        }
        expectBoxes();
        QCOMPARE(mWindow->activeAuthority()->name(), name);
        const QLabel* title = mWindow->findChild<QLabel*>(QStringLiteral("caName"));
        QVERIFY(title != nullptr);
        QCOMPARE(shownText(title), name);
        QVERIFY2(shownText(mWindow->findChild<QLabel*>(QStringLiteral("Informacje ogólne")))
                     .contains(QString::fromUtf8("Nazwa pliku: ") + name + QStringLiteral(".cert")),
                 qPrintable(generalBox()));
        const QLabel* crl = mWindow->findChild<QLabel*>(QStringLiteral("Lista CRL"));
        QVERIFY2(shownText(crl).startsWith(QString::fromUtf8("Nazwa pliku: ") + name + QStringLiteral(".crl")),
                 qPrintable(crl->text()));
    }

    void cleanupTestCase()
    {
        trigger("caCloseAct");
        mWindow.reset();
    }
};

MORVIL_QTEST_MAIN(AuthorityFailuresTest)
#include "test_authority_failures.moc"
