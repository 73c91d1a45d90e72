// The road of one certificate through the three programs, as one Qt test: morvil_admin configures
// a blank emulated token, makes two keys and writes a request; morvil_ca makes an authority on the
// second key and issues the user's certificate and a server certificate; morvil_vpn connects with
// the user's certificate and the token key to an OpenVPN server on 127.0.0.1; the authority
// revokes the user's certificate, and the next connection to a server that checks the list fails.
// Each test function is one step and stands on the ones before it.
#pragma once

#include "box_watcher.h"
#include "road_pictures.h"
#include "running_process.h"
#include "token_bus.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QTextEdit;
namespace morvil::ca {
class MainWindow;
}
class MainWindow; // morvil_vpn's

namespace morvil::road {

// Answers the input dialogs that come next, one after another, with texts in order.
void answerInputs(QStringList texts);

class RoadTest : public QObject
{
    Q_OBJECT
public:
    // Pictures go to picturesDir when it is not empty; what the road made stays in keepDir when it
    // is not empty.
    RoadTest(const QString& picturesDir, const QString& keepDir);
    ~RoadTest() override;

private slots:
    void initTestCase();
    void adminWritesRequest(); // step_admin.cpp
    void authorityIssuesCertificates(); // step_authority.cpp
    void vpnConnectsWithTheTokenKey(); // step_vpn.cpp
    void revokedCertificateIsRefused(); // step_revocation.cpp
    void cleanupTestCase(); // road_output.cpp

private:
    // Where the road's files lie: the kept directory or a temporary one.
    QString work(const QString& name) const;
    QString home(const QString& relative) const;
    // The authority's directory and a file in it.
    QString authorityFile(const QString& relative) const;
    // How many times the token was asked to sign with the key in slot since its log was cleared.
    int signaturesWith(int slot);
    // The boxes were exactly those scripted.
    void expectBoxes();
    void keep();
    // morvil_vpn's output pane; connecting its only connection with the user PIN; whether the
    // connection's child has ended (its end shown by the buttons); its output added to vpn.log.
    QTextEdit* vpnOutput() const;
    void connectVpn();
    bool vpnChildEnded() const;
    // Whether the server's log holds text so far.
    bool serverSaid(const QString& text) const;
    void keepVpnOutput(const char* run);

    QTemporaryDir mTemp; // HOME and, unless kept, the work files
    QString mWorkDir;
    QString mKeepDir;
    Pictures mPictures;
    test::PluggedTokens mTokens;
    test::BoxWatcher mBoxes;
    int mToken = -1;
    int mPort = -1;
    std::unique_ptr<morvil::ca::MainWindow> mAuthorityWindow; // open from step 2 to the end
    std::unique_ptr<::MainWindow> mVpnWindow; // from step 3
    std::unique_ptr<test::RunningProcess> mServer;
};

} // namespace morvil::road
