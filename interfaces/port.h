// Port access as the logic needs it: a device that takes bytes within a time
// limit, hands back what came, watches for one byte and carries line
// settings and signals; and the plain files the control writes and sends.
// Every call that may wait takes the stop signal of the thread that waits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/line_settings.h"
#include "interfaces/threads.h"

namespace orvanta::interfaces {

class Network;

// How a write ended.
enum class WriteEnd {
    kWritten,     // the device took `written` bytes
    kRefused,     // the device would not start it
    kTimedOut,    // the time limit passed first
    kWaitFailed,  // the wait for its end broke
    kFailed,      // the device ended it with an error
    kStopped,     // the stop signal came first
};

struct WriteResult {
    WriteEnd end = WriteEnd::kRefused;
    std::uint32_t written = 0;
    // The platform's code for how the write began, for debug mode to show.
    std::uint32_t start_code = 0;
    // A write the device could not end holds it: it takes no more writes
    // until it is closed.
    bool stuck = false;
};

class Device {
public:
    virtual ~Device() = default;

    // Whether writes can be timed and stopped; a device that could not get
    // ready for that after its open fails every write that does not end at once.
    virtual bool ReadyForWrites() const = 0;
    // Writes `length` bytes, waiting at most `limit_ms` (never "for ever")
    // and no longer than `stop` is clear. A write that did not end is ended
    // before this returns, so the bytes are the caller's again.
    virtual WriteResult Write(const void* data, std::uint32_t length, std::uint32_t limit_ms,
                              StopSignal* stop) = 0;
    virtual bool Flush() = 0;
    // Ends the device now, as destroying it would. A caller that still holds
    // the object may call on: every later call fails.
    virtual void Close() = 0;

    virtual bool ReadLineSettings(LineSettings& settings) = 0;
    // Lays `change` over the line as it is: what its mode does not name
    // keeps its value. False when the mode does not parse or the line
    // refuses it; the line is then unchanged.
    virtual bool ApplyLineSettings(const LineChange& change) = 0;
    virtual bool SetSignal(LineSignal signal) = 0;
    // Clears the line's error state; `errors` gets the error bits as the
    // host reads them, with any the device noted itself since the last call.
    virtual bool ClearErrors(std::uint32_t& errors) = 0;

    // Reads and waits are never issued from two threads at once: the control
    // holds one reader at a time per device.
    //
    // Blocks until the line's event character has come; the bytes stay
    // readable, in order. Each arrival ends one wait, read or not. False
    // when the wait fails or `stop` is set.
    virtual bool WaitEventChar(StopSignal* stop) = 0;
    // Blocks until `count` bytes have been read, the port fails, or `stop` is
    // set; returns the count read. A count of 0 reads nothing.
    virtual std::uint32_t Read(void* buffer, std::uint32_t count, StopSignal* stop) = 0;
    // Takes up to `count` of the bytes that have come, up to and with the
    // first `last` among them; with none come yet it waits for one byte, as
    // Read does.
    virtual std::uint32_t ReadThrough(char last, void* buffer, std::uint32_t count,
                                      StopSignal* stop) = 0;
    // The start of a code in one call: waits as WaitEventChar does, then,
    // unless `stop` is set by then, takes as ReadThrough does; `taken` gets
    // the count. False when the wait failed or was stopped.
    virtual bool WaitEventCharThenRead(char last, void* buffer, std::uint32_t count, std::uint32_t& taken,
                                       StopSignal* stop) = 0;

    // A thread ended inside Write or inside a read leaves it running: these
    // end it, within a bound. False when the device would not: it then takes
    // no more writes (or reads) until it is closed.
    virtual bool EndAbandonedWrite() = 0;
    virtual bool EndAbandonedRead() = 0;

    // What the device has to say in debug mode since the last call (a
    // network port: what its server refused or left unanswered).
    virtual std::vector<std::string> TakeNotes() { return {}; }
    // Nonzero once a call has met the device gone (unplugged, removed): the
    // platform's error that said so. Every handle on it is dead for good;
    // only a new open of its name can reach it again.
    virtual std::uint32_t LostError() const { return 0; }
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
    // Opens a device for reading and writing, unshared; null on failure,
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
    // The TCP connections network port names open; null where there are none.
    virtual Network* TcpNetwork() { return nullptr; }
};

}  // namespace orvanta::interfaces
