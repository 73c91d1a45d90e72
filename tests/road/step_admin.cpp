// Step 1, morvil_admin: the blank token configured, a user login, two keys made on the key
// folder's page, and the request for the first key written from its page.
#include "admin/main_window.h"
#include "admin_texts.h"
#include "folder_nodes.h"
#include "road_facts.h"
#include "road_test.h"
#include "stock_openssl.h"
#include "vpn_fixture.h"

#include <QSpinBox>
#include <QTreeView>

namespace morvil::road {

namespace {

using AdminWindow = morvil::admin::MainWindow;

MorvilItem* tokenNode(AdminWindow& window)
{
    TreeItem* root = window.model()->rootItem();
    return root->childCount() == 1 ? static_cast<MorvilItem*>(root->child(0)) : nullptr;
}

// Clicks the item in the tree, as the user does, so the window shows its page.
void showItem(AdminWindow& window, TreeItem* item)
{
    const QModelIndex index = window.model()->indexOf(item);
    window.view()->expand(index.parent());
    window.view()->setCurrentIndex(index);
    window.model()->setActive(index);
}

} // namespace

void RoadTest::adminWritesRequest()
{
    AdminWindow window;
    window.show();
    MorvilItem* node = tokenNode(window);
    QVERIFY(node != nullptr);
    showItem(window, node);
    mPictures.take(&window, "admin", "blank-token");

    GenInfoWidget* info = node->genInfoWidget();
    test::setText(info, "tokenName", kTokenName);
    for (const char* edit : { "soPin", "soPinCheck" }) {
        test::setText(info, edit, kSoPin);
    }
    for (const char* edit : { "userPin", "userPinCheck" }) {
        test::setText(info, edit, kUserPin);
    }
    info->findChild<QSpinBox*>(QStringLiteral("userPinLimit"))->setValue(kUserPinLimit);
    info->findChild<QSpinBox*>(QStringLiteral("soPinLimit"))->setValue(kSoPinLimit);
    mBoxes.expectInformation(admin::text::configureNoticeTitle(), admin::text::configureNotice());
    test::press(info, "configure");
    node = tokenNode(window); // configuring enumerates the tokens again
    QVERIFY(node != nullptr);
    QCOMPARE(node->data(Qt::DisplayRole).toString(), kTokenName);
    const test::emu::TokenConfig configured = mTokens.token(mToken).snapshot();
    QCOMPARE(configured.userPin, kUserPin.toStdString());
    QCOMPARE(configured.userPinLimit, kUserPinLimit);
    showItem(window, node);
    mPictures.take(&window, "admin", "configured");

    test::login(node, false, kUserPin);
    QVERIFY(test::keyBox(node, kUserSlot)->isEnabled());
    test::generateKeyOnPage(node, kUserSlot, kUserKey);
    test::generateKeyOnPage(node, kAuthoritySlot, kAuthorityKey);
    QCOMPARE(test::keyNodeNames(node), (QStringList { kUserKey, kAuthorityKey }));
    showItem(window, test::keysFolder(node));
    mPictures.take(&window, "admin", "two-keys");

    auto* key = static_cast<MorvilKeyItem*>(test::keysFolder(node)->child(0));
    GenCertReqWidget* form = key->genCertReqWidget();
    test::setText(form, "organizationName", kOrganization);
    test::setText(form, "commonName", kUserCn);
    showItem(window, key);
    mPictures.take(&window, "admin", "request-form");
    mTokens.clearLog(mToken);
    {
        test::chooseFile(work(kRequestFile));
        test::press(form, "generateRequest");
    }
    expectBoxes();
    // The token signed the request with the user's key, and the stock openssl agrees.
    QCOMPARE(signaturesWith(kUserSlot), 1);
    const ToolRun verified = test::stockOpenssl(
        { "req", "-in", work(kRequestFile), "-verify", "-noout", "-subject", "-nameopt", "utf8,sep_comma_plus" });
    QVERIFY2(verified.succeeded(), qPrintable(verified.err));
    QCOMPARE(verified.out.trimmed(), QStringLiteral("subject=C=PL,O=%1,CN=%2").arg(kOrganization, kUserCn));
    test::press(node->loginWidget(), "logout");
}

} // namespace morvil::road
