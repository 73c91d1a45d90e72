// Certificate requests for token keys: the subject from the request page's entries, and the worker
// that has the token sign the request through the engine and writes it as PEM.
#pragma once

#include "dev_zr40nn_thread.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <openssl/x509.h>

// The subject from entries "field=value", in list order, each split at its first "=" only (the
// value keeps any later "="; an entry without one has an empty value). Null when OpenSSL refuses
// an entry; `refusedField` then names its field. The caller owns the name.
X509_NAME* createSubjectName(const QStringList& dn, QString* refusedField = nullptr);

// Status 0 once the request is in the file; -1 otherwise, with the file untouched. The engine
// enumerates the tokens again on this thread, which may free device records: the caller refreshes
// its tree afterwards.
class DEV_ZR40NN_thread_generate_cert_request : public DEV_ZR40NN_thread
{
    Q_OBJECT
public:
    // pin is borrowed for the run; the names of the token and the key are copied here.
    DEV_ZR40NN_thread_generate_cert_request(DEV_ZR40NN_t* ut, const char* pin, int keyId, QString fileName,
                                            QStringList dn);

protected:
    void run() override;

private:
    void fail(const QString& text);
    // The device's error stack when the record is still this token's, else `fallback`.
    QString deviceErrorOr(const QString& fallback) const;

    int mKeyNum;
    const char* mPin;
    QString mFileName;
    QStringList mSubject;
    QByteArray mTokenName;
    QByteArray mKeyName;
    QByteArray mSerial;
    bool mKeyKnown = false; // the record and slot were there
    QByteArray mPublicKey; // the slot's SubjectPublicKeyInfo (DER) as the record held it
};
