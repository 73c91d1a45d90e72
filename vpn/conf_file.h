// The "conf" file of a connection: a header of eight lines the program writes and reads back, the
// template marker, and the user's morvil_openvpn template after it. The reader takes an option's
// value from the last line that carries it, template lines included, since that is the line
// morvil_openvpn would use too.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

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

// The header's fields, in the order the forms check them.
enum class HeaderField
{
    Name,
    Server,
    Port,
    Key,
};

// Whether `value` in `field` reads back from "conf" exactly as it was written. It must hold no
// control character (a line feed would start directives of their own), and the reader must take
// its line for that field alone and whole: the reader skips blanks before a value, and takes an
// option word standing alone in a value for that option (" cert " inside a key reference). A key
// reference must not end in white space either, which morvil_openvpn drops.
bool readsBack(HeaderField field, const QString& value);
// The first field of `header` that would not read back, if any.
std::optional<HeaderField> unreadableField(const ConfHeader& header);
// Whether a template has a line that the reader or morvil_openvpn would take for a key reference:
// it would stand in for the key chosen.
bool templateNamesKey(const QByteArray& templateData);

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
