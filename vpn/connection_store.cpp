#include "connection_store.h"

#include "conf_file.h"
#include "home_store.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <array>
#include <memory>

namespace vpn {
namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("VpnStore", text);
}

QString writeFailed(const QString& path, const QString& reason)
{
    return tr("Nie można zapisać pliku %1:\n%2").arg(QDir::toNativeSeparators(path), reason);
}

// Writes each file to a temporary one and renames them all into place only when every write
// succeeded.
QString writeAll(const QString& dirPath, const std::array<std::pair<const char*, const QByteArray*>, 3>& files)
{
    std::array<std::unique_ptr<QSaveFile>, 3> saved;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const QString path = dirPath + QLatin1Char('/') + QLatin1String(files[i].first);
        saved[i] = std::make_unique<QSaveFile>(path);
        if (!saved[i]->open(QIODevice::WriteOnly) || saved[i]->write(*files[i].second) != files[i].second->size()) {
            return writeFailed(path, saved[i]->errorString()); // the temporary files go with the objects
        }
    }
    for (auto& file : saved) {
        if (!file->commit()) {
            return writeFailed(file->fileName(), file->errorString());
        }
    }
    return {};
}

QString writeConnectionFiles(const QString& dirPath, const ConnectionFiles& files)
{
    return writeAll(dirPath,
                    { { { kConfFile, &files.conf }, { kCaCertFile, &files.ca }, { kUserCertFile, &files.user } } });
}

} // namespace

QString enterStore(const QString& home)
{
    if (!morvil::enterHomeStore(home, QLatin1String(kStoreDirName))) {
        return tr("Nie można utworzyć ani otworzyć katalogu połączeń VPN %1.")
            .arg(QDir::toNativeSeparators(QDir(home).filePath(QLatin1String(kStoreDirName))));
    }
    return {};
}

QStringList connectionNames(const QDir& store)
{
    return store.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

QString newConfName(const QStringList& existingNames)
{
    QSet<int> taken;
    for (const QString& name : existingNames) {
        bool ok = false;
        const int number = name.toInt(&ok, 16);
        if (ok) {
            taken.insert(number);
        }
    }
    int next = 0;
    while (taken.contains(next)) {
        ++next;
    }
    return QStringLiteral("%1").arg(next, 4, 16, QLatin1Char('0'));
}

QString createConnection(const QDir& store, const ConnectionFiles& files, QString& name)
{
    name = newConfName(connectionNames(store));
    if (!store.mkdir(name)) {
        return tr("Nie można utworzyć katalogu połączenia %1.").arg(QDir::toNativeSeparators(store.filePath(name)));
    }
    const QString error = writeConnectionFiles(store.filePath(name), files);
    if (!error.isEmpty()) {
        QDir(store.filePath(name)).removeRecursively(); // only what was just made: nothing else is in it
    }
    return error;
}

QString rewriteConnection(const QString& dirPath, const QByteArray& header, const QByteArray& ca,
                          const QByteArray& user)
{
    QFile old(dirPath + QLatin1Char('/') + QLatin1String(kConfFile));
    QByteArray tail;
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly)) {
            return tr("Nie można odczytać pliku %1:\n%2")
                .arg(QDir::toNativeSeparators(old.fileName()), old.errorString());
        }
        tail = templateTail(old.readAll());
        old.close();
    }
    const QString error = writeConnectionFiles(dirPath, { header + tail, ca, user });
    if (error.isEmpty()) {
        QDir dir(dirPath);
        dir.remove(QStringLiteral("ca.cert"));
        dir.remove(QStringLiteral("user.cert"));
    }
    return error;
}

QString removeConnection(const QDir& store, const QString& name)
{
    const QString path = store.filePath(name);
    const QFileInfo info(path);
    bool removed = false;
    if (info.isSymLink()) {
        // Never follow the link: the files it leads to belong to someone else.
        removed = QFile::remove(path);
    } else if (info.isDir()) {
        QDir dir(path);
        // Symbolic links among the files are removed as links; their targets stay.
        for (const QFileInfo& file : dir.entryInfoList(QDir::Files | QDir::System)) {
            if (file.isFile() || file.isSymLink()) {
                QFile::remove(file.filePath());
            }
        }
        removed = store.rmdir(name);
    }
    if (!removed) {
        return tr("Nie można całkowicie usunąć katalogu połączenia %1: pozostały w nim inne pliki.")
            .arg(QDir::toNativeSeparators(path));
    }
    return {};
}

} // namespace vpn
