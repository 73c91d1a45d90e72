// zr40nn-emu: its command line, and whole runs of it with the probe and a shell as the command.
#include "runner_options.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace zr40nn::emu;

namespace {

struct RunResult
{
    int status = -1;
    std::string output;
};

// Runs zr40nn-emu with `arguments` (a shell word list) and collects what it and its command print.
RunResult runEmulator(const std::string& arguments)
{
    const std::string command = std::string(ZR40NN_EMU_PATH) + " " + arguments + " 2>&1";
    RunResult run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return run;
    }
    std::array<char, 4096> buffer {};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.output.append(buffer.data(), n);
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

const std::string kProbe = ZR40NN_PROBE_PATH;

RunnerOptions parse(std::vector<const char*> words)
{
    words.insert(words.begin(), "zr40nn-emu");
    return parseRunnerOptions(static_cast<int>(words.size()), words.data());
}

TEST(RunnerOptions, OptionsReachTheTokens)
{
    // By default one blank token, curve 2560, 4 slots, 16384 octets, serial ZR40NN-0001.
    EXPECT_TRUE(blankTokens(parse({ "--", "true" })) == std::vector<TokenConfig>(1));

    const RunnerOptions options = parse({ "--tokens", "3", "--curve", "1600", "--keys-num", "5", "--public-mem", "4096",
                                          "--serial-prefix", "X-", "--init-delay-ms", "30", "--keygen-delay-ms", "20",
                                          "--wire-time", "--", "cmd", "--tokens", "9" });
    EXPECT_TRUE(options.wireTime);
    EXPECT_EQ(options.command, (std::vector<std::string> { "cmd", "--tokens", "9" })) << "the command's own arguments";
    const auto tokens = blankTokens(options);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[2].serial, "X-0003");
    EXPECT_EQ(tokens[1].curveId, 1600);
    EXPECT_EQ(tokens[1].keysNum, 5);
    EXPECT_EQ(tokens[1].publicMem, 4096);
    EXPECT_EQ(tokens[0].initDelayMs, 30);
    EXPECT_EQ(tokens[0].keygenDelayMs, 20);

    // Loaded tokens take only the delays given, and keep their own otherwise.
    std::vector<TokenConfig> saved(1);
    saved[0].initDelayMs = 500;
    saved[0].keygenDelayMs = 700;
    applyRuntimeOptions(parse({ "--keygen-delay-ms", "5", "--", "x" }), saved);
    EXPECT_EQ(saved[0].initDelayMs, 500);
    EXPECT_EQ(saved[0].keygenDelayMs, 5);
}

TEST(RunnerOptions, BadCommandLinesAreRefused)
{
    const std::vector<std::vector<const char*>> refused = {
        {}, { "--tokens", "2" }, { "--tokens", "two", "--", "x" }, { "--tokens", "-1", "--", "x" },
        { "--keys-num", "6", "--", "x" }, { "--curve" }, { "--frobnicate", "--", "x" }, { "ls" },
    };
    for (std::size_t i = 0; i < refused.size(); ++i) {
        EXPECT_THROW(parse(refused[i]), UsageError) << "case " << i;
    }
    EXPECT_TRUE(parse({ "--help" }).help);
}

TEST(Runner, CommandAndItsChildrenSeeTheTokens)
{
    const RunResult direct = runEmulator("--tokens 2 --serial-prefix T- -- " + kProbe);
    EXPECT_EQ(direct.status, 0) << direct.output;
    EXPECT_NE(direct.output.find("Token 2 of 2"), std::string::npos) << direct.output;
    EXPECT_NE(direct.output.find("T-0001"), std::string::npos);
    EXPECT_NE(direct.output.find("T-0002"), std::string::npos);
    EXPECT_NE(direct.output.find("state:          0x00 (blank)"), std::string::npos);

    const RunResult grandchild = runEmulator("--curve 1920 -- sh -c '" + kProbe + "'");
    EXPECT_EQ(grandchild.status, 0) << grandchild.output;
    EXPECT_NE(grandchild.output.find("1920 (secp192r1)"), std::string::npos) << grandchild.output;
}

TEST(Runner, ExitStatusOfTheCommandIsPassedThrough)
{
    EXPECT_EQ(runEmulator("-- sh -c 'exit 7'").status, 7);
    EXPECT_EQ(runEmulator("-- true").status, 0);
    EXPECT_EQ(runEmulator("-- sh -c 'kill -TERM $$'").status, 128 + 15);
    EXPECT_EQ(runEmulator("-- /nonexistent/command").status, 127);
    EXPECT_EQ(runEmulator("--tokens").status, 125);
    EXPECT_EQ(runEmulator("--tokens 0 -- " + kProbe).status, 1) << "the probe finds no token";
}

TEST(Runner, StateFileKeepsTheTokensBetweenRuns)
{
    char dir[] = "/tmp/zr40nn-runner-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string state = std::string(dir) + "/token.state";

    const RunResult first = runEmulator("--state-file " + state + " -- " + kProbe + " --exercise");
    EXPECT_EQ(first.status, 0) << first.output;
    EXPECT_NE(first.output.find("verification against the slot's public point: good"), std::string::npos)
        << first.output;
    ASSERT_TRUE(std::filesystem::exists(state));

    // The saved token is loaded instead of a blank one, whatever --tokens says.
    const RunResult second = runEmulator("--tokens 3 --state-file " + state + " -- " + kProbe);
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_NE(second.output.find("Token 1 of 1"), std::string::npos) << second.output;
    EXPECT_NE(second.output.find("state:          0x02 (configured)"), std::string::npos) << second.output;
    EXPECT_NE(second.output.find("name:           \"DEMO\""), std::string::npos);
    EXPECT_NE(second.output.find("slot 0:         \"probe-key\""), std::string::npos);

    const RunResult broken = runEmulator("--state-file /dev/null/x -- true");
    EXPECT_EQ(broken.status, 125) << "a state that cannot be saved is an error";
    std::filesystem::remove_all(dir);
}

} // namespace
