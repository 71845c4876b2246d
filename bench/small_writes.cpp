#include "bench/automation.h"
#include "bench/bench.h"

namespace bench {

// 2. Small writes: one byte per call.

struct ScriptCosts {
    std::vector<double> empty_us, dictionary_us, control_us;
};

ScriptCosts ReadScriptCosts(const std::string& path) {
    ScriptCosts costs;
    if (path.empty()) return costs;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return costs;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        int rep = 0;
        long empty = 0, dictionary = 0, control = 0;
        if (std::sscanf(line, "SCRIPT,%d,%ld,%ld,%ld", &rep, &empty, &dictionary, &control) == 4) {
            costs.empty_us.push_back(empty / 1000.0);
            costs.dictionary_us.push_back((dictionary - empty) / 1000.0);
            if (control >= 0) costs.control_us.push_back((control - empty) / 1000.0);
        }
    }
    std::fclose(f);
    return costs;
}

void SmallWrites(BenchHost& host) {
    Section("2. small writes (one byte per call)");
    if (!HaveCable()) {
        Problem("no cable: small writes left out");
        return;
    }
    Automation automation(g_opt.ocx);
    if (!automation.ok()) Problem("cannot load the control from " + g_opt.ocx + ": automation route left out");
    const int calls = g_opt.small_writes;
    enum { kRaw, kRawEcho, kDirect, kAutomation, kRoutes };
    std::vector<double> us[kRoutes];
    // The calls of a repetition go in blocks, the routes taking turns block by
    // block, so a spell of load on the machine falls on every route alike.
    const int blocks = std::max(1, calls / 1000);
    const int per_block = calls / blocks;
    double spent[kRoutes] = {};
    bool failed[kRoutes] = {};
    const auto run_block = [&](size_t route, int count) {
        if (route == kAutomation && !automation.ok()) return;
        if (failed[route]) return;
        Drainer drain(*g_peer, static_cast<std::uint64_t>(count));
        bool ok = true;
        LONGLONG start = 0, end = 0;
        if (route == kRaw || route == kRawEcho) {
            framework::UniqueFile dev(OpenOverlapped(g_opt.own_port));
            framework::UniqueEvent event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
            framework::UniqueFile echo(CreateFileA("RAWPROT.PRT", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, 0, nullptr));
            ok = dev && event && echo && SetLine(dev.get());
            OVERLAPPED ov = {};
            ov.hEvent = event.get();
            std::uint64_t offset = 0;
            const char byte = 'x';
            start = Ticks();
            for (int i = 0; ok && i < count; ++i) {
                ok = WriteAwaited(dev.get(), ov, &byte, 1, offset);
                if (route == kRawEcho) {
                    DWORD echoed = 0;
                    WriteFile(echo.get(), &byte, 1, &echoed, nullptr);
                }
            }
            end = Ticks();
        } else if (route == kDirect) {
            OrvantaControl ctrl(host.Get());
            ok = ctrl.OpenDevice(g_opt.own_port) && ctrl.channel().SetCOMSettings(kLineMode);
            const std::string one = "x";
            long total = 0;
            start = Ticks();
            for (int i = 0; ok && i < count; ++i) total += ctrl.channel().Write(one);
            end = Ticks();
            ok = ok && total == count;
        } else {
            const std::wstring port(g_opt.own_port.begin(), g_opt.own_port.end());
            ok = automation.Call(L"OpenDevice", port.c_str()) != 0;
            ok = ok && automation.Call(L"SetCOMSettings", L"baud=9600 parity=N data=8 stop=1") != 0;
            const DISPID write = automation.Id(L"Write");
            BSTR one = SysAllocString(L"x");
            long total = 0;
            start = Ticks();
            for (int i = 0; ok && i < count; ++i) total += automation.Call(write, one);
            end = Ticks();
            SysFreeString(one);
            automation.Call(L"CloseDevice", nullptr);
            ok = ok && total == count;
        }
        if (!drain.WaitDone(10000)) ok = false;
        if (!ok) {
            Problem("small writes, route " + std::to_string(route) + ": not every byte arrived");
            g_peer->DrainQuietly(300);
            failed[route] = true;
            return;
        }
        spent[route] += Seconds(start, end);
    };
    for (int rep = 0; rep < g_opt.reps; ++rep) {
        for (size_t r = 0; r < kRoutes; ++r) spent[r] = 0, failed[r] = false;
        for (int block = 0; block < blocks; ++block)
            Rotated(rep + block, kRoutes, [&](size_t route) { run_block(route, per_block); });
        for (size_t r = 0; r < kRoutes; ++r)
            if (!failed[r] && spent[r] > 0) us[r].push_back(spent[r] * 1e6 / (per_block * blocks));
    }
    const std::string bench = "2 small writes x" + std::to_string(calls);
    CompareRow(bench, "raw WriteFile+wait", "per call", "us", us[kRaw], us[kRaw], "", nullptr);
    CompareRow(bench, "raw +echo", "per call", "us", us[kRawEcho], us[kRaw], "", nullptr,
               "the raw route with the control's protocol-file echo added, for reference");
    const std::vector<double> added = Differences(us[kDirect], us[kRaw]);
    CompareRow(bench, "control direct", "per call", "us", us[kDirect], us[kRaw], "", nullptr);
    CompareRow(bench, "control direct", "added vs raw", "us", added, added, "< 20 us",
               [](const Row& r) { return YesNo(r.value.median < 20); });
    if (!us[kAutomation].empty()) {
        CompareRow(bench, "control IDispatch", "per call", "us", us[kAutomation], us[kRaw], "", nullptr);
        const std::vector<double> dispatch = Differences(us[kAutomation], us[kDirect]);
        // Judged on the call layer alone (2a): with a port in the loop the
        // difference is smaller than the port's own spread.
        CompareRow(bench, "IDispatch", "added vs direct", "us", dispatch, dispatch, "", nullptr,
                   "with the port's noise in it; the call layer alone is row 2a");
    }
    // The call layer alone: Write with no device open goes through every step
    // of the call (argument conversion, the member table, the result) and
    // touches no port, so the machine's I/O noise stays out of it.
    if (automation.ok()) {
        std::vector<double> direct_us, dispatch_us;
        OrvantaControl ctrl(host.Get());
        const DISPID write = automation.Id(L"Write");
        BSTR one = SysAllocString(L"x");
        const std::string text = "x";
        for (int rep = 0; rep < g_opt.reps; ++rep) {
            LONGLONG start = Ticks();
            for (int i = 0; i < calls; ++i) ctrl.channel().Write(text);
            direct_us.push_back(Seconds(start, Ticks()) * 1e6 / calls);
            start = Ticks();
            for (int i = 0; i < calls; ++i) automation.Call(write, one);
            dispatch_us.push_back(Seconds(start, Ticks()) * 1e6 / calls);
        }
        SysFreeString(one);
        const std::string b = "2a call layer, no device x" + std::to_string(calls);
        CompareRow(b, "control direct", "per call", "us", direct_us, direct_us, "", nullptr);
        CompareRow(b, "control IDispatch", "per call", "us", dispatch_us, direct_us, "", nullptr);
        const std::vector<double> added = Differences(dispatch_us, direct_us);
        const Stats host_call = Summarise(ReadScriptCosts(g_opt.script_costs).dictionary_us);
        CompareRow(b, "IDispatch", "added vs direct", "us", added, added, host_call.valid ? "<= script call" : "",
                   host_call.valid ? [host_call](const Row& r) { return YesNo(r.value.median <= host_call.median); }
                                   : std::function<std::string(const Row&)>());
    }
    const ScriptCosts script = ReadScriptCosts(g_opt.script_costs);
    if (!script.dictionary_us.empty()) {
        CompareRow("2b script host (cscript VBScript)", "empty loop", "per iteration", "us", script.empty_us,
                   script.empty_us, "", nullptr);
        CompareRow("2b script host (cscript VBScript)", "Dictionary.Count", "call cost", "us",
                   script.dictionary_us, script.dictionary_us, "", nullptr,
                   "a script host's call to a system automation object, loop cost taken off");
        if (!script.control_us.empty())
            CompareRow("2b script host (cscript VBScript)", "control .timeout", "call cost", "us",
                       script.control_us, script.control_us, "", nullptr,
                       "the same call made to the registered control");
    }
}

}  // namespace bench
