// The store on disk: names of new connections, atomic saves, the template tail kept on edit, and
// deletion that stays inside the connection's directory.
#include "conf_file.h"
#include "connection_store.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>

using namespace vpn;

namespace {

QStringList names(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* name : list) {
        out << QString::fromLatin1(name);
    }
    return out;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void put(const QString& path, const QByteArray& data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

// Every entry of a directory, hidden ones and links included.
QStringList everything(const QDir& dir)
{
    return dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

class Store : public ::testing::Test
{
protected:
    QTemporaryDir mTemp;
    QDir store() const { return QDir(mTemp.path()); }
    QString path(const QString& name) const { return mTemp.filePath(name); }
};

} // namespace

TEST(NewConfName, SmallestFreeNumberInFourHexDigits)
{
    EXPECT_EQ(newConfName({}), QStringLiteral("0000"));
    EXPECT_EQ(newConfName(names({ "0000", "0002", "abc" })), QStringLiteral("0001"));
    EXPECT_EQ(newConfName(names({ "0000", "0001", "0002", "0003", "0004", "0005", "0006", "0007", "0008", "0009" })),
              QStringLiteral("000a"));
    EXPECT_EQ(newConfName(names({ "0", "1", "Praca", "2" })), QStringLiteral("0003")); // any spelling of a number
    QStringList full;
    for (int i = 0; i <= 0xffff; ++i) {
        full << QString::number(i, 16);
    }
    EXPECT_EQ(newConfName(full), QStringLiteral("10000"));
}

TEST_F(Store, NewConnectionsTakeTheFreedName)
{
    QString name;
    for (const char* expected : { "0000", "0001", "0002" }) {
        ASSERT_EQ(createConnection(store(), { "c", "a", "u" }, name), QString());
        EXPECT_EQ(name, QLatin1String(expected));
    }
    EXPECT_EQ(contents(path("0001/conf")), QByteArray("c"));
    EXPECT_EQ(contents(path("0001/ca")), QByteArray("a"));
    EXPECT_EQ(contents(path("0001/user")), QByteArray("u"));
    ASSERT_EQ(removeConnection(store(), QStringLiteral("0001")), QString());
    EXPECT_EQ(connectionNames(store()), names({ "0000", "0002" }));
    ASSERT_EQ(createConnection(store(), { "c", "a", "u" }, name), QString());
    EXPECT_EQ(name, QStringLiteral("0001"));
}

TEST_F(Store, ListingSkipsHiddenDirectoriesAndFilesAndIgnoresCase)
{
    for (const char* dir : { "b", "A", ".ukryty", "0000" }) {
        store().mkdir(QString::fromLatin1(dir));
    }
    put(path("plik"), "x");
    EXPECT_EQ(connectionNames(store()), names({ "0000", "A", "b" }));
}

TEST_F(Store, EditKeepsTheTailAndDropsOldCertificateNames)
{
    store().mkdir(QStringLiteral("0000"));
    const QByteArray tail = QByteArray(kTemplateMarker) + "remote inny 1\n";
    put(path("0000/conf"), "old header\n" + tail);
    put(path("0000/ca.cert"), "old");
    put(path("0000/user.cert"), "old");
    put(path("0000/log"), "engine log");
    put(path("0000/.notatki"), "notes");
    ASSERT_EQ(rewriteConnection(store(), QStringLiteral("0000"), "new header\n", "a", "u"), QString());
    EXPECT_EQ(contents(path("0000/conf")), "new header\n" + tail);
    EXPECT_EQ(contents(path("0000/ca")), QByteArray("a"));
    EXPECT_FALSE(QFile::exists(path("0000/ca.cert")));
    EXPECT_FALSE(QFile::exists(path("0000/user.cert")));
    // Other files of the connection stay, and the store holds the connection alone.
    EXPECT_EQ(contents(path("0000/log")), QByteArray("engine log"));
    EXPECT_EQ(contents(path("0000/.notatki")), QByteArray("notes"));
    EXPECT_EQ(everything(store()), names({ "0000" }));

    put(path("0000/conf"), "no marker here\n");
    ASSERT_EQ(rewriteConnection(store(), QStringLiteral("0000"), "header\n", "a", "u"), QString());
    EXPECT_EQ(contents(path("0000/conf")), QByteArray("header\n"));
}

TEST_F(Store, AFailedEditLeavesEveryOldFile)
{
    store().mkdir(QStringLiteral("0000"));
    put(path("0000/conf"), "old conf");
    put(path("0000/ca"), "old ca");
    store().mkdir(QStringLiteral("0000/user")); // "user" cannot be written
    EXPECT_NE(rewriteConnection(store(), QStringLiteral("0000"), "new\n", "a", "u"), QString());
    EXPECT_EQ(contents(path("0000/conf")), QByteArray("old conf"));
    EXPECT_EQ(contents(path("0000/ca")), QByteArray("old ca"));
    EXPECT_EQ(QDir(path("0000")).entryList(QDir::Files | QDir::Hidden).size(), 2); // no temporary file left
    EXPECT_EQ(everything(store()), names({ "0000" }));
}

// A certificate the disk takes only in part (here: beyond the process's file size limit) fails
// the save; nothing of it is left, and an edited connection keeps its old files.
TEST_F(Store, AShortWriteFailsTheSave)
{
    store().mkdir(QStringLiteral("0000"));
    put(path("0000/conf"), "old conf");
    put(path("0000/user"), "old user");
    struct rlimit before
    {
    };
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString name;
    const QString created = createConnection(store(), { "c", "a", QByteArray(8192, 'u') }, name);
    const QString edited = rewriteConnection(store(), QStringLiteral("0000"), "new\n", "a", QByteArray(8192, 'u'));
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_NE(created, QString());
    EXPECT_NE(edited, QString());
    EXPECT_EQ(everything(store()), names({ "0000" }));
    EXPECT_EQ(contents(path("0000/conf")), QByteArray("old conf"));
    EXPECT_EQ(contents(path("0000/user")), QByteArray("old user"));
}

// A name is taken by anything that bears it, a file or a link that leads nowhere included; links
// are no connections, and a save neither follows nor writes through them.
TEST_F(Store, NamesTakenByAnythingAndLinksNeverFollowed)
{
    QTemporaryDir outside;
    put(outside.filePath("ca"), "theirs");
    put(path("0000"), "a file");
    ASSERT_TRUE(QFile::link(path("nowhere"), path("0001")));
    ASSERT_TRUE(QFile::link(outside.path(), path("0002")));
    EXPECT_EQ(connectionNames(store()), QStringList());
    QString name;
    ASSERT_EQ(createConnection(store(), { "c", "a", "u" }, name), QString());
    EXPECT_EQ(name, QStringLiteral("0003"));
    EXPECT_EQ(connectionNames(store()), names({ "0003" }));

    // A connection that is a link is refused; what it leads to stays as it was.
    EXPECT_NE(rewriteConnection(store(), QStringLiteral("0002"), "h\n", "a", "u"), QString());
    EXPECT_EQ(everything(QDir(outside.path())), names({ "ca" }));
    EXPECT_EQ(contents(outside.filePath("ca")), QByteArray("theirs"));

    // Files of a connection that are links are replaced by files, never written through.
    for (const char* file : { "ca", "user" }) { // "user" leads to a file not yet there
        ASSERT_TRUE(QFile::remove(path(QStringLiteral("0003/") + QLatin1String(file))));
        ASSERT_TRUE(
            QFile::link(outside.filePath(QLatin1String(file)), path(QStringLiteral("0003/") + QLatin1String(file))));
    }
    ASSERT_EQ(rewriteConnection(store(), QStringLiteral("0003"), "h\n", "a2", "u2"), QString());
    EXPECT_FALSE(QFileInfo(path("0003/ca")).isSymLink());
    EXPECT_EQ(contents(path("0003/ca")), QByteArray("a2"));
    EXPECT_EQ(contents(path("0003/user")), QByteArray("u2"));
    EXPECT_EQ(everything(QDir(outside.path())), names({ "ca" }));
    EXPECT_EQ(contents(outside.filePath("ca")), QByteArray("theirs"));
}

namespace {

// Renames as the system makes them, but the nth of them fails; optionally without the exchange
// of two names, which some file systems lack.
int gRenames = 0;
int gFailingRename = 0;
bool gNoExchange = false;

int failingRename(const char* from, const char* to, unsigned int flags)
{
    if (gNoExchange && (flags & RENAME_EXCHANGE) != 0) {
        errno = EINVAL;
        return -1;
    }
    if (++gRenames == gFailingRename) {
        errno = EIO;
        return -1;
    }
    return renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

} // namespace

// An edit is saved whole or not at all, whichever of its renames fails: the old connection stays
// whole, with every file of its own, and nothing else is left in the store.
TEST_F(Store, AnEditIsSavedWholeOrNotAtAll)
{
    for (const bool noExchange : { false, true }) {
        gNoExchange = noExchange;
        bool saved = false;
        for (gFailingRename = 1; !saved; ++gFailingRename) {
            ASSERT_LT(gFailingRename, 20);
            QDir(path("0000")).removeRecursively();
            store().mkdir(QStringLiteral("0000"));
            const QByteArray tail = QByteArray(kTemplateMarker) + "nobind\n";
            put(path("0000/conf"), "old\n" + tail);
            put(path("0000/ca"), "old ca");
            put(path("0000/user"), "old user");
            put(path("0000/log"), "log");
            put(path("0000/.notatki"), "notes");
            gRenames = 0;
            setRenameFunction(failingRename);
            const QString error = rewriteConnection(store(), QStringLiteral("0000"), "new\n", "new ca", "new user");
            setRenameFunction(nullptr);
            saved = error.isEmpty();
            const QByteArray expected[] = { saved ? "new\n" + tail : "old\n" + tail, saved ? "new ca" : "old ca",
                                            saved ? "new user" : "old user", "log", "notes" };
            int i = 0;
            for (const char* file : { "0000/conf", "0000/ca", "0000/user", "0000/log", "0000/.notatki" }) {
                EXPECT_EQ(contents(path(file)), expected[i++]) << file << ", rename " << gFailingRename;
            }
            EXPECT_EQ(everything(store()), names({ "0000" })) << "rename " << gFailingRename;
            EXPECT_EQ(everything(QDir(path("0000"))).size(), 5) << "rename " << gFailingRename;
        }
        EXPECT_GT(gFailingRename, 2); // it took more than one rename, each failing once
    }
    gNoExchange = false;
}

// A new connection appears whole or not at all.
TEST_F(Store, ANewConnectionAppearsWholeOrNotAtAll)
{
    gRenames = 0;
    gFailingRename = 1;
    setRenameFunction(failingRename);
    QString name;
    const QString error = createConnection(store(), { "c", "a", "u" }, name);
    setRenameFunction(nullptr);
    EXPECT_NE(error, QString());
    EXPECT_EQ(everything(store()), QStringList());
}

TEST_F(Store, HiddenFilesKeepTheDirectoryAndSaySo)
{
    store().mkdir(QStringLiteral("0000"));
    put(path("0000/conf"), "c");
    put(path("0000/.ukryty"), "h");
    EXPECT_NE(removeConnection(store(), QStringLiteral("0000")), QString());
    EXPECT_FALSE(QFile::exists(path("0000/conf")));
    EXPECT_TRUE(QFile::exists(path("0000/.ukryty")));
}

TEST_F(Store, DeleteNeverFollowsALinkOut)
{
    QTemporaryDir outside;
    put(outside.filePath("precious"), "p");
    put(outside.filePath("target"), "t");
    // A connection that is a link to another directory: only the link goes.
    ASSERT_TRUE(QFile::link(outside.path(), path("0000")));
    EXPECT_EQ(removeConnection(store(), QStringLiteral("0000")), QString());
    EXPECT_FALSE(QFileInfo(path("0000")).isSymLink());
    EXPECT_TRUE(QFile::exists(outside.filePath("precious")));
    // Links among a connection's files: the links go, their targets stay; one that leads nowhere
    // goes too.
    store().mkdir(QStringLiteral("0001"));
    ASSERT_TRUE(QFile::link(outside.filePath("target"), path("0001/ca")));
    ASSERT_TRUE(QFile::link(outside.filePath("gone"), path("0001/user")));
    EXPECT_EQ(removeConnection(store(), QStringLiteral("0001")), QString());
    EXPECT_FALSE(QFileInfo::exists(path("0001")));
    EXPECT_EQ(contents(outside.filePath("target")), QByteArray("t"));
}

TEST_F(Store, EnteringTheStoreMakesItOnce)
{
    const QString before = QDir::currentPath();
    ASSERT_EQ(enterStore(mTemp.path()), QString());
    EXPECT_EQ(QDir::currentPath(), QDir(path(kStoreDirName)).canonicalPath());
    ASSERT_EQ(enterStore(mTemp.path()), QString());
    put(path("plik"), "x");
    EXPECT_NE(enterStore(path("plik")), QString()); // not a directory: no store, and said so
    QDir::setCurrent(before);
}
