#include "whole_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace morvil {
namespace {

// Write, flush and close, each checked: a full disk shows only when the buffered octets go out.
template <typename File> bool writeThrough(File& file, QByteArrayView data)
{
    return file.write(data.data(), data.size()) == data.size() && file.flush();
}

bool fail(const QString& reason, QString* error)
{
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

bool fail(const QFileDevice& file, QString* error)
{
    return fail(file.errorString(), error);
}

// A device or FIFO, opened where it is; a link put in its place since it was looked at is not
// followed.
bool writeInPlace(const QString& path, QByteArrayView data, QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return fail(QString::fromLocal8Bit(std::strerror(errno)), error);
    }
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) || !writeAllAndClose(file, data)) {
        return fail(file, error);
    }
    return true;
}

} // namespace

bool writeAllAndClose(QFileDevice& file, QByteArrayView data)
{
    if (!writeThrough(file, data)) {
        return false;
    }
    file.close();
    return file.error() == QFileDevice::NoError;
}

bool writeWholeFile(const QString& path, QByteArrayView data, QString* error)
{
    const QFileInfo target(path);
    if (target.isSymbolicLink()) {
        return fail(QCoreApplication::translate("morvil",
                                                "Plik %1 jest dowiązaniem symbolicznym: program nie zapisuje "
                                                "niczego przez dowiązanie.")
                        .arg(path),
                    error);
    }
    if (target.exists() && !target.isFile() && !target.isDir()) {
        return writeInPlace(path, data, error);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !writeThrough(file, data) || !file.commit()) {
        return fail(file, error);
    }
    return true;
}

} // namespace morvil
