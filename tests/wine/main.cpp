// The test host's entry: GoogleTest under Wine.
#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/wine/handles.h"
#include "tests/wine/host.h"

namespace orvanta::testing {

namespace {
std::string g_ocx_path;

// winpthreads makes the event of its lock on the thread list the first time
// two threads meet on it (a thread's end against its join, at random) and
// keeps it for the life of the process: one Event that a leak check would
// count as the test's. The meeting is made here, before any test counts: a
// thread ending holds that lock while its key destructors run, and this one
// waits there until the main thread's join has met it (5 s at most: a
// runtime whose lock makes no event costs each host that, no more).
std::atomic<bool> g_ending{false};

void HoldTheListUntilTheJoinWaits(void*) {
    const ULONG before = HandleCount();
    g_ending = true;
    for (const DWORD start = GetTickCount(); HandleCount() <= before && GetTickCount() - start < 5000;) Sleep(1);
}

void MakeTheThreadListEvent() {
    pthread_key_t key;
    if (pthread_key_create(&key, HoldTheListUntilTheJoinWaits) != 0) return;
    std::thread ending([key] { pthread_setspecific(key, &g_ending); });
    while (!g_ending) Sleep(1);
    ending.join();
    pthread_key_delete(key);
}
}  // namespace

const std::string& OcxPath() { return g_ocx_path; }

}  // namespace orvanta::testing

int main(int argc, char** argv) {
    // Beside the test processes (tests/wine/run.sh): while one program holds
    // the desktop, Wine keeps its desktop process running, so no test process
    // waits for it to start. It runs until the prefix goes down.
    if (argc == 2 && std::strcmp(argv[1], "--hold-desktop") == 0) {
        GetDesktopWindow();
        std::puts("desktop held");
        std::fflush(stdout);
        Sleep(INFINITE);
    }
    ::testing::InitGoogleTest(&argc, argv);
    if (const char* env = std::getenv("ORVANTA_OCX")) orvanta::testing::g_ocx_path = env;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--ocx=", 6) == 0) orvanta::testing::g_ocx_path = argv[i] + 6;
    }
    // A crash must end the run, not wait on a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    orvanta::testing::MakeTheThreadListEvent();
    return RUN_ALL_TESTS();
}
