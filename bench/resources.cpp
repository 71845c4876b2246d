#include "bench/bench.h"
#include "bench/scan_receiver.h"

namespace bench {

// 6. Memory and handles

void Resources(BenchHost& host) {
    Section("6. memory, handles, threads");
    if (!HaveCable()) {
        Problem("no cable: the resource run left out");
        return;
    }
    int code_base = 50000000;
    const auto codes_through_task = [&](int count) {
        ScanReceiver receiver(host, kScanControl);
        if (!receiver.ok()) return false;
        for (int done = 0; done < count;) {
            const int batch = std::min(500, count - done);
            g_sink.Reset(code_base, static_cast<size_t>(batch));
            std::string burst;
            for (int i = 0; i < batch; ++i) burst += Code(code_base + i) + kSuffix;
            code_base += batch;
            std::atomic<bool> sent{false};
            std::thread peer([&] { sent = g_peer->Send(burst); });
            const bool all = PumpUntil([&] { return g_sink.done.size() == static_cast<size_t>(batch); }, 30000);
            peer.join();
            if (!all || !sent || g_sink.wrong) return false;
            done += batch;
        }
        return true;
    };
    const auto cycles = [&](int count) {
        OrvantaControl ctrl(host.Get());
        for (int i = 0; i < count; ++i) {
            if (!ctrl.OpenDevice(g_opt.own_port)) return false;
            ctrl.CloseDevice();
        }
        if (!ctrl.OpenDevice(g_opt.own_port)) return false;
        ctrl.settings().onlyWorkwithCurrentWindow = true;
        ctrl.settings().scanWindowHandle = SinkHandle();
        for (int i = 0; i < count; ++i) {
            if (ctrl.session().ActivateScanTask() == 0) return false;
            ctrl.session().DeactivateScanTask(0);
        }
        return true;
    };
    // Warm-up: the allocator's and the system's first-use costs are not growth.
    if (!codes_through_task(200) || !cycles(10)) {
        Problem("resources: the warm-up failed");
        return;
    }
    std::vector<Snapshot> snaps{Take()};
    for (int round = 0; round < g_opt.mem_rounds; ++round) {
        if (!codes_through_task(g_opt.mem_codes) || !cycles(g_opt.mem_cycles)) {
            Problem("resources: round " + std::to_string(round + 1) + " failed");
            return;
        }
        snaps.push_back(Take());
    }
    const int total_codes = g_opt.mem_rounds * g_opt.mem_codes;
    const int total_cycles = g_opt.mem_rounds * g_opt.mem_cycles;
    const std::string bench = "6 resources";
    const std::string work = std::to_string(total_codes) + " codes, " + std::to_string(total_cycles) +
                             " open/close and " + std::to_string(total_cycles) + " activate/stop cycles in " +
                             std::to_string(g_opt.mem_rounds) + " rounds";
    const auto add = [&](const char* what, const char* unit, double Snapshot::*field, double allowed) {
        std::vector<double> per_round;
        for (size_t i = 1; i < snaps.size(); ++i) per_round.push_back(snaps[i].*field - snaps[i - 1].*field);
        const double before = snaps.front().*field, after = snaps.back().*field;
        Row r;
        r.bench = bench;
        r.route = "control";
        r.metric = std::string(what) + " growth/round";
        r.unit = unit;
        r.value = Summarise(per_round);
        r.target = allowed > 0 ? "no growth (" + Num(allowed, 0) + ")" : "no growth";
        r.met = YesNo(after - before <= allowed);
        r.note = "before " + Num(before, 0) + ", after " + Num(after, 0) + ", total growth " +
                 Num(after - before, 0) + "; " + work;
        g_rows.push_back(r);
    };
    // Heap pages come and go with the allocator's caching: a growth within a
    // few pages over the whole run is no leak.
    add("private bytes", "KiB", &Snapshot::private_kib, 64);
    g_rows.back().note += " (" + g_memory_source + ")";
    add("handles", "count", &Snapshot::handles, 0);
    g_rows.back().note += " (" + g_handle_source + ")";
    add("threads", "count", &Snapshot::threads, 0);
}

}  // namespace bench
