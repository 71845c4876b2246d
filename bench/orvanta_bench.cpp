// Benchmarks of the control against minimal raw Win32 code built into this
// program. Each figure is measured in the same run, on the same virtual port or
// file, with the control's and the raw route taking turns, so the machine's
// noise falls on both alike. Prints a table and writes a CSV; asserts nothing.
//
//   orvanta_bench [--ports=COM5:COM6] [--ocx=PATH] [--csv=PATH]
//                 [--script-costs=PATH] [--reps=5] [--idle=10] [--only=1,2,3,5,6,7] [--quick]
#include <windows.h>
#include <ole2.h>
#include <psapi.h>
#include <tlhelp32.h>
// After the system headers: the control's GUIDs are defined here, once.
#include <initguid.h>
#include "orvanta.h"

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "control/orvanta_ctrl.h"
#include "platform/win32/handle.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_port.h"
#include "platform/win32/win32_threads.h"
#include "tests/wine/peer.h"

namespace bench {

using orvanta::COrvantaCtrl;
namespace platform = orvanta::platform;
namespace win32 = orvanta::win32;

// ---------------------------------------------------------------------------
// Options

struct Options {
    std::string own_port = "COM5";   // the control's end of the cable
    std::string peer_port = "COM6";  // the device's end
    std::string ocx;
    std::string csv = "results.csv";
    std::string script_costs;
    int reps = 5;
    int idle_seconds = 10;
    int bulk_mib = 10;
    int small_writes = 10000;
    int codes = 1000;
    int mem_rounds = 5;
    int mem_codes = 2000;   // per round
    int mem_cycles = 200;   // open/close and activate/stop, per round
    std::string only;       // the benchmarks to run, by number ("1,3"); empty: all
};

Options g_opt;

// ---------------------------------------------------------------------------
// Time and statistics

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

// Nearest rank, on a sorted series.
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

struct Stats {
    bool valid = false;
    double median = 0, lo = 0, hi = 0;
    size_t n = 0;
};

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

// Pairs rep i of one route with rep i of the other.
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

// ---------------------------------------------------------------------------
// Results

struct Row {
    std::string bench, route, metric, unit;
    Stats value;
    Stats baseline;  // the raw route's figure, when the row compares
    Stats ratio;     // per repetition, this route over the raw one
    std::string target;
    std::string met;  // "yes", "no" or "" (no target)
    std::string note;
};

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

// ---------------------------------------------------------------------------
// The control's platform: the real Win32 ports, input and threads. Notices
// are counted instead of shown, so that none can stall a timed run.

class QuietUi : public platform::UserInterface {
public:
    int RunNotice(const char* message, const char*) override {
        Record(message);
        return platform::kIdOk;
    }
    void ShowMessageBox(platform::WindowId, const char* text, const char*, std::uint32_t) override {
        Record(text);
    }
    platform::WindowId ForegroundWindow() override {
        return reinterpret_cast<platform::WindowId>(GetForegroundWindow());
    }
    std::uint32_t LastError() override { return GetLastError(); }
    void DismissThread(std::uint32_t) override {}
    void ReleaseThread(std::uint32_t) override {}
    int Count() const { return count_.load(); }

private:
    void Record(const char* text) {
        if (count_.fetch_add(1) < 3) std::printf("  notice from the control: %s\n", text ? text : "");
    }
    std::atomic<int> count_{0};
};

// Counts the waits for the event character, to show the back-off at work.
class CountingDevice : public platform::Device {
public:
    CountingDevice(std::unique_ptr<platform::Device> inner, std::atomic<int>& waits)
        : inner_(std::move(inner)), waits_(waits) {}
    bool CreateWriteEvent() override { return inner_->CreateWriteEvent(); }
    platform::WriteStart StartWrite(const void* d, std::uint32_t n) override { return inner_->StartWrite(d, n); }
    platform::WaitOutcome WaitWrite(std::uint32_t ms, std::uint32_t& w, platform::StopSignal* s) override {
        return inner_->WaitWrite(ms, w, s);
    }
    void CancelWrite() override { inner_->CancelWrite(); }
    bool Flush() override { return inner_->Flush(); }
    bool ReadLineSettings(platform::LineSettings& s) override { return inner_->ReadLineSettings(s); }
    bool ParseMode(const char* m, platform::LineSettings& s) override { return inner_->ParseMode(m, s); }
    bool ApplyLineSettings(const platform::LineSettings& s) override { return inner_->ApplyLineSettings(s); }
    bool Escape(std::uint32_t f) override { return inner_->Escape(f); }
    bool ClearErrors(std::uint32_t& e) override { return inner_->ClearErrors(e); }
    bool WaitEventChar(platform::StopSignal* s) override {
        ++waits_;
        return inner_->WaitEventChar(s);
    }
    std::uint32_t Read(void* b, std::uint32_t n, platform::StopSignal* s) override { return inner_->Read(b, n, s); }

private:
    std::unique_ptr<platform::Device> inner_;
    std::atomic<int>& waits_;
};

class BenchPorts : public platform::Ports {
public:
    std::unique_ptr<platform::Device> OpenDevice(const char* name) override {
        auto device = real_.OpenDevice(name);
        if (device && count_waits) return std::make_unique<CountingDevice>(std::move(device), waits);
        return device;
    }
    std::unique_ptr<platform::File> CreateNewFile(const char* n) override { return real_.CreateNewFile(n); }
    std::unique_ptr<platform::File> OpenFileForRead(const char* n) override { return real_.OpenFileForRead(n); }
    void ToOem(char* text) override { real_.ToOem(text); }
    // The settling pause before an open is never inside a timed span and
    // would only stretch the run; the reader's yield after each byte is
    // timed and kept, unless a run asks to see what it costs.
    void Sleep(std::uint32_t ms) override {
        if (ms == 0 && yield) ::Sleep(0);
    }

    bool yield = true;
    bool count_waits = false;
    std::atomic<int> waits{0};

private:
    win32::Win32Ports real_;
};

struct BenchHost {
    QuietUi ui;
    BenchPorts ports;
    win32::Win32Input input;
    win32::Win32Threads threads;
    orvanta::Platform Get() { return orvanta::Platform{ui, ports, input, threads}; }
};

// ---------------------------------------------------------------------------
// Raw Win32: the baseline routes and the device at the far end of the cable.

constexpr char kLineMode[] = "baud=9600 parity=N data=8 stop=1";
constexpr char kSuffix = 0x03;

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

// One overlapped write, awaited. `offset` matters only for a plain file.
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

// Reads what has come (at least one byte, waiting for it) until `stop` is
// set; the count read, 0 when stopped or failed.
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

// The far end of the cable: writes codes, or drains what the control sends.
class PeerPort {
public:
    explicit PeerPort(const std::string& name)
        : file_(OpenOverlapped(name)),
          read_event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          write_event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        read_ov_.hEvent = read_event_.get();
        write_ov_.hEvent = write_event_.get();
    }
    bool IsOpen() const { return file_ && read_event_ && write_event_; }
    bool Send(const std::string& bytes) {
        std::uint64_t offset = 0;
        return WriteAwaited(file_.get(), write_ov_, bytes.data(), static_cast<DWORD>(bytes.size()), offset);
    }
    DWORD Read(unsigned char* buffer, DWORD size, HANDLE stop) {
        return ReadSome(file_.get(), read_ov_, buffer, size, stop);
    }
    // Whatever a run before left in the cable.
    void DrainQuietly(DWORD quiet_ms) {
        win32::UniqueEvent timer(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        for (;;) {
            std::thread alarm([&] { Sleep(quiet_ms); SetEvent(timer.get()); });
            unsigned char buffer[4096];
            const DWORD got = Read(buffer, sizeof buffer, timer.get());
            alarm.join();
            ResetEvent(timer.get());
            if (got == 0) return;
        }
    }

private:
    win32::UniqueFile file_;
    win32::UniqueEvent read_event_, write_event_;
    OVERLAPPED read_ov_ = {}, write_ov_ = {};
};

// Takes `expected` bytes off the peer's end, as fast as they come or, with
// `pace_ms`, in batches: a reader that wakes for every byte of a stream of
// single bytes competes with the writer for the machine's two cores.
class Drainer {
public:
    Drainer(PeerPort& peer, std::uint64_t expected, DWORD pace_ms = 0)
        : stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), thread_([this, &peer, expected, pace_ms] {
              std::vector<unsigned char> buffer(65536);
              while (got_ < expected) {
                  if (pace_ms && WaitForSingleObject(stop_.get(), pace_ms) == WAIT_OBJECT_0) break;
                  const DWORD n = peer.Read(buffer.data(), static_cast<DWORD>(buffer.size()), stop_.get());
                  if (n == 0) break;
                  got_ += n;
              }
              end_ = Ticks();
              done_ = true;
          }) {}
    ~Drainer() {
        SetEvent(stop_.get());
        thread_.join();
    }
    // Waits up to `ms` for the last byte; the moment it came, or 0.
    LONGLONG WaitDone(DWORD ms) {
        for (DWORD waited = 0; !done_ && waited < ms; ++waited) Sleep(1);
        if (!done_) return 0;
        return end_;
    }
    std::uint64_t Got() const { return got_; }

private:
    win32::UniqueEvent stop_;
    std::atomic<std::uint64_t> got_{0};
    std::atomic<bool> done_{false};
    LONGLONG end_ = 0;
    std::thread thread_;
};

// ---------------------------------------------------------------------------
// The window that receives the codes, owned and pumped by the main thread.

constexpr int kCodeLength = 13;  // an EAN-13, then the suffix

std::string Code(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "40%011d", i);
    return std::string(text, kCodeLength);
}

struct Sink {
    HWND hwnd = nullptr;
    HANDLE code_done = nullptr;  // auto-reset: one signal per code
    std::vector<LONGLONG> done;  // when each code's last character came
    std::string current;
    int next_code = 0;
    int wrong = 0;

    void Reset(int first_code, size_t expected) {
        done.clear();
        done.reserve(expected);
        current.clear();
        next_code = first_code;
        wrong = 0;
        ResetEvent(code_done);
    }
};

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

// Handles messages (the readers' SendMessage among them) until `done` holds
// or `ms` pass.
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

// The raw reader: an overlapped read loop that hands each code, once its
// suffix has come, to the window with SendMessage.
class RawReader {
public:
    explicit RawReader(const std::string& port)
        : file_(OpenOverlapped(port)),
          event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        ok_ = file_ && event_ && stop_ && SetLine(file_.get());
        if (ok_) thread_ = std::thread([this] { Run(); });
    }
    ~RawReader() {
        SetEvent(stop_.get());
        if (thread_.joinable()) {
            // The thread may be inside SendMessage to our window.
            PumpUntil([&] { return ended_.load(); }, 5000);
            thread_.join();
        }
    }
    bool ok() const { return ok_; }

private:
    void Run() {
        OVERLAPPED ov = {};
        ov.hEvent = event_.get();
        unsigned char buffer[4096];
        std::string code;
        const HWND target = g_sink.hwnd;
        for (;;) {
            const DWORD got = ReadSome(file_.get(), ov, buffer, sizeof buffer, stop_.get());
            if (got == 0) break;
            for (DWORD i = 0; i < got; ++i) {
                if (buffer[i] != static_cast<unsigned char>(kSuffix)) {
                    code.push_back(static_cast<char>(buffer[i]));
                    continue;
                }
                for (const char c : code) SendMessageA(target, WM_CHAR, static_cast<unsigned char>(c), 1);
                code.clear();
            }
        }
        ended_ = true;
    }
    win32::UniqueFile file_;
    win32::UniqueEvent event_, stop_;
    bool ok_ = false;
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

// ---------------------------------------------------------------------------
// Process figures

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return value(kernel) + value(user);
}

struct Snapshot {
    double private_kib = 0;
    double handles = 0;
    double threads = 0;
};

// How the figures were read, for the table's notes.
std::string g_memory_source = "PrivateUsage";
std::string g_handle_source = "GetProcessHandleCount";

// Wine answers the handle count with 0; its handles are small multiples of
// four, so they can be counted by asking each one about itself.
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

// ---------------------------------------------------------------------------
// The control through automation: the module loaded as a host loads it, the
// control made by its class object and driven through IDispatch only.

class Automation {
public:
    explicit Automation(const std::string& path) {
        if (path.empty()) return;
        module_ = LoadLibraryA(path.c_str());
        if (!module_) return;
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto get = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        if (!get) return;
        IClassFactory* factory = nullptr;
        if (FAILED(get(CLSID_Orvanta, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return;
        factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch_));
        factory->Release();
    }
    ~Automation() {
        if (dispatch_) dispatch_->Release();
        if (module_) FreeLibrary(module_);
    }
    bool ok() const { return dispatch_ != nullptr; }

    DISPID Id(const wchar_t* name) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
        dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        return id;
    }
    // A method with at most one text argument; its result as a number.
    long Call(DISPID id, BSTR text) {
        VARIANT arg;
        VariantInit(&arg);
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = text;
        DISPPARAMS params = {&arg, nullptr, text ? 1u : 0u, 0};
        VARIANT result;
        VariantInit(&result);
        UINT arg_error = 0;
        long value = -1;
        if (SUCCEEDED(dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                                        nullptr, &arg_error))) {
            VARIANT number;
            VariantInit(&number);
            value = SUCCEEDED(VariantChangeType(&number, &result, 0, VT_I4)) ? V_I4(&number) : 0;
            VariantClear(&number);
        }
        VariantClear(&result);
        return value;
    }
    long Call(const wchar_t* name, const wchar_t* text) {
        BSTR b = text ? SysAllocString(text) : nullptr;
        const long value = Call(Id(name), b);
        if (b) SysFreeString(b);
        return value;
    }

private:
    HMODULE module_ = nullptr;
    IDispatch* dispatch_ = nullptr;
};

// ---------------------------------------------------------------------------
// Helpers shared by the benchmarks

std::unique_ptr<PeerPort> g_peer;

bool HaveCable() { return g_peer && g_peer->IsOpen(); }

std::string WorkFile(const char* name) { return name; }  // relative to the run's working folder

bool MakeEmptyFile(const std::string& name) {
    win32::UniqueFile f(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
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

// Each repetition runs every route once; the first route rotates so no route
// always runs first.
void Rotated(int rep, size_t routes, const std::function<void(size_t)>& run) {
    for (size_t i = 0; i < routes; ++i) run((static_cast<size_t>(rep) + i) % routes);
}

void CompareRow(const std::string& bench, const std::string& route, const std::string& metric,
                const std::string& unit, const std::vector<double>& values, const std::vector<double>& raw,
                const std::string& target, const std::function<std::string(const Row&)>& judge,
                const std::string& note = "") {
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

// ---------------------------------------------------------------------------
// 1. Bulk output: SendFile against a raw loop of 4000-byte writes with echo.

constexpr DWORD kChunk = 4000;

// The raw route: the file in 4000-byte pieces, each an overlapped write that
// is awaited, then echoed to a protocol file as the control does.
bool RawSendFile(const std::string& device, bool serial, const std::string& source) {
    win32::UniqueFile dev(OpenOverlapped(device));
    win32::UniqueEvent event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    win32::UniqueFile echo(CreateFileA("RAWPROT.PRT", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       0, nullptr));
    win32::UniqueFile src(CreateFileA(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
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
        win32::UniqueFile f(CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
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
                std::unique_ptr<COrvantaCtrl> ctrl;
                if (route == 1) {
                    ctrl = std::make_unique<COrvantaCtrl>(host.Get());
                    if (!ctrl->OpenDevice(device) || (sink.serial && !ctrl->SetCOMSettings(kLineMode))) {
                        Problem("the control cannot open " + device);
                        return;
                    }
                }
                std::unique_ptr<Drainer> drain;
                if (sink.serial) drain = std::make_unique<Drainer>(*g_peer, size);
                const LONGLONG start = Ticks();
                bool ok;
                if (route == 1)
                    ok = static_cast<std::uint64_t>(ctrl->SendFile(source)) == size;
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

// ---------------------------------------------------------------------------
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
            win32::UniqueFile dev(OpenOverlapped(g_opt.own_port));
            win32::UniqueEvent event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
            win32::UniqueFile echo(CreateFileA("RAWPROT.PRT", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
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
            COrvantaCtrl ctrl(host.Get());
            ok = ctrl.OpenDevice(g_opt.own_port) && ctrl.SetCOMSettings(kLineMode);
            const std::string one = "x";
            long total = 0;
            start = Ticks();
            for (int i = 0; ok && i < count; ++i) total += ctrl.Write(one);
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
        COrvantaCtrl ctrl(host.Get());
        const DISPID write = automation.Id(L"Write");
        BSTR one = SysAllocString(L"x");
        const std::string text = "x";
        for (int rep = 0; rep < g_opt.reps; ++rep) {
            LONGLONG start = Ticks();
            for (int i = 0; i < calls; ++i) ctrl.Write(text);
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

// ---------------------------------------------------------------------------
// 3 and 4. Scanning: latency of one code, throughput back to back.

enum ScanRoute { kScanRaw, kScanControl, kScanControlNoYield, kScanRoutes };
const char* const kScanRouteNames[] = {"raw reader", "control", "control, no yield"};

// A reader of one route, ready on the control's port, delivering to the sink.
class ScanReceiver {
public:
    ScanReceiver(BenchHost& host, ScanRoute route) : host_(host) {
        if (route == kScanRaw) {
            raw_ = std::make_unique<RawReader>(g_opt.own_port);
            ok_ = raw_->ok();
            return;
        }
        host.ports.yield = route != kScanControlNoYield;
        ctrl_ = std::make_unique<COrvantaCtrl>(host.Get());
        ok_ = ctrl_->OpenDevice(g_opt.own_port) && ctrl_->SetCOMSettings(kLineMode);
        ctrl_->SetwithACKN(false);
        ctrl_->SetdebugModus(false);
        ctrl_->SetonlyWorkwithCurrentWindow(true);
        ctrl_->SetscanWindowHandle(SinkHandle());
        ok_ = ok_ && ctrl_->ActivateScanTask() != 0;
    }
    ~ScanReceiver() {
        if (ctrl_) {
            ctrl_->DeactivateScanTask(0);
            ctrl_.reset();
        }
        raw_.reset();
        host_.ports.yield = true;
    }
    bool ok() const { return ok_; }

private:
    BenchHost& host_;
    std::unique_ptr<COrvantaCtrl> ctrl_;
    std::unique_ptr<RawReader> raw_;
    bool ok_ = false;
};

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
            // Latency: one code at a time, each to a reader that waits for it.
            {
                ScanReceiver receiver(host, route);
                if (!receiver.ok()) {
                    Problem(name + ": cannot start the reader");
                    return;
                }
                Sleep(50);
                g_sink.Reset(code_base, static_cast<size_t>(codes));
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
                ScanReceiver receiver(host, route);
                if (!receiver.ok()) {
                    Problem(name + ": cannot start the reader");
                    return;
                }
                Sleep(50);
                g_sink.Reset(code_base, static_cast<size_t>(codes));
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
                   main ? "" : "the control with the reader's yield after each byte left out, for comparison");
    }
    const std::string thr = "4 scan throughput, " + std::to_string(codes) + " codes";
    CompareRow(thr, "raw reader", "rate", "codes/s", rate[kScanRaw], rate[kScanRaw], "", nullptr);
    CompareRow(thr, "control", "rate", "codes/s", rate[kScanControl], rate[kScanRaw], "ratio >= 0.9",
               [](const Row& r) { return YesNo(r.ratio.valid && r.ratio.median >= 0.9); });
    CompareRow(thr, "control, no yield", "rate", "codes/s", rate[kScanControlNoYield], rate[kScanRaw], "", nullptr,
               "the control with the reader's yield after each byte left out, for comparison");
}

// ---------------------------------------------------------------------------
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
        COrvantaCtrl ctrl(host.Get());
        bool ok = ctrl.OpenDevice(gone);
        ctrl.SetonlyWorkwithCurrentWindow(true);
        ctrl.SetscanWindowHandle(SinkHandle());
        ok = ok && ctrl.ActivateScanTask() != 0;
        host.ports.count_waits = false;
        if (ok) {
            Sleep(100);
            const int before = host.ports.waits.load();
            std::vector<double> pct = IdleCpu(g_opt.idle_seconds);
            const int waits = host.ports.waits.load() - before;
            add("control, port gone", pct, "< 1 %",
                "every wait fails (empty file as the port); " + std::to_string(waits) + " failed waits in " + span);
            ctrl.DeactivateScanTask(0);
        } else {
            Problem("idle: the back-off run did not start");
        }
        ctrl.CloseDevice();
        DeleteFileA(gone.c_str());
    }
}

// ---------------------------------------------------------------------------
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
        COrvantaCtrl ctrl(host.Get());
        for (int i = 0; i < count; ++i) {
            if (!ctrl.OpenDevice(g_opt.own_port)) return false;
            ctrl.CloseDevice();
        }
        if (!ctrl.OpenDevice(g_opt.own_port)) return false;
        ctrl.SetonlyWorkwithCurrentWindow(true);
        ctrl.SetscanWindowHandle(SinkHandle());
        for (int i = 0; i < count; ++i) {
            if (ctrl.ActivateScanTask() == 0) return false;
            ctrl.DeactivateScanTask(0);
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

// ---------------------------------------------------------------------------
// 7. The Win32 calls the control makes beyond the raw routes, one at a time,
// to tell where its extra time per write and per character goes.

void Primitives() {
    Section("7. calls the control adds");
    const int calls = 10000;
    win32::UniqueEvent event(CreateEventA(nullptr, FALSE, TRUE, nullptr));
    win32::UniqueFile echo(CreateFileA("PRIMPROT.PRT", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
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

// ---------------------------------------------------------------------------

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
