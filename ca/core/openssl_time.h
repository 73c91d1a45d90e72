// The two forms in which the OpenSSL tool gives times.
#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

// One printed line such as "notAfter=Jan  5 09:03:07 2011 GMT" (name, "=", OpenSSL's text form
// of an ASN.1 time). The result is UTC; a line that does not fit gives an invalid date-time, and a
// line without "=" is read from its start.
QDateTime readOpensslDateTime(QString dateTime);

// A time of the certificate index, YYMMDDHHMMSSZ: "20" is put in front of the digits, which are
// taken as they stand, as UTC. A four-digit year (15 characters) gives an invalid date-time.
QDateTime readIndexDateTime(QStringView indexTime);
// The same from the index's own octets.
QDateTime readIndexDateTime(QByteArrayView indexTime);
