#include "platform/win32/win32_port.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "platform/win32/win32_threads.h"

namespace orvanta::win32 {

static_assert(sizeof(DCB) <= sizeof(platform::LineSettings::native),
              "LineSettings::native must hold a DCB");

namespace {

void Prepare(OVERLAPPED& ov, std::uint64_t offset) {
    ov.Internal = 0;
    ov.InternalHigh = 0;
    ov.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
}

constexpr DWORD kCancelRetryMs = 50;

// Cancels the operation of `ov` and returns once it has ended, so the record
// and its buffer are free; the count it moved before the cancel.
DWORD CancelAndAwait(HANDLE file, OVERLAPPED& ov) {
    // The record, not CancelIoEx's answer, tells whether it has ended: Wine
    // can miss a cancel that meets the operation mid-way (ERROR_NOT_FOUND
    // while it still pends), so the cancel is repeated until it takes.
    while (!HasOverlappedIoCompleted(&ov)) {
        CancelIoEx(file, &ov);
        if (ov.hEvent) {
            WaitForSingleObject(ov.hEvent, kCancelRetryMs);
        } else {
            // Without an event a wait on the handle could end for another operation.
            for (DWORD waited = 0; waited < kCancelRetryMs && !HasOverlappedIoCompleted(&ov); ++waited)
                ::Sleep(1);
        }
    }
    DWORD count = 0;
    GetOverlappedResult(file, &ov, &count, FALSE);
    return count;
}

void CopyIn(const platform::LineSettings& settings, DCB& dcb) {
    dcb.BaudRate = settings.BaudRate;
    dcb.ByteSize = settings.ByteSize;
    dcb.Parity = settings.Parity;
    dcb.StopBits = settings.StopBits;
    dcb.EvtChar = settings.EvtChar;
}

void Store(const DCB& dcb, platform::LineSettings& settings) {
    std::memcpy(settings.native, &dcb, sizeof dcb);
    settings.BaudRate = dcb.BaudRate;
    settings.ByteSize = dcb.ByteSize;
    settings.Parity = dcb.Parity;
    settings.StopBits = dcb.StopBits;
    settings.EvtChar = dcb.EvtChar;
}

}  // namespace

std::size_t LookAhead::Append(const unsigned char* bytes, std::size_t count) {
    std::size_t dropped = 0;
    if (count > kCapacity) {
        dropped = count - kCapacity;
        bytes += dropped;
        count = kCapacity;
    }
    const std::size_t room = kCapacity - size_;
    if (count > room) {
        const std::size_t drop = count - room;
        head_ = (head_ + drop) % kCapacity;
        size_ -= drop;
        dropped += drop;
    }
    for (std::size_t i = 0; i < count; ++i) data_[(head_ + size_ + i) % kCapacity] = bytes[i];
    size_ += count;
    return dropped;
}

std::size_t LookAhead::Take(unsigned char* out, std::size_t count) {
    const std::size_t n = std::min(count, size_);
    for (std::size_t i = 0; i < n; ++i) out[i] = data_[(head_ + i) % kCapacity];
    head_ = (head_ + n) % kCapacity;
    size_ -= n;
    return n;
}

// ---------------------------------------------------------------------------

Win32Device::Win32Device(UniqueFile file, UniqueEvent read_event)
    : file_(std::move(file)), read_event_(std::move(read_event)) {
    read_ov_.hEvent = read_event_.get();
}

Win32Device::~Win32Device() {
    // Reads are awaited before Read and WaitEventChar return; only a write
    // can still be running, and its record dies with us.
    Win32Device::CancelWrite();
}

bool Win32Device::CreateWriteEvent() {
    // The record's event must not change under a running write.
    if (!write_event_ && !write_outstanding_) {
        write_event_.reset(CreateEventA(nullptr, FALSE, TRUE, nullptr));
        write_ov_.hEvent = write_event_.get();
    }
    return static_cast<bool>(write_event_);
}

void Win32Device::ResetWriteEvent() {
    // Nothing to do: WriteFile resets the record's event as the write
    // starts, and the extra call costs a server round trip per write.
}

void Win32Device::FinishWrite(DWORD count) {
    write_outstanding_ = false;
    write_offset_ += count;
    last_written_ = count;
}

platform::WriteStart Win32Device::StartWrite(const void* data, std::uint32_t length) {
    platform::WriteStart start;
    if (write_outstanding_) {
        start.error = ERROR_BUSY;  // the record still belongs to the last write
        return start;
    }
    Prepare(write_ov_, write_offset_);
    // The count WriteFile reports for an overlapped handle is unreliable.
    const BOOL done = WriteFile(file_.get(), data, length, nullptr, &write_ov_);
    start.error = done ? ERROR_SUCCESS : GetLastError();
    if (done) {
        DWORD count = 0;
        GetOverlappedResult(file_.get(), &write_ov_, &count, FALSE);
        FinishWrite(count);
        start.completed = true;
        start.written = count;
    } else if (start.error == ERROR_IO_PENDING) {
        write_outstanding_ = true;
    }
    return start;
}

platform::WaitOutcome Win32Device::WaitWrite(std::uint32_t limit_ms, std::uint32_t& written,
                                             platform::StopSignal* stop) {
    // Nothing running (it ended at once, or was waited for or cancelled):
    // the count of the write that ended last.
    if (!write_outstanding_) {
        written = last_written_;
        return platform::WaitOutcome::Completed;
    }
    written = 0;
    // Nothing would tell us when it ends; CancelWrite frees the record.
    if (!write_event_) return platform::WaitOutcome::Failed;

    const HANDLE handles[2] = {write_event_.get(), StopEventOf(stop)};
    const DWORD count = handles[1] ? 2 : 1;
    const DWORD started = GetTickCount();
    for (;;) {
        DWORD wait_ms = limit_ms;
        if (limit_ms != INFINITE) {
            const DWORD elapsed = GetTickCount() - started;
            wait_ms = elapsed >= limit_ms ? 0 : limit_ms - elapsed;
        }
        const DWORD woke = WaitForMultipleObjects(count, handles, FALSE, wait_ms);
        if (woke == WAIT_OBJECT_0 + 1) return platform::WaitOutcome::Stopped;
        if (woke == WAIT_TIMEOUT) return platform::WaitOutcome::TimedOut;
        if (woke != WAIT_OBJECT_0) return platform::WaitOutcome::Failed;

        // The event is auto-reset and the wait took its signal: ask the
        // record without waiting on the event again.
        DWORD moved = 0;
        const BOOL ok = GetOverlappedResult(file_.get(), &write_ov_, &moved, FALSE);
        const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        if (!ok && error == ERROR_IO_INCOMPLETE) continue;  // a stale signal
        FinishWrite(moved);
        written = moved;
        if (ok) return platform::WaitOutcome::Completed;
        SetLastError(error);
        return platform::WaitOutcome::Failed;
    }
}

void Win32Device::CancelWrite() {
    if (!write_outstanding_) return;
    FinishWrite(CancelAndAwait(file_.get(), write_ov_));
}

bool Win32Device::Flush() { return FlushFileBuffers(file_.get()) != FALSE; }

// ---------------------------------------------------------------------------

DCB Win32Device::BaseDcb(const platform::LineSettings& settings) {
    DCB dcb;
    std::memcpy(&dcb, settings.native, sizeof dcb);
    if (dcb.DCBlength != sizeof dcb) {
        // Never filled by ReadLineSettings: start from the port as it is.
        dcb = DCB{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(file_.get(), &dcb)) {
            dcb = DCB{};
            dcb.DCBlength = sizeof dcb;
            dcb.fBinary = TRUE;  // Windows supports no other mode
        }
    }
    CopyIn(settings, dcb);
    return dcb;
}

bool Win32Device::ReadLineSettings(platform::LineSettings& settings) {
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(file_.get(), &dcb)) return false;
    const int applied = applied_event_char_.load();
    if (applied >= 0) dcb.EvtChar = static_cast<char>(applied);
    Store(dcb, settings);
    return true;
}

bool Win32Device::ParseMode(const char* mode, platform::LineSettings& settings) {
    if (!mode) return false;
    DCB dcb = BaseDcb(settings);
    if (!BuildCommDCBA(mode, &dcb)) return false;
    Store(dcb, settings);
    return true;
}

bool Win32Device::ApplyLineSettings(const platform::LineSettings& settings) {
    DCB dcb = BaseDcb(settings);
    if (!SetCommState(file_.get(), &dcb)) return false;
    applied_event_char_.store(static_cast<unsigned char>(dcb.EvtChar));
    return true;
}

bool Win32Device::Escape(std::uint32_t function) {
    return EscapeCommFunction(file_.get(), function) != FALSE;
}

bool Win32Device::ClearErrors(std::uint32_t& errors) {
    DWORD mask = 0;
    if (!ClearCommError(file_.get(), &mask, nullptr)) return false;
    errors = static_cast<std::uint32_t>(mask) | held_errors_.exchange(0);
    return true;
}

// ---------------------------------------------------------------------------

DWORD Win32Device::InputQueued() {
    DWORD mask = 0;
    COMSTAT stat = {};
    if (!ClearCommError(file_.get(), &mask, &stat)) return 0;
    // Taken from the port by us, still owed to the caller's ClearErrors.
    if (mask) held_errors_.fetch_or(static_cast<std::uint32_t>(mask));
    return stat.cbInQue;
}

Win32Device::ReadEnd Win32Device::ReadOnce(unsigned char* into, DWORD count, HANDLE stop_event,
                                           DWORD& got) {
    got = 0;
    Prepare(read_ov_, read_offset_);
    if (ReadFile(file_.get(), into, count, nullptr, &read_ov_)) {
        GetOverlappedResult(file_.get(), &read_ov_, &got, FALSE);
        read_offset_ += got;
        return ReadEnd::Done;
    }
    if (GetLastError() != ERROR_IO_PENDING) return ReadEnd::Failed;

    const HANDLE handles[2] = {read_event_.get(), stop_event};
    const DWORD woke = WaitForMultipleObjects(stop_event ? 2 : 1, handles, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0) {
        // Manual-reset and signalled: this wait returns at once.
        const BOOL ok = GetOverlappedResult(file_.get(), &read_ov_, &got, TRUE);
        read_offset_ += got;
        return ok ? ReadEnd::Done : ReadEnd::Failed;
    }
    // Stopped, or the wait broke: the buffer must be ours again before we go.
    const DWORD error = GetLastError();
    got = CancelAndAwait(file_.get(), read_ov_);
    read_offset_ += got;
    if (woke == WAIT_OBJECT_0 + 1) return ReadEnd::Stopped;
    SetLastError(error);
    return ReadEnd::Failed;
}

bool Win32Device::WaitEventChar(platform::StopSignal* stop) {
    char wanted = 0;
    const int applied = applied_event_char_.load();
    if (applied >= 0) {
        wanted = static_cast<char>(applied);
    } else {
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(file_.get(), &dcb)) return false;
        wanted = dcb.EvtChar;
    }
    const unsigned char target = static_cast<unsigned char>(wanted);
    const HANDLE stop_event = StopEventOf(stop);

    std::size_t checked = 0;  // front bytes known not to be the character
    for (;;) {
        for (; checked < look_ahead_.Size(); ++checked)
            if (look_ahead_.At(checked) == target) return true;
        if (stop_event && WaitForSingleObject(stop_event, 0) == WAIT_OBJECT_0) return false;

        // Take what has come; with nothing there, one byte pends until data arrives.
        DWORD want = InputQueued();
        want = std::min<DWORD>(std::max<DWORD>(want, 1), sizeof chunk_);
        DWORD got = 0;
        const ReadEnd end = ReadOnce(chunk_, want, stop_event, got);
        // Past the bound the oldest bytes go, as on a driver's full queue;
        // ClearErrors reports it as an overrun.
        const std::size_t dropped = look_ahead_.Append(chunk_, got);
        if (dropped) {
            held_errors_.fetch_or(CE_RXOVER);
            checked -= std::min(checked, dropped);
        }
        if (end != ReadEnd::Done) return false;
        if (got == 0) return false;  // the end of a plain file: nothing more will come
    }
}

std::uint32_t Win32Device::Read(void* buffer, std::uint32_t count, platform::StopSignal* stop) {
    if (count == 0) return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    auto done = static_cast<std::uint32_t>(look_ahead_.Take(out, count));
    const HANDLE stop_event = StopEventOf(stop);
    while (done < count) {
        DWORD got = 0;
        const ReadEnd end = ReadOnce(out + done, count - done, stop_event, got);
        done += got;
        if (end != ReadEnd::Done || got == 0) break;
    }
    return done;
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

std::unique_ptr<platform::Device> Win32Ports::OpenDevice(const char* name) {
    const HANDLE raw = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_SYSTEM, nullptr);
    // The caller traces the open's error: nothing may run between it and the return.
    if (raw == nullptr || raw == INVALID_HANDLE_VALUE) return nullptr;
    UniqueFile file(raw);
    UniqueEvent read_event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!read_event) return nullptr;  // closing the file keeps this error
    std::unique_ptr<Win32Device> device(new (std::nothrow)
                                            Win32Device(std::move(file), std::move(read_event)));
    if (!device) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return device;
}

std::unique_ptr<platform::File> Win32Ports::CreateNewFile(const char* name) {
    UniqueFile file(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_SYSTEM, nullptr));
    if (!file) return nullptr;
    return std::unique_ptr<platform::File>(new (std::nothrow) Win32File(std::move(file)));
}

std::unique_ptr<platform::File> Win32Ports::OpenFileForRead(const char* name) {
    UniqueFile file(CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_SYSTEM, nullptr));
    if (!file) return nullptr;
    return std::unique_ptr<platform::File>(new (std::nothrow) Win32File(std::move(file)));
}

void Win32Ports::ToOem(char* text) {
    if (text) CharToOemA(text, text);
}

}  // namespace orvanta::win32
