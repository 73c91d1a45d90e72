// The runner of the external tool: start failures, exit codes, captured output, standard input,
// the time limit and the user's input while the tool runs, with small shell programs in place of
// the tool.
#include "process_memory.h"
#include "tool_runner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <vector>

namespace {

const QString kShell = QStringLiteral("/bin/sh");

ToolRun shell(const QString& script, QByteArrayView input = {}, std::chrono::milliseconds limit = kToolTimeLimit)
{
    return runTool(kShell, { "-c", script }, QDir::tempPath(), input, limit);
}

// Takes every event and keeps its type.
class EventLog : public QObject
{
public:
    bool event(QEvent* event) override
    {
        types.push_back(event->type());
        return true;
    }
    std::vector<QEvent::Type> types;
};

// Sends `target` one event of each type.
void send(EventLog& target, std::initializer_list<QEvent::Type> types)
{
    for (QEvent::Type type : types) {
        QEvent event(type);
        QCoreApplication::sendEvent(&target, &event);
    }
}

} // namespace

TEST(ToolRunner, MissingProgramFailsWithEmptyOutputs)
{
    const ToolRun run = runTool(QStringLiteral("/nonexistent/bin/morvil_openssl"), { "version" }, QDir::tempPath(), {});
    EXPECT_FALSE(run.started);
    EXPECT_FALSE(run.succeeded());
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.isEmpty());
}

TEST(ToolRunner, ExitCodeDecidesWhateverStandardErrorSays)
{
    const ToolRun warned = shell("echo wynik; echo ostrzeżenie >&2; exit 0");
    EXPECT_TRUE(warned.succeeded());
    EXPECT_EQ(warned.out, "wynik\n");
    EXPECT_EQ(warned.err, "ostrzeżenie\n");

    const ToolRun failed = shell("exit 1");
    EXPECT_FALSE(failed.succeeded());
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.isEmpty());

    const ToolRun killed = shell("kill -9 $$");
    EXPECT_TRUE(killed.crashed);
    EXPECT_FALSE(killed.succeeded());
}

TEST(ToolRunner, RunsInTheGivenDirectory)
{
    QTemporaryDir dir;
    const ToolRun run = runTool(kShell, { "-c", "pwd -P" }, dir.path(), {});
    EXPECT_EQ(run.out.trimmed(), QDir(dir.path()).canonicalPath());
}

TEST(ToolRunner, InputIsWrittenAndStandardInputClosed)
{
    // cat ends only when its input is closed: without input, at once.
    EXPECT_EQ(shell("cat; echo end", "1234\n").out, "1234\nend\n");
    EXPECT_EQ(shell("cat; echo end").out, "end\n");
    // More than a pipe holds would wait on the tool: such a run does not start.
    EXPECT_FALSE(shell("cat > /dev/null", QByteArray(1 << 17, 'x')).started);
}

TEST(ToolRunner, ToolThatDoesNotEndIsStoppedAndFails)
{
    QElapsedTimer clock;
    clock.start();
    const ToolRun run = shell("echo started; exec sleep 30", {}, std::chrono::milliseconds(300));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(run.timedOut);
    EXPECT_FALSE(run.succeeded());
    EXPECT_EQ(run.out, "started\n");
}

TEST(ToolRunner, InputWhileTheToolRunsIsDroppedOtherEventsGoOn)
{
    // The tool reads a FIFO, so it runs until the test has sent its events and opens the FIFO.
    QTemporaryDir dir;
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("go")).constData(), 0600), 0);
    EventLog target;
    bool sent = false;
    QTimer::singleShot(0, [&] {
        send(target, { QEvent::KeyPress, QEvent::MouseButtonRelease, QEvent::Wheel, QEvent::User });
        sent = true;
        QFile(dir.filePath("go")).open(QIODevice::WriteOnly);
    });
    const ToolRun run = runTool(kShell, { "-c", "cat go" }, dir.path(), {});
    EXPECT_TRUE(sent);
    EXPECT_TRUE(run.succeeded());
    EXPECT_EQ(target.types, std::vector<QEvent::Type> { QEvent::User });

    target.types.clear();
    send(target, { QEvent::KeyPress });
    EXPECT_EQ(target.types, std::vector<QEvent::Type> { QEvent::KeyPress }) << "input goes through after the run";
}

TEST(ToolRunner, InputLeavesNoCopyOnceTheToolHasReadIt)
{
    // The tool reads a PIN line, says so in a file, and waits on a FIFO while the test looks
    // through its own memory; it ends well only with that line.
    static constexpr char kPinLine[] = "73915284\n";
    ASSERT_FALSE(morvil::test::memoryHolds(kPinLine)) << "the test itself left a copy";
    QTemporaryDir dir;
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("go")).constData(), 0600), 0);
    bool looked = false;
    bool held = true;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QFileInfo::exists(dir.filePath("read"))) {
            poll.stop();
            held = morvil::test::memoryHolds(kPinLine);
            looked = true;
            QFile(dir.filePath("go")).open(QIODevice::WriteOnly);
        }
    });
    poll.start(1);
    const ToolRun run = runTool(
        kShell, { "-c", "read -r line; touch read; cat go; case \"$line\" in 7391?284) exit 0;; esac; exit 1" },
        dir.path(), kPinLine);
    EXPECT_TRUE(run.succeeded()) << qPrintable(run.err);
    EXPECT_TRUE(looked);
    EXPECT_FALSE(held) << "a copy of the input outlived the tool's reading it";
    EXPECT_FALSE(morvil::test::memoryHolds(kPinLine));
}
