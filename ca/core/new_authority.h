// What the new-authority form gives to the authority: its settings, its policy words and the
// subject of its self-signed certificate.
#pragma once

#include "subject.h"

#include <QString>

struct NewAuthority
{
    QString name;
    QString caKeyName; // token name, "/", key name
    int defaultCertDays = 365;
    int defaultCrlDays = 30;
    QString defaultMD = QStringLiteral("ecdsa-with-sha256");
    int caCertDays = 7300;
    Subject caSubject;
    // The policy word (optional, supplied, match) of each field, in the order of the slash form.
    QString policyCountryName = QStringLiteral("optional");
    QString policyStateOrProvinceName = QStringLiteral("optional");
    QString policyLocalityName = QStringLiteral("optional");
    QString policyOrganizationName = QStringLiteral("optional");
    QString policyOrganizationalUnitName = QStringLiteral("optional");
    QString policyCommonName = QStringLiteral("supplied");
    QString policyEmailAddress = QStringLiteral("optional");
};

// The slash form for the tool's -subj option: C always, then every other field that is not
// empty. "\", "/" and "+" inside a value are escaped with "\", so a value stays one field.
QString subjectArgument(const Subject& subject);
