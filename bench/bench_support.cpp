// The shared parts of the benchmarks declared in bench.h.
#include "bench/bench.h"

namespace bench {

Options g_opt;

LONGLONG Ticks() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double TicksPerSecond() {
    static const double f = [] {
        LARGE_INTEGER q;
        QueryPerformanceFrequency(&q);
        return static_cast<double>(q.QuadPart);
    }();
    return f;
}

double Seconds(LONGLONG from, LONGLONG to) { return static_cast<double>(to - from) / TicksPerSecond(); }

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    size_t rank = static_cast<size_t>(p / 100.0 * static_cast<double>(sorted.size()) + 0.999999);
    rank = std::min(std::max<size_t>(rank, 1), sorted.size());
    return sorted[rank - 1];
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

Stats Summarise(const std::vector<double>& v) {
    Stats s;
    if (v.empty()) return s;
    s.valid = true;
    s.median = Median(v);
    s.lo = *std::min_element(v.begin(), v.end());
    s.hi = *std::max_element(v.begin(), v.end());
    s.n = v.size();
    return s;
}

std::vector<double> Ratios(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> r;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (b[i] != 0) r.push_back(a[i] / b[i]);
    return r;
}

std::vector<double> Differences(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> r;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) r.push_back(a[i] - b[i]);
    return r;
}

std::vector<Row> g_rows;

std::vector<std::string> g_problems;

void Problem(const std::string& what) {
    g_problems.push_back(what);
    std::printf("  problem: %s\n", what.c_str());
    std::fflush(stdout);
}

std::string Num(double v, int decimals) {
    char text[64];
    if (v > -0.5 * std::pow(10.0, -decimals) && v < 0) v = 0;  // no "-0.000"
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

int DecimalsFor(double v) {
    const double a = v < 0 ? -v : v;
    if (a >= 1000) return 0;
    if (a >= 100) return 1;
    if (a >= 1) return 2;
    return 3;
}

std::string Med(const Stats& s) { return s.valid ? Num(s.median, DecimalsFor(s.median)) : "-"; }

std::string Spread(const Stats& s) {
    if (!s.valid) return "-";
    const int d = DecimalsFor(std::max(s.lo < 0 ? -s.lo : s.lo, s.hi < 0 ? -s.hi : s.hi));
    return Num(s.lo, d) + ".." + Num(s.hi, d);
}

void PrintTable() {
    std::printf("\n%-36s %-18s %-22s %10s %-19s %10s %-13s %-16s %s\n", "benchmark", "route", "metric",
                "median", "spread (min..max)", "raw", "ratio", "target", "met");
    std::printf("%s\n", std::string(152, '-').c_str());
    std::string last;
    for (const Row& r : g_rows) {
        if (!last.empty() && r.bench != last) std::printf("\n");
        last = r.bench;
        std::string ratio = "-";
        if (r.ratio.valid) ratio = Num(r.ratio.median, 3);
        std::printf("%-36s %-18s %-22s %10s %-19s %10s %-13s %-16s %s\n", r.bench.c_str(), r.route.c_str(),
                    (r.metric + " [" + r.unit + "]").c_str(), Med(r.value).c_str(), Spread(r.value).c_str(),
                    Med(r.baseline).c_str(), ratio.c_str(), r.target.c_str(), r.met.c_str());
        if (!r.note.empty()) std::printf("%-36s   %s\n", "", r.note.c_str());
    }
    std::printf("\n");
}

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

void WriteCsv(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        Problem("cannot write " + path);
        return;
    }
    std::fprintf(f, "benchmark,route,metric,unit,reps,median,min,max,raw_median,raw_min,raw_max,"
                    "ratio_median,ratio_min,ratio_max,target,met,note\n");
    const auto num = [](const Stats& s, double v) { return s.valid ? Num(v, 6) : std::string(); };
    for (const Row& r : g_rows) {
        std::fprintf(f, "%s,%s,%s,%s,%u,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s\n", CsvField(r.bench).c_str(),
                     CsvField(r.route).c_str(), CsvField(r.metric).c_str(), CsvField(r.unit).c_str(),
                     static_cast<unsigned>(r.value.n), num(r.value, r.value.median).c_str(),
                     num(r.value, r.value.lo).c_str(), num(r.value, r.value.hi).c_str(),
                     num(r.baseline, r.baseline.median).c_str(), num(r.baseline, r.baseline.lo).c_str(),
                     num(r.baseline, r.baseline.hi).c_str(), num(r.ratio, r.ratio.median).c_str(),
                     num(r.ratio, r.ratio.lo).c_str(), num(r.ratio, r.ratio.hi).c_str(),
                     CsvField(r.target).c_str(), CsvField(r.met).c_str(), CsvField(r.note).c_str());
    }
    std::fclose(f);
}

HANDLE OpenOverlapped(const std::string& name) {
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

bool SetLine(HANDLE port) {
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) return false;
    if (!BuildCommDCBA(kLineMode, &dcb)) return false;
    return SetCommState(port, &dcb) != FALSE;
}

bool WriteAwaited(HANDLE h, OVERLAPPED& ov, const void* data, DWORD length, std::uint64_t& offset) {
    ov.Internal = ov.InternalHigh = 0;
    ov.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    if (!WriteFile(h, data, length, nullptr, &ov) && GetLastError() != ERROR_IO_PENDING) return false;
    DWORD done = 0;
    if (!GetOverlappedResult(h, &ov, &done, TRUE)) return false;
    offset += done;
    return done == length;
}

DWORD ReadSome(HANDLE h, OVERLAPPED& ov, unsigned char* buffer, DWORD size, HANDLE stop) {
    DWORD errors = 0;
    COMSTAT stat = {};
    DWORD want = 1;
    if (ClearCommError(h, &errors, &stat) && stat.cbInQue > 0) want = std::min<DWORD>(stat.cbInQue, size);
    ov.Internal = ov.InternalHigh = 0;
    ov.Offset = ov.OffsetHigh = 0;
    DWORD got = 0;
    if (ReadFile(h, buffer, want, nullptr, &ov)) {
        GetOverlappedResult(h, &ov, &got, FALSE);
        return got;
    }
    if (GetLastError() != ERROR_IO_PENDING) return 0;
    const HANDLE handles[2] = {ov.hEvent, stop};
    const DWORD woke = WaitForMultipleObjects(stop ? 2 : 1, handles, FALSE, INFINITE);
    if (woke != WAIT_OBJECT_0) {
        // Repeated: Wine can miss a cancel that meets the read mid-way.
        while (!HasOverlappedIoCompleted(&ov)) {
            CancelIoEx(h, &ov);
            WaitForSingleObject(ov.hEvent, 50);
        }
    }
    GetOverlappedResult(h, &ov, &got, FALSE);
    return woke == WAIT_OBJECT_0 ? got : 0;
}

std::string Code(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "40%011d", i);
    return std::string(text, kCodeLength);
}

Sink g_sink;

LRESULT CALLBACK SinkProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg != WM_CHAR) return DefWindowProcA(hwnd, msg, wparam, lparam);
    g_sink.current.push_back(static_cast<char>(wparam & 0xFF));
    if (g_sink.current.size() == kCodeLength) {
        g_sink.done.push_back(Ticks());
        if (g_sink.current != Code(g_sink.next_code)) ++g_sink.wrong;
        ++g_sink.next_code;
        g_sink.current.clear();
        SetEvent(g_sink.code_done);
    }
    return 0;
}

bool CreateSink() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &SinkProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "OrvantaBenchSink";
    if (!RegisterClassA(&wc)) return false;
    g_sink.hwnd = CreateWindowExA(0, wc.lpszClassName, "sink", WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    g_sink.code_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return g_sink.hwnd && g_sink.code_done;
}

std::int32_t SinkHandle() {
    return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(g_sink.hwnd));
}

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done()) return true;
        const DWORD spent = GetTickCount() - start;
        if (spent >= ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(ms - spent, 50), QS_ALLINPUT);
    }
}

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return value(kernel) + value(user);
}

std::string g_memory_source = "PrivateUsage";

std::string g_handle_source = "GetProcessHandleCount";

double ProbeHandles() {
    int count = 0, misses = 0;
    for (std::uintptr_t value = 4; value < 4 * 65536 && misses < 4096; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            misses = 0;
        } else {
            ++misses;
        }
    }
    return count;
}

Snapshot Take() {
    Snapshot s;
    PROCESS_MEMORY_COUNTERS_EX mem = {};
    mem.cb = sizeof mem;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mem), sizeof mem))
        s.private_kib = static_cast<double>(mem.PrivateUsage) / 1024.0;
    if (s.private_kib == 0) {
        // Wine leaves PrivateUsage empty; the page-file share is the same
        // figure there (its anonymous resident memory).
        PROCESS_MEMORY_COUNTERS basic = {};
        basic.cb = sizeof basic;
        if (GetProcessMemoryInfo(GetCurrentProcess(), &basic, sizeof basic))
            s.private_kib = static_cast<double>(basic.PagefileUsage) / 1024.0;
        g_memory_source = "PagefileUsage";
    }
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    s.handles = handles;
    if (handles == 0) {
        s.handles = ProbeHandles();
        g_handle_source = "handles probed one by one";
    }
    s.threads = orvanta::testing::ThreadCount();
    return s;
}

std::unique_ptr<PeerPort> g_peer;

bool HaveCable() { return g_peer && g_peer->IsOpen(); }

std::string WorkFile(const char* name) { return name; }  // relative to the run's working folder

bool MakeEmptyFile(const std::string& name) {
    framework::UniqueFile f(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return static_cast<bool>(f);
}

std::uint64_t FileSize(const std::string& name) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void Section(const char* title) {
    std::printf("== %s\n", title);
    std::fflush(stdout);
}

void Rotated(int rep, size_t routes, const std::function<void(size_t)>& run) {
    for (size_t i = 0; i < routes; ++i) run((static_cast<size_t>(rep) + i) % routes);
}

void CompareRow(const std::string& bench, const std::string& route, const std::string& metric,
                const std::string& unit, const std::vector<double>& values, const std::vector<double>& raw,
                const std::string& target, const std::function<std::string(const Row&)>& judge,
                const std::string& note) {
    Row r;
    r.bench = bench;
    r.route = route;
    r.metric = metric;
    r.unit = unit;
    r.value = Summarise(values);
    if (&values != &raw) {
        r.baseline = Summarise(raw);
        r.ratio = Summarise(Ratios(values, raw));
    }
    r.target = target;
    r.met = judge && r.value.valid ? judge(r) : "";
    r.note = note;
    g_rows.push_back(r);
}

std::string YesNo(bool b) { return b ? "yes" : "no"; }

}  // namespace bench
