// The read half of the Win32 serial device: reads, awaited or stopped, and
// the wait for the event character over the bytes read ahead.
#include <algorithm>
#include <cstring>

#include "windows/overlapped.h"
#include "windows/win32_ports.h"
#include "windows/win32_threads.h"

namespace orvanta::windows {

DWORD Win32Device::InputQueued() {
    DWORD mask = 0;
    COMSTAT stat = {};
    if (!ClearCommError(file_.get(), &mask, &stat)) {
        NoteError(GetLastError());
        return 0;
    }
    // Taken from the port by us, still owed to the caller's ClearErrors.
    if (mask) held_errors_.fetch_or(static_cast<std::uint32_t>(mask));
    return stat.cbInQue;
}

Win32Device::ReadEnd Win32Device::ReadOnce(DWORD count, HANDLE stop_event, DWORD& got) {
    got = 0;
    if (read_broken_.load()) {
        SetLastError(ERROR_BUSY);  // the record still belongs to a read that never ended
        return ReadEnd::Failed;
    }
    count = std::min(count, kChunk);
    Prepare(read_ov_, read_offset_);
    if (ReadFile(file_.get(), chunk_.get(), count, nullptr, &read_ov_)) {
        GetOverlappedResult(file_.get(), &read_ov_, &got, FALSE);
        read_offset_ += got;
        return ReadEnd::Done;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        NoteError(GetLastError());
        return ReadEnd::Failed;
    }
    read_outstanding_.store(true);

    const HANDLE handles[2] = {read_event_.get(), stop_event};
    const DWORD woke = WaitForMultipleObjects(stop_event ? 2 : 1, handles, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0) {
        // Manual-reset and signalled: this wait returns at once.
        const BOOL ok = GetOverlappedResult(file_.get(), &read_ov_, &got, TRUE);
        read_outstanding_.store(false);
        read_offset_ += got;
        if (ok) return ReadEnd::Done;
        NoteError(GetLastError());  // ended by the device: no cancel of ours
        return ReadEnd::Failed;
    }
    // Stopped, or the wait broke: the buffer must be ours again before we go.
    const DWORD error = GetLastError();
    const bool ended = CancelRead();
    if (ended) {
        GetOverlappedResult(file_.get(), &read_ov_, &got, FALSE);
        read_offset_ += got;
    }
    if (ended && woke == WAIT_OBJECT_0 + 1) return ReadEnd::Stopped;
    SetLastError(ended ? error : ERROR_BUSY);
    return ReadEnd::Failed;
}

bool Win32Device::CancelRead() {
    if (!read_outstanding_.load()) return true;
    bool ended = false;
    CancelAndAwait(file_.get(), read_ov_, kCancelRounds, &ended);
    if (ended) read_outstanding_.store(false);
    else read_broken_.store(true);
    return ended;
}

bool Win32Device::WaitEventChar(interfaces::StopSignal* stop) {
    std::uint32_t none = 0;
    return WaitEventCharThenRead(0, nullptr, 0, none, stop);
}

bool Win32Device::WaitEventCharThenRead(char last, void* buffer, std::uint32_t count, std::uint32_t& taken,
                                        interfaces::StopSignal* stop) {
    taken = 0;
    char wanted = 0;
    const int applied = applied_event_char_.load();
    if (applied >= 0) {
        wanted = static_cast<char>(applied);
    } else {
        DCB dcb;
        if (!ReadDcb(dcb)) return false;
        wanted = dcb.EvtChar;
    }
    const unsigned char target = static_cast<unsigned char>(wanted);
    const HANDLE stop_event = StopEventOf(stop);

    for (;;) {
        // The signal's flag: no call to the system per round. The wait and
        // the take are one search, so the bytes are looked at once.
        const bool stopped = stop && stop->IsSet();
        std::size_t got_now = 0;
        if (look_ahead_.FindNew(target, static_cast<unsigned char>(last), static_cast<unsigned char*>(buffer),
                                stopped ? 0 : count, got_now)) {
            taken = static_cast<std::uint32_t>(got_now);
            return true;
        }
        if (stopped) return false;

        // Take what has come; with nothing there, one byte pends until data arrives.
        DWORD want = InputQueued();
        want = std::min<DWORD>(std::max<DWORD>(want, 1), kChunk);
        DWORD got = 0;
        ReadEnd end = ReadOnce(want, stop_event, got);
        // Past the bound the oldest bytes go, as on a driver's full queue;
        // ClearErrors reports it as an overrun.
        if (look_ahead_.Append(chunk_.get(), got)) held_errors_.fetch_or(CE_RXOVER);
        // Windows ends a timed-out read with nothing read, Wine with ERROR_TIMEOUT.
        if (end == ReadEnd::Failed && is_comm_ && GetLastError() == ERROR_TIMEOUT) end = ReadEnd::Done;
        if (end != ReadEnd::Done) return false;
        if (got == 0) {
            if (!is_comm_) return false;  // the end of a plain file: nothing more will come
            // A comm port whose time-outs someone changed under us: nothing
            // yet, not the end. Paced, so such a port cannot make us spin.
            if (stop_event ? WaitForSingleObject(stop_event, kEmptyReadPauseMs) == WAIT_OBJECT_0
                           : (::Sleep(kEmptyReadPauseMs), false))
                return false;
        }
    }
}

std::uint32_t Win32Device::Read(void* buffer, std::uint32_t count, interfaces::StopSignal* stop) {
    if (count == 0) return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    auto done = static_cast<std::uint32_t>(look_ahead_.Take(out, count));
    const HANDLE stop_event = StopEventOf(stop);
    while (done < count) {
        DWORD got = 0;
        const ReadEnd end = ReadOnce(count - done, stop_event, got);
        std::memcpy(out + done, chunk_.get(), got);
        done += got;
        if (end != ReadEnd::Done || got == 0) break;
    }
    return done;
}

std::uint32_t Win32Device::ReadThrough(char last, void* buffer, std::uint32_t count,
                                       interfaces::StopSignal* stop) {
    if (count == 0) return 0;
    if (look_ahead_.Empty()) return Read(buffer, 1, stop);
    return static_cast<std::uint32_t>(
        look_ahead_.TakeThrough(static_cast<unsigned char>(last), static_cast<unsigned char*>(buffer), count));
}

}  // namespace orvanta::windows
