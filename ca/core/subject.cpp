#include "subject.h"

#include <QStringView>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

// The distinguished-name keys of the fields, in the order of the slash form.
using namespace Qt::Literals::StringLiterals;
constexpr std::array<QLatin1StringView, 7> kKeys {
    "C"_L1, "ST"_L1, "L"_L1, "O"_L1, "OU"_L1, "CN"_L1, "emailAddress"_L1
};

} // namespace

std::array<QString*, 7> Subject::fields()
{
    return { &mCountryName, &mStateOrProvinceName, &mLocalityName, &mOrganizationName, &mOrganizationalUnitName,
             &mCommonName,  &mEmailAddress };
}

std::array<const QString*, 7> Subject::fields() const
{
    return { &mCountryName, &mStateOrProvinceName, &mLocalityName, &mOrganizationName, &mOrganizationalUnitName,
             &mCommonName,  &mEmailAddress };
}

namespace {

// One part of a component: where it lies in the name, and whether "\" escapes are to be taken out.
struct Part
{
    qsizetype from = 0;
    qsizetype to = 0;
    bool escaped = false;
};

// A part's text with its escapes taken out; the name is walked as setAll walks it, so a "\" that
// ends the part stands for itself only at the very end of the name.
QString partText(QStringView name, const Part& part)
{
    const QStringView text = name.sliced(part.from, part.to - part.from);
    if (text.isEmpty()) {
        return QString(); // null, as a field never given
    }
    if (!part.escaped) {
        return text.toString();
    }
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
            ++i;
        }
        plain += text[i];
    }
    return plain;
}

} // namespace

void Subject::setAll(const QString& subj)
{
    const std::array<QString*, 7> members = fields();
    for (QString* member : members) {
        *member = QString();
    }
    // Components split at unescaped "/", each into its key and value at the first unescaped "=":
    // a later "=" is part of the value, as the tool reads it. The tool escapes "/", "+" and "\"
    // inside values with "\", which stand for themselves here. A string is made only of a value
    // kept: a large index has a hundred thousand names.
    const QStringView name(subj);
    qsizetype i = 0;
    while (true) {
        std::array<Part, 2> parts {};
        std::size_t part = 0;
        parts[0].from = i;
        for (; i < name.size() && name[i] != QLatin1Char('/'); ++i) {
            const QChar c = name[i];
            if (c == QLatin1Char('\\') && i + 1 < name.size()) {
                parts[part].escaped = true;
                ++i;
            } else if (c == QLatin1Char('=') && part == 0) {
                parts[0].to = i;
                part = 1;
                parts[1].from = i + 1;
            }
        }
        parts[part].to = i;
        if (part >= 1) {
            const Part& key = parts[0];
            const QString keyText = key.escaped ? partText(name, key) : QString();
            const QStringView keyView = key.escaped ? QStringView(keyText) : name.sliced(key.from, key.to - key.from);
            for (std::size_t k = 0; k < kKeys.size(); ++k) {
                if (keyView == kKeys[k]) {
                    *members[k] = partText(name, parts[1]);
                    break;
                }
            }
        }
        if (i >= name.size()) {
            break;
        }
        ++i; // the "/"
    }
}

QString Subject::all() const
{
    const std::array<const QString*, 7> members = fields();
    QString text;
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        if (!members[i]->isEmpty()) {
            text += QLatin1Char('/') + kKeys[i] + QLatin1Char('=') + *members[i];
        }
    }
    return text;
}

QString fromOpensslOneline(const QString& text)
{
    if (!text.contains(QLatin1String("\\x"))) {
        return text;
    }
    const QByteArray in = text.toUtf8();
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const bool escape = i + 3 < in.size() && in[i] == '\\' && in[i + 1] == 'x'
            && std::isxdigit(static_cast<unsigned char>(in[i + 2]))
            && std::isxdigit(static_cast<unsigned char>(in[i + 3]));
        if (escape) {
            out.append(QByteArray::fromHex(in.mid(i + 2, 2)));
            i += 3;
        } else {
            out.append(in[i]);
        }
    }
    return QString::fromUtf8(out);
}

QString fromOpensslOneline(QByteArrayView utf8)
{
    // Looked for in the octets: an index has a hundred thousand names, nearly all without escapes.
    const QString text = QString::fromUtf8(utf8);
    constexpr std::string_view kHexEscape = "\\x";
    if (std::search(utf8.begin(), utf8.end(), kHexEscape.begin(), kHexEscape.end()) != utf8.end()) {
        return fromOpensslOneline(text);
    }
    return text;
}
