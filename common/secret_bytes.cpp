#include "secret_bytes.h"

#include <QByteArray>

#include <openssl/crypto.h>

namespace morvil {

SecretBytes::~SecretBytes()
{
    clear();
}

void SecretBytes::assignUtf8(const QString& text)
{
    clear();
    QByteArray utf8 = text.toUtf8();
    mBytes.assign(utf8.constData(), utf8.constData() + utf8.size() + 1);
    OPENSSL_cleanse(utf8.data(), static_cast<std::size_t>(utf8.size()));
}

void SecretBytes::clear()
{
    if (!mBytes.empty()) {
        OPENSSL_cleanse(mBytes.data(), mBytes.size());
    }
    mBytes.clear();
}

const char* SecretBytes::c_str() const
{
    return mBytes.empty() ? "" : mBytes.data();
}

int SecretBytes::size() const
{
    return mBytes.empty() ? 0 : static_cast<int>(mBytes.size()) - 1;
}

void wipe(QString& text)
{
    if (!text.isEmpty()) {
        // data() detaches first, so a copy still shared with a widget stays that widget's to clear.
        OPENSSL_cleanse(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    }
    text.clear();
}

} // namespace morvil
