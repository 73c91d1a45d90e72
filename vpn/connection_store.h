// The connection store: one directory per connection in ~/.morvil_vpn_client, which is the working
// directory while the program runs. A connection is saved whole or not at all, and nothing is
// written through a symbolic link (connection_save.cpp). Each function returns an error text for
// the user, empty on success.
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
// A symbolic link is no connection: what it leads to lies outside the store.
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

// Makes a new connection directory in `store` with its files; `name` receives its name, the first
// that no entry of the store takes (file and link included). On failure nothing of it is left.
QString createConnection(const QDir& store, const ConnectionFiles& files, QString& name);

// Rewrites the files of the connection `name` in `store` from a new header: its "conf" keeps the
// old template tail. Files of an older naming ("ca.cert", "user.cert") go; other files stay.
QString rewriteConnection(const QDir& store, const QString& name, const QByteArray& header, const QByteArray& ca,
                          const QByteArray& user);

// Removes the regular, non-hidden files of a connection directory and then the directory. A
// directory that is a symbolic link loses only the link. Fails when anything is left.
QString removeConnection(const QDir& store, const QString& name);

// The renames a save is made of go through this function (renameat2's, with paths): tests put one
// in its place that fails at a chosen step. Null puts the system's back.
using RenameFunction = int (*)(const char* from, const char* to, unsigned int flags);
void setRenameFunction(RenameFunction rename);

} // namespace vpn
