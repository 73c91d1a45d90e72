#include "cert_request.h"

#include "admin_texts.h"
#include "dev_zr40nn_engine.h"
#include "openssl_owner.h"
#include "whole_file.h"

#include <openssl/bio.h>
#include <openssl/engine.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace {

using NamePtr = morvil::OpenSslOwner<X509_NAME, X509_NAME_free>;
using RequestPtr = morvil::OpenSslOwner<X509_REQ, X509_REQ_free>;
using KeyPtr = morvil::OpenSslOwner<EVP_PKEY, EVP_PKEY_free>;
using BioPtr = morvil::OpenSslOwner<BIO, BIO_free>;

constexpr const char* kDigestName = "ecdsa-with-sha256";

// One functional reference to the engine: ENGINE_init on the way in, ENGINE_finish and the
// structural reference's release on the way out. The defaults handed to the engine, the PIN among
// them, go with it.
class EngineUse
{
public:
    EngineUse()
    {
        ENGINE_load_dev_zr40nn();
        mEngine = ENGINE_by_id(DEV_ZR40NN_ENGINE_ID);
        mInitialised = mEngine != nullptr && ENGINE_init(mEngine) == 1;
    }
    ~EngineUse()
    {
        if (mInitialised) {
            clearDefaults();
            ENGINE_finish(mEngine);
        }
        if (mEngine != nullptr) {
            ENGINE_free(mEngine);
        }
    }
    EngineUse(const EngineUse&) = delete;
    EngineUse& operator=(const EngineUse&) = delete;

    ENGINE* get() const { return mInitialised ? mEngine : nullptr; }
    bool command(const char* name, const char* value) const
    {
        return ENGINE_ctrl_cmd_string(mEngine, name, value, 0) == 1;
    }
    // Wipes the token name, key name and PIN and leaves the engine with no PIN set. Sending an
    // empty "user_pin" would set the empty PIN instead, and the finish clears them only once the
    // last functional reference goes. A bind clears them: registering the engine again binds a
    // second ENGINE object, which OpenSSL does not list, and leaves the listed one as it is.
    static void clearDefaults() { ENGINE_load_dev_zr40nn(); }

private:
    ENGINE* mEngine = nullptr;
    bool mInitialised = false;
};

// The public key of a DER SubjectPublicKeyInfo; null when there is none.
KeyPtr decodePublicKey(const QByteArray& spki)
{
    const auto* der = reinterpret_cast<const unsigned char*>(spki.constData());
    return KeyPtr(spki.isEmpty() ? nullptr : d2i_PUBKEY(nullptr, &der, spki.size()));
}

} // namespace

X509_NAME* createSubjectName(const QStringList& dn, QString* refusedField)
{
    NamePtr name(X509_NAME_new());
    if (name == nullptr) {
        return nullptr;
    }
    for (const QString& entry : dn) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        const QString field = equals < 0 ? entry : entry.left(equals);
        const QByteArray value = equals < 0 ? QByteArray() : entry.mid(equals + 1).toUtf8();
        if (X509_NAME_add_entry_by_txt(name.get(), field.toLatin1().constData(), MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char*>(value.constData()),
                                       static_cast<int>(value.size()), -1, 0)
            != 1) {
            if (refusedField != nullptr) {
                *refusedField = field;
            }
            return nullptr;
        }
    }
    return name.release();
}

DEV_ZR40NN_thread_generate_cert_request::DEV_ZR40NN_thread_generate_cert_request(DEV_ZR40NN_t* ut, const char* pin,
                                                                                 int keyId, QString fileName,
                                                                                 QStringList dn)
    : DEV_ZR40NN_thread(ut)
    , mKeyNum(keyId)
    , mPin(pin)
    , mFileName(std::move(fileName))
    , mSubject(std::move(dn))
{
    if (ut != nullptr && keyId >= 0 && keyId < DEV_ZR40NN_KEY_SLOTS) {
        // Either name may be empty: the configuration page allows an unnamed token.
        mKeyKnown = true;
        mTokenName = QByteArray(ut->info.name, qstrnlen(ut->info.name, sizeof(ut->info.name)));
        mKeyName = QByteArray(ut->keys[keyId].name, qstrnlen(ut->keys[keyId].name, sizeof(ut->keys[keyId].name)));
        mSerial = QByteArray(ut->serial_number, qstrnlen(ut->serial_number, sizeof(ut->serial_number)));
        unsigned char spki[128];
        const int length = DEV_ZR40NN_subject_public_key_info(&ut->keys[keyId], spki, sizeof(spki));
        if (length > 0) {
            mPublicKey = QByteArray(reinterpret_cast<const char*>(spki), length);
        }
    }
}

void DEV_ZR40NN_thread_generate_cert_request::fail(const QString& text)
{
    mStatus = -1;
    mErrorString = text;
}

QString DEV_ZR40NN_thread_generate_cert_request::deviceErrorOr(const QString& fallback) const
{
    // The engine's enumeration frees the records of tokens that went: only a record still in the
    // list, still holding this serial number, may be read.
    if (DEV_ZR40NN_find_index_of(mUt) < 0 || mSerial != QByteArray(mUt->serial_number)) {
        return fallback;
    }
    const QString stack = QString::fromUtf8(DEV_ZR40NN_lib_detail_error_desc(mUt));
    return stack.isEmpty() ? fallback : stack;
}

void DEV_ZR40NN_thread_generate_cert_request::run()
{
    namespace text = morvil::admin::text;
    if (mPin == nullptr || !mKeyKnown) {
        fail(text::requestKeyGone());
        return;
    }
    QString refusedField;
    NamePtr subject(createSubjectName(mSubject, &refusedField));
    if (subject == nullptr) {
        fail(text::subjectFieldRefused(refusedField));
        return;
    }
    const EngineUse engine;
    const EVP_MD* digest = EVP_get_digestbyname(kDigestName);
    if (engine.get() == nullptr || digest == nullptr) {
        fail(text::engineUnavailable());
        return;
    }
    if (!engine.command("token_name", mTokenName.constData()) || !engine.command("key_name", mKeyName.constData())
        || !engine.command("user_pin", mPin)) {
        fail(text::engineUnavailable());
        return;
    }
    // No UI method: the engine has the PIN and asks nobody.
    KeyPtr key(ENGINE_load_private_key(engine.get(), nullptr, nullptr, nullptr));
    EngineUse::clearDefaults(); // the key object carries what signing needs
    if (key == nullptr) {
        fail(deviceErrorOr(text::requestKeyNotLoaded()));
        return;
    }
    // The engine looks the token up by its name among the tokens it enumerates itself: with
    // another token of that name plugged in, the key may be that token's.
    const KeyPtr chosen = decodePublicKey(mPublicKey);
    if (chosen == nullptr || EVP_PKEY_eq(key.get(), chosen.get()) != 1) {
        fail(text::requestKeyNotChosen());
        return;
    }
    RequestPtr request(X509_REQ_new());
    if (request == nullptr || X509_REQ_set_version(request.get(), 0) != 1
        || X509_REQ_set_subject_name(request.get(), subject.get()) != 1
        || X509_REQ_set_pubkey(request.get(), key.get()) != 1) {
        fail(text::requestNotBuilt());
        return;
    }
    if (X509_REQ_sign(request.get(), key.get(), digest) <= 0) {
        fail(deviceErrorOr(text::requestNotSigned()));
        return;
    }
    // Signing finds the token by name again: only the chosen key's signature is written.
    if (X509_REQ_verify(request.get(), chosen.get()) != 1) {
        fail(text::requestKeyNotChosen());
        return;
    }
    BioPtr pem(BIO_new(BIO_s_mem()));
    char* data = nullptr;
    long length = 0;
    if (pem == nullptr || PEM_write_bio_X509_REQ(pem.get(), request.get()) != 1
        || (length = BIO_get_mem_data(pem.get(), &data)) <= 0) {
        fail(text::requestNotBuilt());
        return;
    }
    // The file changes only as a whole: a failure leaves what was there before.
    QString error;
    if (!morvil::writeWholeFile(mFileName, QByteArrayView(data, length), &error)) {
        fail(text::requestNotWritten(mFileName, error));
        return;
    }
    mStatus = 0;
}
