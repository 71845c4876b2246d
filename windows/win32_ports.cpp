#include "windows/win32_ports.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "windows/device_loss.h"
#include "windows/overlapped.h"
#include "windows/win32_threads.h"

namespace orvanta::windows {

namespace {

// A caller's name as written when it came in Unicode, else the 8-bit text;
// unshared, no security attributes.
HANDLE OpenByName(const char* name, const char16_t* wide, DWORD access, DWORD disposition, DWORD flags) {
    static_assert(sizeof(char16_t) == sizeof(wchar_t), "UTF-16 is the wide API's text");
    if (wide && *wide)
        return CreateFileW(reinterpret_cast<const wchar_t*>(wide), access, 0, nullptr, disposition, flags, nullptr);
    return CreateFileA(name, access, 0, nullptr, disposition, flags, nullptr);
}

}  // namespace

// ---------------------------------------------------------------------------

Win32Device::Win32Device(framework::UniqueFile file, framework::UniqueEvent read_event,
                         framework::UniqueEvent write_event)
    : file_(std::move(file)), write_event_(std::move(write_event)), read_event_(std::move(read_event)) {
    read_ov_.hEvent = read_event_.get();
    write_ov_.hEvent = write_event_.get();
    // A comm port keeps the read time-outs of whoever used it last; with,
    // say, ReadIntervalTimeout = MAXDWORD every read would end at once with
    // nothing. Reads here wait for their bytes (and a stop), so the control
    // decides: no read time-outs. The write time-outs stay as they are.
    COMMTIMEOUTS timeouts = {};
    is_comm_ = GetCommTimeouts(file_.get(), &timeouts) != FALSE;
    if (is_comm_) {
        timeouts.ReadIntervalTimeout = 0;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = 0;
        SetCommTimeouts(file_.get(), &timeouts);
    }
}

Win32Device::~Win32Device() { Win32Device::Close(); }

void Win32Device::Close() {
    if (closed_) return;
    closed_ = true;
    // Writes and reads are awaited before they return, unless their thread
    // was ended inside one. What is still running is cancelled; an
    // operation the driver never ended keeps its record, buffer and event:
    // the driver may still write into the one and signal the other.
    if (!CancelWrite()) {
        static_cast<void>(write_record_.release());  // left to the driver
        static_cast<void>(write_event_.release());
    }
    if (!CancelRead()) {
        static_cast<void>(read_record_.release());  // left to the driver
        static_cast<void>(chunk_.release());
        static_cast<void>(read_event_.release());
    }
    file_.reset();  // later calls fail on the closed handle
}

void Win32Device::NoteError(DWORD error, bool cancel_asked) {
    std::uint32_t none = 0;
    // Only a comm port comes back; a plain file's errors are its own.
    if (is_comm_ && !closed_ && MeansDeviceGone(error, cancel_asked)) lost_error_.compare_exchange_strong(none, error);
    SetLastError(error);
}

void Win32Device::FinishWrite(DWORD count) {
    write_outstanding_ = false;
    write_offset_ += count;
}

interfaces::WriteResult Win32Device::Write(const void* data, std::uint32_t length, std::uint32_t limit_ms,
                                           interfaces::StopSignal* stop) {
    interfaces::WriteResult result;
    if (write_outstanding_) {
        result.start_code = ERROR_BUSY;  // the record still belongs to a write never ended
        result.stuck = true;
        return result;
    }
    Prepare(write_ov_, write_offset_);
    // The count WriteFile reports for an overlapped handle is unreliable.
    const BOOL done = WriteFile(file_.get(), data, length, nullptr, &write_ov_);
    result.start_code = done ? ERROR_SUCCESS : GetLastError();
    if (done) {
        DWORD count = 0;
        GetOverlappedResult(file_.get(), &write_ov_, &count, FALSE);
        FinishWrite(count);
        result.end = interfaces::WriteEnd::kWritten;
        result.written = count;
        return result;
    }
    if (result.start_code != ERROR_IO_PENDING) {
        NoteError(result.start_code);
        return result;
    }
    write_outstanding_ = true;
    result.end = AwaitWrite(limit_ms, result.written, stop);
    // Ended before the record serves another write.
    if (result.end != interfaces::WriteEnd::kWritten && !CancelWrite()) result.stuck = true;
    return result;
}

interfaces::WriteEnd Win32Device::AwaitWrite(std::uint32_t limit_ms, std::uint32_t& written,
                                             interfaces::StopSignal* stop) {
    written = 0;
    // Nothing would tell us when it ends; the cancel frees the record.
    if (!write_event_) return interfaces::WriteEnd::kWaitFailed;

    // Wine reports a plain file's overlapped write as pending although the
    // record says it has ended already: take the result without a wait, as
    // GetOverlappedResult does, and save a server round trip per write. The
    // event's signal stays; a later wait finds the record pending and waits
    // again (the stale signal below).
    if (HasOverlappedIoCompleted(&write_ov_)) return TakeWriteResult(written);

    const HANDLE handles[2] = {write_event_.get(), StopEventOf(stop)};
    const DWORD count = handles[1] ? 2 : 1;
    const DWORD started = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - started;
        const DWORD wait_ms = elapsed >= limit_ms ? 0 : limit_ms - elapsed;
        const DWORD woke = WaitForMultipleObjects(count, handles, FALSE, wait_ms);
        if (woke == WAIT_OBJECT_0 + 1) return interfaces::WriteEnd::kStopped;
        if (woke == WAIT_TIMEOUT) return interfaces::WriteEnd::kTimedOut;
        if (woke != WAIT_OBJECT_0) return interfaces::WriteEnd::kWaitFailed;

        // The event is auto-reset and the wait took its signal: ask the
        // record without waiting on the event again.
        if (!HasOverlappedIoCompleted(&write_ov_)) continue;  // a stale signal
        return TakeWriteResult(written);
    }
}

interfaces::WriteEnd Win32Device::TakeWriteResult(std::uint32_t& written) {
    DWORD moved = 0;
    const BOOL ok = GetOverlappedResult(file_.get(), &write_ov_, &moved, FALSE);
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    FinishWrite(moved);
    written = moved;
    if (ok) return interfaces::WriteEnd::kWritten;
    NoteError(error);  // ended by the device: no cancel of ours
    return interfaces::WriteEnd::kFailed;
}

bool Win32Device::CancelWrite() {
    if (!write_outstanding_) return true;
    bool ended = false;
    const DWORD count = CancelAndAwait(file_.get(), write_ov_, kCancelRounds, &ended);
    if (ended) FinishWrite(count);
    return ended;
}

bool Win32Device::Flush() {
    if (FlushFileBuffers(file_.get())) return true;
    NoteError(GetLastError());
    return false;
}

// ---------------------------------------------------------------------------

bool Win32Device::ReadDcb(DCB& dcb) {
    dcb = DCB{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(file_.get(), &dcb)) return true;
    NoteError(GetLastError());
    return false;
}

bool Win32Device::ReadLineSettings(interfaces::LineSettings& settings) {
    DCB dcb;
    if (!ReadDcb(dcb)) return false;
    const int applied = applied_event_char_.load();
    settings.baud_rate = dcb.BaudRate;
    settings.data_bits = dcb.ByteSize;
    settings.parity = dcb.Parity;
    settings.stop_bits = dcb.StopBits;
    settings.event_char = applied >= 0 ? static_cast<char>(applied) : dcb.EvtChar;
    return true;
}

bool Win32Device::ApplyLineSettings(const interfaces::LineChange& change) {
    // Read, changed and written whole: every field the mode does not name
    // keeps its value.
    DCB dcb;
    if (!ReadDcb(dcb)) {
        dcb = DCB{};
        dcb.DCBlength = sizeof dcb;
        dcb.fBinary = 1;  // Windows supports no other mode
    }
    if (!BuildCommDCBA(change.mode.c_str(), &dcb)) return false;
    dcb.EvtChar = change.event_char;
    if (!SetCommState(file_.get(), &dcb)) {
        NoteError(GetLastError());
        return false;
    }
    applied_event_char_.store(static_cast<unsigned char>(dcb.EvtChar));
    return true;
}

bool Win32Device::SetSignal(interfaces::LineSignal signal) {
    using S = interfaces::LineSignal;
    DWORD function = 0;
    switch (signal) {
    case S::kSetRts: function = SETRTS; break;
    case S::kClearRts: function = CLRRTS; break;
    case S::kSetDtr: function = SETDTR; break;
    case S::kClearDtr: function = CLRDTR; break;
    case S::kSetXoff: function = SETXOFF; break;
    case S::kSetXon: function = SETXON; break;
    case S::kSetBreak: function = SETBREAK; break;
    case S::kClearBreak: function = CLRBREAK; break;
    }
    if (!function) return false;
    if (EscapeCommFunction(file_.get(), function)) return true;
    NoteError(GetLastError());
    return false;
}

bool Win32Device::ClearErrors(std::uint32_t& errors) {
    DWORD mask = 0;
    if (!ClearCommError(file_.get(), &mask, nullptr)) {
        NoteError(GetLastError());
        return false;
    }
    errors = static_cast<std::uint32_t>(mask) | held_errors_.exchange(0);
    return true;
}

// ---------------------------------------------------------------------------

void Win32File::Write(const void* data, std::uint32_t length) {
    const auto* next = static_cast<const unsigned char*>(data);
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(file_.get(), next, length, &written, nullptr) || written == 0) return;
        next += written;
        length -= written;
    }
}

int Win32File::Read(void* buffer, std::uint32_t length) {
    DWORD got = 0;
    const DWORD want = length > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : length;
    if (!ReadFile(file_.get(), buffer, want, &got, nullptr)) return -1;
    return static_cast<int>(got);
}

// ---------------------------------------------------------------------------

std::unique_ptr<interfaces::Device> Win32Ports::OpenDevice(const char* name, const char16_t* wide) {
    const HANDLE raw = OpenByName(name, wide, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_SYSTEM);
    // The caller traces the open's error: nothing may run between it and the return.
    if (raw == nullptr || raw == INVALID_HANDLE_VALUE) return nullptr;
    framework::UniqueFile file(raw);
    framework::UniqueEvent read_event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!read_event) return nullptr;  // closing the file keeps this error
    // Without it the device still opens; the control says writes cannot be timed.
    framework::UniqueEvent write_event(CreateEventA(nullptr, FALSE, TRUE, nullptr));
    std::unique_ptr<Win32Device> device(new (std::nothrow) Win32Device(
        std::move(file), std::move(read_event), std::move(write_event)));
    if (!device) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return device;
}

std::unique_ptr<interfaces::File> Win32Ports::CreateNewFile(const char* name) {
    framework::UniqueFile file(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_SYSTEM, nullptr));
    if (!file) return nullptr;
    return std::unique_ptr<interfaces::File>(new (std::nothrow) Win32File(std::move(file)));
}

std::unique_ptr<interfaces::File> Win32Ports::OpenFileForRead(const char* name, const char16_t* wide) {
    framework::UniqueFile file(OpenByName(name, wide, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM));
    if (!file) return nullptr;
    return std::unique_ptr<interfaces::File>(new (std::nothrow) Win32File(std::move(file)));
}

}  // namespace orvanta::windows
