#include "bench/bench.h"

namespace bench {

// 7. The Win32 calls the control makes beyond the raw routes, one at a time,
// to tell where its extra time per write and per character goes.

void Primitives() {
    Section("7. calls the control adds");
    const int calls = 10000;
    framework::UniqueEvent event(CreateEventA(nullptr, FALSE, TRUE, nullptr));
    framework::UniqueFile echo(CreateFileA("PRIMPROT.PRT", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       0, nullptr));
    enum { kReset, kStopCheck, kIsWindow, kYield, kEcho1, kEcho4000, kKinds };
    const char* const names[kKinds] = {"ResetEvent", "stop check", "IsWindow, other thread", "Sleep(0)",
                                       "echo 1 byte", "echo 4000 bytes"};
    const char* const why[kKinds] = {
        "before every write (the write's event is reset by WriteFile itself)",
        "WaitForSingleObject(event, 0): the scan task's stop signal asked, per character and per code",
        "before every character's SendMessage (the window belongs to the host's thread)",
        "after every byte of a code",
        "protocol-file echo of a one-byte write",
        "protocol-file echo of a SendFile chunk",
    };
    std::vector<double> us[kKinds];
    static char block[4000];
    for (int rep = 0; rep < g_opt.reps; ++rep) {
        for (int kind = 0; kind < kKinds; ++kind) {
            double seconds = 0;
            // On a thread of its own, as in the control's scan task.
            std::thread worker([&] {
                const LONGLONG start = Ticks();
                for (int i = 0; i < calls; ++i) {
                    DWORD written = 0;
                    switch (kind) {
                    case kReset: ResetEvent(event.get()); break;
                    case kStopCheck: WaitForSingleObject(event.get(), 0); break;
                    case kIsWindow: IsWindow(g_sink.hwnd); break;
                    case kYield: Sleep(0); break;
                    case kEcho1: WriteFile(echo.get(), block, 1, &written, nullptr); break;
                    case kEcho4000:
                        if (i < calls / 10) WriteFile(echo.get(), block, sizeof block, &written, nullptr);
                        break;
                    }
                }
                seconds = Seconds(start, Ticks());
            });
            worker.join();
            us[kind].push_back(seconds * 1e6 / (kind == kEcho4000 ? calls / 10 : calls));
        }
    }
    for (int kind = 0; kind < kKinds; ++kind)
        CompareRow("7 calls the control adds", names[kind], "per call", "us", us[kind], us[kind], "", nullptr,
                   why[kind]);
    echo.reset();
    DeleteFileA("PRIMPROT.PRT");
}

}  // namespace bench
