// libFuzzer target for what the authority reads from files and tool output: the certificate
// index, the configuration file, slash-form names and the tool's times. Malformed input must be
// skipped or give invalid values, never crash.
#include "ca_configuration.h"
#include "cert_index.h"
#include "openssl_time.h"
#include "subject.h"

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
    // What the parser reads back never holds a blank.
    if (conf.mCaKeyName.contains(QLatin1Char(' ')) || !conf.mCaKeyName.startsWith(conf.mMorvilName)) {
        std::abort();
    }

    Subject subject;
    subject.setAll(fromOpensslOneline(text));
    Subject again;
    again.setAll(subject.all());
    // The slash form is built with values as they stand: a name parses back to itself unless a
    // value came out of an escape holding a separator.
    const QString built = subject.all();
    const bool plain = !built.contains(QLatin1Char('\\')) && built.count(QLatin1Char('=')) == built.count(QLatin1Char('/'));
    if (plain && again.all() != built) {
        std::abort();
    }

    readOpensslDateTime(text);
    readIndexDateTime(text);
    return 0;
}
