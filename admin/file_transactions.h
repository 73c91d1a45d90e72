// The file transactions of a token node: copying a local file onto the token, deleting a token
// file, saving one to a local file, and reading a printable file's contents for its page.
#pragma once

#include "token_transactions.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace morvil::admin {

// The largest file the token's file system holds, and the piece a save reads at a time.
inline constexpr int kMaxTokenFileSize = 4096;
inline constexpr int kSaveReadPiece = 1024;
// The printable bit the library sets in a file's type from its contents.
inline constexpr int kFilePrintable = 0x01;

// The kind octet a file gets from the extension of its local path (case-insensitive).
int fileKindFor(const QString& sourcePath);
// The icon of a token file by its name's extension (case-insensitive).
QString fileIconFor(const QString& tokenName);

// Reads an open token file from its position to the end, `kSaveReadPiece` octets at a time, each
// piece's size given to `piece` if set. False (with what was read so far) on a library failure.
bool readInPieces(DEV_ZR40NN_file_t* handle, QByteArray& contents, const std::function<void(int)>& piece = {});

// Copies a regular local file of at most kMaxTokenFileSize octets onto the token as `tokenName`.
bool addFile(DEV_ZR40NN_t* ut, const char* pin, int pinId, const QString& sourcePath, const QString& tokenName,
             FailureReport& report);
bool deleteFile(DEV_ZR40NN_t* ut, const char* pin, int pinId, const QString& tokenName, FailureReport& report);
// Reads the token file whole, then replaces the local file with it in one step; the local file is
// untouched when anything fails. Needs no PIN.
bool saveFile(DEV_ZR40NN_t* ut, const QString& tokenName, const QString& localPath, FailureReport& report);
// The contents of the file in table slot `slot`; empty after a failure, which is reported.
QByteArray readFileContents(DEV_ZR40NN_t* ut, int slot, FailureReport& report);

} // namespace morvil::admin
