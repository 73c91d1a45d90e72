// Slash-form names and the two time forms the tool gives.
#include "new_authority.h"
#include "openssl_time.h"
#include "subject.h"

#include <QTimeZone>

#include <gtest/gtest.h>

TEST(Subject, ParsesAndBuildsTheSlashForm)
{
    Subject subject;
    subject.setAll(QStringLiteral("/C=PL/ST=Region/O=Firma/CN=Test"));
    EXPECT_EQ(subject.countryName(), QStringLiteral("PL"));
    EXPECT_EQ(subject.stateOrProvinceName(), QStringLiteral("Region"));
    EXPECT_EQ(subject.organizationName(), QStringLiteral("Firma"));
    EXPECT_EQ(subject.commonName(), QStringLiteral("Test"));
    EXPECT_TRUE(subject.localityName().isNull());
    EXPECT_TRUE(subject.organizationalUnitName().isNull());
    EXPECT_TRUE(subject.emailAddress().isNull());
    EXPECT_EQ(subject.all(), QStringLiteral("/C=PL/ST=Region/O=Firma/CN=Test"));

    // Every field, given out of order, comes back in the slash form's own order.
    subject.setAll(QStringLiteral("emailAddress=a@b.pl/CN=Jan/OU=IT/O=F/L=Łódź/ST=S/C=PL"));
    EXPECT_EQ(subject.all(), QStringLiteral("/C=PL/ST=S/L=Łódź/O=F/OU=IT/CN=Jan/emailAddress=a@b.pl"));
}

TEST(Subject, EdgeCasesOfParsing)
{
    Subject subject;
    subject.setAll(QStringLiteral("/C=PL/CN=old"));
    subject.setAll(QString());
    EXPECT_TRUE(subject.countryName().isNull());
    EXPECT_TRUE(subject.commonName().isNull());
    EXPECT_EQ(subject.all(), QString());

    // The tool prints a value's own "=" as it is.
    subject.setAll(QStringLiteral("/CN=a=b"));
    EXPECT_EQ(subject.commonName(), QStringLiteral("a=b"));
    // A "\" that ends the name stands for itself.
    subject.setAll(QStringLiteral("/O=x/CN=a\\"));
    EXPECT_EQ(subject.commonName(), QStringLiteral("a\\"));
    EXPECT_EQ(subject.organizationName(), QStringLiteral("x"));

    subject.setAll(QStringLiteral("/cn=x/Cn=y/XX=z"));
    EXPECT_EQ(subject.all(), QString());

    // Doubled slashes give no component; a key that comes again overwrites.
    subject.setAll(QStringLiteral("//CN=first//CN=second/"));
    EXPECT_EQ(subject.commonName(), QStringLiteral("second"));

    // A "/" inside a value leaves a component without "=": it is skipped, the others stay.
    subject.setAll(QStringLiteral("/O=A/B Sp. z o.o./CN=Jan"));
    EXPECT_EQ(subject.organizationName(), QStringLiteral("A"));
    EXPECT_EQ(subject.commonName(), QStringLiteral("Jan"));
    // Even when that component is a key alone.
    subject.setAll(QStringLiteral("/O=A/O/CN=Jan/CN"));
    EXPECT_EQ(subject.organizationName(), QStringLiteral("A"));
    EXPECT_EQ(subject.commonName(), QStringLiteral("Jan"));
}

TEST(Subject, NamesAsTheToolPrintsThem)
{
    // Octets beyond ASCII come as \xHH; they are UTF-8 together.
    EXPECT_EQ(fromOpensslOneline(QStringLiteral("subject=/CN=Urz\\xC4\\x85d \\xC5\\x81\\xC3\\xB3d\\xC5\\xBA")),
              QStringLiteral("subject=/CN=Urząd Łódź"));
    // Anything that is not a whole escape stays as it is.
    EXPECT_EQ(fromOpensslOneline(QStringLiteral("/CN=a\\xZZ\\x4")), QStringLiteral("/CN=a\\xZZ\\x4"));
    EXPECT_EQ(fromOpensslOneline(QStringLiteral("/CN=Łódź")), QStringLiteral("/CN=Łódź"));
}

TEST(Subject, EscapedCharactersStayInTheirValue)
{
    // The tool escapes "/", "+" and "\" inside values; the authority's own subject goes out escaped
    // the same way.
    Subject subject;
    subject.setAll(fromOpensslOneline(QStringLiteral("/C=PL/O=A\\/B/CN=Urz\\xC4\\x85d\\+1\\\\")));
    EXPECT_EQ(subject.organizationName(), QStringLiteral("A/B"));
    EXPECT_EQ(subject.commonName(), QStringLiteral("Urząd+1\\"));
    EXPECT_EQ(subjectArgument(subject), QStringLiteral("/C=PL/O=A\\/B/CN=Urząd\\+1\\\\"));
    subject.setAll(subjectArgument(subject));
    EXPECT_EQ(subject.organizationName(), QStringLiteral("A/B"));
    EXPECT_EQ(subject.commonName(), QStringLiteral("Urząd+1\\"));
}

// The fuzz target once claimed that a name whose built form had as many "=" as "/" read back to
// itself; this input took escaped signs into a value and made it abort. Escaped signs stay in
// their value, a value's own "=" is part of it as the tool reads it, and the escaped form given
// to the tool reads back to the same fields; the unescaped display form does not.
TEST(Subject, EscapedSignsMakeAValueThatReadsBackOtherwise)
{
    Subject subject;
    subject.setAll(fromOpensslOneline(QStringLiteral("C=$\\/\\x7\\=/CN=Jan=Kowalski")));
    EXPECT_EQ(subject.countryName(), QStringLiteral("$/x7="));
    EXPECT_EQ(subject.commonName(), QStringLiteral("Jan=Kowalski"));
    EXPECT_EQ(subjectArgument(subject), QStringLiteral("/C=$\\/x7=/CN=Jan=Kowalski"));
    Subject escaped;
    escaped.setAll(subjectArgument(subject));
    EXPECT_EQ(escaped.countryName(), subject.countryName());
    EXPECT_EQ(escaped.commonName(), subject.commonName());
    EXPECT_EQ(escaped.all(), subject.all());
    Subject shown;
    shown.setAll(subject.all());
    EXPECT_EQ(shown.countryName(), QStringLiteral("$"));
    EXPECT_EQ(shown.commonName(), QStringLiteral("Jan=Kowalski"));
}

TEST(OpensslTimes, PrintedLines)
{
    const QDateTime early = readOpensslDateTime(QStringLiteral("notBefore=Jan  5 09:03:07 2011 GMT\n"));
    EXPECT_EQ(early, QDateTime(QDate(2011, 1, 5), QTime(9, 3, 7), QTimeZone::utc()));
    EXPECT_EQ(early.timeSpec(), Qt::UTC);
    EXPECT_EQ(readOpensslDateTime(QStringLiteral("nextUpdate=Dec 31 23:59:59 2049 GMT")),
              QDateTime(QDate(2049, 12, 31), QTime(23, 59, 59), QTimeZone::utc()));
    EXPECT_EQ(readOpensslDateTime(QStringLiteral("Oct 17 12:00:00 2030 GMT")),
              QDateTime(QDate(2030, 10, 17), QTime(12, 0, 0), QTimeZone::utc()));
    EXPECT_FALSE(readOpensslDateTime(QStringLiteral("notAfter=soon")).isValid());
    EXPECT_FALSE(readOpensslDateTime(QString()).isValid());
}

TEST(OpensslTimes, IndexTimes)
{
    EXPECT_EQ(readIndexDateTime(QStringLiteral("080131235959Z")),
              QDateTime(QDate(2008, 1, 31), QTime(23, 59, 59), Qt::UTC));
    EXPECT_FALSE(readIndexDateTime(QStringLiteral("20500101000000Z")).isValid());
    EXPECT_FALSE(readIndexDateTime(QStringLiteral("garbage")).isValid());
    EXPECT_FALSE(readIndexDateTime(QStringLiteral("081331000000Z")).isValid());
    EXPECT_FALSE(readIndexDateTime(QStringLiteral("0801312359 9Z")).isValid());
    // Not a digit, though read as one it would make a valid hour.
    EXPECT_FALSE(readIndexDateTime(QStringLiteral("0801310:5959Z")).isValid());
}
