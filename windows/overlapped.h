// The device's overlapped helpers: a write record's preparation, and the
// bounded cancel its write and read sides share.
#pragma once

#include <windows.h>

#include <cstdint>

namespace orvanta::windows {

inline void Prepare(OVERLAPPED& ov, std::uint64_t offset) {
    ov.Internal = 0;
    ov.InternalHigh = 0;
    ov.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
}

inline constexpr DWORD kCancelRetryMs = 50;
inline constexpr DWORD kEmptyReadPauseMs = 10;

// A driver that never ends a cancelled write or read must not hold the caller
// for ever.
inline constexpr int kCancelRounds = 40;  // 2 s

// Cancels the operation of `ov` and returns once it has ended, so the record
// and its buffer are free; the count it moved before the cancel. After
// `rounds` tries (0: no bound) it gives up and says so.
inline DWORD CancelAndAwait(HANDLE file, OVERLAPPED& ov, int rounds = 0, bool* ended = nullptr) {
    // The record, not CancelIoEx's answer, tells whether it has ended: Wine
    // can miss a cancel that meets the operation mid-way (ERROR_NOT_FOUND
    // while it still pends), so the cancel is repeated until it takes.
    for (int round = 0; !HasOverlappedIoCompleted(&ov); ++round) {
        if (rounds && round == rounds) {
            *ended = false;
            return 0;
        }
        CancelIoEx(file, &ov);
        if (ov.hEvent) {
            WaitForSingleObject(ov.hEvent, kCancelRetryMs);
        } else {
            // Without an event a wait on the handle could end for another operation.
            for (DWORD waited = 0; waited < kCancelRetryMs && !HasOverlappedIoCompleted(&ov); ++waited)
                ::Sleep(1);
        }
    }
    if (ended) *ended = true;
    DWORD count = 0;
    GetOverlappedResult(file, &ov, &count, FALSE);
    return count;
}

}  // namespace orvanta::windows
