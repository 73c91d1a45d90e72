// The connection store: one directory per connection in ~/.morvil_vpn_client, which is the working
// directory while the program runs. Writes go to temporary files that are renamed into place only
// when every file of the connection was written, so a failed save leaves the old connection
// whole. Each function returns an error text for the user, empty on success.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>

namespace vpn {

// The store directory's name in the home directory.
inline constexpr char kStoreDirName[] = ".morvil_vpn_client";

// Makes the store in `home` if needed and makes it the working directory.
QString enterStore(const QString& home);

// Names of the connections: the store's subdirectories that are not hidden, by name, ignoring case.
QStringList connectionNames(const QDir& store);

// The name for a new connection: the smallest number no existing name reads as (hexadecimal),
// in lower-case hexadecimal with at least four digits.
QString newConfName(const QStringList& existingNames);

// The three files of a connection.
struct ConnectionFiles
{
    QByteArray conf;
    QByteArray ca;
    QByteArray user;
};

// Makes a new connection directory in `store` with its files; `name` receives its name. On
// failure nothing of it is left.
QString createConnection(const QDir& store, const ConnectionFiles& files, QString& name);

// Rewrites a connection's files in `dirPath` from a new header: its "conf" keeps the old template
// tail. Files of an older naming ("ca.cert", "user.cert") are removed after the rewrite.
QString rewriteConnection(const QString& dirPath, const QByteArray& header, const QByteArray& ca,
                          const QByteArray& user);

// Removes the regular, non-hidden files of a connection directory and then the directory. A
// directory that is a symbolic link loses only the link. Fails when anything is left.
QString removeConnection(const QDir& store, const QString& name);

} // namespace vpn
