#include "certificate.h"

#include "openssl_time.h"

#include <QHash>
#include <QIcon>
#include <QTreeWidget>

#include <typeinfo>

namespace {

constexpr int kSerialColumn = 0;
constexpr int kNameColumn = 1;
constexpr int kOrganizationColumn = 2;
constexpr int kSerialWidth = 6;

} // namespace

QString Certificate::stateIconName(const QString& state)
{
    if (state == QLatin1String("V")) {
        return QStringLiteral(":img/ok.png");
    }
    if (state == QLatin1String("R")) {
        return QStringLiteral(":img/cancel.png");
    }
    if (state == QLatin1String("E")) {
        return QString();
    }
    if (state == QLatin1String("S")) {
        return QStringLiteral(":img/lock.png");
    }
    return QStringLiteral(":img/help.png");
}

void Certificate::setState(const QString& state)
{
    mState = state;
    // One icon per state, shared by every row: an index has thousands of rows.
    static QHash<QString, QIcon> icons;
    auto found = icons.constFind(state);
    if (found == icons.constEnd()) {
        const QString name = stateIconName(state);
        found = icons.insert(state, name.isEmpty() ? QIcon() : QIcon(name));
    }
    setIcon(kSerialColumn, *found);
}

void Certificate::setSerial(const QString& serial)
{
    bool ok = false;
    mSerial = serial.toInt(&ok, 16);
    if (!ok) {
        mSerial = 0;
    }
    mSerialOrder = SerialOrder(serial);
    mFileName = serial + QStringLiteral(".pem");
    updateColumns();
}

bool Certificate::operator<(const QTreeWidgetItem& other) const
{
    const QTreeWidget* tree = treeWidget();
    // Sorting 100 000 rows compares them two million times: typeid is a pointer comparison where
    // a dynamic_cast would cost more than the serials' own.
    if (typeid(other) != typeid(Certificate) || (tree != nullptr && tree->sortColumn() != kSerialColumn)) {
        return QTreeWidgetItem::operator<(other);
    }
    return mSerialOrder < static_cast<const Certificate&>(other).mSerialOrder;
}

void Certificate::setSubject(const QString& subject)
{
    setAll(subject);
    updateColumns();
}

void Certificate::setNotBefore(QString time)
{
    mNotBefore = readIndexDateTime(time);
}

void Certificate::setNotAfter(QString time)
{
    mNotAfter = readIndexDateTime(time);
}

void Certificate::setRevocationDate(QString time)
{
    mRevocationDate = readIndexDateTime(time);
}

void Certificate::updateColumns()
{
    setText(kSerialColumn, QStringLiteral("%1").arg(mSerial, kSerialWidth, 10, QLatin1Char(' ')));
    setText(kNameColumn, commonName());
    setText(kOrganizationColumn, organizationName());
}
