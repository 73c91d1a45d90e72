#include "road_test.h"

#include "ca/gui/main_window.h"
#include "road_facts.h"
#include "token_configs.h"
#include "vpn/main_window.h"
#include "vpn_testbed.h"

#include <QDir>
#include <QtTest>

#include <algorithm>

namespace morvil::road {

RoadTest::RoadTest(const QString& picturesDir, const QString& keepDir)
    : mKeepDir(keepDir)
    , mPictures(picturesDir)
{
}

RoadTest::~RoadTest() = default;

void RoadTest::initTestCase()
{
    test::tokenBus(); // before the library's first look at the bus
    QVERIFY(mTemp.isValid());
    // The programs keep their stores under the home directory: a fresh one for the road.
    QVERIFY(QDir(mTemp.path()).mkpath(QStringLiteral("home/.morvil_ca")));
    QVERIFY(QDir(mTemp.path()).mkpath(QStringLiteral("home/.morvil_vpn_client")));
    qputenv("HOME", QFile::encodeName(mTemp.filePath(QStringLiteral("home"))));
    mWorkDir = mKeepDir.isEmpty() ? mTemp.filePath(QStringLiteral("work")) : QDir(mKeepDir).absolutePath();
    QVERIFY(QDir().mkpath(mWorkDir));
    // A kept directory may hold an earlier road: its files would be questioned when written again.
    for (const QString& made : { kRequestFile, kUserCertFile, kCrlFile, kVpnLogFile, kTokenStateFile }) {
        QFile::remove(work(made));
    }
    for (const QString& made : { kServerDir, kAuthorityCopy }) {
        QDir(work(made)).removeRecursively();
    }
    // Without the right to make a tun device, morvil_openvpn runs openvpn with --dev null.
    if (!test::tunUsable()) {
        qputenv("MORVIL_OPENVPN_DEV", "null");
    }

    test::emu::TokenConfig blank;
    blank.serial = "ROAD-0001";
    mToken = mTokens.plug(blank);
}

QString RoadTest::work(const QString& name) const
{
    return QDir(mWorkDir).filePath(name);
}

QString RoadTest::home(const QString& relative) const
{
    return QDir(mTemp.filePath(QStringLiteral("home"))).filePath(relative);
}

QString RoadTest::authorityFile(const QString& relative) const
{
    return home(QStringLiteral(".morvil_ca/") + kAuthority + QLatin1Char('/') + relative);
}

int RoadTest::signaturesWith(int slot)
{
    const auto log = mTokens.token(mToken).log();
    return static_cast<int>(std::count_if(log.begin(), log.end(), [slot](const test::emu::LogEntry& entry) {
        return entry.code == zr40nn::test::kSignCode && entry.slot == slot && entry.status == -1;
    }));
}

void RoadTest::expectBoxes()
{
    const QStringList problems = mBoxes.finish();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    mBoxes.clearSeen();
}

} // namespace morvil::road
