// libFuzzer target for what the authority reads from files and tool output: the certificate
// index, the configuration file, slash-form names and the tool's times. Malformed input must be
// skipped or give invalid values, never crash; a key reference written into a configuration and
// a plain slash-form name must read back as they were.
#include "ca_configuration.h"
#include "cert_index.h"
#include "openssl_conf_reading.h"
#include "openssl_time.h"
#include "subject.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromUtf8(bytes);

    // Every non-empty line is either an entry or counted as skipped.
    const IndexContents index = parseIndex(bytes);
    qsizetype lines = 0;
    for (const QByteArray& line : bytes.split('\n')) {
        lines += line.isEmpty() ? 0 : 1;
    }
    if (index.entries.size() + index.skippedLines != lines) {
        std::abort();
    }

    CaConfiguration conf;
    readConfigurationText(text, conf);
    if (!conf.mCaKeyName.startsWith(conf.mMorvilName)) {
        std::abort();
    }
    // Any key reference (a C string: no NUL) written into a configuration reads back as it was,
    // by our reader and by the tool's.
    CaConfiguration written;
    written.mCaKeyName = QString(text).remove(QChar(u'\0'));
    const QString configuration = configurationText(written);
    CaConfiguration read;
    readConfigurationText(configuration, read);
    const morvil::test::OpensslConfReading tool(configuration.toUtf8());
    if (read.mCaKeyName != written.mCaKeyName
        || tool.value("CA_configuration", "private_key") != written.mCaKeyName.toUtf8()
        || tool.value("CA_configuration", "RANDFILE") != QByteArray("./private/.rand")) {
        std::abort();
    }

    Subject subject;
    subject.setAll(fromOpensslOneline(text));
    Subject again;
    again.setAll(subject.all());
    // The slash form is built with values as they stand: a name parses back to the same fields
    // unless a value holds one of the form's own signs ("/", "=", "\"), which it leaves unescaped.
    const auto fields = [](const Subject& s) {
        return QStringList { s.countryName(),      s.stateOrProvinceName(),    s.localityName(),
                             s.organizationName(), s.organizationalUnitName(), s.commonName(),
                             s.emailAddress() };
    };
    const QStringList values = fields(subject);
    const bool plain = std::none_of(values.begin(), values.end(), [](const QString& value) {
        return value.contains(QLatin1Char('/')) || value.contains(QLatin1Char('='))
            || value.contains(QLatin1Char('\\'));
    });
    if (plain && (fields(again) != values || again.all() != subject.all())) {
        std::abort();
    }

    readOpensslDateTime(text);
    readIndexDateTime(text);
    return 0;
}
