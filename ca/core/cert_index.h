// The OpenSSL certificate index (db_cert) as the tool writes it: one certificate per line, fields
// separated by tabs, the revocation field empty on valid and expired lines.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringView>

#include <cstring>

// One line's fields as views into the index's text (UTF-8, valid while that text lives): an index
// has a hundred thousand lines, and its reader makes strings only of what it keeps.
struct IndexEntry
{
    QByteArrayView line; // the whole line, without its line feed
    QByteArrayView state; // "V", "R", "E", or whatever letter the line holds
    QByteArrayView expiry; // the index's own time text, YYMMDDHHMMSSZ
    QByteArrayView revocationDate; // empty unless revoked
    QByteArrayView revocationReason; // empty unless given
    QByteArrayView serial; // hexadecimal, as written
    QByteArrayView subject; // slash form
};

// One line, split at runs of tabs (a run at either end leaves an empty field there); false (entry
// untouched) when the line has fewer fields than its state needs, which only a damaged index has.
bool parseIndexLine(QByteArrayView line, IndexEntry& entry);

// Where c first stands in text at or after from, or -1. Searched in place: an index of a hundred
// thousand lines is searched for its line ends and tabs a million times.
inline qsizetype findOctet(QByteArrayView text, char c, qsizetype from = 0)
{
    if (from >= text.size()) {
        return -1;
    }
    const void* found = std::memchr(text.data() + from, c, static_cast<std::size_t>(text.size() - from));
    return found == nullptr ? -1 : static_cast<const char*>(found) - text.data();
}

// Calls take(entry) for each line that parses, in file order, and returns the number of non-empty
// lines that did not. Empty lines are passed over.
template <typename Take> int forEachIndexEntry(QByteArrayView text, Take take)
{
    int skipped = 0;
    IndexEntry entry;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = findOctet(text, '\n', start);
        if (end < 0) {
            end = text.size();
        }
        if (end > start) {
            if (parseIndexLine(text.sliced(start, end - start), entry)) {
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
    QList<IndexEntry> entries; // in file order, views into the text parsed
    int skippedLines = 0; // non-empty lines that did not parse
};

// The whole index as a list.
IndexContents parseIndex(QByteArrayView text);

// A hexadecimal serial of any length as a number, for ordering: leading zeros and case do not
// count, and text that is not hexadecimal counts as 0.
class SerialOrder
{
public:
    SerialOrder() = default;
    explicit SerialOrder(QStringView serial);
    // In place: sorting a large index compares serials two million times.
    bool operator<(const SerialOrder& other) const
    {
        // Equal numbers of digits have equal numbers of leading ones, and of the rest.
        if (mDigits != other.mDigits) {
            return mDigits < other.mDigits;
        }
        if (mLeading != other.mLeading) {
            return mLeading < other.mLeading;
        }
        return mRest < other.mRest;
    }

private:
    // How many significant digits, the value of the first 16 (all of a serial up to 64 bits, so
    // that sorting a large index compares numbers held in place), and the others as text.
    qsizetype mDigits = 0;
    quint64 mLeading = 0;
    QByteArray mRest;
};
