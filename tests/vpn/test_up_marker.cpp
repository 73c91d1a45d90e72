// The line that says the tunnel is up, found in whole lines of the child's output however its
// reads split them, and on each channel apart.
#include "openvpn_child.h"

#include <gtest/gtest.h>

using vpn::UpMarkerWatch;
using Channel = UpMarkerWatch::Channel;

TEST(UpMarkerWatch, FindsTheMarkerInWholeLinesHoweverSplit)
{
    const QByteArray output = "2026-12-09 10:00:00 Peer Connection Initiated\n"
                              "2026-12-09 10:00:01 Initialization Sequence Completed\n";
    // Every split point, those inside the marker included: the marker's line ends the output, so
    // it is complete only with the second read.
    for (qsizetype cut = 1; cut < output.size(); ++cut) {
        UpMarkerWatch watch;
        EXPECT_FALSE(watch.feed(Channel::Output, output.left(cut))) << "cut at " << cut;
        EXPECT_TRUE(watch.feed(Channel::Output, output.mid(cut))) << "cut at " << cut;
    }
}

TEST(UpMarkerWatch, ChannelsAreLinesApartAndResetForgets)
{
    UpMarkerWatch watch;
    // Half a marker on each channel is no marker.
    EXPECT_FALSE(watch.feed(Channel::Output, "Initialization Seq"));
    EXPECT_FALSE(watch.feed(Channel::Error, "uence Completed\n"));
    EXPECT_FALSE(watch.feed(Channel::Output, "\n"));
    EXPECT_TRUE(watch.feed(Channel::Error, "x Initialization Sequence Completed\n"));

    EXPECT_FALSE(watch.feed(Channel::Output, "Initialization Sequence"));
    watch.reset();
    EXPECT_FALSE(watch.feed(Channel::Output, " Completed\n"));
    // A line not yet ended does not count.
    EXPECT_FALSE(watch.feed(Channel::Output, "Initialization Sequence Completed"));
    EXPECT_TRUE(watch.feed(Channel::Output, "\n"));
}

TEST(UpMarkerWatch, AnEndlessLineStillShowsAMarkerAtItsEnd)
{
    UpMarkerWatch watch;
    const QByteArray noise(200 * 1024, 'x');
    EXPECT_FALSE(watch.feed(Channel::Output, noise));
    EXPECT_FALSE(watch.feed(Channel::Output, noise + "Initialization "));
    EXPECT_TRUE(watch.feed(Channel::Output, "Sequence Completed\n"));
}
