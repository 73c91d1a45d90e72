// The address and mask syntax checks.
#include "ipaddr.h"

#include <QStringList>

#include <gtest/gtest.h>

TEST(IpAddr, FourDecimalPartsUpTo255)
{
    EXPECT_TRUE(checkIpAddrSyntax(QStringLiteral("10.0.0.1")));
    EXPECT_TRUE(checkIpAddrSyntax(QStringLiteral(" 192. 168 .1.\t255 ")));
    EXPECT_FALSE(checkIpAddrSyntax(QStringLiteral("10.0.0.256")));
    EXPECT_FALSE(checkIpAddrSyntax(QStringLiteral("10.0.0")));
    EXPECT_FALSE(checkIpAddrSyntax(QStringLiteral("10.0.0.1.2")));
    EXPECT_FALSE(checkIpAddrSyntax(QStringLiteral("10..0.1")));
    EXPECT_FALSE(checkIpAddrSyntax(QStringLiteral("10.0.0.x")));
    EXPECT_FALSE(checkIpAddrSyntax(QStringLiteral("10.0.0.-1")));
}

TEST(IpAddr, MaskIsOnesThenZeros)
{
    EXPECT_TRUE(checkNetMaskSyntax(QStringLiteral("255.255.255.0")));
    EXPECT_TRUE(checkNetMaskSyntax(QStringLiteral("255.255.255.255")));
    EXPECT_TRUE(checkNetMaskSyntax(QStringLiteral("255.128.0.0")));
    EXPECT_TRUE(checkNetMaskSyntax(QStringLiteral("0.0.0.0")));
    // Every octet of a mask's edge, in every place.
    for (const char* edge : { "254", "252", "248", "240", "224", "192", "128", "0" }) {
        for (int place = 0; place < 4; ++place) {
            QStringList parts { QStringLiteral("255"), QStringLiteral("255"), QStringLiteral("255"),
                                QStringLiteral("255") };
            parts[place] = QLatin1String(edge);
            for (int after = place + 1; after < 4; ++after) {
                parts[after] = QStringLiteral("0");
            }
            EXPECT_TRUE(checkNetMaskSyntax(parts.join(QLatin1Char('.')))) << qPrintable(parts.join(QLatin1Char('.')));
        }
    }
    EXPECT_FALSE(checkNetMaskSyntax(QStringLiteral("255.0.255.0")));
    EXPECT_FALSE(checkNetMaskSyntax(QStringLiteral("255.255.253.0")));
    EXPECT_FALSE(checkNetMaskSyntax(QStringLiteral("255.255.0")));
    EXPECT_FALSE(checkNetMaskSyntax(QStringLiteral("255.255.255.x")));
}
