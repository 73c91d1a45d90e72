#include "ca_configuration.h"

#include <QStringList>

#include <algorithm>

CaConfiguration::CaConfiguration()
    : mXmlConfFileName(QStringLiteral("xml_conf"))
    , mCertsDirName(QStringLiteral("certs"))
    , mNewCertsDirName(QStringLiteral("certs_new"))
    , mCrlDirName(QStringLiteral("crl"))
    , mPrivateDirName(QStringLiteral("private"))
    , mReqDirName(QStringLiteral("req"))
    , mNewReqDirName(QStringLiteral("req_new"))
    , mDbFileName(QStringLiteral("db_cert"))
    , mCertSerialFileName(QStringLiteral("serial_cert"))
    , mCrlSerialFileName(QStringLiteral("serial_crl"))
    , mDefaultCertDays(3650)
    , mDefaultCrlDays(30)
    , mDefaultMD(QStringLiteral("ecdsa-with-sha256"))
    , mPolicyCountryName(QStringLiteral("optional"))
    , mPolicyStateOrProvinceName(QStringLiteral("optional"))
    , mPolicyLocalityName(QStringLiteral("optional"))
    , mPolicyOrganizationName(QStringLiteral("optional"))
    , mPolicyOrganizationalUnitName(QStringLiteral("optional"))
    , mPolicyCommonName(QStringLiteral("supplied"))
    , mPolicyEmailAddress(QStringLiteral("optional"))
{
}

void CaConfiguration::setName(const QString& name, const QString& dataDir)
{
    mName = name;
    mConfFileName = name + QStringLiteral(".conf");
    mConfDirPath = dataDir + QLatin1Char('/') + name;
    mCaCertFileName = name + QStringLiteral(".cert");
    mCrlFileName = name + QStringLiteral(".crl");
}

namespace {

// Characters that OpenSSL's configuration reader takes as they are in any value; anything else
// (blanks, which it trims at either end, "#" which starts a comment, quotes, "\\", "$" which
// names a variable, control characters) makes the value go in quotes.
bool isPlainValueCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return u >= 0x80 || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'/'
        || u == u'_' || u == u'-' || u == u'.';
}

} // namespace

QString configurationValue(const QString& value)
{
    if (!value.isEmpty() && std::all_of(value.begin(), value.end(), isPlainValueCharacter)) {
        return value;
    }
    // Inside quotes only "\"" and "\\" need a "\"; a line break cannot stand there, so it leaves
    // the quotes as an escape, which outside them stands for the break itself.
    QString quoted = QStringLiteral("\"");
    for (const QChar c : value) {
        if (c == u'"' || c == u'\\') {
            quoted += QLatin1Char('\\');
            quoted += c;
        } else if (c == u'\n') {
            quoted += QStringLiteral("\"\\n\"");
        } else if (c == u'\r') {
            quoted += QStringLiteral("\"\\r\"");
        } else {
            quoted += c;
        }
    }
    return quoted + QLatin1Char('"');
}

QString configurationText(const CaConfiguration& c)
{
    QString t;
    t += QStringLiteral("[ ca ]\n\ndefault_ca = CA_configuration\n\n[ CA_configuration ]\n\ndir = .\n");
    t += QStringLiteral("certs = $dir/") + c.mCertsDirName + QLatin1Char('\n');
    t += QStringLiteral("new_certs_dir = $dir/") + c.mNewCertsDirName + QLatin1Char('\n');
    t += QStringLiteral("crl_dir = $dir/") + c.mCrlDirName + QLatin1Char('\n');
    t += QStringLiteral("database = $dir/") + c.mDbFileName + QLatin1Char('\n');
    // The key reference, not a file: the tool hands it to the engine.
    t += QStringLiteral("private_key = ") + configurationValue(c.mCaKeyName) + QLatin1Char('\n');
    t += QStringLiteral("certificate = $dir/") + c.mCaCertFileName + QLatin1Char('\n');
    t += QStringLiteral("serial = $dir/") + c.mCertSerialFileName + QLatin1Char('\n');
    t += QStringLiteral("crl = $dir/") + c.mCrlFileName + QLatin1Char('\n');
    t += QStringLiteral("crlnumber = $dir/") + c.mCrlSerialFileName + QLatin1Char('\n');
    t += QStringLiteral("RANDFILE = $dir/private/.rand\n"
                        "x509_extensions = usr_cert\n"
                        "name_opt = ca_default\n"
                        "cert_opt = ca_default\n");
    t += QStringLiteral("default_days = ") + QString::number(c.mDefaultCertDays) + QLatin1Char('\n');
    t += QStringLiteral("default_crl_days = ") + QString::number(c.mDefaultCrlDays) + QLatin1Char('\n');
    t += QStringLiteral("default_md = ") + c.mDefaultMD + QLatin1Char('\n');
    t += QStringLiteral("preserve = no\npolicy = CA_policy\n\n[ CA_policy ]\n\n");
    t += QStringLiteral("countryName = ") + c.mPolicyCountryName + QLatin1Char('\n');
    t += QStringLiteral("stateOrProvinceName = ") + c.mPolicyStateOrProvinceName + QLatin1Char('\n');
    t += QStringLiteral("localityName = ") + c.mPolicyLocalityName + QLatin1Char('\n');
    t += QStringLiteral("organizationName = ") + c.mPolicyOrganizationName + QLatin1Char('\n');
    t += QStringLiteral("organizationalUnitName = ") + c.mPolicyOrganizationalUnitName + QLatin1Char('\n');
    t += QStringLiteral("commonName = ") + c.mPolicyCommonName + QLatin1Char('\n');
    t += QStringLiteral("emailAddress = ") + c.mPolicyEmailAddress + QLatin1Char('\n');
    t += QStringLiteral("\n[ usr_cert ]\n\n"
                        "basicConstraints = CA:FALSE\n"
                        "nsComment = \"OpenSSL Generated Certificate\"\n"
                        "subjectKeyIdentifier = hash\n"
                        "authorityKeyIdentifier = keyid, issuer\n"
                        "\n[ v3_ca ]\n\n"
                        "basicConstraints = CA:TRUE\n"
                        "subjectKeyIdentifier = hash\n"
                        "authorityKeyIdentifier = keyid:always, issuer:always\n"
                        "\n[ crl_ext ]\n\n"
                        "authorityKeyIdentifier = keyid:always, issuer:always\n"
                        "\n[ req ]\n\n"
                        "default_bits = 1024\n");
    t += QStringLiteral("default_keyfile = ") + configurationValue(c.mCaKeyName) + QLatin1Char('\n');
    t += QStringLiteral("default_md = ") + c.mDefaultMD + QLatin1Char('\n');
    t += QStringLiteral("distinguished_name = req_distinguished_name\n"
                        "attributes = req_attributes\n"
                        "x509_extensions = v3_ca\n"
                        "string_mask = nombstr\n"
                        "\n[ req_distinguished_name ]\n\n"
                        "countryName = Country Name (2 letter code)\n"
                        "countryName_default = PL\n"
                        "countryName_min = 2\n"
                        "countryName_max = 2\n"
                        "stateOrProvinceName = State or Province Name (full name)\n"
                        "stateOrProvinceName_default = Some-State\n"
                        "localityName = Locality Name (eg, city)\n"
                        "0.organizationName = Organization Name (eg, company)\n"
                        "0.organizationName_default = Internet Widgits Pty Ltd\n"
                        "organizationalUnitName = Organizational Unit Name (eg, section)\n"
                        "commonName = Common Name (eg, YOUR name)\n"
                        "commonName_max = 64\n"
                        "emailAddress = Email Address\n"
                        "\n"
                        "emailAddress_max = 64\n"
                        "\n[ req_attributes ]\n"
                        "challengePassword = A challenge password\n"
                        "challengePassword_min = 4\n"
                        "challengePassword_max = 20\n"
                        "unstructuredName = An optional company name\n"
                        "\n");
    return t;
}

namespace {

// A configuration key and the string member it sets.
struct KeyedMember
{
    const char* key;
    QString CaConfiguration::*member;
};

// The file names kept after their last "/".
constexpr KeyedMember kFileKeys[] = {
    { "certs", &CaConfiguration::mCertsDirName },
    { "new_certs_dir", &CaConfiguration::mNewCertsDirName },
    { "crl_dir", &CaConfiguration::mCrlDirName },
    { "database", &CaConfiguration::mDbFileName },
    { "certificate", &CaConfiguration::mCaCertFileName },
    { "serial", &CaConfiguration::mCertSerialFileName },
    { "crl", &CaConfiguration::mCrlFileName },
    { "crlnumber", &CaConfiguration::mCrlSerialFileName },
};

// The name policy's keys; they count only inside [CA_policy], which keeps the prompts of
// [req_distinguished_name] out of the policy.
constexpr KeyedMember kPolicyKeys[] = {
    { "countryName", &CaConfiguration::mPolicyCountryName },
    { "stateOrProvinceName", &CaConfiguration::mPolicyStateOrProvinceName },
    { "localityName", &CaConfiguration::mPolicyLocalityName },
    { "organizationName", &CaConfiguration::mPolicyOrganizationName },
    { "organizationalUnitName", &CaConfiguration::mPolicyOrganizationalUnitName },
    { "commonName", &CaConfiguration::mPolicyCommonName },
    { "emailAddress", &CaConfiguration::mPolicyEmailAddress },
};

template <std::size_t N> QString CaConfiguration::*memberOf(const KeyedMember (&table)[N], const QString& key)
{
    for (const KeyedMember& entry : table) {
        if (key == QLatin1String(entry.key)) {
            return entry.member;
        }
    }
    return nullptr;
}

// OpenSSL's blanks: what it trims around keys and values.
bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

QStringView trimmedBlanks(QStringView text)
{
    while (!text.isEmpty() && isBlank(text.front())) {
        text = text.mid(1);
    }
    while (!text.isEmpty() && isBlank(text.back())) {
        text.chop(1);
    }
    return text;
}

bool isQuote(QChar c)
{
    return c == u'"' || c == u'\'' || c == u'`';
}

// A line up to its comment: a "#" that is neither quoted nor escaped.
QStringView withoutComment(QStringView line)
{
    QChar quote;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'\\') {
            ++i;
        } else if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote;
        } else if (isQuote(c)) {
            quote = c;
        } else if (c == u'#') {
            return line.left(i);
        }
    }
    return line;
}

// A value as the tool reads it: blanks at either end dropped, quoted runs taken as they stand
// but for "\\" before any character, and outside quotes "\\" before n, r, b, t standing for
// line feed, carriage return, backspace and tab, before anything else for that character.
// Variables ("$dir") are not expanded: of what is read back only file names may hold them, and
// those are taken after their last "/".
QString valueOf(QStringView raw)
{
    raw = trimmedBlanks(raw);
    QString value;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (isQuote(c)) {
            for (++i; i < raw.size() && raw[i] != c; ++i) {
                if (raw[i] == u'\\' && ++i == raw.size()) {
                    break;
                }
                value += raw[i];
            }
        } else if (c == u'\\') {
            if (++i == raw.size()) {
                break;
            }
            static const QString escapes = QStringLiteral("nrbt");
            static const QString meanings = QStringLiteral("\n\r\b\t");
            const qsizetype escape = escapes.indexOf(raw[i]);
            value += escape < 0 ? raw[i] : meanings[escape];
        } else {
            value += c;
        }
    }
    return value;
}

// Applies one key and value that count anywhere in the file; false when the key is not one of them.
bool readSetting(const QString& key, const QString& value, CaConfiguration& c)
{
    if (QString CaConfiguration::*member = memberOf(kFileKeys, key)) {
        c.*member = value.mid(value.lastIndexOf(QLatin1Char('/')) + 1);
    } else if (key == QLatin1String("private_key")) {
        c.mCaKeyName = value;
        c.mMorvilName = value.section(QLatin1Char('/'), 0, 0);
    } else if (key == QLatin1String("default_days")) {
        c.mDefaultCertDays = value.toInt();
    } else if (key == QLatin1String("default_crl_days")) {
        c.mDefaultCrlDays = value.toInt();
    } else if (key == QLatin1String("default_md")) {
        c.mDefaultMD = value;
    } else {
        return false;
    }
    return true;
}

} // namespace

void readConfigurationText(const QString& text, CaConfiguration& conf)
{
    bool inPolicy = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& whole : lines) {
        const QStringView line = trimmedBlanks(withoutComment(whole));
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            inPolicy = close > 0 && trimmedBlanks(line.mid(1, close - 1)) == u"CA_policy";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) {
            continue;
        }
        const QString key = trimmedBlanks(line.left(equals)).toString();
        const QString value = valueOf(line.mid(equals + 1));
        if (readSetting(key, value, conf) || !inPolicy) {
            continue;
        }
        if (QString CaConfiguration::*member = memberOf(kPolicyKeys, key)) {
            conf.*member = value;
        }
    }
}
