// The child's parts. The line that says the tunnel is up: a whole line of the child's standard
// output that begins with the marker, however its reads split it; standard error carries what
// openvpn prints, which quotes the server, and nothing there counts. Stopping: a child that
// ignores SIGTERM is killed once its grace is over, and only that child.
#include "openvpn_child.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

using vpn::UpMarkerWatch;
using Channel = UpMarkerWatch::Channel;

TEST(UpMarkerWatch, FindsTheMarkerLineHoweverSplit)
{
    const QByteArray output = "Not yet Initialization Sequence Completed\n"
                              "Initialization Sequence Completed\n";
    // Every split point, those inside the marker included: the marker's line ends the output, so
    // it is complete only with the second read.
    for (qsizetype cut = 1; cut < output.size(); ++cut) {
        UpMarkerWatch watch;
        EXPECT_FALSE(watch.feed(Channel::Output, output.left(cut))) << "cut at " << cut;
        EXPECT_TRUE(watch.feed(Channel::Output, output.mid(cut))) << "cut at " << cut;
    }
    UpMarkerWatch watch;
    EXPECT_TRUE(watch.feed(Channel::Output, "Initialization Sequence Completed With Errors\n"));
    EXPECT_TRUE(watch.feed(Channel::Output, "Initialization Sequence Completed\nmore"));
    EXPECT_FALSE(watch.feed(Channel::Output, " Initialization Sequence Completed\nInitialization Sequence\n"));
    EXPECT_FALSE(watch.feed(Channel::Output, "Initialization Sequence Complete\n"));
}

TEST(UpMarkerWatch, StandardErrorNeverCountsAndResetForgets)
{
    UpMarkerWatch watch;
    EXPECT_FALSE(watch.feed(Channel::Error, "Initialization Sequence Completed\n"));
    EXPECT_FALSE(watch.feed(Channel::Error, "2026-12-09 10:00:01 Initialization Sequence Completed\n"));
    // Half a marker on each channel is no marker.
    EXPECT_FALSE(watch.feed(Channel::Output, "Initialization Seq"));
    EXPECT_FALSE(watch.feed(Channel::Error, "uence Completed\n"));
    EXPECT_FALSE(watch.feed(Channel::Output, "\n"));

    EXPECT_FALSE(watch.feed(Channel::Output, "Initialization Sequence"));
    watch.reset();
    EXPECT_FALSE(watch.feed(Channel::Output, " Completed\n"));
    // A line not yet ended does not count.
    EXPECT_FALSE(watch.feed(Channel::Output, "Initialization Sequence Completed"));
    EXPECT_TRUE(watch.feed(Channel::Output, "\n"));
}

TEST(UpMarkerWatch, AnEndlessLineIsNoMarkerAndTheNextLineIsSeen)
{
    UpMarkerWatch watch;
    const QByteArray noise(200 * 1024, 'x');
    EXPECT_FALSE(watch.feed(Channel::Output, noise));
    EXPECT_FALSE(watch.feed(Channel::Output, noise + "Initialization Sequence Completed\n"));
    EXPECT_TRUE(watch.feed(Channel::Output, "Initialization Sequence Completed\n"));
}

namespace {

// A child that ignores SIGTERM (an ignored signal stays ignored across exec), or one that does not;
// it says when it is ready, so no SIGTERM comes before it ignores them.
void startSleeper(QProcess& process, bool ignoringTerm)
{
    const QString ignore = ignoringTerm ? QStringLiteral("trap '' TERM; ") : QString();
    process.start(QStringLiteral("/bin/sh"), { QStringLiteral("-c"), ignore + QStringLiteral("echo; exec sleep 60") });
    ASSERT_TRUE(process.waitForReadyRead(5000));
}

} // namespace

TEST(StopChild, KillsAChildThatIgnoresSigtermOnceItsGraceIsOver)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    QProcess takesTerm;
    QProcess ignoresTerm;
    QProcess ignoresTermAtExit;
    startSleeper(takesTerm, false);
    startSleeper(ignoresTerm, true);
    startSleeper(ignoresTermAtExit, true);

    // A child that takes SIGTERM ends at once; the next one of the same process object is left
    // alone by the first one's timer.
    vpn::stopChild(takesTerm);
    ASSERT_TRUE(takesTerm.waitForFinished(5000));
    EXPECT_EQ(takesTerm.exitStatus(), QProcess::CrashExit);
    startSleeper(takesTerm, true);
    vpn::stopChild(ignoresTerm);

    QElapsedTimer waited;
    waited.start();
    vpn::stopChildAndWait(ignoresTermAtExit);
    EXPECT_EQ(ignoresTermAtExit.state(), QProcess::NotRunning);
    EXPECT_GE(waited.elapsed(), vpn::kStopGraceMs);

    // Both timers are due now.
    while (ignoresTerm.state() != QProcess::NotRunning && waited.elapsed() < 3 * vpn::kStopGraceMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(ignoresTerm.state(), QProcess::NotRunning);
    QCoreApplication::processEvents();
    EXPECT_EQ(takesTerm.state(), QProcess::Running);
    takesTerm.kill();
    takesTerm.waitForFinished(5000);
}
