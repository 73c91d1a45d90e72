// The address and mask syntax checks.
#include "ipaddr.h"

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
    EXPECT_FALSE(checkNetMaskSyntax(QStringLiteral("255.0.255.0")));
    EXPECT_FALSE(checkNetMaskSyntax(QStringLiteral("255.255.253.0")));
    EXPECT_FALSE(checkNetMaskSyntax(QStringLiteral("255.255.0")));
    EXPECT_FALSE(checkNetMaskSyntax(QStringLiteral("255.255.255.x")));
}
