// What OpenSSL's own configuration reader (the one the tool uses) makes of a configuration text.
#pragma once

#include "openssl_owner.h"

#include <QByteArray>

#include <openssl/bio.h>
#include <openssl/conf.h>

#include <optional>

namespace morvil::test {

class OpensslConfReading
{
public:
    explicit OpensslConfReading(const QByteArray& text)
        : mConf(NCONF_new(nullptr))
    {
        const OpenSslOwner<BIO, BIO_free> bio(BIO_new_mem_buf(text.constData(), static_cast<int>(text.size())));
        long errorLine = -1;
        mLoaded = bio != nullptr && mConf != nullptr && NCONF_load_bio(mConf.get(), bio.get(), &errorLine) > 0;
    }

    bool loaded() const { return mLoaded; }

    // The value as the tool reads it (variables expanded); nullopt when the key is not there.
    std::optional<QByteArray> value(const char* section, const char* key) const
    {
        const char* found = mLoaded ? NCONF_get_string(mConf.get(), section, key) : nullptr;
        if (found == nullptr) {
            return std::nullopt;
        }
        return QByteArray(found);
    }

    // How many settings a section holds; -1 when there is no such section.
    int settings(const char* section) const
    {
        const STACK_OF(CONF_VALUE)* values = mLoaded ? NCONF_get_section(mConf.get(), section) : nullptr;
        return values == nullptr ? -1 : sk_CONF_VALUE_num(values);
    }

private:
    OpenSslOwner<CONF, NCONF_free> mConf;
    bool mLoaded = false;
};

} // namespace morvil::test
