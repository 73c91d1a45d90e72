// The end of the road: windows closed, the server stopped, and with a directory to keep them in,
// what the road made: the authority's directory as ca/ and the token's state, which zr40nn-emu
// --state-file plugs again. The request, the certificates, the list and the client's output are
// already there.
#include "ca/gui/main_window.h"
#include "road_facts.h"
#include "road_test.h"
#include "state_file.h"
#include "vpn/main_window.h"
#include "vpn_fixture.h"

#include <QtTest>

#include <filesystem>

namespace morvil::road {

void RoadTest::cleanupTestCase()
{
    // A child still running is stopped first, as the program's exit does.
    if (mVpnWindow != nullptr && !vpnChildEnded()) {
        test::button(mVpnWindow.get(), "disconnect")->click();
        QTRY_VERIFY_WITH_TIMEOUT(vpnChildEnded(), 15000);
    }
    mVpnWindow.reset();
    mAuthorityWindow.reset();
    mServer.reset();
    keep();
    mTokens.unplugAll();
    QVERIFY2(mPictures.failures().isEmpty(), qPrintable(mPictures.failures().join(QLatin1Char('\n'))));
}

void RoadTest::keep()
{
    if (mKeepDir.isEmpty() || mToken < 0) {
        return;
    }
    namespace fs = std::filesystem;
    const fs::path authority = QFile::encodeName(authorityFile(QString())).toStdString();
    const fs::path copy = QFile::encodeName(work(kAuthorityCopy)).toStdString();
    std::error_code error;
    fs::remove_all(copy, error);
    if (fs::is_directory(authority)) {
        fs::copy(authority, copy, fs::copy_options::recursive, error);
        QVERIFY2(!error, error.message().c_str());
    }
    try {
        zr40nn::emu::saveStateFile(QFile::encodeName(work(kTokenStateFile)).toStdString(),
                                   { mTokens.token(mToken).snapshot() });
    } catch (const zr40nn::emu::StateFileError& failure) {
        QFAIL(failure.what());
    }
}

} // namespace morvil::road
