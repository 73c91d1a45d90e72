// The seven distinguished-name fields the authority deals in, and the slash form of a name that
// the OpenSSL tool prints and accepts (/C=PL/O=Firma/CN=Jan).
#pragma once

#include <QByteArrayView>
#include <QString>

#include <array>

class Subject
{
public:
    QString countryName() const { return mCountryName; }
    QString stateOrProvinceName() const { return mStateOrProvinceName; }
    QString localityName() const { return mLocalityName; }
    QString organizationName() const { return mOrganizationName; }
    QString organizationalUnitName() const { return mOrganizationalUnitName; }
    QString commonName() const { return mCommonName; }
    QString emailAddress() const { return mEmailAddress; }

    void setCountryName(const QString& value) { mCountryName = value; }
    void setStateOrProvinceName(const QString& value) { mStateOrProvinceName = value; }
    void setLocalityName(const QString& value) { mLocalityName = value; }
    void setOrganizationName(const QString& value) { mOrganizationName = value; }
    void setOrganizationalUnitName(const QString& value) { mOrganizationalUnitName = value; }
    void setCommonName(const QString& value) { mCommonName = value; }
    void setEmailAddress(const QString& value) { mEmailAddress = value; }

    // Parses a slash-form name. Unknown keys (compared case-sensitively) are ignored, a key that
    // comes again overwrites, a value ends at the next "=", a component without "=" is skipped,
    // and "\" makes the next character part of the value ("\/" a "/" inside a value).
    void setAll(const QString& subj);
    // The slash form of the fields that are not empty, in the order C, ST, L, O, OU, CN, e-mail.
    QString all() const;

private:
    // The fields in the order of the slash form, beside their keys (kKeys in subject.cpp).
    std::array<QString*, 7> fields();
    std::array<const QString*, 7> fields() const;

    QString mCountryName;
    QString mStateOrProvinceName;
    QString mLocalityName;
    QString mOrganizationName;
    QString mOrganizationalUnitName;
    QString mCommonName;
    QString mEmailAddress;
};

// A name as the tool prints it (one line, octets beyond ASCII written as \xHH) back in UTF-8.
QString fromOpensslOneline(const QString& text);
// The same from the name's UTF-8 octets, as the certificate index holds them.
QString fromOpensslOneline(QByteArrayView utf8);
