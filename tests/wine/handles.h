// How many kernel handles this process holds. Wine 8's GetProcessHandleCount
// answers 0 however many there are, so a comparison of two of its answers
// proves nothing there; the system's handle table is counted instead.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "testkit/peer.h"

namespace orvanta::testing {

struct HandleEntry {
    USHORT value;
    BYTE type;
};

// This process's entries of the system handle table.
inline std::vector<HandleEntry> OwnHandles() {
    struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO
        ULONG pid;
        BYTE type, flags;
        USHORT value;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<HandleEntry> own;
    if (!query) return own;
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    for (int i = 0; i < 8; ++i) {
        const LONG status = query(16 /* SystemHandleInformation */, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) break;
        if (status != static_cast<LONG>(0xC0000004)) return own;  // not STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    const ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    for (ULONG i = 0; i < count; ++i)
        if (entries[i].pid == GetCurrentProcessId()) own.push_back({entries[i].value, entries[i].type});
    return own;
}

inline ULONG HandleCount() {
    DWORD simple = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &simple) && simple) return simple;
    return static_cast<ULONG>(OwnHandles().size());
}

struct NewHandle {
    USHORT value;
    std::string kind, name;  // kind is empty for objects Wine gives no type name
};

// The handles held now that `before` did not hold, with their kinds and
// names: a leak named by what it is.
inline std::vector<NewHandle> NewHandles(const std::vector<HandleEntry>& before) {
    using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    const auto text = [](HANDLE h, ULONG kind) {  // both answers start with a UNICODE_STRING
        alignas(8) BYTE info[1024] = {};
        struct Counted {
            USHORT length, maximum;
            PWSTR buffer;
        };
        std::string out;
        if (!query || query(h, kind, info, sizeof info, nullptr) != 0) return out;
        const auto* name = reinterpret_cast<const Counted*>(info);
        for (USHORT i = 0; name->buffer && i < name->length / 2; ++i)
            out += name->buffer[i] < 128 ? static_cast<char>(name->buffer[i]) : '?';
        return out;
    };
    std::vector<NewHandle> found;
    for (const HandleEntry& now : OwnHandles()) {
        if (std::any_of(before.begin(), before.end(), [&](const HandleEntry& b) { return b.value == now.value; }))
            continue;
        const HANDLE h = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(now.value));
        found.push_back({now.value, text(h, 2 /* ObjectTypeInformation */), text(h, 1 /* ObjectNameInformation */)});
    }
    return found;
}

inline std::string Describe(const std::vector<NewHandle>& handles) {
    std::string out;
    for (const NewHandle& h : handles) {
        char head[24];
        std::snprintf(head, sizeof head, "%s%#x ", out.empty() ? "" : ", ", h.value);
        out += head + (h.kind.empty() ? std::string("(no type name)") : h.kind);
        if (!h.name.empty()) out += " " + h.name;
    }
    return out;
}

// Where each thread of this process began: "id@module+offset". A thread
// left behind is then named by the code that started it.
inline std::string ThreadStarts() {
    using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
    framework::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    std::string out;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
        PVOID start = nullptr;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (thread && query) query(thread, 9 /* ThreadQuerySetWin32StartAddress */, &start, sizeof start, nullptr);
        if (thread) CloseHandle(thread);
        char name[MAX_PATH] = "?";
        HMODULE module = nullptr;
        if (start && GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                            GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                        static_cast<LPCSTR>(start), &module))
            GetModuleFileNameA(module, name, sizeof name);
        const char* base = std::max(std::strrchr(name, '\\'), std::strrchr(name, '/'));
        char line[MAX_PATH + 48];
        std::snprintf(line, sizeof line, "%s%lu@%s+%#llx", out.empty() ? "" : " ",
                      static_cast<unsigned long>(entry.th32ThreadID), base ? base + 1 : name,
                      static_cast<unsigned long long>(static_cast<const char*>(start) -
                                                      reinterpret_cast<const char*>(module)));
        out += line;
    }
    return out;
}

// Handles and threads of this process come back to `handles`/`threads`
// within `ms`, taking sent messages in meanwhile. A thread that is still
// ending after a join of the system's own (a pool worker going idle) is not
// a leak; a count that stays up is.
inline bool CountsComeBack(ULONG handles, int threads, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        if (HandleCount() <= handles && ThreadCount() <= threads) return true;
        if (GetTickCount() - start > ms) return false;
        Sleep(50);
    }
}

// Expects `run` to leave no handle and no thread of this process behind.
// `warm_up` goes first, so what the system makes on first use is counted
// before and after alike; then both counts have `ms` to come back. A failure
// names the handles and threads that stayed. A fatal failure in either ends
// the check: the test has failed already.
template <typename WarmUp, typename Run>
void ExpectNothingLeftBehind(WarmUp warm_up, Run run, DWORD ms = kBound) {
    warm_up();
    if (::testing::Test::HasFatalFailure()) return;
    // The thread walks first: what they make on first use is then counted
    // before as well.
    const std::string threads_at_start = ThreadStarts();
    const int threads_before = ThreadCount();
    const std::vector<HandleEntry> table_before = OwnHandles();
    const ULONG handles_before = HandleCount();
    run();
    if (::testing::Test::HasFatalFailure()) return;
    const ULONG handles_then = HandleCount();
    const std::string threads_then = ThreadStarts();
    EXPECT_TRUE(CountsComeBack(handles_before, threads_before, ms))
        << "handles " << HandleCount() << " (" << handles_before << " before, " << handles_then
        << " at the end), threads " << ThreadCount() << " (" << threads_before << " before)\nthreads before: "
        << threads_at_start << "\nthreads at the end: " << threads_then << "\nthreads now: " << ThreadStarts()
        << "\nhandles left: " << Describe(NewHandles(table_before));
}

// `cycle` run `warm_ups` times, then `rounds` times more, leaves nothing
// behind; the first fatal failure ends the rounds.
template <typename Cycle>
void ExpectCyclesLeaveNothing(int warm_ups, int rounds, Cycle cycle, DWORD ms = kBound) {
    const auto repeat = [&](int times) {
        for (int i = 0; i < times && !::testing::Test::HasFatalFailure(); ++i) cycle();
    };
    ExpectNothingLeftBehind([&] { repeat(warm_ups); }, [&] { repeat(rounds); }, ms);
}

}  // namespace orvanta::testing
