// libFuzzer target for the "conf" file: a connection's fields and template written with newConf
// and read back. Whatever the forms accept (no field refused by unreadableField) reads back
// exactly, by our reader and by morvil_openvpn's, as eight header lines free of control characters
// and the template's tail unchanged; the key chosen stays the key unless the template names one of
// its own (which the new-connection window refuses). Any bytes at all read without a crash.
#include "conf_file.h"
#include "connection_config.h"
#include "token_text.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

vpn::ConfValues readBack(const QByteArray& conf)
{
    QBuffer buffer;
    buffer.setData(conf);
    buffer.open(QIODevice::ReadOnly);
    vpn::ConfValues values;
    vpn::readConfValues(buffer, values);
    return values;
}

void check(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    readBack(bytes);

    // Name, server field, key and template, parted by NUL octets (which a text field cannot hold).
    const QList<QByteArray> parts = bytes.split('\0');
    const auto part = [&parts](qsizetype i) { return i < parts.size() ? parts.at(i) : QByteArray(); };
    const vpn::ServerAddress address = vpn::splitServer(QString::fromUtf8(part(1)));
    const vpn::ConfHeader header { QString::fromUtf8(part(0)), address.server, address.port,
                                   QString::fromUtf8(part(2)) };
    const QByteArray templateData = part(3);
    if (vpn::unreadableField(header)) {
        return 0;
    }
    const QByteArray written = vpn::confHeader(header);
    check(written.count('\n') == 8 && !morvil::holdsControlCharacter(QString::fromUtf8(written).remove(u'\n')));
    const vpn::ConfValues alone = readBack(vpn::newConf(header, {}));
    check(alone.name == header.name && alone.server == header.server && alone.port == header.port
          && alone.key == header.key && alone.caCert == QLatin1String(vpn::kCaCertFile)
          && alone.userCert == QLatin1String(vpn::kUserCertFile));

    const QByteArray conf = vpn::newConf(header, templateData);
    check(vpn::templateTail(conf) == QByteArray(vpn::kTemplateMarker) + templateData);
    if (!vpn::templateNamesKey(templateData)) {
        check(readBack(conf).key == header.key);
        check(morvil::openvpn_tool::prepareConfig(conf.toStdString()).keyReference == header.key.toStdString());
    }
    return 0;
}
