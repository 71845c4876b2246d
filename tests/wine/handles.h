// How many kernel handles this process holds. Wine 8's GetProcessHandleCount
// answers 0 however many there are, so a comparison of two of its answers
// proves nothing there; the system's handle table is counted instead.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "testkit/peer.h"

namespace orvanta::testing {

inline ULONG HandleCount() {
    DWORD simple = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &simple) && simple) return simple;
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
    if (!query) return 0;
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    for (int i = 0; i < 8; ++i) {
        const LONG status = query(16 /* SystemHandleInformation */, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) break;
        if (status != static_cast<LONG>(0xC0000004)) return 0;  // not STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    const ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    ULONG mine = 0;
    for (ULONG i = 0; i < count; ++i) mine += entries[i].pid == GetCurrentProcessId();
    return mine;
}

// Where each thread of this process began: "id@module+offset". A thread
// left behind is then named by the code that started it.
inline std::string ThreadStarts() {
    using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
    win32::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
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

}  // namespace orvanta::testing
