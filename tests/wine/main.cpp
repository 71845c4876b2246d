// The test host's entry: GoogleTest under Wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tests/wine/host.h"

namespace orvanta::testing {

namespace {
std::string g_ocx_path;
}

const std::string& OcxPath() { return g_ocx_path; }

}  // namespace orvanta::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (const char* env = std::getenv("ORVANTA_OCX")) orvanta::testing::g_ocx_path = env;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--ocx=", 6) == 0) orvanta::testing::g_ocx_path = argv[i] + 6;
    }
    // A crash must end the run, not wait on a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    return RUN_ALL_TESTS();
}
