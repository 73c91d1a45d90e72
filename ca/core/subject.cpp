#include "subject.h"

#include <QStringList>

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
    const QStringList components = subj.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& component : components) {
        const QStringList parts = component.split(QLatin1Char('='), Qt::KeepEmptyParts);
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
