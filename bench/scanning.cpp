#include "bench/bench.h"
#include "bench/scan_receiver.h"

#include <memory>

namespace bench {

// 3 and 4. Scanning: latency of one code, throughput back to back.

void Scanning(BenchHost& host) {
    Section("3. scan latency, 4. scan throughput");
    if (!HaveCable()) {
        Problem("no cable: scanning left out");
        return;
    }
    const int codes = g_opt.codes;
    std::vector<double> median_ms[kScanRoutes], p99_ms[kScanRoutes], rate[kScanRoutes];
    int code_base = 0;
    for (int rep = 0; rep < g_opt.reps; ++rep) {
        Rotated(rep, kScanRoutes, [&](size_t r) {
            const auto route = static_cast<ScanRoute>(r);
            const std::string name = kScanRouteNames[route];
            // A reader at its wait for the next `codes` codes; null when it cannot start.
            const auto start_reader = [&]() -> std::unique_ptr<ScanReceiver> {
                auto receiver = std::make_unique<ScanReceiver>(host, route);
                if (!receiver->ok()) {
                    Problem(name + ": cannot start the reader");
                    return nullptr;
                }
                Sleep(50);
                g_sink.Reset(code_base, static_cast<size_t>(codes));
                return receiver;
            };
            // Latency: one code at a time, each to a reader that waits for it.
            {
                const auto receiver = start_reader();
                if (!receiver) return;
                std::vector<LONGLONG> sent(static_cast<size_t>(codes), 0);
                std::atomic<bool> peer_done{false};
                std::atomic<int> lost{0};
                std::thread peer([&] {
                    for (int i = 0; i < codes; ++i) {
                        const std::string bytes = Code(code_base + i) + kSuffix;
                        sent[static_cast<size_t>(i)] = Ticks();
                        if (!g_peer->Send(bytes) || WaitForSingleObject(g_sink.code_done, 2000) != WAIT_OBJECT_0) {
                            ++lost;
                            break;
                        }
                        Sleep(1);  // the reader is back at its wait before the next code
                    }
                    peer_done = true;
                });
                PumpUntil([&] { return peer_done.load(); }, 120000);
                peer.join();
                code_base += codes;
                if (lost || g_sink.wrong || g_sink.done.size() != static_cast<size_t>(codes)) {
                    Problem(name + ": latency run lost or garbled codes (" + std::to_string(g_sink.done.size()) +
                            " of " + std::to_string(codes) + ", " + std::to_string(g_sink.wrong) + " wrong)");
                    PumpUntil([] { return false; }, 300);
                    g_peer->DrainQuietly(100);
                    return;
                }
                std::vector<double> ms;
                for (size_t i = 0; i < sent.size(); ++i) ms.push_back(Seconds(sent[i], g_sink.done[i]) * 1e3);
                std::sort(ms.begin(), ms.end());
                median_ms[route].push_back(Percentile(ms, 50));
                p99_ms[route].push_back(Percentile(ms, 99));
            }
            // Throughput: every code at once, back to back.
            {
                const auto receiver = start_reader();
                if (!receiver) return;
                std::string burst;
                for (int i = 0; i < codes; ++i) burst += Code(code_base + i) + kSuffix;
                code_base += codes;
                std::atomic<bool> sent{false};
                const LONGLONG start = Ticks();
                std::thread peer([&] { sent = g_peer->Send(burst); });
                const bool all =
                    PumpUntil([&] { return g_sink.done.size() == static_cast<size_t>(codes); }, 60000);
                peer.join();
                if (!all || !sent || g_sink.wrong) {
                    Problem(name + ": throughput run lost or garbled codes");
                    PumpUntil([] { return false; }, 300);
                    g_peer->DrainQuietly(100);
                    return;
                }
                rate[route].push_back(codes / Seconds(start, g_sink.done.back()));
            }
        });
    }
    const std::string lat = "3 scan latency, " + std::to_string(codes) + " codes";
    CompareRow(lat, "raw reader", "median", "ms", median_ms[kScanRaw], median_ms[kScanRaw], "", nullptr);
    CompareRow(lat, "raw reader", "p99", "ms", p99_ms[kScanRaw], p99_ms[kScanRaw], "", nullptr);
    for (const ScanRoute route : {kScanControl, kScanControlNoYield}) {
        const std::string name = kScanRouteNames[route];
        const bool main = route == kScanControl;
        CompareRow(lat, name, "median", "ms", median_ms[route], median_ms[kScanRaw], "", nullptr);
        CompareRow(lat, name, "p99", "ms", p99_ms[route], p99_ms[kScanRaw], "", nullptr);
        const std::vector<double> added = Differences(median_ms[route], median_ms[kScanRaw]);
        CompareRow(lat, name, "median added vs raw", "ms", added, added, main ? "< 1 ms" : "",
                   main ? [](const Row& r) { return YesNo(r.value.median < 1.0); }
                        : std::function<std::string(const Row&)>(),
                   main ? "" : "the control with the reader's yield after each code left out, for comparison");
    }
    CompareRow(lat, kScanRouteNames[kScanEvents], "median", "ms", median_ms[kScanEvents], median_ms[kScanRaw], "",
               nullptr);
    CompareRow(lat, kScanRouteNames[kScanEvents], "p99", "ms", p99_ms[kScanEvents], p99_ms[kScanRaw], "", nullptr);
    const std::vector<double> by_events = Differences(median_ms[kScanEvents], median_ms[kScanRaw]);
    CompareRow(lat, kScanRouteNames[kScanEvents], "median added vs raw", "ms", by_events, by_events, "<= 0.1 ms",
               [](const Row& r) { return YesNo(r.value.median <= 0.1); },
               "port to a connected sink's CodeScanned, through the module as a host loads it");
    const std::string thr = "4 scan throughput, " + std::to_string(codes) + " codes";
    CompareRow(thr, "raw reader", "rate", "codes/s", rate[kScanRaw], rate[kScanRaw], "", nullptr);
    CompareRow(thr, "control", "rate", "codes/s", rate[kScanControl], rate[kScanRaw], "ratio >= 0.95",
               [](const Row& r) { return YesNo(r.ratio.valid && r.ratio.median >= 0.95); });
    CompareRow(thr, "control, no yield", "rate", "codes/s", rate[kScanControlNoYield], rate[kScanRaw], "", nullptr,
               "the control with the reader's yield after each code left out, for comparison");
    CompareRow(thr, kScanRouteNames[kScanEvents], "rate", "codes/s", rate[kScanEvents], rate[kScanRaw],
               "ratio >= 0.95", [](const Row& r) { return YesNo(r.ratio.valid && r.ratio.median >= 0.95); });
}

}  // namespace bench
