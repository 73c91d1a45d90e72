#include "cert_index.h"

namespace {

constexpr QChar kTab = QLatin1Char('\t');

// Field positions after the split: a valid or expired line has lost its empty revocation field.
constexpr int kSerialField = 2;
constexpr int kSubjectField = 4;
constexpr int kRevocationField = 2;
constexpr int kRevokedSerialField = 3;
constexpr int kRevokedSubjectField = 5;

} // namespace

QStringList splitIndexFields(const QString& line)
{
    QStringList fields = line.split(kTab, Qt::SkipEmptyParts);
    // A split at runs of tabs keeps one empty field at either end.
    if (line.startsWith(kTab)) {
        fields.prepend(QString());
    }
    if (line.size() > 1 && line.endsWith(kTab)) {
        fields.append(QString());
    }
    return fields;
}

bool parseIndexLine(const QString& line, IndexEntry& entry)
{
    const QStringList fields = splitIndexFields(line);
    if (fields.isEmpty()) {
        return false;
    }
    const QString& state = fields[0];
    const bool revoked = state != QLatin1String("V") && state != QLatin1String("E");
    if (fields.size() <= (revoked ? kRevokedSubjectField : kSubjectField)) {
        return false;
    }
    entry = IndexEntry();
    entry.state = state;
    entry.expiry = fields[1];
    if (revoked) {
        const QStringList revocation = fields[kRevocationField].split(QLatin1Char(','));
        entry.revocationDate = revocation.value(0);
        entry.revocationReason = revocation.value(1);
        entry.serial = fields[kRevokedSerialField];
        entry.subject = fields[kRevokedSubjectField];
    } else {
        entry.serial = fields[kSerialField];
        entry.subject = fields[kSubjectField];
    }
    return true;
}

IndexContents parseIndex(const QByteArray& text)
{
    IndexContents contents;
    contents.skippedLines = forEachIndexEntry(text, [&](const IndexEntry& entry) { contents.entries.append(entry); });
    return contents;
}
