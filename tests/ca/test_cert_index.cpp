// The certificate index parser on damaged and odd lines and revocation reasons. Lines the stock
// openssl writes are read through the authority on a token (test_authority_on_token.cpp).
#include "cert_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    EXPECT_EQ(index.entries[0].line, "V\t300101000000Z\t\t0A\tunknown\t/CN=ok");
    EXPECT_EQ(index.entries[1].revocationDate, "200101000000Z");
    EXPECT_EQ(index.entries[1].revocationReason, "keyCompromise");
    EXPECT_EQ(index.entries[2].serial, "0D");
    EXPECT_EQ(index.entries[2].revocationDate, "200101000000Z");
    EXPECT_TRUE(index.entries[2].revocationReason.isEmpty());
    EXPECT_EQ(index.entries[2].line, "R\t300101000000Z\t200101000000Z\t0D\tunknown\t/CN=revoked");
}

// What a run of tabs leaves at either end of a line still counts as a field, a reason ends at the
// next comma, and octets other than tabs stay in their field.
TEST(CertIndex, OddLinesKeepTheirFields)
{
    const IndexContents index
        = parseIndex("V\t300101000000Z\t\t10\tunknown\t\n" // empty subject after the last tab
                     "\tV\t300101000000Z\t\t11\tunknown\t/CN=a\n" // leading tab: state empty
                     "S\t300101000000Z\t\t12\tunknown\t/CN=s\n" // too few fields for a revoked layout
                     "R\t300101000000Z\t200101000000Z,a,b\t13\tunknown\t/CN=Łódź\r\n"
                     "E\t\t\t200101000000Z\t\t\t14\t\tunknown\t\t/O=x/CN=e\n"
                     "R\t300101000000Z\t,\t15\tunknown\t/CN=r\n");
    EXPECT_EQ(index.skippedLines, 1);
    std::vector<std::string> read;
    for (const IndexEntry& entry : index.entries) {
        QByteArray fields;
        for (const QByteArrayView field :
             { entry.state, entry.expiry, entry.revocationDate, entry.revocationReason, entry.serial, entry.subject }) {
            fields += field.toByteArray() + '|';
        }
        read.push_back(fields.toStdString());
    }
    EXPECT_EQ(read,
              (std::vector<std::string> { "V|300101000000Z|||10||", "|V|300101000000Z||11|/CN=a|",
                                          "R|300101000000Z|200101000000Z|a|13|/CN=Łódź\r|",
                                          "E|200101000000Z|||14|/O=x/CN=e|", "R|300101000000Z|||15|/CN=r|" }));
}
