#include "whole_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace morvil {
namespace {

// Write, flush and close, each checked: a full disk shows only when the buffered octets go out.
template <typename File> bool writeThrough(File& file, QByteArrayView data)
{
    return file.write(data.data(), data.size()) == data.size() && file.flush();
}

bool fail(const QFileDevice& file, QString* error)
{
    if (error != nullptr) {
        *error = file.errorString();
    }
    return false;
}

} // namespace

bool writeWholeFile(const QString& path, QByteArrayView data, QString* error)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile() && !target.isDir()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !writeThrough(file, data)) {
            return fail(file, error);
        }
        file.close();
        return file.error() == QFileDevice::NoError || fail(file, error);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !writeThrough(file, data) || !file.commit()) {
        return fail(file, error);
    }
    return true;
}

} // namespace morvil
