// An authority's names and settings, and the OpenSSL configuration file that carries them: the
// file the tool works from, and the only place the settings are kept between runs.
#pragma once

#include <QString>

struct CaConfiguration
{
    // Names a constructed authority starts with; the directory names that the file does not carry
    // ("private", "req", "req_new") and the marker's name always come from here.
    CaConfiguration();

    // Sets the authority's name and what derives from it; the directory lies in dataDir.
    void setName(const QString& name, const QString& dataDir);

    QString mMorvilName; // the token name: the key reference up to its first "/"
    QString mName; // the authority's name, also its directory's name
    QString mConfFileName;
    QString mConfDirPath;
    QString mXmlConfFileName;
    QString mCertsDirName;
    QString mNewCertsDirName;
    QString mCrlDirName;
    QString mPrivateDirName;
    QString mReqDirName;
    QString mNewReqDirName;
    QString mDbFileName;
    QString mCaKeyName; // the key reference: token name, "/", key name
    QString mCaCertFileName;
    QString mCertSerialFileName;
    QString mCrlFileName;
    QString mCrlSerialFileName;
    int mDefaultCertDays;
    int mDefaultCrlDays;
    QString mDefaultMD;
    QString mPolicyCountryName;
    QString mPolicyStateOrProvinceName;
    QString mPolicyLocalityName;
    QString mPolicyOrganizationName;
    QString mPolicyOrganizationalUnitName;
    QString mPolicyCommonName;
    QString mPolicyEmailAddress;
};

// The whole configuration file for these settings.
QString configurationText(const CaConfiguration& conf);

// A value as the configuration file holds it, so that OpenSSL's reader and ours both read back
// exactly `value` (any text without NUL): as it stands when it is made only of letters, digits
// and "/_-.", else in quotes.
QString configurationValue(const QString& value);

// Reads a configuration text back into conf as OpenSSL reads it: comments dropped, blanks around
// keys and values trimmed, quotes and escapes undone. Lines that do not parse have no effect, and
// the name policy is read from the [ CA_policy ] section only.
void readConfigurationText(const QString& text, CaConfiguration& conf);
