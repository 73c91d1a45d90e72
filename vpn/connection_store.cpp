#include "connection_store.h"

#include "home_store.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace vpn {
namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("VpnStore", text);
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
    return store.entryList(QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
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
