// Step 2, morvil_ca: an authority made on the token's second key, the user's request (from step 1)
// and a server's request (made by the stock openssl) imported and signed, and the certificates
// saved where the VPN step takes them.
#include "authority_actions.h"
#include "ca/gui/main_window.h"
#include "ca_new_dialog.h"
#include "road_facts.h"
#include "road_test.h"
#include "stock_openssl.h"
#include "vpn_fixture.h"

#include <QInputDialog>
#include <QTabWidget>
#include <QTreeWidget>

namespace morvil::road {

namespace {

// What the stock openssl prints of a certificate with `field` (-subject, -issuer, -pubkey).
QString certificateField(const QString& path, const char* field)
{
    return test::stockOpenssl(
               { "x509", "-in", path, "-noout", QLatin1String(field), "-nameopt", "utf8,sep_comma_plus" })
        .out.trimmed();
}

} // namespace

void answerInputs(QStringList texts)
{
    if (texts.isEmpty()) {
        return;
    }
    const QString text = texts.takeFirst();
    test::onNextModal<QInputDialog>([text, texts](QInputDialog* dialog) {
        dialog->setTextValue(text);
        dialog->accept();
        answerInputs(texts);
    });
}

void RoadTest::authorityIssuesCertificates()
{
    // Where morvil_ca's main() puts the store.
    QVERIFY(QDir::setCurrent(home(QStringLiteral(".morvil_ca"))));
    mAuthorityWindow = std::make_unique<morvil::ca::MainWindow>();
    QWidget* window = mAuthorityWindow.get();
    window->show();
    mPictures.take(window, "ca", "empty-store");

    bool filled = false;
    test::onNextModal<CaNewDialog>([&](CaNewDialog* dialog) {
        test::edit(dialog, "name")->setText(kAuthority);
        test::edit(dialog, "caKeyName")->setText(kTokenName + QLatin1Char('/') + kAuthorityKey);
        test::edit(dialog, "caOrganizationName")->setText(kOrganization);
        test::edit(dialog, "caCommonName")->setText(kAuthorityCn);
        mPictures.take(dialog, "ca", "new-authority");
        filled = true;
        answerInputs({ kUserPin });
        dialog->accept();
    });
    mBoxes.expectInformation(QStringLiteral("Informacja"),
                             QString::fromUtf8("Urząd utworzony poprawnie i gotowy do pracy."));
    mTokens.clearLog(mToken);
    trigger(window, "caNewAct");
    QVERIFY(filled);
    expectBoxes();
    QVERIFY(signaturesWith(kAuthoritySlot) >= 1); // its own certificate, signed on the token
    const QString authorityCert = authorityFile(kAuthority + QStringLiteral(".cert"));
    QVERIFY(test::stockOpenssl({ "verify", "-CAfile", authorityCert, authorityCert }).succeeded());

    answerInputs({ kAuthority, kUserPin });
    trigger(window, "caOpenAct");
    QVERIFY(mAuthorityWindow->activeAuthority() != nullptr);
    mPictures.take(window, "ca", "authority-opened");

    // The server's request, as a server's administrator makes it with the stock openssl.
    QVERIFY(QDir(mWorkDir).mkpath(kServerDir));
    const QString serverDir = work(kServerDir);
    QVERIFY(
        test::stockOpenssl({ "req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                             "server.key", "-subj", QStringLiteral("/C=PL/O=%1/CN=%2").arg(kOrganization, kServerCn),
                             "-out", "server.req" },
                           serverDir)
            .succeeded());
    for (const QString& request : { work(kRequestFile), serverDir + QStringLiteral("/server.req") }) {
        test::chooseFile(request);
        trigger(window, "certGetReqAct");
    }
    expectBoxes(); // each request verified on import
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("leftPanelTab"));
    tabs->setCurrentIndex(1);
    QCOMPARE(window->findChild<QTreeWidget*>(QStringLiteral("reqTree"))->topLevelItemCount(), 2);
    mPictures.take(window, "ca", "requests-imported");

    mTokens.clearLog(mToken);
    trigger(window, "certSignReqAllAct");
    expectBoxes();
    QCOMPARE(signaturesWith(kAuthoritySlot), 2);
    QCOMPARE(window->findChild<QTreeWidget*>(QStringLiteral("reqTree"))->topLevelItemCount(), 0);
    tabs->setCurrentIndex(0);
    mPictures.take(window, "ca", "certificates-issued");

    // Both saved as PEM through the window: the user's for the connection, the server's beside its key.
    const QString serverCert = serverDir + QStringLiteral("/server.pem");
    for (const auto& [cn, target] :
         { std::pair { kUserCn, work(kUserCertFile) }, std::pair { kServerCn, serverCert } }) {
        selectRow(window, "certTree", cn, 1);
        test::chooseFile(target);
        trigger(window, "certSaveAsAct");
    }
    expectBoxes();
    QVERIFY(QFile::copy(authorityCert, serverDir + QStringLiteral("/ca.pem")));

    const QString authoritySubject = certificateField(authorityCert, "-subject").mid(8);
    QVERIFY2(authoritySubject.endsWith(QStringLiteral("CN=") + kAuthorityCn), qPrintable(authoritySubject));
    QCOMPARE(certificateField(work(kUserCertFile), "-subject"),
             QStringLiteral("subject=C=PL,O=%1,CN=%2").arg(kOrganization, kUserCn));
    QCOMPARE(certificateField(work(kUserCertFile), "-issuer"), QStringLiteral("issuer=") + authoritySubject);
    QCOMPARE(certificateField(serverCert, "-issuer"), QStringLiteral("issuer=") + authoritySubject);
    // The certificate carries the token's key, the one the request was made with.
    QCOMPARE(certificateField(work(kUserCertFile), "-pubkey"),
             test::stockOpenssl({ "req", "-in", work(kRequestFile), "-noout", "-pubkey" }).out.trimmed());
    for (const QString& issued : { work(kUserCertFile), serverCert }) {
        const ToolRun verified = test::stockOpenssl({ "verify", "-CAfile", authorityCert, issued });
        QVERIFY2(verified.succeeded(), qPrintable(verified.out + verified.err));
    }
}

} // namespace morvil::road
