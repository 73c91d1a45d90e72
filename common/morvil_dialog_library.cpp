#include "morvil_dialog_library.h"

#include "dev_zr40nn.h"
#include "morvil_state.h"
#include "token_work.h"

#include <QCoreApplication>

#include <cstring>
#include <memory>

namespace morvil::chooser {
namespace {

// Names in the records are NUL-terminated inside their fields; a full field is taken whole.
template <std::size_t N> QByteArray fieldText(const char (&field)[N])
{
    return QByteArray(field, static_cast<qsizetype>(strnlen(field, N)));
}

QByteArray fileName(const DEV_ZR40NN_t* ut, int slot)
{
    const char* name = ut->file_names[slot];
    return name != nullptr ? QByteArray(name, static_cast<qsizetype>(strnlen(name, DEV_ZR40NN_FILE_NAME_LEN)))
                           : QByteArray();
}

class Session
{
public:
    explicit Session(DEV_ZR40NN_t* ut)
        : mUt(ut)
        , mOpen(DEV_ZR40NN_session_open(ut) >= 0)
    {
    }
    ~Session()
    {
        if (mOpen) {
            DEV_ZR40NN_session_close(mUt);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool isOpen() const { return mOpen; }

private:
    DEV_ZR40NN_t* mUt;
    bool mOpen;
};

struct FileCloser
{
    void operator()(DEV_ZR40NN_file_t* file) const { DEV_ZR40NN_file_close(file); }
};
using FileHandle = std::unique_ptr<DEV_ZR40NN_file_t, FileCloser>;

FileRead failed(DEV_ZR40NN_t* ut)
{
    return { FileRead::Outcome::Failed, {}, QString::fromUtf8(DEV_ZR40NN_lib_detail_error_desc(ut)).trimmed() };
}

// Reads until the file's size is reached; a shorter read is a failure, never short contents.
FileRead readWhole(DEV_ZR40NN_t* ut, DEV_ZR40NN_file_t* file)
{
    QByteArray data(file->size, '\0');
    int got = 0;
    while (got < file->size) {
        const int n = DEV_ZR40NN_file_read(file, reinterpret_cast<unsigned char*>(data.data()) + got, file->size - got);
        if (n <= 0) {
            return failed(ut);
        }
        got += n;
    }
    return { FileRead::Outcome::Read, data, {} };
}

FileRead readOnToken(const QByteArray& tokenName, const QByteArray& fileName)
{
    DEV_ZR40NN_t* ut = DEV_ZR40NN_find_by_name(tokenName.constData());
    if (ut == nullptr) {
        return { FileRead::Outcome::NoToken, {}, {} };
    }
    // A token that cannot be opened is most likely unplugged: its file cannot be found.
    const Session session(ut);
    if (!session.isOpen()) {
        return { FileRead::Outcome::NoFile, {}, {} };
    }
    // Opening the session emptied the error stack: an open that fails without an entry found no
    // file of that name, one that leaves an entry found it and could not read it.
    const FileHandle file(DEV_ZR40NN_file_open(ut, fileName.constData()));
    if (file == nullptr) {
        return ERROR_count(ut->err) == 0 ? FileRead { FileRead::Outcome::NoFile, {}, {} } : failed(ut);
    }
    return readWhole(ut, file.get());
}

} // namespace

QString libraryStartFailureText()
{
    return QCoreApplication::translate("MorvilDialog", "Nie można zainicjować biblioteki obsługującej tokeny!");
}

std::unique_ptr<LibraryUse> startLibrary()
{
    std::unique_ptr<LibraryUse> library;
    runTokenWork([&] { library = std::make_unique<LibraryUse>(); });
    return library;
}

QList<ListedToken> listTokens(int count)
{
    QList<ListedToken> tokens;
    for (int i = 0; i < count; ++i) {
        const DEV_ZR40NN_t* ut = DEV_ZR40NN_find_by_index(i);
        if (ut == nullptr) {
            break;
        }
        ListedToken token;
        token.state = MorvilState(ut);
        if (token.state == kMorvilConfigured) {
            token.name = fieldText(ut->info.name);
            for (int slot = 0; slot < ut->info.keys_num && slot < DEV_ZR40NN_KEY_SLOTS; ++slot) {
                if (ut->keys[slot].info != 0) {
                    token.keys.append({ fieldText(ut->keys[slot].name), 0 });
                }
            }
            for (int slot = 0; slot < ut->files_no && slot < DEV_ZR40NN_FILES; ++slot) {
                if (ut->file_types[slot] != 0) {
                    token.files.append({ fileName(ut, slot), ut->file_types[slot] });
                }
            }
        }
        tokens.append(token);
    }
    return tokens;
}

FileRead readTokenFile(const QByteArray& tokenName, const QByteArray& fileName)
{
    FileRead read;
    runTokenWork([&] { read = readOnToken(tokenName, fileName); });
    return read;
}

} // namespace morvil::chooser
