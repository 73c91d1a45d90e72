// zr40nn-probe [--exercise]: shows what every DEV-ZR40NN token on the USB bus reports, through the
// token library as every program reaches the tokens. With --exercise it also puts each token to
// work (see token_exercise.h).
#include "token_exercise.h"
#include "token_report.h"

#include <cstdio>
#include <cstring>

using namespace zr40nn::probe;

namespace {

// Shows one token, exercising it when asked, inside one session; false on any failure.
bool probe(DEV_ZR40NN_t* ut, bool doExercise)
{
    printIdentity(ut);
    int rc = DEV_ZR40NN_session_open(ut);
    if (rc < 0) {
        printFailure(ut, rc);
        return false;
    }
    rc = DEV_ZR40NN_cmd_read_dev_info(ut);
    // A curve the library does not know still leaves the rest of the information to show.
    bool ok = rc >= 0 || rc == DEV_ZR40NN_ERR_NOT_SUPPORTED;
    if (ok) {
        printInfo(ut->info);
        ok = (!doExercise || exercise(ut)) && printKeys(ut);
    } else {
        printFailure(ut, rc);
    }
    rc = DEV_ZR40NN_session_close(ut);
    if (rc < 0) {
        printFailure(ut, rc);
        return false;
    }
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    bool doExercise = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--exercise") == 0) {
            doExercise = true;
        } else {
            std::fprintf(stderr, "usage: zr40nn-probe [--exercise]\n");
            return 2;
        }
    }
    DEV_ZR40NN_lib_init();
    const int found = DEV_ZR40NN_lib_find_devices();
    if (found <= 0) {
        if (found == 0) {
            std::printf("no DEV-ZR40NN token found\n");
        } else {
            std::printf("token search failed: %s\n", DEV_ZR40NN_lib_error_desc(found));
        }
        DEV_ZR40NN_lib_finish();
        return 1;
    }
    int failures = 0;
    int n = 0;
    for (DEV_ZR40NN_t* ut = DEV_ZR40NN_get_first(); ut != nullptr; ut = ut->next) {
        std::printf("Token %d of %d at %s\n", ++n, found, location(ut).c_str());
        failures += probe(ut, doExercise) ? 0 : 1;
    }
    DEV_ZR40NN_lib_finish();
    return failures == 0 ? 0 : 2;
}
