#include "conf_file.h"

#include "token_text.h"

#include <QBuffer>
#include <QIODevice>
#include <QStringList>

#include <array>

namespace vpn {

QByteArray confHeader(const ConfHeader& header)
{
    return QStringLiteral("#\n# MorvilVpnName %1\n#\nremote %2\nrport %3\nca %4\ncert %5\nkey %6\n")
        .arg(header.name, header.server, header.port, QLatin1String(kCaCertFile), QLatin1String(kUserCertFile),
             header.key)
        .toUtf8();
}

QByteArray newConf(const ConfHeader& header, const QByteArray& templateData)
{
    return confHeader(header) + QByteArray(kTemplateMarker) + templateData;
}

namespace {

QString& fieldOf(ConfHeader& header, HeaderField field)
{
    switch (field) {
    case HeaderField::Name:
        return header.name;
    case HeaderField::Server:
        return header.server;
    case HeaderField::Port:
        return header.port;
    case HeaderField::Key:
        break;
    }
    return header.key;
}

ConfValues readBack(const QByteArray& conf)
{
    QBuffer buffer;
    buffer.setData(conf);
    buffer.open(QIODevice::ReadOnly);
    ConfValues values;
    readConfValues(buffer, values);
    return values;
}

// morvil_openvpn's view of a line: its first word, after blanks and an optional "--", names the
// directive.
bool isKeyDirective(QStringView line)
{
    line = line.trimmed();
    if (line.startsWith(u"--")) {
        line = line.mid(2);
    }
    return line.startsWith(u"key") && (line.size() == 3 || line.at(3).isSpace());
}

} // namespace

bool readsBack(HeaderField field, const QString& value)
{
    if (morvil::holdsControlCharacter(value)) {
        return false;
    }
    if (field == HeaderField::Key && !value.isEmpty() && value.back().isSpace()) {
        return false;
    }
    // The value alone among plain ones: each header line is read on its own, so a value whose line
    // reads back here reads back beside any other such value.
    ConfHeader written { QStringLiteral("n"), QStringLiteral("s"), QStringLiteral("p"), QStringLiteral("k") };
    fieldOf(written, field) = value;
    const ConfValues read = readBack(confHeader(written));
    return read.name == written.name && read.server == written.server && read.port == written.port
        && read.key == written.key && read.caCert == QLatin1String(kCaCertFile)
        && read.userCert == QLatin1String(kUserCertFile);
}

std::optional<HeaderField> unreadableField(const ConfHeader& header)
{
    ConfHeader fields = header;
    for (HeaderField field : { HeaderField::Name, HeaderField::Server, HeaderField::Port, HeaderField::Key }) {
        if (!readsBack(field, fieldOf(fields, field))) {
            return field;
        }
    }
    return std::nullopt;
}

bool templateNamesKey(const QByteArray& templateData)
{
    // The template ends the file, so the reader treats it there as it does here.
    if (!readBack(templateData).key.isEmpty()) {
        return true;
    }
    for (const QByteArray& line : templateData.split('\n')) {
        if (isKeyDirective(QString::fromUtf8(line.constData()))) {
            return true;
        }
    }
    return false;
}

QByteArray templateTail(const QByteArray& conf)
{
    const qsizetype at = conf.indexOf(kTemplateMarker);
    return at < 0 ? QByteArray() : conf.mid(at);
}

ServerAddress splitServer(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    if (parts.size() == 1) {
        return { text, QString::fromLatin1(kDefaultPort) };
    }
    return { parts.at(0), parts.at(1) };
}

QString getOptionValue(const QString& line, const QString& option)
{
    const qsizetype at = line.indexOf(option);
    if (at < 0) {
        return {};
    }
    if (at > 0) {
        const QChar before = line.at(at - 1);
        if (!before.isSpace() && before != QLatin1Char(';') && before != QLatin1Char('#')) {
            return {};
        }
    }
    qsizetype value = at + option.size();
    if (value < line.size() && !line.at(value).isSpace()) {
        return {};
    }
    while (value < line.size() && line.at(value).isSpace()) {
        ++value;
    }
    return line.mid(value);
}

void readConfValues(QIODevice& conf, ConfValues& values)
{
    // Tried in this order on every line; the first word that gives a value ends the line.
    const std::array<std::pair<QString, QString*>, 6> options { {
        { QStringLiteral("MorvilVpnName"), &values.name },
        { QStringLiteral("remote"), &values.server },
        { QStringLiteral("rport"), &values.port },
        { QStringLiteral("ca"), &values.caCert },
        { QStringLiteral("cert"), &values.userCert },
        { QStringLiteral("key"), &values.key },
    } };
    while (!conf.atEnd()) {
        const QByteArray bytes = conf.readLine();
        // Up to a NUL, if any; the last character is the line feed (or, on a last line without
        // one, the line's own last character).
        QString line = QString::fromUtf8(bytes.constData());
        line.chop(1);
        for (const auto& [word, member] : options) {
            const QString value = getOptionValue(line, word);
            if (!value.isEmpty()) {
                *member = value;
                break;
            }
        }
    }
}

} // namespace vpn
