// What the benchmarks share: options, statistics and the result table, the
// control's platform for a timed run, the raw Win32 routes and the far end of
// the cable, the window that receives codes, and the process probes. Each
// benchmark lives in a file of its own beside this one.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <psapi.h>
#include <tlhelp32.h>

#include "orvanta.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "control/orvanta_control.h"
#include "framework/handle.h"
#include "windows/win32_input.h"
#include "windows/win32_ports.h"
#include "windows/win32_threads.h"
#include "testkit/peer.h"

namespace bench {

using orvanta::OrvantaControl;
namespace interfaces = orvanta::interfaces;
namespace windows = orvanta::windows;

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

extern Options g_opt;

// ---------------------------------------------------------------------------
// Time and statistics

LONGLONG Ticks();

double TicksPerSecond();

double Seconds(LONGLONG from, LONGLONG to);

// Nearest rank, on a sorted series.
double Percentile(const std::vector<double>& sorted, double p);

double Median(std::vector<double> v);

struct Stats {
    bool valid = false;
    double median = 0, lo = 0, hi = 0;
    size_t n = 0;
};

Stats Summarise(const std::vector<double>& v);

// Pairs rep i of one route with rep i of the other.
std::vector<double> Ratios(const std::vector<double>& a, const std::vector<double>& b);

std::vector<double> Differences(const std::vector<double>& a, const std::vector<double>& b);

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

extern std::vector<Row> g_rows;
extern std::vector<std::string> g_problems;

void Problem(const std::string& what);

std::string Num(double v, int decimals);

int DecimalsFor(double v);

std::string Med(const Stats& s);
std::string Spread(const Stats& s);

void PrintTable();

std::string CsvField(const std::string& s);

void WriteCsv(const std::string& path);

// ---------------------------------------------------------------------------
// The control's platform: the real Win32 ports, input and threads. Notices
// are counted instead of shown, so that none can stall a timed run.

class QuietUi : public interfaces::UserInterface {
public:
    int RunNotice(const char* message, const char*) override {
        Record(message);
        return interfaces::kIdOk;
    }
    void ShowMessageBox(interfaces::WindowId, const char* text, const char*, std::uint32_t) override {
        Record(text);
    }
    interfaces::WindowId ForegroundWindow() override {
        return reinterpret_cast<interfaces::WindowId>(GetForegroundWindow());
    }
    void ToOem(char* text) override {
        if (text) CharToOemA(text, text);
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
class CountingDevice : public interfaces::Device {
public:
    CountingDevice(std::unique_ptr<interfaces::Device> inner, std::atomic<int>& waits)
        : inner_(std::move(inner)), waits_(waits) {}
    bool ReadyForWrites() const override { return inner_->ReadyForWrites(); }
    interfaces::WriteResult Write(const void* d, std::uint32_t n, std::uint32_t ms, interfaces::StopSignal* s) override {
        return inner_->Write(d, n, ms, s);
    }
    bool Flush() override { return inner_->Flush(); }
    void Close() override { inner_->Close(); }
    bool ReadLineSettings(interfaces::LineSettings& s) override { return inner_->ReadLineSettings(s); }
    bool ApplyLineSettings(const interfaces::LineChange& c) override { return inner_->ApplyLineSettings(c); }
    bool SetSignal(interfaces::LineSignal s) override { return inner_->SetSignal(s); }
    bool ClearErrors(std::uint32_t& e) override { return inner_->ClearErrors(e); }
    bool WaitEventChar(interfaces::StopSignal* s) override {
        ++waits_;
        return inner_->WaitEventChar(s);
    }
    std::uint32_t Read(void* b, std::uint32_t n, interfaces::StopSignal* s) override { return inner_->Read(b, n, s); }
    std::uint32_t ReadThrough(char c, void* b, std::uint32_t n, interfaces::StopSignal* s) override {
        return inner_->ReadThrough(c, b, n, s);
    }
    bool WaitEventCharThenRead(char c, void* b, std::uint32_t n, std::uint32_t& t, interfaces::StopSignal* s) override {
        ++waits_;
        return inner_->WaitEventCharThenRead(c, b, n, t, s);
    }
    bool EndAbandonedWrite() override { return inner_->EndAbandonedWrite(); }
    bool EndAbandonedRead() override { return inner_->EndAbandonedRead(); }

private:
    std::unique_ptr<interfaces::Device> inner_;
    std::atomic<int>& waits_;
};

class BenchPorts : public interfaces::Ports {
public:
    std::unique_ptr<interfaces::Device> OpenDevice(const char* name, const char16_t* wide) override {
        auto device = real_.OpenDevice(name, wide);
        if (device && count_waits) return std::make_unique<CountingDevice>(std::move(device), waits);
        return device;
    }
    std::unique_ptr<interfaces::File> CreateNewFile(const char* n) override { return real_.CreateNewFile(n); }
    std::unique_ptr<interfaces::File> OpenFileForRead(const char* n, const char16_t* w) override {
        return real_.OpenFileForRead(n, w);
    }
    // The settling pause before an open is never inside a timed span and
    // would only stretch the run; the reader's yield after each code is
    // timed and kept, unless a run asks to see what it costs.
    void Sleep(std::uint32_t ms) override {
        if (ms == 0 && yield) ::Sleep(0);
    }
    interfaces::Network* TcpNetwork() override { return real_.TcpNetwork(); }

    bool yield = true;
    bool count_waits = false;
    std::atomic<int> waits{0};

private:
    windows::Win32Ports real_;
};

struct BenchHost {
    QuietUi ui;
    BenchPorts ports;
    windows::Win32Input input;
    windows::Win32Threads threads;
    orvanta::interfaces::Platform Get() { return orvanta::interfaces::Platform{ui, ports, input, threads}; }
};

// ---------------------------------------------------------------------------
// Raw Win32: the baseline routes and the device at the far end of the cable.

constexpr char kLineMode[] = "baud=9600 parity=N data=8 stop=1";
constexpr char kSuffix = 0x03;

HANDLE OpenOverlapped(const std::string& name);

bool SetLine(HANDLE port);

// One overlapped write, awaited. `offset` matters only for a plain file.
bool WriteAwaited(HANDLE h, OVERLAPPED& ov, const void* data, DWORD length, std::uint64_t& offset);

// Reads what has come (at least one byte, waiting for it) until `stop` is
// set; the count read, 0 when stopped or failed.
DWORD ReadSome(HANDLE h, OVERLAPPED& ov, unsigned char* buffer, DWORD size, HANDLE stop);

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
        framework::UniqueEvent timer(CreateEventA(nullptr, TRUE, FALSE, nullptr));
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
    framework::UniqueFile file_;
    framework::UniqueEvent read_event_, write_event_;
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
    framework::UniqueEvent stop_;
    std::atomic<std::uint64_t> got_{0};
    std::atomic<bool> done_{false};
    LONGLONG end_ = 0;
    std::thread thread_;
};

// ---------------------------------------------------------------------------
// The window that receives the codes, owned and pumped by the main thread.

constexpr int kCodeLength = 13;  // an EAN-13, then the suffix

std::string Code(int i);

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

extern Sink g_sink;

LRESULT CALLBACK SinkProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

bool CreateSink();

std::int32_t SinkHandle();

// Handles messages (the readers' SendMessage among them) until `done` holds
// or `ms` pass.
bool PumpUntil(const std::function<bool()>& done, DWORD ms);

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
    framework::UniqueFile file_;
    framework::UniqueEvent event_, stop_;
    bool ok_ = false;
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

// ---------------------------------------------------------------------------
// Process figures

double ProcessCpuSeconds();

struct Snapshot {
    double private_kib = 0;
    double handles = 0;
    double threads = 0;
};

// How the figures were read, for the table's notes.
extern std::string g_memory_source;
extern std::string g_handle_source;

// Wine answers the handle count with 0; its handles are small multiples of
// four, so they can be counted by asking each one about itself.
double ProbeHandles();

Snapshot Take();


// ---------------------------------------------------------------------------
// Helpers shared by the benchmarks

extern std::unique_ptr<PeerPort> g_peer;

bool HaveCable();

std::string WorkFile(const char* name);

bool MakeEmptyFile(const std::string& name);

std::uint64_t FileSize(const std::string& name);

void Section(const char* title);

// Each repetition runs every route once; the first route rotates so no route
// always runs first.
void Rotated(int rep, size_t routes, const std::function<void(size_t)>& run);

void CompareRow(const std::string& bench, const std::string& route, const std::string& metric,
                const std::string& unit, const std::vector<double>& values, const std::vector<double>& raw,
                const std::string& target, const std::function<std::string(const Row&)>& judge,
                const std::string& note = "");

std::string YesNo(bool b);

// ---------------------------------------------------------------------------
// The benchmarks, one file each.

void BulkOutput(BenchHost& host);    // 1
void SmallWrites(BenchHost& host);   // 2
void Scanning(BenchHost& host);      // 3 and 4
void IdleCost(BenchHost& host);      // 5
void Resources(BenchHost& host);     // 6
void Primitives();                   // 7
void TcpOutput(BenchHost& host);     // 8

}  // namespace bench
