// The "conf" writer and reader: the header's exact bytes, the marker, the option rules.
#include "conf_file.h"

#include <QBuffer>

#include <gtest/gtest.h>

using namespace vpn;

namespace {

ConfValues read(const QByteArray& conf, ConfValues values = {})
{
    QBuffer buffer;
    buffer.setData(conf);
    buffer.open(QIODevice::ReadOnly);
    readConfValues(buffer, values);
    return values;
}

QString value(const char* line, const char* option)
{
    return getOptionValue(QString::fromUtf8(line), QString::fromUtf8(option));
}

const ConfHeader kHeader { QStringLiteral("Biuro Łódź"), QStringLiteral("vpn.example.pl"), QStringLiteral("443"),
                           QStringLiteral("ALFA/klucz1") };

} // namespace

TEST(ConfFile, HeaderAndMarkerAreExact)
{
    EXPECT_EQ(confHeader(kHeader),
              QByteArray("#\n# MorvilVpnName Biuro \xc5\x81\xc3\xb3\x64\xc5\xba\n#\nremote vpn.example.pl\nrport 443\n"
                         "ca ca\ncert user\nkey ALFA/klucz1\n"));
    EXPECT_EQ(newConf(kHeader, "dev tun\n"),
              confHeader(kHeader) + QByteArray("\n#\n# configuration template\n#\n\ndev tun\n"));
    EXPECT_EQ(newConf(kHeader, {}), confHeader(kHeader) + QByteArray(kTemplateMarker));
}

TEST(ConfFile, OptionWordsMustStandAlone)
{
    EXPECT_EQ(value("remote vpn.example.pl", "remote"), QStringLiteral("vpn.example.pl"));
    EXPECT_EQ(value("# MorvilVpnName Dom", "MorvilVpnName"), QStringLiteral("Dom"));
    EXPECT_EQ(value("remote-cert-tls server", "remote"), QString());
    EXPECT_EQ(value("ns-cert-type server", "cert"), QString());
    EXPECT_EQ(value("tls-auth ta.key 1", "key"), QString());
    EXPECT_EQ(value(";key ALFA/k", "key"), QStringLiteral("ALFA/k"));
    EXPECT_EQ(value("\tkey\t ALFA/k", "key"), QStringLiteral("ALFA/k"));
    // Only the first occurrence counts, even when a later one would pass.
    EXPECT_EQ(value("remotes x remote y", "remote"), QString());
    // A word alone, or followed by blanks only, has no value; blanks at the end stay.
    EXPECT_EQ(value("key", "key"), QString());
    EXPECT_EQ(value("key   ", "key"), QString());
    EXPECT_EQ(value("key a b \r", "key"), QStringLiteral("a b \r"));
    EXPECT_EQ(value("Remote x", "remote"), QString()); // case matters
}

TEST(ConfFile, LastLineWinsTemplateIncluded)
{
    const ConfValues values = read(newConf(kHeader, "remote inny.example.pl 1195\nca /etc/ca.pem\n"));
    EXPECT_EQ(values.server, QStringLiteral("inny.example.pl 1195"));
    EXPECT_EQ(values.caCert, QStringLiteral("/etc/ca.pem"));
    EXPECT_EQ(values.port, kHeader.port);
}

TEST(ConfFile, FirstWordWithAValueEndsTheLine)
{
    const ConfValues values = read("# MorvilVpnName remote x\n");
    EXPECT_EQ(values.name, QStringLiteral("remote x"));
    EXPECT_EQ(values.server, QString());
}

TEST(ConfFile, BlankNameReadsAsEmptyAndKeepsEarlierValues)
{
    ConfValues earlier;
    earlier.name = QStringLiteral("stara");
    const ConfValues values = read("#\n# MorvilVpnName    \n#\nremote a\n", earlier);
    EXPECT_EQ(values.name, QStringLiteral("stara"));
    EXPECT_EQ(values.server, QStringLiteral("a"));
}

TEST(ConfFile, LastLineWithoutLineFeedLosesItsLastCharacter)
{
    EXPECT_EQ(read("remote a\nkey ALFA/k").key, QStringLiteral("ALFA/"));
    EXPECT_EQ(read(QByteArray("key AB\0junk\n", 12)).key, QStringLiteral("A")); // a NUL ends the line's text
}

TEST(ConfFile, TailStartsAtTheFirstMarker)
{
    const QByteArray tail = QByteArray(kTemplateMarker) + "a\n" + kTemplateMarker + "b\n";
    EXPECT_EQ(templateTail(confHeader(kHeader) + tail), tail);
    EXPECT_EQ(templateTail(confHeader(kHeader)), QByteArray());
}
