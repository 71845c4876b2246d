#include "bench/bench.h"

namespace bench {

// 1. Bulk output: SendFile against a raw loop of 4000-byte writes with echo.

constexpr DWORD kChunk = 4000;

// The raw route: the file in 4000-byte pieces, each an overlapped write that
// is awaited, then echoed to a protocol file as the control does.
bool RawSendFile(const std::string& device, bool serial, const std::string& source) {
    framework::UniqueFile dev(OpenOverlapped(device));
    framework::UniqueEvent event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    framework::UniqueFile echo(CreateFileA("RAWPROT.PRT", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       0, nullptr));
    framework::UniqueFile src(CreateFileA(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!dev || !event || !echo || !src) return false;
    if (serial && !SetLine(dev.get())) return false;
    OVERLAPPED ov = {};
    ov.hEvent = event.get();
    std::uint64_t offset = 0;
    static char buffer[kChunk];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(src.get(), buffer, kChunk, &got, nullptr) || got == 0) break;
        if (!WriteAwaited(dev.get(), ov, buffer, got, offset)) return false;
        DWORD echoed = 0;
        WriteFile(echo.get(), buffer, got, &echoed, nullptr);
    }
    return true;
}

void BulkOutput(BenchHost& host) {
    Section("1. bulk output (SendFile)");
    const std::string source = WorkFile("bulk-source.bin");
    const std::uint64_t size = static_cast<std::uint64_t>(g_opt.bulk_mib) * 1024 * 1024;
    {
        framework::UniqueFile f(CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        std::vector<char> block(65536);
        std::uint32_t x = 12345;
        for (char& c : block) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
        for (std::uint64_t left = size; left > 0;) {
            const DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(left, block.size()));
            DWORD written = 0;
            WriteFile(f.get(), block.data(), n, &written, nullptr);
            left -= n;
        }
    }
    const double mib = static_cast<double>(size) / (1024.0 * 1024.0);

    struct Sink {
        const char* name;
        bool serial;
    };
    const Sink sinks[] = {{"file", false}, {"pty (peer draining)", true}};
    for (const Sink& sink : sinks) {
        if (sink.serial && !HaveCable()) {
            Problem("no cable: bulk output to the pty left out");
            continue;
        }
        const std::string device = sink.serial ? g_opt.own_port : WorkFile("bulk-sink.bin");
        std::vector<double> speed[2];  // 0 raw, 1 control
        for (int rep = 0; rep < g_opt.reps; ++rep) {
            Rotated(rep, 2, [&](size_t route) {
                if (!sink.serial) MakeEmptyFile(device);
                std::unique_ptr<OrvantaControl> ctrl;
                if (route == 1) {
                    ctrl = std::make_unique<OrvantaControl>(host.Get());
                    if (!ctrl->OpenDevice(device) || (sink.serial && !ctrl->channel().SetCOMSettings(kLineMode))) {
                        Problem("the control cannot open " + device);
                        return;
                    }
                }
                std::unique_ptr<Drainer> drain;
                if (sink.serial) drain = std::make_unique<Drainer>(*g_peer, size);
                const LONGLONG start = Ticks();
                bool ok;
                if (route == 1)
                    ok = static_cast<std::uint64_t>(ctrl->channel().SendFile(source)) == size;
                else
                    ok = RawSendFile(device, sink.serial, source);
                LONGLONG end = Ticks();
                if (drain) {
                    end = drain->WaitDone(60000);
                    if (!end) ok = false;
                }
                ctrl.reset();
                if (!sink.serial && FileSize(device) != size) ok = false;
                if (!ok) {
                    Problem(std::string("bulk output to the ") + sink.name + (route ? " (control)" : " (raw)") +
                            " did not deliver every byte");
                    if (sink.serial) g_peer->DrainQuietly(300);
                    return;
                }
                speed[route].push_back(mib / Seconds(start, end));
            });
        }
        const std::string bench = std::string("1 bulk ") + std::to_string(g_opt.bulk_mib) + " MiB -> " + sink.name;
        CompareRow(bench, "raw", "throughput", "MiB/s", speed[0], speed[0], "", nullptr);
        CompareRow(bench, "control SendFile", "throughput", "MiB/s", speed[1], speed[0], "ratio >= 0.95",
                   [](const Row& r) { return YesNo(r.ratio.valid && r.ratio.median >= 0.95); });
    }
    DeleteFileA(source.c_str());
    DeleteFileA(WorkFile("bulk-sink.bin").c_str());
}

}  // namespace bench
