// An authority's directory in the data directory: making it, removing it, and its configuration
// file on disk. Nothing here reports to the user; results go to the caller.
#pragma once

#include "ca_configuration.h"

#include <QStringList>

// Makes the authority's directory tree with its empty files (the two serial files hold "01"),
// replacing a directory of that name whole. Every file is readable and writable by its owner only.
// False when any directory or file could not be made whole.
bool createAuthorityDirectory(const CaConfiguration& conf);

// Removes a directory tree. Symbolic links, the tree's own entry included, are removed, never
// followed out of the store.
void removeAuthorityDirectory(const QString& path);

// Writes the configuration file as UTF-8, whole or not at all; false when it was not written.
bool writeConfiguration(const CaConfiguration& conf);

// Reads the configuration file (UTF-8) into conf; false when it or the marker file does not open.
bool readConfiguration(CaConfiguration& conf);

// Names of the subdirectories of dataDir, by name ignoring case: the candidates for authorities.
// Links are none: an authority's directory lies in the store.
QStringList authorityCandidates(const QString& dataDir);

// The store's directory name in the home directory.
inline constexpr char kStoreDirName[] = ".morvil_ca";

// Whether a request file of this name is listed among the pending ones: hidden names are not.
bool isListedRequestName(const QString& fileName);

// The pending requests of a new-request directory, as listed: by name, ignoring case.
QStringList pendingRequestNames(const QString& dirPath);

// Where a new authority goes in the main window's list: before the first name that compares
// greater, case-sensitively by UTF-16 code units, or at the end.
qsizetype authorityInsertPosition(const QStringList& names, const QString& name);
