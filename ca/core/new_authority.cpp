#include "new_authority.h"

namespace {

// The characters the tool's -subj parser reads as structure inside a value.
QString escapeSubjectValue(const QString& value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('/') || c == QLatin1Char('+')) {
            escaped += QLatin1Char('\\');
        }
        escaped += c;
    }
    return escaped;
}

} // namespace

QString subjectArgument(const Subject& subject)
{
    QString line = QStringLiteral("/C=") + escapeSubjectValue(subject.countryName());
    const std::pair<const char*, QString> rest[] = {
        { "/ST=", subject.stateOrProvinceName() }, { "/L=", subject.localityName() },
        { "/O=", subject.organizationName() },     { "/OU=", subject.organizationalUnitName() },
        { "/CN=", subject.commonName() },          { "/emailAddress=", subject.emailAddress() },
    };
    for (const auto& [key, value] : rest) {
        if (!value.isEmpty()) {
            line += QLatin1String(key) + escapeSubjectValue(value);
        }
    }
    return line;
}
