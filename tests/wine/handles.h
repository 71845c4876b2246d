// How many kernel handles this process holds. Wine 8's GetProcessHandleCount
// answers 0 however many there are, so a comparison of two of its answers
// proves nothing there; the system's handle table is counted instead.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

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

}  // namespace orvanta::testing
