// The OpenSSL certificate index (db_cert) as the tool writes it: one certificate per line, fields
// separated by tabs, the revocation field empty on valid and expired lines.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct IndexEntry
{
    QString state; // "V", "R", "E", or whatever letter the line holds
    QString expiry; // the index's own time text, YYMMDDHHMMSSZ
    QString revocationDate; // empty unless revoked
    QString revocationReason; // empty unless given
    QString serial; // hexadecimal, as written
    QString subject; // slash form
};

// Splits a line at runs of tabs: an empty field between two tabs disappears.
QStringList splitIndexFields(const QString& line);

// One line of the index; false (entry untouched) when the line has fewer fields than its state
// needs, which only a damaged index has.
bool parseIndexLine(const QString& line, IndexEntry& entry);

// Calls take(entry) for each line that parses, in file order, and returns the number of non-empty
// lines that did not. Empty lines are passed over. text is UTF-8.
template <typename Take> int forEachIndexEntry(const QByteArray& text, Take take)
{
    int skipped = 0;
    IndexEntry entry;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0) {
            end = text.size();
        }
        if (end > start) {
            if (parseIndexLine(QString::fromUtf8(text.constData() + start, end - start), entry)) {
                take(entry);
            } else {
                ++skipped;
            }
        }
        start = end + 1;
    }
    return skipped;
}

struct IndexContents
{
    QList<IndexEntry> entries; // in file order
    int skippedLines = 0; // non-empty lines that did not parse
};

// The whole index as a list.
IndexContents parseIndex(const QByteArray& text);
