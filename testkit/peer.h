// The far end of the virtual null-modem cable, on plain Win32 calls so it
// shares no code with the control's port, and the waits tests use with it.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "framework/handle.h"
#include "windows/win32_threads.h"

namespace orvanta::testing {

constexpr DWORD kBound = 5000;  // what should happen soon happens within this
// Only a hang takes this long: a loaded machine can make a long read ten
// times slower than an idle one, and that is no fault.
constexpr DWORD kHangBound = 60000;

struct Elapsed {
    DWORD start = GetTickCount();
    DWORD ms() const { return GetTickCount() - start; }
};

// A call that never returns blocks objects nothing else can free: the run
// ends with a message instead of hanging until the harness's time-out.
template <typename Body>
auto Bounded(const char* what, Body body) -> decltype(body()) {
    std::atomic<bool> done{false};
    decltype(body()) result{};
    std::thread worker([&] { result = body(); done = true; });
    for (Elapsed e; !done && e.ms() < kHangBound;) Sleep(2);
    if (!done) {
        std::printf("FATAL: %s did not return within %lu ms\n", what, kHangBound);
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    worker.join();
    return result;
}

// Sets `stop` from another thread after `ms`, unless it goes out of scope first.
class StopAfter {
public:
    StopAfter(interfaces::StopSignal& stop, DWORD ms)
        : thread_([this, &stop, ms] { if (!gone_.WaitFor(ms)) stop.Set(); }) {}
    ~StopAfter() { gone_.Set(); thread_.join(); }

private:
    windows::Win32StopSignal gone_;
    std::thread thread_;
};

// The threads of this process now.
inline int ThreadCount() {
    framework::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    return count;
}

inline bool OnWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// The two ports of ORVANTA_PEER_PORTS ("COM5:COM6"): the control's and the
// peer's. False when the run provides no cable.
inline bool PeerPorts(std::string& own, std::string& peer) {
    const char* pair = std::getenv("ORVANTA_PEER_PORTS");
    const char* colon = pair ? std::strchr(pair, ':') : nullptr;
    if (!colon) return false;
    own.assign(pair, colon);
    peer.assign(colon + 1);
    return true;
}

class Peer {
public:
    explicit Peer(const std::string& name)
        : file_(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr)),
          read_event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          write_event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    bool IsOpen() const { return file_ && read_event_ && write_event_; }
    // All of `bytes` within `ms`; what is still unsent then is cancelled.
    bool Send(const std::string& bytes, DWORD ms = kBound) {
        OVERLAPPED ov = {};
        ov.hEvent = write_event_.get();
        const BOOL started = WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                       nullptr, &ov);
        return Finish(started, ov, ms) == bytes.size();
    }
    // What of `count` bytes arrives within `ms`.
    std::string Receive(size_t count, DWORD ms) {
        std::string bytes(count, '\0');
        OVERLAPPED ov = {};
        ov.hEvent = read_event_.get();
        const BOOL started = ReadFile(file_.get(), &bytes[0], static_cast<DWORD>(count), nullptr, &ov);
        bytes.resize(Finish(started, ov, ms));
        return bytes;
    }
    // Exactly `count` bytes, or what came before `ms` passed.
    std::string ReceiveAll(size_t count, DWORD ms = kBound) {
        std::string all;
        for (Elapsed e; all.size() < count && e.ms() < ms;)
            all += Receive(count - all.size(), ms - e.ms() > 50 ? 50 : ms - e.ms());
        return all;
    }
    // Everything still in the cable, once it has been quiet for `quiet_ms`.
    std::string Drain(DWORD quiet_ms = 200) {
        std::string all, piece;
        while (!(piece = Receive(65536, quiet_ms)).empty()) all += piece;
        return all;
    }

private:
    DWORD Finish(BOOL started, OVERLAPPED& ov, DWORD ms) {
        if (!started && GetLastError() != ERROR_IO_PENDING) return 0;
        // Repeated: Wine can miss a cancel that meets the operation mid-way.
        for (DWORD wait = ms; WaitForSingleObject(ov.hEvent, wait) != WAIT_OBJECT_0; wait = 50)
            CancelIoEx(file_.get(), &ov);
        DWORD count = 0;
        GetOverlappedResult(file_.get(), &ov, &count, FALSE);
        return count;
    }
    // Apart, so one thread can send while another receives.
    framework::UniqueFile file_;
    framework::UniqueEvent read_event_, write_event_;
};

// Handles window messages (a worker's SendMessage to our windows among them)
// until `done` holds or `ms` pass; the last answer of `done`.
template <typename Pred>
bool PumpUntil(Pred done, DWORD ms = kBound) {
    for (Elapsed e;;) {
        if (done()) return true;
        if (e.ms() >= ms) return done();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

}  // namespace orvanta::testing
