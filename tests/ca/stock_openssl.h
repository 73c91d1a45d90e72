// The stock openssl as the outside world of an authority: it makes the requests users bring, and
// checks what the authority issued.
#pragma once

#include "tool_runner.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

namespace morvil::test {

inline ToolRun stockOpenssl(const QStringList& args, const QString& workDir = QString())
{
    return runTool(QStringLiteral("/usr/bin/openssl"), args, workDir, {});
}

// A request for subject with a fresh P-256 key, written as PEM to path.
inline bool makeStockRequest(const QString& path, const QString& subject)
{
    return stockOpenssl({ "req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                          "/dev/null", "-utf8", "-subj", subject, "-out", path })
        .succeeded();
}

// A copy of a PEM request whose signature no longer matches: the last octet of the DER flipped.
inline bool makeBadSignatureRequest(const QString& goodPath, const QString& badPath)
{
    const QString der = badPath + QStringLiteral(".der");
    if (!stockOpenssl({ "req", "-in", goodPath, "-outform", "DER", "-out", der }).succeeded()) {
        return false;
    }
    QFile file(der);
    if (!file.open(QIODevice::ReadWrite)) {
        return false;
    }
    QByteArray bytes = file.readAll();
    bytes[bytes.size() - 1] = static_cast<char>(bytes.back() ^ 0x01);
    file.seek(0);
    file.write(bytes);
    file.close();
    return stockOpenssl({ "req", "-inform", "DER", "-in", der, "-out", badPath }).succeeded();
}

inline QByteArray fileContents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace morvil::test
