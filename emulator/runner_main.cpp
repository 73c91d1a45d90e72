// zr40nn-emu [options] -- COMMAND [ARGS...]
#include "runner.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    using namespace zr40nn::emu;
    RunnerOptions options;
    try {
        options = parseRunnerOptions(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "zr40nn-emu: " << e.what() << "\n\n" << runnerUsage();
        return kRunnerFailed;
    }
    if (options.help) {
        std::cout << runnerUsage();
        return 0;
    }
    try {
        return runWithTokens(options, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "zr40nn-emu: " << e.what() << "\n";
        return kRunnerFailed;
    }
}
