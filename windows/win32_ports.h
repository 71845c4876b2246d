// Ports, devices and plain files on Windows.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

#include "interfaces/port.h"
#include "framework/handle.h"
#include "windows/look_ahead.h"
#include "windows/win32_tcp.h"

namespace orvanta::windows {

class Win32Device : public interfaces::Device {
public:
    // Takes the handle of a device opened for overlapped I/O and the events
    // of its reads (manual-reset) and writes (auto-reset, initially
    // signalled; null: writes that pend cannot be awaited).
    Win32Device(framework::UniqueFile file, framework::UniqueEvent read_event,
                framework::UniqueEvent write_event);
    ~Win32Device() override;
    Win32Device(const Win32Device&) = delete;
    Win32Device& operator=(const Win32Device&) = delete;

    bool ReadyForWrites() const override { return static_cast<bool>(write_event_); }
    interfaces::WriteResult Write(const void* data, std::uint32_t length, std::uint32_t limit_ms,
                                  interfaces::StopSignal* stop) override;
    bool Flush() override;
    void Close() override;

    bool ReadLineSettings(interfaces::LineSettings& settings) override;
    bool ApplyLineSettings(const interfaces::LineChange& change) override;
    bool SetSignal(interfaces::LineSignal signal) override;
    bool ClearErrors(std::uint32_t& errors) override;

    // The read side is in win32_device_reads.cpp.
    bool WaitEventChar(interfaces::StopSignal* stop) override;
    std::uint32_t Read(void* buffer, std::uint32_t count, interfaces::StopSignal* stop) override;
    std::uint32_t ReadThrough(char last, void* buffer, std::uint32_t count,
                              interfaces::StopSignal* stop) override;
    bool WaitEventCharThenRead(char last, void* buffer, std::uint32_t count, std::uint32_t& taken,
                               interfaces::StopSignal* stop) override;

    bool EndAbandonedWrite() override { return CancelWrite(); }
    bool EndAbandonedRead() override { return CancelRead(); }
    std::uint32_t LostError() const override { return lost_error_.load(); }

private:
    bool ReadDcb(DCB& dcb);
    // Waits up to `limit_ms` for the outstanding write; `written` gets its count.
    interfaces::WriteEnd AwaitWrite(std::uint32_t limit_ms, std::uint32_t& written,
                                    interfaces::StopSignal* stop);
    // Cancels the outstanding write and returns once it has ended: true. A
    // write that a broken driver never ends is given up after a bound: false,
    // and the device takes no more writes. The same for a read.
    bool CancelWrite();
    bool CancelRead();
    void FinishWrite(DWORD count);
    // The ended write's count and outcome, from its record.
    interfaces::WriteEnd TakeWriteResult(std::uint32_t& written);
    // One overlapped read of up to `count` bytes into `into`, awaited; the
    // count it delivered, also when it failed or was stopped part-way.
    enum class ReadEnd { Done, Failed, Stopped };
    // It reads into chunk_, so a read the driver never ends writes into no
    // caller's buffer.
    ReadEnd ReadOnce(DWORD count, HANDLE stop_event, DWORD& got);
    DWORD InputQueued();
    // Keeps the first error that says the device is gone; the thread's
    // last error stays as it was.
    void NoteError(DWORD error, bool cancel_asked = false);

    framework::UniqueFile file_;
    bool is_comm_ = false;  // a comm port, not a plain file or NUL
    bool closed_ = false;

    // Writes: their own record and event, as a write may run beside a read.
    framework::UniqueEvent write_event_;
    // On the heap, so a write the driver never ends can keep it (see the destructor).
    std::unique_ptr<OVERLAPPED> write_record_{new OVERLAPPED()};
    OVERLAPPED& write_ov_ = *write_record_;
    bool write_outstanding_ = false;
    std::uint64_t write_offset_ = 0;  // only a plain file opened as a device heeds it

    // Reads and the wait for the event character. Record and buffer on the
    // heap, as the write's: a read the driver never ends keeps them.
    static constexpr DWORD kChunk = 4096;
    framework::UniqueEvent read_event_;
    std::unique_ptr<OVERLAPPED> read_record_{new OVERLAPPED()};
    OVERLAPPED& read_ov_ = *read_record_;
    std::unique_ptr<unsigned char[]> chunk_{new unsigned char[kChunk]()};
    std::atomic<bool> read_outstanding_{false};
    std::atomic<bool> read_broken_{false};
    std::uint64_t read_offset_ = 0;
    LookAhead look_ahead_;

    // The wait for the event character is ours, not the driver's, and some
    // drivers (Wine's) report it back as 0: the one applied here rules.
    // -1 until ApplyLineSettings succeeds; set by the host's thread, read by
    // the reader's.
    std::atomic<int> applied_event_char_{-1};

    // Errors our own ClearCommError calls took from the port, and look-ahead
    // overflows, kept for the caller's next ClearErrors.
    std::atomic<std::uint32_t> held_errors_{0};

    std::atomic<std::uint32_t> lost_error_{0};
};

class Win32File : public interfaces::File {
public:
    explicit Win32File(framework::UniqueFile file) : file_(std::move(file)) {}
    void Write(const void* data, std::uint32_t length) override;
    int Read(void* buffer, std::uint32_t length) override;

private:
    framework::UniqueFile file_;
};

class Win32Ports : public interfaces::Ports {
public:
    std::unique_ptr<interfaces::Device> OpenDevice(const char* name, const char16_t* wide = nullptr) override;
    std::unique_ptr<interfaces::File> CreateNewFile(const char* name) override;
    std::unique_ptr<interfaces::File> OpenFileForRead(const char* name, const char16_t* wide = nullptr) override;
    void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
    std::vector<std::string> SerialPortNames() override;  // serial_port_names.cpp
    interfaces::Network* TcpNetwork() override { return &network_; }

private:
    Win32Network network_;
};

}  // namespace orvanta::windows
