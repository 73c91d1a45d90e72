// The certificate index parser on damaged lines and revocation reasons. Lines the stock openssl
// writes are read through the authority on a token (test_authority_on_token.cpp).
#include "cert_index.h"

#include <gtest/gtest.h>

TEST(CertIndex, DamagedLinesAreSkipped)
{
    const IndexContents index = parseIndex("V\t300101000000Z\t\t0A\tunknown\t/CN=ok\n"
                                           "\n"
                                           "V\t300101000000Z\t\t0B\n"
                                           "R\t300101000000Z\t200101000000Z\t0C\tunknown\n"
                                           "garbage\n"
                                           "R\t300101000000Z\t200101000000Z,keyCompromise\t0E\tunknown\t/CN=r\n"
                                           "R\t300101000000Z\t200101000000Z\t0D\tunknown\t/CN=revoked"); // no line end
    EXPECT_EQ(index.skippedLines, 3);
    ASSERT_EQ(index.entries.size(), 3);
    EXPECT_EQ(index.entries[0].serial, "0A");
    EXPECT_EQ(index.entries[1].revocationDate, "200101000000Z");
    EXPECT_EQ(index.entries[1].revocationReason, "keyCompromise");
    EXPECT_EQ(index.entries[2].serial, "0D");
    EXPECT_EQ(index.entries[2].revocationDate, "200101000000Z");
    EXPECT_TRUE(index.entries[2].revocationReason.isEmpty());
}
