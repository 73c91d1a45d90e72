// The line that says the tunnel is up: a whole line of the child's standard output that begins
// with the marker, however its reads split it. Standard error carries what openvpn prints, which
// quotes the server: nothing there counts.
#include "openvpn_child.h"

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
