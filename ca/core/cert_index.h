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

struct IndexContents
{
    QList<IndexEntry> entries; // in file order
    int skippedLines = 0; // non-empty lines that did not parse
};

// The whole index (UTF-8 text); empty lines are passed over.
IndexContents parseIndex(const QByteArray& text);
