// A hostile host: the registered control, created through COM as hosts create
// it, driven through IDispatch with random members in random order, random
// argument types and values, real and bogus devices (the far end of the cable
// played by a thread that sends random bytes and goes away), the scan task
// started and stopped, debug mode on and off with a watcher that answers the
// boxes late or early, and calls into the control from inside its own boxes.
//
// It fails on a crash, a call that makes no progress for kHangMs, a handle or
// thread left behind, or an automation error that is not one of the control's
// documented rejections. Seeded (ORVANTA_HOST_FUZZ_SEED, printed first) and
// bounded by steps (ORVANTA_HOST_FUZZ_STEPS) or, without them, by time
// (ORVANTA_HOST_FUZZ_SECONDS, also the guard of a stepped run). A stepped run
// repeats with its seed: each box's answer follows from the seed and the box
// itself, not from the order in which threads happened to show boxes.
// ORVANTA_HOST_FUZZ_TRACE=1 prints every step. ORVANTA_PEER_PORTS ("COM5:COM6") names the cable; without it only bogus
// devices are used.
#include <windows.h>
#include <initguid.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwctype>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "orvanta.h"
#include "control/orvanta_ids.h"
#include "framework/com_util.h"
#include "tests/wine/handles.h"
#include "testkit/dispatch_sink.h"
#include "testkit/hung_window.h"
#include "testkit/peer.h"
#include "testkit/watcher.h"

namespace orvanta::testing {
namespace {

// A call that neither returns nor lets a box be answered for this long hangs.
// Notices and a stop of the scan task take a few seconds at most.
constexpr DWORD kHangMs = 20000;
constexpr UINT kReenter = WM_APP + 17;
// IID_NULL, which <initguid.h> (for the control's own GUIDs) leaves undefined here.
const IID kNoIid = {};

// ---------------------------------------------------------------------------
// Settings and the step log

struct Settings {
    unsigned seed = 0;
    int seconds = 60;
    long steps = 0;  // 0: bounded by time only
    bool trace = false;
    std::string own_port, peer_port;
};
Settings g_settings;

std::mutex g_log_mutex;
std::deque<std::string> g_recent;  // the last steps, for a failure's report
std::string g_current;
std::atomic<DWORD> g_progress{0};  // tick of the last call returned or box answered
std::atomic<bool> g_in_call{false};
DWORD g_host_thread = 0;

std::atomic<bool> g_dying{false};

// Straight to the handle once the run is dying: a thread ended by force may
// have left the C runtime's stream lock taken.
void Say(const char* format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (g_dying) {
        const DWORD length = n < 0 ? 0 : static_cast<DWORD>(std::min<int>(n, sizeof line - 2));
        line[length] = '\n';
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, length + 1, &written, nullptr);
        return;
    }
    std::printf("%s\n", line);
    std::fflush(stdout);
}

void PrintRecent() {
    // Also from a crash inside Step: do not wait for the lock for ever.
    std::unique_lock<std::mutex> lock(g_log_mutex, std::defer_lock);
    for (int i = 0; i < 100 && !lock.try_lock(); ++i) Sleep(10);
    Say("host fuzz: the last %u steps (seed %u):", static_cast<unsigned>(g_recent.size()),
        g_settings.seed);
    for (const std::string& s : g_recent) Say("    %s", s.c_str());
    Say("    in: %s", g_current.c_str());
}

void Step(const std::string& what) {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_current = what;
    g_recent.push_back(what);
    if (g_recent.size() > 40) g_recent.pop_front();
    if (g_settings.trace) Say("step: %s", what.c_str());
}

void Progress() { g_progress = GetTickCount(); }

// The windows of this process as they stand, without sending them a message.
BOOL CALLBACK ListWindow(HWND hwnd, LPARAM) {
    DWORD pid = 0;
    const DWORD thread = GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId()) return TRUE;
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    wchar_t text[128] = {};
    InternalGetWindowText(hwnd, text, 128);
    char narrow[256] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    Say("    window %p class %s thread %lu%s%s: %s", static_cast<void*>(hwnd), cls, thread,
        IsWindowVisible(hwnd) ? " visible" : "", IsWindowEnabled(hwnd) ? "" : " disabled", narrow);
    return TRUE;
}

[[noreturn]] void Fatal(const char* what) {
    std::fflush(stdout);
    g_dying = true;
    Say("FATAL: %s", what);
    Say("host fuzz: windows of this process (host thread %lu):", g_host_thread);
    EnumWindows(&ListWindow, 0);
    PrintRecent();
    Say("[  FAILED  ] 1 test, listed below:");
    Say("[  FAILED  ] HostFuzz.RandomHost");
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;) Sleep(1000);
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* e) {
    char text[160];
    std::snprintf(text, sizeof text, "crash: exception %08lX at %p", e->ExceptionRecord->ExceptionCode,
                  e->ExceptionRecord->ExceptionAddress);
    Fatal(text);
}

// Ends the run when one call makes no progress for kHangMs.
class Watchdog {
public:
    Watchdog() : thread_([this] { Run(); }) {}
    ~Watchdog() {
        stop_ = true;
        thread_.join();
    }

private:
    void Run() {
        // The report of a hang may itself hang (a lock left taken); this
        // thread, made before anything can go wrong, then ends the run alone.
        std::thread killer([this] {
            while (!stop_) {
                Sleep(100);
                if (g_in_call && GetTickCount() - g_progress.load() > kHangMs + 10000) {
                    const char text[] = "FATAL: hang, and its report hung too\n[  FAILED  ] 1 test, listed below:\n";
                    DWORD written = 0;
                    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, sizeof text - 1, &written, nullptr);
                    TerminateProcess(GetCurrentProcess(), 4);
                }
            }
        });
        while (!stop_) {
            Sleep(100);
            if (g_in_call && GetTickCount() - g_progress.load() > kHangMs) {
                char text[96];
                std::snprintf(text, sizeof text, "hang: no call returned and no box came for %lu ms",
                              kHangMs);
                Fatal(text);
            }
        }
        killer.join();
    }
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// ---------------------------------------------------------------------------
// The far end of the cable

class CableEnd {
public:
    CableEnd(const std::string& name, unsigned seed) : name_(name), rng_(seed) {}
    ~CableEnd() { Stop(); }
    void Start() { thread_ = std::thread([this] { Run(); }); }
    void Stop() {
        if (!thread_.joinable()) return;
        stop_ = true;
        thread_.join();
        peer_.reset();
    }
    // Bytes that must arrive soon: a blocking read of the host waits for them.
    void Feed(std::string bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        feeds_.push_back(std::move(bytes));
    }
    void SetSuffix(int suffix) { suffix_ = suffix; }
    void SetChatter(bool on) { chatter_ = on; }
    int Aways() const { return aways_; }
    bool Opened() const { return opened_; }

private:
    // The device comes (back): the port opened anew.
    bool Open() {
        peer_ = std::make_unique<Peer>(name_);
        if (!peer_->IsOpen()) peer_.reset();
        if (peer_) opened_ = true;
        return peer_ != nullptr;
    }
    void Send(const std::string& bytes, DWORD ms) {
        if (peer_ && !bytes.empty()) peer_->Send(bytes, ms);
    }
    // A port set to "xon=on" takes XON and XOFF out of what it receives and
    // stops sending at an XOFF: the peer may stop it, but always starts it
    // again, and the bytes a read waits for never vanish into the line.
    static std::string FlowSafe(const std::string& bytes) {
        std::string out;
        for (char c : bytes)
            if (c != kXon && c != kXoff) out += c;
        if (out.size() != bytes.size() || !out.empty()) out += kXon;
        return out;
    }
    std::string Chatter() {
        const char suffix = static_cast<char>(suffix_.load() & 0xFF);
        std::string s;
        switch (rng_() % 6) {
        case 0:  // noise, the suffix among it or not, and a pause of the line
            for (unsigned n = rng_() % 64 + 1; n > 0; --n) s += static_cast<char>(rng_() & 0xFF);
            Send(std::string(1, kXoff), 200);
            Sleep(rng_() % 50);
            break;
        case 1:
            s = std::string(kCodeEnd) + suffix;
            break;
        default:  // a code as a scanner sends it
            for (unsigned n = rng_() % 24 + 1; n > 0; --n) s += static_cast<char>('0' + rng_() % 43);
            s += suffix;
            break;
        }
        return s;
    }
    void Run() {
        Open();
        DWORD back_at = 0;
        while (!stop_) {
            std::vector<std::string> feeds;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                feeds.assign(feeds_.begin(), feeds_.end());
                feeds_.clear();
            }
            if (!peer_ && (!feeds.empty() || static_cast<LONG>(GetTickCount() - back_at) >= 0)) {
                if (!Open()) Sleep(20);
            }
            for (const std::string& f : feeds) Send(FlowSafe(f), 2000);
            if (peer_ && chatter_ && rng_() % 40 == 0) Send(FlowSafe(Chatter()), 200);
            if (peer_ && rng_() % 400 == 0) {
                // The device goes away for a while; rarely for longer than a
                // write's time limit (9 s and the time-out per byte).
                peer_.reset();
                ++aways_;
                back_at = GetTickCount() + (rng_() % 20 == 0 ? 10000 + rng_() % 3000 : 100 + rng_() % 2900);
                continue;
            }
            if (peer_) {
                peer_->Receive(65536, 20);  // the host's writes, not looked at
            } else {
                Sleep(10);
            }
        }
    }

    static constexpr char kCodeEnd[] = "ENDSCAN";
    static constexpr char kXon = 0x11, kXoff = 0x13;
    std::string name_;
    std::mt19937 rng_;
    std::thread thread_;
    std::atomic<bool> stop_{false}, chatter_{true}, opened_{false};
    std::atomic<int> suffix_{3}, aways_{0};
    std::mutex mutex_;
    std::vector<std::string> feeds_;
    std::unique_ptr<Peer> peer_;
};

// ---------------------------------------------------------------------------
// The members as the type library declares them

struct Member {
    DISPID id;
    std::wstring name;
    bool property;
    VARTYPE type;  // the result (property: its type); VT_EMPTY for void
    std::vector<VARTYPE> params;
};

// Read once from the registered type library, which is the one the OCX
// embeds: the properties, then the methods, in the order it declares them.
std::vector<Member> ReadMembers() {
    std::vector<Member> members;
    framework::ComPtr<ITypeLib> lib;
    framework::ComPtr<ITypeInfo> info;
    TYPEATTR* attr = nullptr;
    if (FAILED(LoadRegTypeLib(LIBID_ORVANTALib, 1, 0, 0, lib.put())) ||
        FAILED(lib->GetTypeInfoOfGuid(DIID__DOrvanta, info.put())) || FAILED(info->GetTypeAttr(&attr)))
        return members;
    const auto name_of = [&info](MEMBERID id) {
        BSTR name = nullptr;
        info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
        std::wstring text = name ? name : L"";
        SysFreeString(name);
        return text;
    };
    for (UINT i = 0; i < attr->cVars; ++i) {
        VARDESC* v = nullptr;
        if (FAILED(info->GetVarDesc(i, &v))) continue;
        members.push_back({v->memid, name_of(v->memid), true, v->elemdescVar.tdesc.vt, {}});
        info->ReleaseVarDesc(v);
    }
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        if (FAILED(info->GetFuncDesc(i, &f))) continue;
        // A result the library calls VARIANT is the port list, an array of them.
        VARTYPE type = f->elemdescFunc.tdesc.vt;
        if (type == VT_VOID) type = VT_EMPTY;
        if (type == VT_VARIANT) type = VT_ARRAY | VT_VARIANT;
        Member m{f->memid, name_of(f->memid), false, type, {}};
        for (SHORT p = 0; p < f->cParams; ++p) m.params.push_back(f->lprgelemdescParam[p].tdesc.vt);
        members.push_back(m);
        info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
    return members;
}

const std::vector<Member>& Members() {
    static const std::vector<Member> members = ReadMembers();
    return members;
}

const Member* FindMember(DISPID id) {
    for (const Member& m : Members())
        if (m.id == id) return &m;
    return nullptr;
}

// What Invoke may answer besides S_OK: the rejections of the dispatch layer.
bool Documented(HRESULT hr) {
    switch (hr) {
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_TYPEMISMATCH:
    case DISP_E_OVERFLOW:
    case DISP_E_PARAMNOTOPTIONAL:
    case DISP_E_PARAMNOTFOUND:
    case DISP_E_NONAMEDARGS:
    case DISP_E_UNKNOWNINTERFACE:
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Arguments

// Owns what a call's arguments point at, until the call has returned.
struct Args {
    std::vector<VARIANT> v;  // in the order of the parameters; reversed for the call
    std::deque<VARIANT> refs;
    std::deque<BSTR> bstrs;
    std::deque<LONG> longs;
    std::deque<SHORT> shorts;
    std::deque<double> doubles;
    std::string text;
    Args() = default;
    Args(const Args&) = delete;
    Args& operator=(const Args&) = delete;
    ~Args() {
        for (VARIANT& x : v) VariantClear(&x);
        for (VARIANT& x : refs) VariantClear(&x);
        for (BSTR b : bstrs) SysFreeString(b);
    }
};

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}
    unsigned Next(unsigned n) { return n ? static_cast<unsigned>(rng_() % n) : 0; }
    bool Chance(unsigned percent) { return Next(100) < percent; }
    std::mt19937& Rng() { return rng_; }

    LONG Number() {
        static const LONG edges[] = {0, 1, -1, 2, 7, 8, 9, 32767, -32768, 32768, 65535, 65536,
                                     0x7FFFFFFF, static_cast<LONG>(0x80000000), 255, 256, 13, 3};
        if (Chance(60)) return edges[Next(sizeof edges / sizeof edges[0])];
        return static_cast<LONG>(rng_());
    }

    // A string as a host might pass it: text, binary with zero characters,
    // characters the code page lacks, numbers as text, long and very long.
    std::wstring Text() {
        std::wstring s;
        switch (Next(10)) {
        case 0: break;
        case 1: s = L"123"; break;
        case 2: s = L"-99999999999999999999"; break;
        case 3: s = L"baud=9600 parity=N data=8 stop=1"; break;
        case 4:
            for (unsigned n = Next(40); n > 0; --n) s += static_cast<wchar_t>(rng_() & 0xFFFF);
            break;
        case 5:
            for (unsigned n = Next(40); n > 0; --n) s += static_cast<wchar_t>(rng_() % 4 == 0 ? 0 : 'a' + rng_() % 26);
            break;
        case 6: s.assign(Chance(10) ? 300000 : 5000 + Next(60000), static_cast<wchar_t>('A' + Next(26))); break;
        case 7: s = L"\x20AC\x00E4\x00F6\x00FC\x00DF\xD800"; break;
        default:
            for (unsigned n = Next(30) + 1; n > 0; --n) s += static_cast<wchar_t>(' ' + rng_() % 95);
            break;
        }
        return s;
    }

    BSTR Bstr(const std::wstring& s) {
        return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    }

    static std::string Describe(const VARIANT& v) {
        char text[96];
        if (V_VT(&v) == VT_BSTR) {
            std::snprintf(text, sizeof text, "BSTR(%u)", V_BSTR(&v) ? SysStringLen(V_BSTR(&v)) : 0u);
        } else if (V_VT(&v) == VT_I4) {
            std::snprintf(text, sizeof text, "I4(%ld)", static_cast<long>(V_I4(&v)));
        } else if (V_VT(&v) == VT_I2) {
            std::snprintf(text, sizeof text, "I2(%d)", V_I2(&v));
        } else {
            std::snprintf(text, sizeof text, "vt%04X", V_VT(&v));
        }
        return text;
    }

    // A value of the type a parameter declares.
    void Typed(VARTYPE type, VARIANT& out, Args& a) {
        VariantInit(&out);
        switch (type) {
        case VT_BSTR:
            V_VT(&out) = VT_BSTR;
            V_BSTR(&out) = Bstr(Text());
            break;
        case VT_I2:
            V_VT(&out) = VT_I2;
            V_I2(&out) = static_cast<SHORT>(Number());
            break;
        case VT_BOOL:
            V_VT(&out) = VT_BOOL;
            V_BOOL(&out) = Chance(50) ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        default:
            V_VT(&out) = VT_I4;
            V_I4(&out) = Number();
            break;
        }
        (void)a;
    }

    // Any value at all, by reference now and then, as scripts and hostile hosts pass them.
    void Any(VARIANT& out, Args& a, IDispatch* self, int depth = 0) {
        VariantInit(&out);
        switch (Next(24)) {
        case 0: break;  // VT_EMPTY
        case 1: V_VT(&out) = VT_NULL; break;
        case 2: V_VT(&out) = VT_I1; V_I1(&out) = static_cast<CHAR>(rng_()); break;
        case 3: V_VT(&out) = VT_UI1; V_UI1(&out) = static_cast<BYTE>(rng_()); break;
        case 4: V_VT(&out) = VT_I2; V_I2(&out) = static_cast<SHORT>(Number()); break;
        case 5: V_VT(&out) = VT_I4; V_I4(&out) = Number(); break;
        case 6: V_VT(&out) = VT_UI4; V_UI4(&out) = static_cast<ULONG>(Number()); break;
        case 7: V_VT(&out) = VT_I8; V_I8(&out) = (static_cast<LONGLONG>(Number()) << 32) | rng_(); break;
        case 8: {
            static const double reals[] = {0.5, -0.5, 1e300, -1e300, 32767.5, -32768.6, 2147483647.5,
                                           std::numeric_limits<double>::quiet_NaN(), 1e-300};
            V_VT(&out) = VT_R8;
            V_R8(&out) = Chance(30) ? HUGE_VAL : reals[Next(sizeof reals / sizeof reals[0])];
            break;
        }
        case 9: V_VT(&out) = VT_R4; V_R4(&out) = static_cast<float>(Number()) * 1e30f; break;
        case 10: V_VT(&out) = VT_BOOL; V_BOOL(&out) = static_cast<VARIANT_BOOL>(rng_()); break;
        case 11: V_VT(&out) = VT_CY; V_CY(&out).int64 = (static_cast<LONGLONG>(rng_()) << 32) | rng_(); break;
        case 12: V_VT(&out) = VT_DATE; V_DATE(&out) = static_cast<double>(Number()); break;
        case 13: V_VT(&out) = VT_ERROR; V_ERROR(&out) = Chance(50) ? DISP_E_PARAMNOTFOUND : static_cast<SCODE>(rng_()); break;
        case 14:  // the control itself: converting it calls back into it
            V_VT(&out) = VT_DISPATCH;
            V_DISPATCH(&out) = Chance(30) ? nullptr : self;
            if (V_DISPATCH(&out)) self->AddRef();
            break;
        case 15: V_VT(&out) = VT_UNKNOWN; V_UNKNOWN(&out) = nullptr; break;
        case 16: {
            SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, Next(64));
            if (!array) break;
            V_VT(&out) = VT_ARRAY | VT_UI1;
            V_ARRAY(&out) = array;
            break;
        }
        case 17: {  // a type no conversion knows
            static const VARTYPE odd[] = {VT_VARIANT, VT_VOID, VT_HRESULT, VT_PTR, 0x0FFF, VT_CLSID};
            V_VT(&out) = odd[Next(sizeof odd / sizeof odd[0])];
            break;
        }
        case 18:
            a.longs.push_back(Number());
            V_VT(&out) = VT_I4 | VT_BYREF;
            V_I4REF(&out) = &a.longs.back();
            break;
        case 19:
            a.shorts.push_back(static_cast<SHORT>(Number()));
            V_VT(&out) = VT_I2 | VT_BYREF;
            V_I2REF(&out) = &a.shorts.back();
            break;
        case 20:
            a.bstrs.push_back(Chance(10) ? nullptr : Bstr(Text()));
            V_VT(&out) = VT_BSTR | VT_BYREF;
            V_BSTRREF(&out) = &a.bstrs.back();
            break;
        case 21:
            a.refs.emplace_back();
            if (depth < 3) {
                Any(a.refs.back(), a, self, depth + 1);
            } else {
                VariantInit(&a.refs.back());
            }
            V_VT(&out) = VT_VARIANT | VT_BYREF;
            V_VARIANTREF(&out) = &a.refs.back();
            break;
        case 22:
            a.doubles.push_back(1e20);
            V_VT(&out) = VT_R8 | VT_BYREF;
            V_R8REF(&out) = &a.doubles.back();
            break;
        default:
            V_VT(&out) = VT_BSTR;
            V_BSTR(&out) = Chance(5) ? nullptr : Bstr(Text());
            break;
        }
    }

private:
    std::mt19937 rng_;
};

// ---------------------------------------------------------------------------
// The host

enum class Device { None, Real, Nul, File, Unknown };

int g_events = 0;  // fired into the fuzzer's sinks

// An event sink as hosts write them, some rude: it fails with an exception
// answer, calls back into the control, or disconnects itself inside its event.
struct FuzzSink final : DispatchSink {
    enum Kind { kQuiet, kFails, kCallsBack, kLeaves } kind;
    std::function<void(FuzzSink&)> inside;
    DWORD cookie = 0;
    framework::RefCount refs;
    FuzzSink(Kind k, std::function<void(FuzzSink&)> f) : kind(k), inside(std::move(f)) {}
    STDMETHODIMP_(ULONG) AddRef() override { return refs.Add(); }
    STDMETHODIMP_(ULONG) Release() override { return refs.Drop(this); }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO* e, UINT*) override {
        ++g_events;
        if (kind >= kCallsBack) inside(*this);
        if (kind != kFails) return S_OK;
        if (e) e->bstrDescription = SysAllocString(L"handler failed");
        return DISP_E_EXCEPTION;
    }
};

class Host {
public:
    Host() : gen_(g_settings.seed), reent_(g_settings.seed + 3) {}

    void Run();
    std::vector<std::string> failures;
    std::atomic<int> boxes{0};
    int unloads = 0;
    DWORD slowest_ms = 0;  // the longest stretch of one call without a box answered
    std::string slowest;
    long steps = 0;  // taken; ORVANTA_HOST_FUZZ_STEPS with the seed repeats the run
    int calls = 0, reentered = 0, fed = 0, opens_real = 0, tasks = 0, recreated = 0, sinks = 0;
    std::map<HRESULT, int> answers;

private:
    // A call as a host makes it, checked.
    HRESULT Invoke(DISPID id, WORD flags, Args& a, UINT named, const DISPID* named_ids, VARIANT* result,
                   REFIID iid, const std::string& how);
    HRESULT Call(DISPID id, Args& a, VARIANT* result = nullptr, WORD flags = DISPATCH_METHOD);
    HRESULT CallText(DISPID id, const std::wstring& text, VARIANT* result = nullptr);
    HRESULT CallNumber(DISPID id, LONG n, VARIANT* result = nullptr);
    HRESULT Put(DISPID id, VARIANT value);
    LONG GetNumber(DISPID id);
    void Fail(const std::string& what);
    void Track(DISPID id, WORD flags, HRESULT hr, const VARIANT* result);

    void Create();
    void Release();
    void RandomInvoke();
    void RandomNames();
    void OpenSomething();
    void BlockingRead();
    void ScanTaskStep();
    void LineStep();
    void FileStep();
    void PropertyStep();
    void SinkStep();
    void FromSink(FuzzSink& sink);
    void Reenter();
    void Pump();
    int Answer(const BoxRecord& box);
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);

    // The calls from inside boxes draw from a generator of their own, so
    // that when they come (which depends on timing) does not change the
    // sequence of the host's own calls.
    Generator& G() { return depth_ > 0 ? reent_ : gen_; }
    Generator gen_, reent_;
    std::map<std::string, unsigned> alike_;  // boxes seen, by caption and text (under due_mutex_)
    IDispatch* ctrl_ = nullptr;
    HWND window_ = nullptr;
    DWORD thread_ = GetCurrentThreadId();
    std::unique_ptr<CableEnd> peer_;
    Device device_ = Device::None;
    bool task_ = false;      // a scan task may run
    int evt_char_ = -1;      // the event character the port watches for, -1: unknown
    int depth_ = 0;          // calls in progress on this thread
    std::map<HWND, DWORD> due_;  // when the watcher presses each box
    std::mutex due_mutex_;
    std::string scratch_, sendable_;
    HungWindow hung_{false};
    IConnectionPoint* point_ = nullptr;  // of the control held now
    std::vector<FuzzSink*> sinks_;       // connected to it, each held once here
};

Host* g_host = nullptr;

void Host::Fail(const std::string& what) {
    Say("host fuzz: FAULT: %s", what.c_str());
    if (failures.size() < 50) failures.push_back(what);
    if (failures.size() == 1) PrintRecent();
}

HRESULT Host::Invoke(DISPID id, WORD flags, Args& a, UINT named, const DISPID* named_ids,
                     VARIANT* result, REFIID iid, const std::string& how) {
    std::vector<VARIANT> reversed(a.v.rbegin(), a.v.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(),
                         const_cast<DISPID*>(named_ids), static_cast<UINT>(reversed.size()), named};
    std::string what = how + " id " + std::to_string(id) + " flags " + std::to_string(flags) + " args";
    for (const VARIANT& v : a.v) what += " " + Generator::Describe(v);
    if (named) what += " named " + std::to_string(named) + ":" + std::to_string(named_ids[0]);
    if (!IsEqualIID(iid, kNoIid)) what += " iid!=NULL";
    Step(what);
    // The texts too, also those passed by reference (ReadBytes gets a buffer).
    const auto texts = [&a] {
        std::vector<std::wstring> all;
        for (const VARIANT& v : a.v) {
            const VARIANT* x = &v;
            while (V_VT(x) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(x)) x = V_VARIANTREF(x);
            BSTR b = V_VT(x) == VT_BSTR ? V_BSTR(x) : V_VT(x) == (VT_BSTR | VT_BYREF) ? *V_BSTRREF(x) : nullptr;
            all.emplace_back(b ? std::wstring(b, SysStringLen(b)) : std::wstring());
        }
        return all;
    };
    const std::vector<std::wstring> texts_before = texts();
    UINT arg_error = 0;
    EXCEPINFO info = {};
    ++calls;
    ++depth_;
    const bool outer = depth_ == 1;
    if (outer) Progress();
    Generator& g = depth_ > 1 ? reent_ : gen_;
    const HRESULT hr = ctrl_->Invoke(id, iid, LOCALE_USER_DEFAULT, flags, &params, result,
                                     g.Chance(20) ? nullptr : &info, g.Chance(20) ? nullptr : &arg_error);
    if (outer) {
        const DWORD took = GetTickCount() - g_progress.load();
        if (took > slowest_ms) {
            slowest_ms = took;
            slowest = what;
        }
    }
    --depth_;
    Progress();
    // The arguments are the host's: the call must leave them as they were.
    for (size_t i = 0; i < reversed.size(); ++i)
        if (std::memcmp(&reversed[i], &a.v[a.v.size() - 1 - i], sizeof(VARIANT)) != 0)
            Fail(what + ": an argument was changed");
    if (texts() != texts_before) Fail(what + ": the text of an argument was changed");
    ++answers[hr];
    if (hr != S_OK && !Documented(hr)) {
        char text[64];
        std::snprintf(text, sizeof text, ": answered %08lX", static_cast<unsigned long>(hr));
        Fail(what + text);
    }
    if (hr == S_OK && result) {
        const Member* m = FindMember(id);
        const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        const VARTYPE want = (m && !put) ? m->type : static_cast<VARTYPE>(VT_EMPTY);
        if (V_VT(result) != want) {
            char text[64];
            std::snprintf(text, sizeof text, ": result of type %04X, want %04X", V_VT(result), want);
            Fail(what + text);
        }
    }
    Track(id, flags, hr, result);
    return hr;
}

// Keeps what the host knows of the control in step with what a call did.
void Host::Track(DISPID id, WORD flags, HRESULT hr, const VARIANT* result) {
    if (hr != S_OK) return;
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (put) return;
    switch (id) {
    case kDispidCloseDevice:
        device_ = Device::None;
        task_ = false;
        break;
    case kDispidOpenDevice:
        // The caller knows which device it named; a random name opened is unknown.
        task_ = false;
        evt_char_ = -1;
        if (!result || V_VT(result) != VT_BOOL || !V_BOOL(result)) device_ = Device::None;
        else device_ = Device::Unknown;
        break;
    case kDispidSetCOMSettings:
        evt_char_ = -1;  // whatever the mode applied; the caller may know better
        break;
    case kDispidActivateScanTask:
        if (result && V_VT(result) == VT_I4 && V_I4(result) != 0) task_ = true;
        break;
    default:
        break;
    }
}

HRESULT Host::Call(DISPID id, Args& a, VARIANT* result, WORD flags) {
    return Invoke(id, flags, a, 0, nullptr, result, kNoIid, "call");
}

HRESULT Host::CallText(DISPID id, const std::wstring& text, VARIANT* result) {
    Args a;
    a.v.resize(1);
    V_VT(&a.v[0]) = VT_BSTR;
    V_BSTR(&a.v[0]) = G().Bstr(text);
    return Call(id, a, result);
}

HRESULT Host::CallNumber(DISPID id, LONG n, VARIANT* result) {
    Args a;
    a.v.resize(1);
    VariantInit(&a.v[0]);
    V_VT(&a.v[0]) = VT_I4;
    V_I4(&a.v[0]) = n;
    return Call(id, a, result);
}

// Takes the value over: it is cleared after the call.
HRESULT Host::Put(DISPID id, VARIANT value) {
    Args a;
    a.v.push_back(value);
    static const DISPID put = DISPID_PROPERTYPUT;
    return Invoke(id, DISPATCH_PROPERTYPUT, a, 1, &put, nullptr, kNoIid, "put");
}

LONG Host::GetNumber(DISPID id) {
    Args a;
    VARIANT out;
    VariantInit(&out);
    if (Call(id, a, &out, DISPATCH_PROPERTYGET) != S_OK) return 0;
    VARIANT as_long;
    VariantInit(&as_long);
    const LONG n = SUCCEEDED(VariantChangeType(&as_long, &out, 0, VT_I4)) ? V_I4(&as_long) : 0;
    VariantClear(&out);
    return n;
}

void Host::Create() {
    Step("create the control");
    CLSID clsid = CLSID_Orvanta;
    if (G().Chance(50) && FAILED(CLSIDFromProgID(L"ORVANTA.OrvantaCtrl.1", &clsid)))
        Fail("the ProgID ORVANTA.OrvantaCtrl.1 is not registered");
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                        reinterpret_cast<void**>(&ctrl_));
    if (FAILED(hr) || !ctrl_) {
        char text[96];
        std::snprintf(text, sizeof text, "CoCreateInstance answered %08lX (is the OCX registered?)",
                      static_cast<unsigned long>(hr));
        Fatal(text);
    }
    device_ = Device::None;
    task_ = false;
    evt_char_ = -1;
    // A window of the host's own for the codes and the re-entrant calls.
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = static_cast<LONG>(reinterpret_cast<LONG_PTR>(window_));
    Put(kDispidscanWindowHandle, v);
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = VARIANT_TRUE;
    Put(kDispidonlyWorkwithCurrentWindow, v);
}

void Host::Release() {
    Step("release the control");
    Progress();
    for (FuzzSink* sink : sinks_) sink->Release();  // with the control, connected or not
    sinks_.clear();
    if (point_) point_->Release();
    point_ = nullptr;
    ctrl_->Release();
    ctrl_ = nullptr;
    Progress();
}

// Any member, by number or by name, with any flags, count and values.
void Host::RandomInvoke() {
    const auto& members = Members();
    DISPID id;
    if (gen_.Chance(8)) {
        static const DISPID odd[] = {0, -1, -4, -5, kUnusedDispid, 100, 0x7FFFFFFF, static_cast<DISPID>(0x80000000), -551};
        id = odd[gen_.Next(sizeof odd / sizeof odd[0])];
    } else {
        id = members[gen_.Next(static_cast<unsigned>(members.size()))].id;
    }
    std::string how = "invoke";
    if (gen_.Chance(40)) {
        // By name, in any letter case, as script hosts find it.
        const Member* m = FindMember(id);
        std::wstring name = m ? m->name : L"NoSuchMember";
        for (wchar_t& c : name)
            if (gen_.Chance(30)) c = static_cast<wchar_t>(gen_.Chance(50) ? towupper(c) : towlower(c));
        LPOLESTR names[] = {&name[0]};
        DISPID found = 12345;
        Step("names " + std::string(name.begin(), name.end()));
        const HRESULT hr = ctrl_->GetIDsOfNames(kNoIid, names, 1, LOCALE_USER_DEFAULT, &found);
        if (m && (hr != S_OK || found != id)) Fail("GetIDsOfNames of a member failed: " + std::string(name.begin(), name.end()));
        if (!m && (hr != DISP_E_UNKNOWNNAME || found != DISPID_UNKNOWN)) Fail("GetIDsOfNames of an unknown name");
        if (hr != S_OK) return;
        id = found;
        how = "by name";
    }
    const Member* m = FindMember(id);
    // A blocking read on the cable waits for bytes only a feed brings; those
    // go through BlockingRead.
    if (m && MemberWaits(id) && device_ != Device::None && device_ != Device::Nul && device_ != Device::File)
        return;

    static const WORD flag_set[] = {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                    DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF, 0, 0xFFFF,
                                    DISPATCH_PROPERTYPUT | DISPATCH_METHOD};
    WORD flags;
    if (m && gen_.Chance(60)) {
        flags = m->property ? (gen_.Chance(50) ? DISPATCH_PROPERTYGET : DISPATCH_PROPERTYPUT)
                            : (gen_.Chance(70) ? DISPATCH_METHOD : DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    } else {
        flags = flag_set[gen_.Next(sizeof flag_set / sizeof flag_set[0])];
    }
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    size_t count = m ? (m->property ? (put ? 1 : 0) : m->params.size()) : 0;
    if (gen_.Chance(15)) count = gen_.Next(5);
    Args a;
    a.v.resize(count);
    const bool typed = m && gen_.Chance(50);
    for (size_t i = 0; i < count; ++i) {
        if (typed && !m->property && i < m->params.size()) {
            gen_.Typed(m->params[i], a.v[i], a);
        } else if (typed && m->property) {
            gen_.Typed(m->type, a.v[i], a);
        } else {
            gen_.Any(a.v[i], a, ctrl_);
        }
    }
    // No hostile value may reach a member that would wait on the cable.
    if (m && MemberWaits(id) && device_ == Device::Unknown) return;
    // XOFF and break hold the line until undone; they go through LineStep in pairs.
    if (id == kDispidSetSignalOnCOM) return;
    UINT named = 0;
    DISPID named_ids[1] = {DISPID_PROPERTYPUT};
    if (count > 0 && (put ? gen_.Chance(80) : gen_.Chance(10))) {
        named = 1;
        if (gen_.Chance(20)) named_ids[0] = static_cast<DISPID>(gen_.Number());
    }
    VARIANT result;
    VariantInit(&result);
    const bool want_result = gen_.Chance(85);
    const IID& iid = gen_.Chance(5) ? IID_IDispatch : kNoIid;
    // A random name given to OpenDevice opens nothing real; its result is tracked.
    Invoke(id, flags, a, named, named ? named_ids : nullptr, want_result ? &result : nullptr, iid, how);
    VariantClear(&result);
}

void Host::RandomNames() {
    // Several names at once: the rest are parameter names, which no member has.
    std::vector<std::wstring> text;
    const unsigned count = gen_.Next(4);
    for (unsigned i = 0; i < count; ++i) text.push_back(i == 0 && gen_.Chance(50) ? L"Write" : gen_.Text().substr(0, 300));
    std::vector<LPOLESTR> names;
    for (std::wstring& t : text) names.push_back(&t[0]);
    std::vector<DISPID> ids(count + 1, 12345);
    Step("names x" + std::to_string(count));
    const HRESULT hr = ctrl_->GetIDsOfNames(gen_.Chance(10) ? IID_IDispatch : kNoIid,
                                            names.empty() ? nullptr : names.data(), count, LOCALE_USER_DEFAULT,
                                            ids.data());
    if (hr != S_OK && hr != DISP_E_UNKNOWNNAME && hr != DISP_E_UNKNOWNINTERFACE && hr != E_POINTER) {
        char text_hr[64];
        std::snprintf(text_hr, sizeof text_hr, "GetIDsOfNames answered %08lX", static_cast<unsigned long>(hr));
        Fail(text_hr);
    }
    Progress();
}

void Host::OpenSomething() {
    // Bogus names (a failed open shows a notice), the null device, a plain
    // file, and the cable end under the names hosts use for it.
    std::wstring name;
    Device kind = Device::None;
    const unsigned pick = gen_.Next(10);
    if (pick < 5 && !g_settings.own_port.empty()) {
        static const char* const forms[] = {"", "\\\\.\\"};
        std::string n = forms[gen_.Next(2)] + g_settings.own_port;
        if (gen_.Chance(30)) for (char& c : n) c = static_cast<char>(tolower(c));
        name.assign(n.begin(), n.end());
        kind = Device::Real;
    } else if (pick == 5) {
        name = L"NUL";
        kind = Device::Nul;
    } else if (pick == 6) {
        // Emptied first, so the file stays small however long the run.
        framework::UniqueFile(CreateFileA(scratch_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        name.assign(scratch_.begin(), scratch_.end());
        kind = Device::File;
    } else {
        static const wchar_t* const bogus[] = {L"COM99", L"LPT9", L"\\\\.\\COM77", L"", L"NOPE",
                                               L"C:\\no\\such\\device", L"COM1234567890123",
                                               L"LPT\x00E4", L"\\\\.\\PhysicalDrive99"};
        name = bogus[gen_.Next(sizeof bogus / sizeof bogus[0])];
        if (gen_.Chance(10)) name.assign(2000, L'X');
    }
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = CallText(kDispidOpenDevice, name, &result);
    const bool opened = hr == S_OK && V_VT(&result) == VT_BOOL && V_BOOL(&result);
    device_ = opened ? kind : Device::None;
    if (opened && kind == Device::Real) ++opens_real;
    if (kind == Device::None && opened) device_ = Device::Unknown;
    if (kind == Device::Real && !opened && hr == S_OK) Fail("the cable end did not open");
    VariantClear(&result);
}

// The three reads that wait on the line, each with the bytes it waits for on the way.
void Host::BlockingRead() {
    if (device_ == Device::Unknown) return;
    const bool cable = device_ == Device::Real;
    if (cable && !peer_) return;
    // A running task holds the line: the host's read would wait for the gate.
    if (cable && task_) {
        if (gen_.Chance(50)) return;
        CallNumber(kDispidDeactivateScanTask, 0);
        task_ = false;
    }
    const int suffix = GetNumber(kDispidScannerSuffixChar) & 0xFF;
    if (peer_) peer_->SetSuffix(suffix);
    // A port with "xon=on" never hands these two to a reader.
    if (cable && (suffix == 0x11 || suffix == 0x13 || evt_char_ == 0x11 || evt_char_ == 0x13)) return;
    const unsigned which = gen_.Next(3);
    std::string code;
    for (unsigned n = gen_.Next(20); n > 0; --n) code += static_cast<char>(gen_.Chance(90) ? '0' + gen_.Next(43) : gen_.Next(256));
    // Whatever character the port waits for, it comes, and the suffix after it.
    // Unknown (a random mode applied, or none since the open): every byte value.
    std::string ending;
    if (evt_char_ >= 0) {
        ending += static_cast<char>(evt_char_);
    } else {
        for (int b = 0; b < 256; ++b) ending += static_cast<char>(b);
    }
    ending += '\0';
    ending += static_cast<char>(suffix);
    VARIANT result;
    VariantInit(&result);
    if (which == 2) {
        Args a;
        a.v.resize(3);
        const std::wstring buffer(gen_.Next(64), L'.');
        V_VT(&a.v[0]) = VT_BSTR;
        V_BSTR(&a.v[0]) = gen_.Bstr(buffer);
        const LONG want = static_cast<LONG>(gen_.Next(static_cast<unsigned>(buffer.size()) + 8)) - 3;
        V_VT(&a.v[1]) = VT_I4;
        V_I4(&a.v[1]) = gen_.Chance(80) ? want : gen_.Number();
        V_VT(&a.v[2]) = VT_I4;
        V_I4(&a.v[2]) = want;
        if (cable) {
            std::string bytes;
            for (size_t n = std::max<LONG>(want, 0) + gen_.Next(4); n > 0; --n) bytes += static_cast<char>(gen_.Next(256));
            peer_->Feed(bytes);
            ++fed;
        }
        Call(kDispidReadBytes, a, &result);
    } else {
        if (cable) {
            peer_->Feed(code + ending);
            ++fed;
        }
        if (which == 0) {
            Args none;
            Call(kDispidScanCodeFromCOM, none, &result);
        } else {
            CallNumber(kDispidWaitCOMSignal, gen_.Number(), &result);
        }
    }
    VariantClear(&result);
}

// Connects a sink of some kind, or disconnects one (or a cookie that names none).
void Host::SinkStep() {
    if (!point_) {
        IConnectionPointContainer* cpc = nullptr;
        if (ctrl_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)) == S_OK)
            cpc->FindConnectionPoint(DIID__DOrvantaEvents, &point_);
        if (cpc) cpc->Release();
        if (!point_) return Fail("no connection point for _DOrvantaEvents");
    }
    if (sinks_.size() < 4 && G().Chance(60)) {
        auto* sink = new FuzzSink(static_cast<FuzzSink::Kind>(G().Next(4)), [this](FuzzSink& s) { FromSink(s); });
        Step("connect a sink of kind " + std::to_string(sink->kind));
        if (point_->Advise(sink, &sink->cookie) != S_OK) Fail("Advise refused a sink");
        sinks_.push_back(sink);
        ++sinks;
    } else if (!sinks_.empty()) {
        const size_t at = G().Next(static_cast<unsigned>(sinks_.size()));
        FuzzSink* sink = sinks_[at];
        Step("disconnect the sink with cookie " + std::to_string(sink->cookie));
        if (sink->cookie && point_->Unadvise(sink->cookie) != S_OK) Fail("Unadvise of a connected sink failed");
        sinks_.erase(sinks_.begin() + static_cast<std::ptrdiff_t>(at));
        sink->Release();
    }
}

// Inside an event, on the host's thread: the sink leaves, or calls back in,
// often with what ends the task under it (or releases the control).
void Host::FromSink(FuzzSink& sink) {
    if (!ctrl_ || depth_ > 3) return;
    ++depth_;
    if (sink.kind == FuzzSink::kLeaves) {
        Step("a sink disconnects itself inside its event");
        if (sink.cookie && point_ && point_->Unadvise(sink.cookie) != S_OK) Fail("Unadvise inside an event failed");
        sink.cookie = 0;
    } else if (reent_.Chance(50)) {
        Args a;
        Call(reent_.Chance(50) ? kDispidCloseDevice : kDispidActivateScanTask, a);  // CloseDevice, or a new task
    } else {
        Reenter();  // any call, or the control released and made anew
    }
    --depth_;
}

void Host::ScanTaskStep() {
    VARIANT result;
    VariantInit(&result);
    if (gen_.Chance(55)) {
        Args a;
        if (Call(kDispidActivateScanTask, a, &result) == S_OK && V_VT(&result) == VT_I4 && V_I4(&result)) ++tasks;
    } else {
        // The running task's reference (0), a stale one, or any number.
        LONG n = 0;
        if (gen_.Chance(30)) n = gen_.Number();
        CallNumber(kDispidDeactivateScanTask, n, &result);
        if (n == 0) task_ = false;
    }
    VariantClear(&result);
}

void Host::LineStep() {
    VARIANT result;
    VariantInit(&result);
    switch (gen_.Next(4)) {
    case 0: {
        static const wchar_t* const modes[] = {L"", L"baud=9600 parity=N data=8 stop=1", L"baud=19200 parity=E data=8 stop=2",
                                               L"9600,n,8,1", L"baud=0", L"parity=Q", L"data=8 baud=110 xon=on",
                                               L"junk junk junk"};
        std::wstring mode = gen_.Chance(70) ? modes[gen_.Next(sizeof modes / sizeof modes[0])] : gen_.Text();
        const int suffix = GetNumber(kDispidScannerSuffixChar) & 0xFF;
        if (CallText(kDispidSetCOMSettings, mode, &result) == S_OK && V_VT(&result) == VT_BOOL && V_BOOL(&result))
            evt_char_ = suffix;
        break;
    }
    case 1: {
        // Signals in pairs: XOFF and break hold the line until undone.
        const LONG signal = static_cast<LONG>(gen_.Next(10));
        CallNumber(kDispidSetSignalOnCOM, signal, &result);
        VariantClear(&result);
        if (signal == 5) CallNumber(kDispidSetSignalOnCOM, 6, &result);
        if (signal == 7) CallNumber(kDispidSetSignalOnCOM, 8, &result);
        break;
    }
    case 2: {
        Args a;
        Call(kDispidClearCOMError, a, &result);
        break;
    }
    default: {
        Args a;
        Call(gen_.Chance(50) ? kDispidFlush : kDispidFormFeed, a, &result);
        break;
    }
    }
    VariantClear(&result);
}

void Host::FileStep() {
    VARIANT result;
    VariantInit(&result);
    const unsigned pick = gen_.Next(4);
    if (pick == 0) {
        CallText(kDispidSendFile, std::wstring(sendable_.begin(), sendable_.end()), &result);
    } else if (pick == 1) {
        CallText(kDispidSendFile, gen_.Text().substr(0, 400), &result);
    } else {
        Args a;
        a.v.resize(2);
        V_VT(&a.v[0]) = VT_BSTR;
        V_BSTR(&a.v[0]) = gen_.Bstr(gen_.Chance(50) ? L"@" : gen_.Text().substr(0, 100));
        std::wstring params;
        for (unsigned n = gen_.Next(8); n > 0; --n) params += std::to_wstring(gen_.Number()) + L" ";
        V_VT(&a.v[1]) = VT_BSTR;
        V_BSTR(&a.v[1]) = gen_.Bstr(gen_.Chance(80) ? params : gen_.Text());
        Call(kDispidSendEscCommand, a, &result);
    }
    VariantClear(&result);
}

void Host::PropertyStep() {
    const Member& m = Members()[gen_.Next(kPropertyCount)];  // the properties come first
    VARIANT v;
    VariantInit(&v);
    Args keep;
    if (m.id == kDispiddebugModus) {  // debug mode: on now and then, off more often, boxes come either way
        V_VT(&v) = VT_BOOL;
        V_BOOL(&v) = gen_.Chance(35) ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (m.id == kDispidscanWindowHandle) {
        // Our window, a window gone, none, or any number.
        V_VT(&v) = VT_I4;
        static HWND gone = [] {
            HWND w = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
            DestroyWindow(w);
            return w;
        }();
        // Now and then a window whose thread takes no messages: each code
        // for it costs the delivery's bound and is answered 0x0F.
        const HWND pick[] = {window_, gone, nullptr, window_, hung_.window()};
        const unsigned n = gen_.Chance(4) ? 4 : gen_.Next(4);
        V_I4(&v) = gen_.Chance(85) ? static_cast<LONG>(reinterpret_cast<LONG_PTR>(pick[n])) : gen_.Number();
    } else if (m.id == kDispidonlyWorkwithCurrentWindow) {
        // Keystrokes go to whatever has the focus: rarely.
        V_VT(&v) = VT_BOOL;
        V_BOOL(&v) = gen_.Chance(85) ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (m.id == kDispidScannerSuffixChar) {
        static const SHORT suffixes[] = {3, 13, 10, 0, 'A', -1, 255, 256};
        V_VT(&v) = VT_I2;
        V_I2(&v) = suffixes[gen_.Next(sizeof suffixes / sizeof suffixes[0])];
    } else if (m.id == kDispidtimeout && gen_.Chance(70)) {
        V_VT(&v) = VT_I2;
        V_I2(&v) = static_cast<SHORT>(gen_.Next(30)) - 5;
    } else {
        gen_.Typed(m.type, v, keep);
    }
    Put(m.id, v);
    if (m.id == kDispidScannerSuffixChar && peer_) peer_->SetSuffix(GetNumber(kDispidScannerSuffixChar) & 0xFF);
}

// Called from inside a box of the control on this thread, as a host button
// would be: a close, an open and a start of the scan task among them (the
// device an operation works on stays alive until it returns). The reads wait
// on the line and are left out.
void Host::Reenter() {
    if (!ctrl_ || depth_ == 0 || depth_ > 3) return;
    ++reentered;
    if (reent_.Chance(4)) {
        // The host lets its last reference go from inside the box, and makes a new control.
        Release();
        Create();
        ++recreated;
        return;
    }
    static const DISPID any[] = {kDispidWrite, kDispidCloseDevice, kDispidWriteln, kDispidFormFeed, kDispidOpenDevice,
                                 kDispidFlush, kDispidSendByte, kDispidSendEscCommand, kDispidClearCOMError,
                                 kDispidSetCOMSettings, kDispidDeactivateScanTask, kDispidActivateScanTask,
                                 kDispidwithACKN, kDispiddefaultComSettings, kDispidScannerSuffixChar,
                                 kDispiddebugModus, kDispidThreadId, kDispidscanWindowHandle, kDispidtimeout,
                                 kDispidchartooem, kDispidAboutBox};
    const DISPID id = any[reent_.Next(sizeof any / sizeof any[0])];
    const Member* m = FindMember(id);
    Args a;
    a.v.resize(m->property ? reent_.Next(2) : m->params.size());
    for (size_t i = 0; i < a.v.size(); ++i) reent_.Typed(m->property ? m->type : m->params[i], a.v[i], a);
    if (id == kDispidOpenDevice) {
        VariantClear(&a.v[0]);
        V_VT(&a.v[0]) = VT_BSTR;
        V_BSTR(&a.v[0]) = reent_.Bstr(L"COM99");
    }
    VARIANT result;
    VariantInit(&result);
    const bool put = m->property && !a.v.empty();
    if (put) {
        static const DISPID put_id = DISPID_PROPERTYPUT;
        Invoke(id, DISPATCH_PROPERTYPUT, a, 1, &put_id, nullptr, kNoIid, "re-entered put");
    } else {
        Invoke(id, m->property ? DISPATCH_PROPERTYGET : DISPATCH_METHOD, a, 0, nullptr, &result, kNoIid, "re-entered");
    }
    if (id == kDispidDeactivateScanTask && V_VT(&a.v[0]) == VT_I4 && V_I4(&a.v[0]) == 0) task_ = false;
    VariantClear(&result);
}

LRESULT CALLBACK Host::WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == kReenter && g_host) {
        g_host->Reenter();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

// The watcher's answer: each box is pressed at a moment of its own, mostly
// soon, now and then after seconds; a box of the host's thread may first get
// a call into the control from inside it.
int Host::Answer(const BoxRecord& box) {
    std::lock_guard<std::mutex> lock(due_mutex_);
    const DWORD now = GetTickCount();
    auto it = due_.find(box.hwnd);
    if (it == due_.end()) {
        // Drawn from the seed, the box's texts and how many alike came before.
        const std::string kind = box.caption + '\n' + box.Text();
        std::uint32_t key = 2166136261u;  // FNV-1a: the same on every run
        for (const char c : kind) key = (key ^ static_cast<unsigned char>(c)) * 16777619u;
        std::mt19937 pick(g_settings.seed + 2 + key + 7919u * alike_[kind]++);
        const unsigned roll = pick() % 100;
        DWORD delay = roll < 70 ? pick() % 30 : roll < 96 ? 30 + pick() % 500 : 500 + pick() % 2500;
        if (box.thread == thread_ && pick() % 100 < 35) {
            PostMessageA(window_, kReenter, 0, 0);
            delay += 60;
        }
        it = due_.emplace(box.hwnd, now + delay).first;
    }
    if (static_cast<LONG>(now - it->second) < 0) return 0;
    due_.erase(it);
    ++boxes;
    Progress();
    return PressOk(box);
}

void Host::Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void Host::Run() {
    g_host = this;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &Host::WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "OrvantaHostFuzz";
    RegisterClassA(&wc);
    window_ = CreateWindowA(wc.lpszClassName, "host fuzz", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                            wc.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);

    char dir[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof dir, dir);
    scratch_ = std::string(dir) + "\\hostfuzz-device.bin";
    sendable_ = std::string(dir) + "\\hostfuzz-send.bin";
    {
        framework::UniqueFile f(CreateFileA(sendable_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        std::string bytes(gen_.Next(20000) + 1, '\0');
        for (char& c : bytes) c = static_cast<char>(gen_.Next(256));
        DWORD written = 0;
        WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    framework::UniqueFile(CreateFileA(scratch_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));

    // Read before the handles are counted; the library is let go again.
    if (Members().size() != static_cast<size_t>(kMemberCount)) {
        Fail("the registered type library does not declare the members");
        return;
    }
    DialogWatcher watcher;
    watcher.SetAnswer([this](const BoxRecord& box) { return Answer(box); });
    // Every step counts for the watchdog from here to the end.
    Progress();
    g_in_call = true;

    // What the process holds with the control used once and released: Wine
    // loads and starts what it needs on first use and keeps it.
    Create();
    if (!g_settings.own_port.empty()) {
        CallText(kDispidOpenDevice, std::wstring(g_settings.own_port.begin(), g_settings.own_port.end()));
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_BOOL;
        V_BOOL(&v) = VARIANT_TRUE;
        Put(kDispiddebugModus, v);
        CallText(kDispidWrite, L"warm");
        V_BOOL(&v) = VARIANT_FALSE;
        Put(kDispiddebugModus, v);
        Args a;
        Call(kDispidActivateScanTask, a);
        CallNumber(kDispidDeactivateScanTask, 0);
    }
    CallText(kDispidOpenDevice, L"COM99");
    Release();
    for (Elapsed e; e.ms() < 500;) {
        Pump();
        Sleep(10);
    }
    Progress();
    const ULONG handles_before = HandleCount();
    const std::vector<HandleEntry> table_before = OwnHandles();
    const int threads_before = ThreadCount();

    if (!g_settings.peer_port.empty()) {
        peer_ = std::make_unique<CableEnd>(g_settings.peer_port, g_settings.seed + 1);
        peer_->Start();
    }
    Create();
    const DWORD end = GetTickCount() + static_cast<DWORD>(g_settings.seconds) * 1000;
    for (; static_cast<LONG>(GetTickCount() - end) < 0 && failures.size() < 20 &&
           (g_settings.steps == 0 || steps < g_settings.steps);
         ++steps) {
        Progress();
        const unsigned roll = gen_.Next(100);
        if (roll < 40) RandomInvoke();
        else if (roll < 46) OpenSomething();
        else if (roll < 49) { Args a; Call(kDispidCloseDevice, a); }
        else if (roll < 56) ScanTaskStep();
        else if (roll < 64) BlockingRead();
        else if (roll < 72) LineStep();
        else if (roll < 77) FileStep();
        else if (roll < 85) PropertyStep();
        else if (roll < 88) SinkStep();
        else if (roll < 92) RandomNames();
        else if (roll < 93) {
            Release();
            // Hosts free unused libraries now and then: the module may go and come back.
            if (gen_.Chance(50)) {
                Step("free unused libraries");
                CoFreeUnusedLibrariesEx(0, 0);
                if (!GetModuleHandleA("ORVANTA.OCX")) ++unloads;
            }
            Create();
            ++recreated;
        }
        else if (roll < 94 && gen_.Chance(20)) { Args a; Call(kDispidAboutBox, a); }
        else { CallText(gen_.Chance(50) ? kDispidWrite : kDispidWriteln, gen_.Text()); }
        Step("pump");
        Pump();
    }
    Release();
    Step("the peer stops");
    if (peer_) peer_->Stop();
    Say("host fuzz: %ld steps (ORVANTA_HOST_FUZZ_STEPS=%ld repeats them)", steps, steps);
    Say("host fuzz: %d calls, %d boxes answered, %d calls from inside boxes, %d reads fed, "
        "%d opens of %s, %d scan tasks, %d new controls, the peer away %d times, %d sinks, %d events",
        calls, boxes.load(), reentered, fed, opens_real, g_settings.own_port.empty() ? "no cable" : g_settings.own_port.c_str(),
        tasks, recreated, peer_ ? peer_->Aways() : 0, sinks, g_events);
    std::string tally;
    for (const auto& a : answers) {
        char item[32];
        std::snprintf(item, sizeof item, " %08lX:%d", static_cast<unsigned long>(a.first), a.second);
        tally += item;
    }
    Say("host fuzz: answers%s", tally.c_str());
    Say("host fuzz: longest call without a box answered: %lu ms, %s", slowest_ms, slowest.c_str());
    peer_.reset();
    Progress();

    // Everything the control made is gone once it is released, unloads of
    // the module included. No thread is ended by force, so none leaves its
    // queue behind: the hung window is allowed nothing.
    ULONG handles_after = 0;
    int threads_after = 0;
    Elapsed settle;
    const bool settled = CountsComeBack(handles_before, threads_before, 5000);
    handles_after = HandleCount();
    threads_after = ThreadCount();
    g_in_call = false;
    Say("host fuzz: handles %lu before, %lu after (%d unloads of the module); threads %d before, %d after "
        "(settled in %lu ms)",
        handles_before, handles_after, unloads, threads_before, threads_after, settle.ms());
    if (!settled && threads_after > threads_before)
        Fail("threads left behind: " + std::to_string(threads_after - threads_before));
    if (!settled && handles_after > handles_before)
        Fail("handles left behind: " + std::to_string(handles_after - handles_before) + " (" +
             std::to_string(unloads) + " unloads of the module): " + Describe(NewHandles(table_before)));
    DestroyWindow(window_);
    g_host = nullptr;
}

TEST(HostFuzz, RandomHost) {
    g_host_thread = GetCurrentThreadId();
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    {
        Watchdog watchdog;
        Host host;
        host.Run();
        for (const std::string& f : host.failures) ADD_FAILURE() << f;
    }
    OleUninitialize();
}

}  // namespace
}  // namespace orvanta::testing

int main(int argc, char** argv) {
    using orvanta::testing::g_settings;
    ::testing::InitGoogleTest(&argc, argv);
    const char* seed = std::getenv("ORVANTA_HOST_FUZZ_SEED");
    g_settings.seed = seed && *seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 0))
                                    : static_cast<unsigned>(GetTickCount() ^ (GetCurrentProcessId() << 16) ^ time(nullptr));
    const char* seconds = std::getenv("ORVANTA_HOST_FUZZ_SECONDS");
    if (seconds && *seconds) g_settings.seconds = std::atoi(seconds);
    const char* steps = std::getenv("ORVANTA_HOST_FUZZ_STEPS");
    if (steps && *steps) g_settings.steps = std::atol(steps);
    const char* trace = std::getenv("ORVANTA_HOST_FUZZ_TRACE");
    g_settings.trace = trace && *trace == '1';
    orvanta::testing::PeerPorts(g_settings.own_port, g_settings.peer_port);
    char bound[64];
    if (g_settings.steps) std::snprintf(bound, sizeof bound, "%ld steps", g_settings.steps);
    else std::snprintf(bound, sizeof bound, "%d s", g_settings.seconds);
    std::printf("host fuzz: seed %u (ORVANTA_HOST_FUZZ_SEED=%u repeats it), %s, cable %s\n", g_settings.seed,
                g_settings.seed, bound,
                g_settings.own_port.empty() ? "none" : (g_settings.own_port + " <-> " + g_settings.peer_port).c_str());
    std::fflush(stdout);
    // A crash must end the run with a report, not wait on a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(&orvanta::testing::OnCrash);
    return RUN_ALL_TESTS();
}
