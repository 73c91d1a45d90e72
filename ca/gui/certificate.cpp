#include "certificate.h"

#include "openssl_time.h"

#include <QAnyStringView>
#include <QIcon>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <charconv>
#include <memory>
#include <typeinfo>
#include <vector>

namespace {

constexpr int kSerialColumn = 0;
constexpr int kNameColumn = 1;
constexpr int kOrganizationColumn = 2;
constexpr int kSerialWidth = 6;

} // namespace

Certificate::Certificate()
{
    setFlags(flags() | Qt::ItemNeverHasChildren);
}

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

namespace {

// A state letter and the icon it shows.
struct StateLook
{
    QString state;
    QIcon icon;
};

// One per state met, shared by every row: an index has a hundred thousand rows, nearly all of two
// or three states, and a row takes its state from the index's octets without making a string.
const StateLook& stateLook(QAnyStringView state)
{
    static std::vector<std::unique_ptr<StateLook>> known;
    for (const auto& look : known) {
        if (QAnyStringView::equal(look->state, state)) {
            return *look;
        }
    }
    QString text = state.toString();
    const QString name = Certificate::stateIconName(text);
    known.push_back(std::make_unique<StateLook>(StateLook { text, name.isEmpty() ? QIcon() : QIcon(name) }));
    return *known.back();
}

} // namespace

void Certificate::setState(const QString& state)
{
    const StateLook& look = stateLook(state);
    showState(look.state, look.icon);
}

void Certificate::showState(const QString& state, const QIcon& icon)
{
    mState = state;
    setIcon(kSerialColumn, icon);
}

void Certificate::setSerial(const QString& serial)
{
    mFileName = serial + QStringLiteral(".pem");
    setSerialNumber(serial);
    updateColumns();
}

void Certificate::setSerialNumber(QStringView serial)
{
    bool ok = false;
    mSerial = serial.toInt(&ok, 16);
    if (!ok) {
        mSerial = 0;
    }
    mSerialOrder = SerialOrder(serial);
}

void Certificate::setFromIndex(const IndexEntry& entry, const QString& certsDir)
{
    mNotAfter = readIndexDateTime(entry.expiry);
    if (!entry.revocationDate.isEmpty()) {
        mRevocationDate = readIndexDateTime(entry.revocationDate);
    }
    mRevocationReason = QString::fromUtf8(entry.revocationReason);
    // The file name is the one string made of the serial, whose number is read from within it.
    static const QString kFileEnd = QStringLiteral(".pem");
    QString fileName;
    fileName.reserve(certsDir.size() + 1 + entry.serial.size() + kFileEnd.size());
    fileName += certsDir;
    fileName += QLatin1Char('/');
    const qsizetype serialAt = fileName.size();
    const bool ascii = std::all_of(entry.serial.begin(), entry.serial.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        fileName += QLatin1StringView(entry.serial);
    } else {
        fileName += QString::fromUtf8(entry.serial);
    }
    const qsizetype serialSize = fileName.size() - serialAt;
    fileName += kFileEnd;
    mFileName = std::move(fileName);
    setSerialNumber(QStringView(mFileName).sliced(serialAt, serialSize));
    setAll(fromOpensslOneline(entry.subject));
    updateColumns();
    const StateLook& look = stateLook(QUtf8StringView(entry.state));
    showState(look.state, look.icon);
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
    // The number right-aligned in its width, as QString::arg would pad it, in one string.
    std::array<char, 16> digits {};
    const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), mSerial);
    const auto size = static_cast<int>(written.ptr - digits.data());
    QString number(std::max(size, kSerialWidth), QLatin1Char(' '));
    for (int i = 0; i < size; ++i) {
        number[number.size() - size + i] = QLatin1Char(digits[static_cast<std::size_t>(i)]);
    }
    // The last column first: a row's column texts are then held at their full count at once.
    setText(kOrganizationColumn, organizationName());
    setText(kNameColumn, commonName());
    setText(kSerialColumn, number);
}
