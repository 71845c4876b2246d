// Port access: devices opened for overlapped I/O, with blocking semantics for
// the logic, plus the plain files the control writes and sends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/line_settings.h"

namespace orvanta::interfaces {

class StopSignal;

// Escape functions, with the values of Win32's EscapeCommFunction.
enum EscapeFunction : std::uint32_t {
    kSetXoff = 1, kSetXon = 2, kSetRts = 3, kClrRts = 4,
    kSetDtr = 5, kClrDtr = 6, kSetBreak = 8, kClrBreak = 9,
};

// Failed: the wait itself broke; WriteFailed: the write ended with an error.
enum class WaitOutcome { Completed, TimedOut, Failed, Stopped, WriteFailed };

struct WriteStart {
    bool completed = false;     // finished at once
    std::uint32_t error = 0;    // last error read right after the start
    std::uint32_t written = 0;  // count when completed
};

constexpr std::uint32_t kErrorIoPending = 997;

class Device {
public:
    virtual ~Device() = default;

    // The write-completion event: unnamed, auto-reset, initially signalled.
    virtual bool CreateWriteEvent() = 0;
    // Starts one write (the start clears the completion event); at most one
    // is outstanding per device.
    virtual WriteStart StartWrite(const void* data, std::uint32_t length) = 0;
    // Waits up to `limit_ms` for the outstanding write; `written` gets its count.
    // Stopped when `stop` is set first; the write is then still outstanding.
    virtual WaitOutcome WaitWrite(std::uint32_t limit_ms, std::uint32_t& written,
                                  StopSignal* stop) = 0;
    // Cancels the outstanding write and returns once it has ended: true. A
    // write that a broken driver never ends is given up after a bound: false,
    // and the device takes no more writes.
    virtual bool CancelWrite() = 0;
    // Ends the device now, as destroying it would. A caller that still holds
    // the object may call on: every later call fails.
    virtual void Close() = 0;
    virtual bool Flush() = 0;

    virtual bool ReadLineSettings(LineSettings& settings) = 0;
    // Parses a mode string such as "baud=9600 parity=N data=7 stop=2" into
    // `settings`; fields it does not name keep their values.
    virtual bool ParseMode(const char* mode, LineSettings& settings) = 0;
    virtual bool ApplyLineSettings(const LineSettings& settings) = 0;
    virtual bool Escape(std::uint32_t function) = 0;
    virtual bool ClearErrors(std::uint32_t& errors) = 0;

    // Reads and waits are never issued from two threads at once: the control
    // holds one reader at a time per device.
    //
    // Blocks until the port's event character has arrived; the bytes stay
    // readable, in order, by Read. False when the wait fails or `stop` is set.
    virtual bool WaitEventChar(StopSignal* stop) = 0;
    // Blocks until `count` bytes have been read, the port fails, or `stop` is
    // set; returns the count read. A count of 0 reads nothing. Bytes that
    // have arrived already are taken without a call to the system.
    virtual std::uint32_t Read(void* buffer, std::uint32_t count, StopSignal* stop) = 0;
    // Copies up to `count` of the bytes that have arrived and are not read
    // yet, oldest first, and leaves them to Read; never blocks. After a
    // successful WaitEventChar they hold the event character.
    virtual std::uint32_t Peek(void* buffer, std::uint32_t count) = 0;
    // Cancels a read left outstanding by a reader that was ended inside it,
    // as CancelWrite does for a write: false when the driver would not end it
    // within the bound, and the device then takes no more reads.
    virtual bool CancelRead() = 0;
};

class File {
public:
    virtual ~File() = default;
    virtual void Write(const void* data, std::uint32_t length) = 0;
    // Reads up to `length` bytes; 0 or less at the end or on an error.
    virtual int Read(void* buffer, std::uint32_t length) = 0;
};

class Ports {
public:
    virtual ~Ports() = default;
    // Names a caller gave come as the control's 8-bit text and, when the
    // caller wrote them in Unicode, as written (`wide`, UTF-16): the platform
    // opens by `wide` when it is given, so no character is lost to the code
    // page.
    //
    // Opens a device for overlapped read and write, unshared; null on failure,
    // with the platform's error left as the thread's last error.
    virtual std::unique_ptr<Device> OpenDevice(const char* name, const char16_t* wide = nullptr) = 0;
    // Creates (empties) a file for read and write, unshared; null on failure.
    virtual std::unique_ptr<File> CreateNewFile(const char* name) = 0;
    // Opens an existing file for reading, unshared; null on failure.
    virtual std::unique_ptr<File> OpenFileForRead(const char* name, const char16_t* wide = nullptr) = 0;
    virtual void Sleep(std::uint32_t ms) = 0;
    // The names of the machine's serial ports ("COM1", ...), in the order of
    // their numbers; none where the platform has no such list.
    virtual std::vector<std::string> SerialPortNames() { return {}; }
};

}  // namespace orvanta::interfaces
