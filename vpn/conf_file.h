// The "conf" file of a connection: a header of eight lines the program writes and reads back, the
// template marker, and the user's morvil_openvpn template after it. The reader takes an option's
// value from the last line that carries it, template lines included, since that is the line
// morvil_openvpn would use too.
#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace vpn {

// Separates the header from the template tail, which editing keeps byte for byte.
inline constexpr char kTemplateMarker[] = "\n#\n# configuration template\n#\n\n";
// The port a server given without one is reached on.
inline constexpr char kDefaultPort[] = "1194";
// Names of the certificate files in a connection directory.
inline constexpr char kCaCertFile[] = "ca";
inline constexpr char kUserCertFile[] = "user";
inline constexpr char kConfFile[] = "conf";

// What the header of "conf" holds.
struct ConfHeader
{
    QString name; // display name
    QString server;
    QString port;
    QString key; // key reference: token name, "/", key name
};

// The eight header lines, UTF-8.
QByteArray confHeader(const ConfHeader& header);
// A new connection's "conf": the header, the marker, then the template unchanged.
QByteArray newConf(const ConfHeader& header, const QByteArray& templateData);
// Everything from the first marker to the end; empty when there is no marker.
QByteArray templateTail(const QByteArray& conf);

// A server field's text split at ':': the host, and the port after it (the default when the text
// has no ':'). Parts after a second ':' are dropped.
struct ServerAddress
{
    QString server;
    QString port;
};
ServerAddress splitServer(const QString& text);

// The values the program reads back out of "conf".
struct ConfValues
{
    QString name;
    QString server;
    QString port;
    QString caCert;
    QString userCert;
    QString key;
};

// The value of `option` on one line, or empty: only the word's first occurrence counts, and it
// must start the line or follow white space, ';' or '#', and be followed by white space or the
// line's end. The value runs from the first non-blank after the word to the line's end.
QString getOptionValue(const QString& line, const QString& option);
// Reads the lines of a "conf" and overwrites each value a line gives; values no line gives are
// left as they were.
void readConfValues(QIODevice& conf, ConfValues& values);

} // namespace vpn
