// A certificate of the authority: its index record and, at once, its row in the certificate tree
// ("Numer", "Nazwa", "Organizacja"), whose texts and icon the setters keep in step.
#pragma once

#include "cert_index.h"
#include "subject.h"

#include <QDateTime>
#include <QTreeWidgetItem>

class Certificate : public QTreeWidgetItem, public Subject
{
public:
    // A row of a flat list: it never has rows below it, which the tree need then not ask each row.
    Certificate();
    Certificate(const Certificate&) = default;
    Certificate& operator=(const Certificate&) = default;
    virtual ~Certificate() = default;

    QString state() const { return mState; }
    int serial() const { return mSerial; }
    QString fileName() const { return mFileName; }
    QString subject() const { return all(); }
    QDateTime notBefore() const { return mNotBefore; }
    QDateTime notAfter() const { return mNotAfter; }
    QDateTime revocationDate() const { return mRevocationDate; }
    QString revocationReason() const { return mRevocationReason; }

    // The state letter of the index; the row's icon follows it.
    void setState(const QString& state);
    // A hexadecimal serial as the index writes it: the number (0 when it is not one), and the file
    // name the tool gives the certificate (the text unchanged, then ".pem").
    void setSerial(const QString& serial);
    void setFileName(const QString& fileName) { mFileName = fileName; }
    // All of one index line at once: state, times, serial, name and columns, the file lying in
    // certsDir. An index has a hundred thousand lines: strings are made only of what the row keeps.
    void setFromIndex(const IndexEntry& entry, const QString& certsDir);
    void setSubject(const QString& subject);
    // Index times, YYMMDDHHMMSSZ.
    void setNotBefore(QString time);
    void setNotAfter(QString time);
    void setRevocationDate(QString time);
    void setRevocationReason(QString reason) { mRevocationReason = reason; }

    // The resource name of the icon a state letter shows; empty for none.
    static QString stateIconName(const QString& state);

    // The number column sorts by the serials as numbers, of any length (the column shows 0 for
    // those too large for it); the other columns by their text.
    bool operator<(const QTreeWidgetItem& other) const override;

private:
    void showState(const QString& state, const QIcon& icon);
    void setSerialNumber(QStringView serial);
    void updateColumns();

    QString mState;
    int mSerial = 0;
    SerialOrder mSerialOrder;
    QString mFileName;
    QDateTime mNotBefore;
    QDateTime mNotAfter;
    QDateTime mRevocationDate;
    QString mRevocationReason;
};
