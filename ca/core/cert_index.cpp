#include "cert_index.h"

#include <array>

namespace {

// Field positions after the split: a valid or expired line has lost its empty revocation field.
constexpr int kSerialField = 2;
constexpr int kSubjectField = 4;
constexpr int kRevocationField = 2;
constexpr int kRevokedSerialField = 3;
constexpr int kRevokedSubjectField = 5;
constexpr int kMostFields = kRevokedSubjectField + 1;
constexpr qsizetype kLeadingDigits = 16; // hexadecimal digits in 64 bits

// The value of a hexadecimal digit, or -1.
int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    return -1;
}

} // namespace

bool parseIndexLine(QByteArrayView line, IndexEntry& entry)
{
    // The fields a line's state may need; later ones are not looked at.
    std::array<QByteArrayView, kMostFields> fields;
    int count = 0;
    qsizetype at = 0;
    while (count < kMostFields) {
        qsizetype end = findOctet(line, '\t', at);
        if (end < 0) {
            end = line.size();
        }
        fields[static_cast<std::size_t>(count++)] = line.sliced(at, end - at);
        if (end == line.size()) {
            break;
        }
        at = end;
        while (at < line.size() && line[at] == '\t') {
            ++at;
        }
    }
    const QByteArrayView state = fields[0];
    const bool revoked = state != QByteArrayView("V") && state != QByteArrayView("E");
    if (count <= (revoked ? kRevokedSubjectField : kSubjectField)) {
        return false;
    }
    entry = IndexEntry();
    entry.line = line;
    entry.state = state;
    entry.expiry = fields[1];
    if (revoked) {
        // The date, then the reason up to the next comma when there is one.
        const QByteArrayView revocation = fields[kRevocationField];
        const qsizetype comma = findOctet(revocation, ',');
        entry.revocationDate = comma < 0 ? revocation : revocation.first(comma);
        if (comma >= 0) {
            const QByteArrayView reason = revocation.sliced(comma + 1);
            const qsizetype next = findOctet(reason, ',');
            entry.revocationReason = next < 0 ? reason : reason.first(next);
        }
        entry.serial = fields[kRevokedSerialField];
        entry.subject = fields[kRevokedSubjectField];
    } else {
        entry.serial = fields[kSerialField];
        entry.subject = fields[kSubjectField];
    }
    return true;
}

IndexContents parseIndex(QByteArrayView text)
{
    IndexContents contents;
    contents.skippedLines = forEachIndexEntry(text, [&](const IndexEntry& entry) { contents.entries.append(entry); });
    return contents;
}

SerialOrder::SerialOrder(QStringView serial)
{
    for (const QChar c : serial) {
        const int digit = hexDigit(c.unicode());
        if (digit < 0) {
            *this = SerialOrder();
            return;
        }
        if (mDigits == 0 && digit == 0) {
            continue;
        }
        if (mDigits < kLeadingDigits) {
            mLeading = mLeading << 4 | static_cast<quint64>(digit);
        } else {
            mRest += static_cast<char>(QChar::toUpper(c.unicode()));
        }
        ++mDigits;
    }
}
