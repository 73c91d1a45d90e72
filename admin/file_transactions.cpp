#include "file_transactions.h"

#include "admin_texts.h"
#include "dev_zr40nn_threads.h"
#include "transaction_steps.h"
#include "whole_file.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <utility>

namespace morvil::admin {
namespace {

struct Extensions
{
    std::initializer_list<const char*> suffixes;
    int kind;
};

// First match wins; anything else is kFileKindOther.
constexpr int kFileKindOther = 0xF0;
const std::array<Extensions, 6> cFileKinds { {
    { { ".crt", ".cer", ".cert" }, 0x10 },
    { { ".req" }, 0x30 },
    { { ".txt", ".text" }, 0x40 },
    { { ".html", ".htm" }, 0x50 },
    { { ".conf", ".cnf" }, 0x60 },
    { { ".bin" }, 0x70 },
} };

struct IconExtensions
{
    std::initializer_list<const char*> suffixes;
    const char* icon;
};

const std::array<IconExtensions, 7> cFileIcons { {
    { { ".crt", ".cer", ".cert" }, ":img/filetype_usercert.png" },
    { { ".req" }, ":img/filetype_userreq.png" },
    { { ".html", ".htm" }, ":img/filetype_html.png" },
    { { ".txt", ".text" }, ":img/filetype_txt.png" },
    { { ".key", ".pub" }, ":img/filetype_key.png" },
    { { ".conf", ".cnf" }, ":img/filetype_conf.png" },
    { { ".bin" }, ":img/filetype_binary.png" },
} };
constexpr const char* kUnknownFileIcon = ":img/filetype_unknown.png";

bool endsWithAny(const QString& name, std::initializer_list<const char*> suffixes)
{
    for (const char* suffix : suffixes) {
        if (name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

QString detail(DEV_ZR40NN_t* ut)
{
    return QString::fromUtf8(DEV_ZR40NN_lib_detail_error_desc(ut));
}

// Runs a worker unless the transaction failed already; its error text goes into `describe`.
template <typename Describe> bool runDescribed(Steps& steps, DEV_ZR40NN_thread& worker, Describe describe)
{
    if (steps.failed()) {
        return false;
    }
    if (worker.execWithCursor(kCommandCursor) >= 0) {
        return true;
    }
    steps.fail(describe(worker.errorString()));
    return false;
}

// A handle's release; a failure is reported and fails the transaction, whatever came before.
void closeFile(DEV_ZR40NN_t* ut, DEV_ZR40NN_file_t* handle, const QString& name, Steps& steps)
{
    if (handle != nullptr && DEV_ZR40NN_file_close(handle) < 0) {
        steps.fail(text::tokenFileNotClosed(name, detail(ut)));
    }
}

// The file list, read again once a change ended. After a failure too, unreported: a write or a
// deletion whose answer was lost may have taken effect or not, and the library's cache may list
// a file the token does not hold; the tree is to show what the token holds.
void rereadFileList(DEV_ZR40NN_t* ut, Steps& steps)
{
    if (steps.failed()) {
        DEV_ZR40NN_thread_fs_get_file_list(ut).execWithCursor(kCommandCursor);
    } else {
        steps.run(DEV_ZR40NN_thread_fs_get_file_list(ut), kCommandCursor);
    }
}

// The local file, whole, when it is a regular file the token can hold.
std::optional<QByteArray> readLocalFile(const QString& path, FailureReport& report)
{
    if (!QFileInfo(path).isFile()) {
        report.failed(text::localFileNotRegular(path));
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report.failed(text::localFileNotOpened(path, file.errorString()));
        return std::nullopt;
    }
    // One octet past the limit tells an oversized file without reading all of it.
    QByteArray contents = file.read(kMaxTokenFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        report.failed(text::localFileNotOpened(path, file.errorString()));
        return std::nullopt;
    }
    if (contents.size() > kMaxTokenFileSize) {
        report.failed(text::fileTooLarge(path));
        return std::nullopt;
    }
    return contents;
}

} // namespace

int fileKindFor(const QString& sourcePath)
{
    for (const Extensions& entry : cFileKinds) {
        if (endsWithAny(sourcePath, entry.suffixes)) {
            return entry.kind;
        }
    }
    return kFileKindOther;
}

QString fileIconFor(const QString& tokenName)
{
    for (const IconExtensions& entry : cFileIcons) {
        if (endsWithAny(tokenName, entry.suffixes)) {
            return QString::fromLatin1(entry.icon);
        }
    }
    return QString::fromLatin1(kUnknownFileIcon);
}

bool readInPieces(DEV_ZR40NN_file_t* handle, QByteArray& contents, const std::function<void(int)>& piece)
{
    std::array<unsigned char, kSaveReadPiece> buffer {};
    for (;;) {
        const int count = DEV_ZR40NN_file_read(handle, buffer.data(), kSaveReadPiece);
        if (count <= 0) {
            return count == 0;
        }
        contents.append(reinterpret_cast<const char*>(buffer.data()), count);
        if (piece) {
            piece(count);
        }
    }
}

bool addFile(DEV_ZR40NN_t* ut, const char* pin, int pinId, const QString& sourcePath, const QString& tokenName,
             FailureReport& report)
{
    const std::optional<QByteArray> contents = readLocalFile(sourcePath, report);
    if (!contents) {
        return false;
    }
    const QByteArray name = tokenName.toUtf8();
    SessionScope session(ut);
    Steps steps(report);
    DEV_ZR40NN_file_t* handle = DEV_ZR40NN_file_create(ut, name.constData(), fileKindFor(sourcePath));
    if (handle == nullptr) {
        steps.fail(text::tokenFileNotCreated(tokenName, detail(ut)));
    } else if (DEV_ZR40NN_file_write(handle, contents->constData(), static_cast<int>(contents->size())) < 0) {
        steps.fail(text::tokenFileNotWritten(tokenName, detail(ut)));
    } else if (DEV_ZR40NN_file_type_set_printable_mask(handle) < 0) {
        steps.fail(text::printableCheckFailed());
    } else {
        DEV_ZR40NN_thread_file_flush flush(ut, handle, pin, pinId);
        runDescribed(steps, flush, [&](const QString& error) { return text::tokenFileNotFlushed(tokenName, error); });
    }
    closeFile(ut, handle, tokenName, steps);
    rereadFileList(ut, steps);
    return !steps.failed();
}

bool deleteFile(DEV_ZR40NN_t* ut, const char* pin, int pinId, const QString& tokenName, FailureReport& report)
{
    const QByteArray name = tokenName.toUtf8();
    SessionScope session(ut);
    Steps steps(report);
    DEV_ZR40NN_thread_file_open open(ut, name.constData());
    if (runDescribed(steps, open, [&](const QString& error) { return text::tokenFileNotOpened(tokenName, error); })) {
        DEV_ZR40NN_thread_file_delete remove(ut, open.fileHandle(), pin, pinId);
        if (!runDescribed(steps, remove,
                          [&](const QString& error) { return text::tokenFileNotDeleted(tokenName, error); })) {
            // The library keeps the handle after a refused deletion.
            DEV_ZR40NN_file_close(open.fileHandle());
        }
    }
    rereadFileList(ut, steps);
    return !steps.failed();
}

bool saveFile(DEV_ZR40NN_t* ut, const QString& tokenName, const QString& localPath, FailureReport& report)
{
    const QByteArray name = tokenName.toUtf8();
    QByteArray contents;
    {
        SessionScope session(ut);
        Steps steps(report);
        DEV_ZR40NN_thread_file_open open(ut, name.constData());
        if (!runDescribed(steps, open,
                          [&](const QString& error) { return text::tokenFileNotOpened(tokenName, error); })) {
            return false;
        }
        if (!readInPieces(open.fileHandle(), contents)) {
            steps.fail(text::tokenFileNotRead(tokenName, detail(ut)));
        }
        closeFile(ut, open.fileHandle(), tokenName, steps);
        if (steps.failed()) {
            return false;
        }
    }
    QString error;
    if (!morvil::writeWholeFile(localPath, contents, &error)) {
        report.failed(text::localFileNotWritten(localPath, error));
        return false;
    }
    return true;
}

QByteArray readFileContents(DEV_ZR40NN_t* ut, int slot, FailureReport& report)
{
    const QByteArray raw(ut->file_names[slot]);
    const QString name = QString::fromUtf8(raw);
    SessionScope session(ut);
    Steps steps(report);
    // The open reads the file from the token; reading and closing the handle stay in memory.
    DEV_ZR40NN_thread_file_open open(ut, raw.constData());
    if (!runDescribed(steps, open, [&](const QString& error) { return text::tokenFileNotOpened(name, error); })) {
        return {};
    }
    DEV_ZR40NN_file_t* handle = open.fileHandle();
    QByteArray contents(handle->size, '\0');
    if (DEV_ZR40NN_file_read(handle, reinterpret_cast<unsigned char*>(contents.data()), handle->size) < 0) {
        steps.fail(text::tokenFileNotRead(name, detail(ut)));
        contents.clear();
    }
    closeFile(ut, handle, name, steps);
    return contents;
}

} // namespace morvil::admin
