#include "bench/bench.h"
#include "bench/scan_receiver.h"

namespace bench {

// 5. Idle cost

// Process CPU over `seconds`, in slices; per cent of one core per slice, and
// over the whole span as the last element.
std::vector<double> IdleCpu(int seconds) {
    const int slices = 5;
    std::vector<double> pct;
    const double cpu_start = ProcessCpuSeconds();
    const LONGLONG wall_start = Ticks();
    for (int i = 0; i < slices; ++i) {
        const double cpu = ProcessCpuSeconds();
        const LONGLONG wall = Ticks();
        Sleep(static_cast<DWORD>(seconds * 1000 / slices));
        pct.push_back((ProcessCpuSeconds() - cpu) / Seconds(wall, Ticks()) * 100);
    }
    pct.push_back((ProcessCpuSeconds() - cpu_start) / Seconds(wall_start, Ticks()) * 100);
    return pct;
}

void IdleCost(BenchHost& host) {
    Section("5. idle cost");
    const std::string span = std::to_string(g_opt.idle_seconds) + " s";
    const auto add = [&](const std::string& route, std::vector<double> pct, const std::string& target,
                         const std::string& note) {
        const double whole = pct.back();
        pct.pop_back();
        Row r;
        r.bench = "5 idle cost, " + span;
        r.route = route;
        r.metric = "CPU";
        r.unit = "% of a core";
        r.value = Summarise(pct);
        r.target = target;
        r.met = target.empty() ? "" : YesNo(whole < 1.0);
        r.note = "whole span " + Num(whole, 3) + " %" + (note.empty() ? "" : "; " + note);
        g_rows.push_back(r);
    };
    if (HaveCable()) {
        {
            RawReader raw(g_opt.own_port);
            if (raw.ok()) {
                Sleep(100);
                add("raw reader", IdleCpu(g_opt.idle_seconds), "", "pending overlapped read");
            }
        }
        {
            ScanReceiver receiver(host, kScanControl);
            if (receiver.ok()) {
                Sleep(100);
                add("control scan task", IdleCpu(g_opt.idle_seconds), "< 1 %", "waiting for a scanner");
            } else {
                Problem("idle: the scan task did not start");
            }
        }
    }
    // A port that has gone away: every wait fails at once. An empty plain file
    // opened as the device gives just that, since Wine's pty cannot vanish
    // under an open handle.
    {
        const std::string gone = WorkFile("gone-port.bin");
        MakeEmptyFile(gone);
        host.ports.count_waits = true;
        host.ports.waits = 0;
        OrvantaControl ctrl(host.Get());
        bool ok = ctrl.OpenDevice(gone);
        ctrl.settings().onlyWorkwithCurrentWindow = true;
        ctrl.settings().scanWindowHandle = SinkHandle();
        ok = ok && ctrl.session().ActivateScanTask() != 0;
        host.ports.count_waits = false;
        if (ok) {
            Sleep(100);
            const int before = host.ports.waits.load();
            std::vector<double> pct = IdleCpu(g_opt.idle_seconds);
            const int waits = host.ports.waits.load() - before;
            add("control, port gone", pct, "< 1 %",
                "every wait fails (empty file as the port); " + std::to_string(waits) + " failed waits in " + span);
            ctrl.session().DeactivateScanTask(0);
        } else {
            Problem("idle: the back-off run did not start");
        }
        ctrl.CloseDevice();
        DeleteFileA(gone.c_str());
    }
}

}  // namespace bench
