// The runner of the external tool: start failures, exit codes, captured output, standard input
// and the time limit, with small shell programs in place of the tool.
#include "tool_runner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kShell = QStringLiteral("/bin/sh");

ToolRun shell(const QString& script, const QByteArray& input = {}, std::chrono::milliseconds limit = kToolTimeLimit)
{
    return runTool(kShell, { "-c", script }, QDir::tempPath(), input, limit);
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
