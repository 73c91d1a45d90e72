// The "conf" writer and reader: the header's exact bytes, the marker, the option rules.
#include "conf_file.h"
#include "connection_config.h"

#include <QBuffer>
#include <QStringList>

#include <gtest/gtest.h>

#include <random>

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

TEST(ConfFile, ValuesThatWouldNotReadBackAreRefused)
{
    struct Case
    {
        HeaderField field;
        const char* value;
        bool readsBack;
    };
    const Case cases[] = {
        { HeaderField::Key, "TOKEN/a cert b", false }, // the line would give the user certificate "b"
        { HeaderField::Key, "k\nremote 6.6.6.6 53", false },
        { HeaderField::Key, "T/k\tx", false },
        { HeaderField::Key, "T/k\r", false },
        { HeaderField::Key, " T/k", false },
        { HeaderField::Key, "T/k ", false }, // morvil_openvpn drops it
        { HeaderField::Key, "T/#cert x", false },
        { HeaderField::Key, "TOKEN/klucz 1", true },
        { HeaderField::Key, "T/a ca", true }, // a word at the end has no value
        { HeaderField::Key, "T/;key x", true }, // only the word's first occurrence counts
        { HeaderField::Key, "\xc5\x81\xc3\xb3\x64\xc5\xba/k\xc4\x85", true },
        { HeaderField::Name, " Biuro", false },
        { HeaderField::Name, "   ", false },
        { HeaderField::Name,
          "a\xe2\x80\xa8"
          "b",
          false }, // U+2028 separates lines for some readers
        { HeaderField::Name, "Biuro ", true },
        { HeaderField::Name, "R&D remote x cert y key z", true }, // the name's own word comes first
        { HeaderField::Server, "vpn.example.pl", true },
        { HeaderField::Server, "", true }, // no line gives it, so it stays empty
        { HeaderField::Server, "h MorvilVpnName x", false }, // a word tried before "remote"
        { HeaderField::Server, "h cert x", true }, // one tried after it
        { HeaderField::Server, " h", false },
        { HeaderField::Port, "443", true },
        { HeaderField::Port, "", true },
        { HeaderField::Port, "443 remote x", false },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readsBack(c.field, QString::fromUtf8(c.value)), c.readsBack) << c.value;
    }
    EXPECT_EQ(unreadableField(kHeader), std::nullopt);
    ConfHeader header = kHeader;
    header.port = QStringLiteral("1 remote x");
    header.key = QStringLiteral("T/a cert b");
    EXPECT_EQ(unreadableField(header), HeaderField::Port); // the first, in the forms' order
}

// Random headers made of the pieces that trouble the reader: every one that is accepted reads back
// exactly, as eight lines, by our reader and by morvil_openvpn's; plain ones are all accepted.
TEST(ConfFile, WhatIsAcceptedReadsBackExactly)
{
    const QStringList tricky { QStringLiteral("cert"),   QStringLiteral("ca"),    QStringLiteral("key"),
                               QStringLiteral("remote"), QStringLiteral("rport"), QStringLiteral("MorvilVpnName"),
                               QStringLiteral(" "),      QStringLiteral("\t"),    QStringLiteral("\n"),
                               QStringLiteral("\r"),     QStringLiteral("#"),     QStringLiteral(";"),
                               QStringLiteral("\u00a0"), QStringLiteral("\u0085") };
    const QStringList plain { QStringLiteral("a"), QStringLiteral("Łódź"), QStringLiteral("/"), QStringLiteral("-"),
                              QStringLiteral("."), QStringLiteral("7"),    QStringLiteral("&"), QStringLiteral("%1") };
    std::mt19937 random(20261209);
    const auto text = [&](const QStringList& pieces, int count) {
        QString made;
        for (int i = 0; i < count; ++i) {
            made += pieces.at(static_cast<qsizetype>(random() % pieces.size()));
        }
        return made;
    };
    const QStringList any = plain + plain + tricky; // troubles in about one piece of three
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        const ConfHeader header { text(any, 1 + random() % 6), text(any, random() % 4), text(any, random() % 3),
                                  text(any, 1 + random() % 6) };
        if (unreadableField(header)) {
            continue;
        }
        ++accepted;
        const QByteArray conf = newConf(header, {});
        ASSERT_EQ(confHeader(header).count('\n'), 8) << qPrintable(header.key);
        const ConfValues values = read(conf);
        ASSERT_EQ(values.name, header.name);
        ASSERT_EQ(values.server, header.server);
        ASSERT_EQ(values.port, header.port);
        ASSERT_EQ(values.key, header.key);
        ASSERT_EQ(values.caCert, QStringLiteral("ca"));
        ASSERT_EQ(values.userCert, QStringLiteral("user"));
        // morvil_openvpn takes the key from the same line.
        ASSERT_EQ(morvil::openvpn_tool::prepareConfig(conf.toStdString()).keyReference,
                  header.key.toStdString());
    }
    EXPECT_GT(accepted, 300);
    for (int round = 0; round < 300; ++round) {
        const QString word = text(plain, 1 + random() % 5);
        const ConfHeader header { word + QStringLiteral(" ") + text(plain, 1 + random() % 3), word,
                                  QStringLiteral("1194"), text(plain, 1 + random() % 4) + QStringLiteral(" ") + word };
        ASSERT_EQ(unreadableField(header), std::nullopt) << qPrintable(header.name);
    }
}

TEST(ConfFile, ATemplateWithAKeyLineIsSeen)
{
    for (const char* named :
         { "key client.key\n", "dev tun\n  key x\n", "--key x\n", "# key x\n", ";key x\n", "key\n", "nobind\nkey" }) {
        EXPECT_TRUE(templateNamesKey(named)) << named;
    }
    for (const char* plain : { "", "tls-auth ta.key 1\n", "remote-cert-tls server\nkeysize 128\n", "dev tun\n" }) {
        EXPECT_FALSE(templateNamesKey(plain)) << plain;
    }
}
