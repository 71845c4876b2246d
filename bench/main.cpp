// Benchmarks of the control against minimal raw Win32 code built into this
// program. Each figure is measured in the same run, on the same virtual port or
// file, with the control's and the raw route taking turns, so the machine's
// noise falls on both alike. Prints a table and writes a CSV; asserts nothing.
//
//   orvanta_bench [--ports=COM5:COM6] [--ocx=PATH] [--csv=PATH]
//                 [--script-costs=PATH] [--reps=5] [--idle=10] [--only=1,2,3,5,6,7,8] [--quick]
//
// Each benchmark is in a file of its own; bench.h has what they share.
#include <windows.h>
#include <ole2.h>
// After the system headers and before anything else includes it: the
// control's GUIDs are defined here, once.
#include <initguid.h>
#include "orvanta.h"

#include "bench/bench.h"

namespace bench {

void ParseArgs(int argc, char** argv) {
    if (const char* pair = std::getenv("ORVANTA_PEER_PORTS")) {
        const char* colon = std::strchr(pair, ':');
        if (colon) {
            g_opt.own_port.assign(pair, colon);
            g_opt.peer_port.assign(colon + 1);
        }
    }
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&](const char* key) -> const char* {
            const size_t n = std::strlen(key);
            return a.compare(0, n, key) == 0 ? argv[i] + n : nullptr;
        };
        if (const char* v = value("--ports=")) {
            const char* colon = std::strchr(v, ':');
            if (colon) {
                g_opt.own_port.assign(v, colon);
                g_opt.peer_port.assign(colon + 1);
            }
        } else if (const char* v2 = value("--ocx=")) {
            g_opt.ocx = v2;
        } else if (const char* v3 = value("--csv=")) {
            g_opt.csv = v3;
        } else if (const char* v4 = value("--script-costs=")) {
            g_opt.script_costs = v4;
        } else if (const char* v5 = value("--reps=")) {
            g_opt.reps = std::max(1, std::atoi(v5));
        } else if (const char* v6 = value("--idle=")) {
            g_opt.idle_seconds = std::max(1, std::atoi(v6));
        } else if (const char* v7 = value("--only=")) {
            g_opt.only = v7;
        } else if (a == "--quick") {
            // A short pass to try the program out; its figures are not the ones to quote.
            g_opt.reps = 2;
            g_opt.idle_seconds = 2;
            g_opt.bulk_mib = 2;
            g_opt.small_writes = 2000;
            g_opt.codes = 200;
            g_opt.mem_rounds = 2;
            g_opt.mem_codes = 500;
            g_opt.mem_cycles = 50;
        } else {
            std::printf("unknown argument %s\n", argv[i]);
        }
    }
}

int Main(int argc, char** argv) {
    ParseArgs(argc, argv);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    OleInitialize(nullptr);
    if (!CreateSink()) {
        std::printf("cannot create the receiving window\n");
        return 2;
    }
    std::printf("orvanta benchmarks: %d repetitions, ports %s <-> %s, %u-bit\n", g_opt.reps,
                g_opt.own_port.c_str(), g_opt.peer_port.c_str(), static_cast<unsigned>(sizeof(void*) * 8));
    g_peer = std::make_unique<PeerPort>(g_opt.peer_port);
    if (!g_peer->IsOpen()) {
        Problem("cannot open " + g_opt.peer_port + " (error " + std::to_string(GetLastError()) +
                "): the port benchmarks are left out");
        g_peer.reset();
    } else {
        g_peer->DrainQuietly(100);
    }

    BenchHost host;
    const LONGLONG start = Ticks();
    const auto wanted = [](char number) { return g_opt.only.empty() || g_opt.only.find(number) != std::string::npos; };
    if (wanted('1')) BulkOutput(host);
    if (wanted('2')) SmallWrites(host);
    if (wanted('3') || wanted('4')) Scanning(host);
    if (wanted('5')) IdleCost(host);
    if (wanted('6')) Resources(host);
    if (wanted('7')) Primitives();
    if (wanted('8')) TcpOutput(host);

    PrintTable();
    if (host.ui.Count()) Problem("the control showed " + std::to_string(host.ui.Count()) + " notices");
    for (const std::string& p : g_problems) std::printf("problem: %s\n", p.c_str());
    WriteCsv(g_opt.csv);
    std::printf("csv: %s\nrun took %.0f s\n", g_opt.csv.c_str(), Seconds(start, Ticks()));
    std::fflush(stdout);
    g_peer.reset();
    DestroyWindow(g_sink.hwnd);
    OleUninitialize();
    return 0;
}

}  // namespace bench

int main(int argc, char** argv) { return bench::Main(argc, argv); }
