// Saving a connection whole or not at all. Its files are written into a fresh hidden directory of
// the store, which then takes the connection's name in one rename: a new connection appears with
// all its files, and an edited one is exchanged for its new set, so that a failure at any step
// leaves the old connection as it was. Nothing is written through a symbolic link: the fresh
// directory holds only files made here, and a connection that is a link is refused.
#include "connection_store.h"

#include "conf_file.h"
#include "whole_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

namespace vpn {
namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("VpnStore", text);
}

int systemRename(const char* from, const char* to, unsigned int flags)
{
    return renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

RenameFunction gRename = systemRename;

// Renames `from` to `to` with renameat2's flags; false with errno set when it failed.
bool renamed(const QString& from, const QString& to, unsigned int flags)
{
    return gRename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData(), flags) == 0;
}

QString failure(const QString& what, const QString& path)
{
    return what.arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errno)));
}

// The files a save writes, and those of an older naming that it drops; whatever else a connection
// directory holds (the engine's log, the user's notes) belongs to the user and moves along.
constexpr std::array<const char*, 5> kOwnFiles = { kConfFile, kCaCertFile, kUserCertFile, "ca.cert", "user.cert" };

bool isOwnFile(const QString& name)
{
    for (const char* own : kOwnFiles) {
        if (name == QLatin1String(own)) {
            return true;
        }
    }
    return false;
}

QStringList entriesOf(const QString& dirPath)
{
    return QDir(dirPath).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// A directory of the save's own beside the connection, hidden from the list and from the naming
// rule; empty when none could be made.
QString freshDirectory(const QDir& store, const QString& name)
{
    QByteArray path = QFile::encodeName(store.filePath(QLatin1Char('.') + name + QStringLiteral("-XXXXXX")));
    return mkdtemp(path.data()) != nullptr ? QFile::decodeName(path) : QString();
}

// Removes what a save put in a directory, and the directory when that leaves it empty. A file of
// the user's that could not be put back keeps the directory, hidden, rather than being lost.
void discard(const QString& dirPath)
{
    QDir dir(dirPath);
    for (const char* own : kOwnFiles) {
        dir.remove(QLatin1String(own)); // a link goes as a link
    }
    QDir().rmdir(dirPath);
}

QString writeFiles(const QString& dirPath, const ConnectionFiles& files)
{
    const std::array<std::pair<const char*, const QByteArray*>, 3> written {
        { { kConfFile, &files.conf }, { kCaCertFile, &files.ca }, { kUserCertFile, &files.user } }
    };
    for (const auto& [name, data] : written) {
        const QString path = dirPath + QLatin1Char('/') + QLatin1String(name);
        if (QString error; !morvil::writeWholeFile(path, *data, &error)) {
            return tr("Nie można zapisać pliku %1:\n%2").arg(QDir::toNativeSeparators(path), error);
        }
    }
    return {};
}

// A fresh directory holding the connection's files; its path in `fresh`.
QString writeFresh(const QDir& store, const QString& name, const ConnectionFiles& files, QString& fresh)
{
    fresh = freshDirectory(store, name);
    if (fresh.isEmpty()) {
        return failure(tr("Nie można utworzyć katalogu w %1:\n%2"), store.path());
    }
    const QString error = writeFiles(fresh, files);
    if (!error.isEmpty()) {
        discard(fresh);
    }
    return error;
}

// Moves the named entries from one directory to another, where no entry of those names is; on a
// failure moves back those already moved and says which failed.
QString moveEntries(const QString& from, const QString& to, const QStringList& names)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString source = from + QLatin1Char('/') + names[i];
        if (!renamed(source, to + QLatin1Char('/') + names[i], 0)) {
            const QString error = failure(tr("Nie można przenieść pliku %1:\n%2"), source);
            for (qsizetype back = 0; back < i; ++back) {
                renamed(to + QLatin1Char('/') + names[back], from + QLatin1Char('/') + names[back], 0);
            }
            return error;
        }
    }
    return {};
}

// Puts the directory `fresh` in the place of `target`; afterwards the old one is at the path
// returned, empty on failure. The exchange is one step; where the file system cannot exchange,
// the old directory steps aside first and comes back when the new one cannot take its place.
QString swapIn(const QDir& store, const QString& name, const QString& fresh, QString& error)
{
    const QString target = store.filePath(name);
    if (renamed(fresh, target, RENAME_EXCHANGE)) {
        return fresh;
    }
    if (errno == EINVAL) {
        const QString aside = freshDirectory(store, name);
        if (!aside.isEmpty() && renamed(target, aside, 0)) {
            if (renamed(fresh, target, 0)) {
                return aside;
            }
            error = failure(tr("Nie można zapisać połączenia %1:\n%2"), target);
            renamed(aside, target, 0);
            return {};
        }
        if (!aside.isEmpty()) {
            QDir().rmdir(aside);
        }
    }
    error = failure(tr("Nie można zapisać połączenia %1:\n%2"), target);
    return {};
}

// Gives `fresh` the name `name`, which must be free; where the file system cannot refuse to
// replace, it is checked just before.
bool placeNew(const QDir& store, const QString& fresh, const QString& name)
{
    const QString target = store.filePath(name);
    if (renamed(fresh, target, RENAME_NOREPLACE)) {
        return true;
    }
    if (errno != EINVAL) {
        return false;
    }
    if (QFileInfo(target).exists() || QFileInfo(target).isSymLink()) {
        errno = EEXIST;
        return false;
    }
    return renamed(fresh, target, 0);
}

} // namespace

void setRenameFunction(RenameFunction rename)
{
    gRename = rename != nullptr ? rename : systemRename;
}

QString createConnection(const QDir& store, const ConnectionFiles& files, QString& name)
{
    // Any entry of the store takes its name, a file or a link that leads nowhere included.
    name = newConfName(entriesOf(store.path()));
    QString fresh;
    QString error = writeFresh(store, name, files, fresh);
    if (error.isEmpty() && !placeNew(store, fresh, name)) {
        error = failure(tr("Nie można utworzyć katalogu połączenia %1:\n%2"), store.filePath(name));
        discard(fresh);
    }
    return error;
}

QString rewriteConnection(const QDir& store, const QString& name, const QByteArray& header, const QByteArray& ca,
                          const QByteArray& user)
{
    const QString dirPath = store.filePath(name);
    const QFileInfo info(dirPath);
    if (info.isSymLink() || !info.isDir()) {
        return tr("Połączenie %1 nie jest katalogiem w katalogu połączeń (może jest dowiązaniem symbolicznym): "
                  "program nie zapisuje poza nim.")
            .arg(QDir::toNativeSeparators(dirPath));
    }
    QByteArray tail;
    QFile old(dirPath + QLatin1Char('/') + QLatin1String(kConfFile));
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly)) {
            return tr("Nie można odczytać pliku %1:\n%2")
                .arg(QDir::toNativeSeparators(old.fileName()), old.errorString());
        }
        tail = templateTail(old.readAll());
    }
    QStringList others;
    for (const QString& entry : entriesOf(dirPath)) {
        if (!isOwnFile(entry)) {
            others << entry;
        } else if (const QFileInfo file(dirPath + QLatin1Char('/') + entry); file.isDir() && !file.isSymLink()) {
            // Not a file this program wrote, and not one to take away.
            return tr("W katalogu połączenia %1 jest katalog %2 w miejscu pliku.")
                .arg(QDir::toNativeSeparators(dirPath), entry);
        }
    }

    QString fresh;
    QString error = writeFresh(store, name, { header + tail, ca, user }, fresh);
    if (!error.isEmpty()) {
        return error;
    }
    error = moveEntries(dirPath, fresh, others);
    if (!error.isEmpty()) {
        discard(fresh);
        return error;
    }
    const QString oldSet = swapIn(store, name, fresh, error);
    if (oldSet.isEmpty()) {
        moveEntries(fresh, dirPath, others);
        discard(fresh);
        return error;
    }
    discard(oldSet);
    return {};
}

} // namespace vpn
