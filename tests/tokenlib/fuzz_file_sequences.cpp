// Random sequences of file operations with injected failures against an in-process token: after
// every step no table entry may be corrupt, no sector shared, and every file must read back what
// its last successful flush wrote.
#include "file_sequence.h"
#include "in_process_token.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zr40nn;
    emu::TokenConfig config;
    config.state = emu::kInitialised | emu::kConfigured;
    config.name = "FUZZ";
    config.soPin = "87654321";
    config.userPin = "1234";
    config.soPinLimit = 5;
    config.userPinLimit = 100;
    emu::TokenModel model(config);
    test::InProcessToken token(model);
    DEV_ZR40NN_t* ut = token.record();
    if (DEV_ZR40NN_session_open(ut) != 0 || DEV_ZR40NN_fs_get_file_list(ut) != 0) {
        std::abort();
    }
    const test::SequenceTarget target { ut, &model, [ut] { DEV_ZR40NN_fs_get_file_list(ut); } };
    const std::string broken = test::runFileSequence(target, data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "%s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
