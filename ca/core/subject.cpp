#include "subject.h"

#include <QStringList>

#include <cctype>

namespace {

// The distinguished-name keys of the fields, in the order of the slash form.
constexpr std::array<const char*, 7> kKeys { "C", "ST", "L", "O", "OU", "CN", "emailAddress" };

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

void Subject::setAll(const QString& subj)
{
    const std::array<QString*, 7> members = fields();
    for (QString* member : members) {
        *member = QString();
    }
    // Components split at unescaped "/", each into its key and value at the first unescaped "=":
    // a later "=" is part of the value, as the tool reads it. The tool escapes "/", "+" and "\"
    // inside values with "\", which stand for themselves here.
    QList<QStringList> components { QStringList { QString() } };
    for (qsizetype i = 0; i < subj.size(); ++i) {
        const QChar c = subj[i];
        if (c == QLatin1Char('\\') && i + 1 < subj.size()) {
            components.last().last() += subj[++i];
        } else if (c == QLatin1Char('/')) {
            components.append(QStringList { QString() });
        } else if (c == QLatin1Char('=') && components.last().size() == 1) {
            components.last().append(QString());
        } else {
            components.last().last() += c;
        }
    }
    for (const QStringList& parts : components) {
        if (parts.size() < 2) {
            continue;
        }
        for (std::size_t i = 0; i < kKeys.size(); ++i) {
            if (parts[0] == QLatin1String(kKeys[i])) {
                *members[i] = parts[1];
                break;
            }
        }
    }
}

QString Subject::all() const
{
    const std::array<const QString*, 7> members = fields();
    QString text;
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        if (!members[i]->isEmpty()) {
            text += QLatin1Char('/') + QLatin1String(kKeys[i]) + QLatin1Char('=') + *members[i];
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
