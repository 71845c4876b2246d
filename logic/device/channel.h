// The device channel: the open device with its protocol file, the one
// serialised write path every output goes through and the one read path every
// read goes through, the output operations built on them, line control and
// raw reads. It runs on the host's thread and, for the scan task's answers
// and reads, on the task's.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "logic/device/gate.h"
#include "logic/device/returning_device.h"
#include "logic/reporting/reporter.h"
#include "interfaces/services.h"
#include "logic/settings/settings.h"
#include "interfaces/port.h"
#include "interfaces/threads.h"

namespace orvanta::logic {

class DeviceChannel {
public:
    DeviceChannel(const interfaces::Platform& platform, const Settings& settings, Reporter& report);
    ~DeviceChannel();
    DeviceChannel(const DeviceChannel&) = delete;
    DeviceChannel& operator=(const DeviceChannel&) = delete;

    // Device connection. The caller stops whatever uses the device first.
    // `wide`: the name as the caller wrote it, when it came in Unicode.
    bool Open(const std::string& device_name, const std::u16string& wide = {});
    void Close();
    bool IsOpen() const { return device_ != nullptr; }

    // A device that went away stays open, lost, until it is back under its
    // name or closed. Present: open and not lost; asking looks for a lost
    // one, paced.
    bool DevicePresent() { return device_ && device_->LookForReturn(/*paced=*/true); }
    bool IsLost() const { return device_ && device_->IsLost(); }
    // A look for a lost device, unless one was just made: true when it is there.
    bool LookForReturn() { return device_ && device_->LookForReturn(/*paced=*/true); }
    // Told of losses and returns; null for nobody.
    void SetDeviceWatcher(DeviceWatcher* watcher) { watcher_.store(watcher); }

    // Output. Texts arrive as the control's own copy (the host's string is
    // never changed). `stop`, when given, is the scan task's stop signal: a
    // write of a stopping task gives up instead of waiting.
    std::int32_t WriteDevice(const char* text, std::int32_t byte_count,
                             interfaces::StopSignal* stop = nullptr);
    std::int32_t Write(std::string text_to_write);
    std::int32_t Writeln(std::string text_to_write);
    void FormFeed();
    std::int32_t Flush();
    std::int16_t SendByte(std::int16_t byte_value, interfaces::StopSignal* stop = nullptr);
    std::int16_t SendEscCommand(const std::string& command_letters, const std::string& params);
    std::int32_t SendFile(const std::string& file_name, const std::u16string& wide = {});

    // Line control and raw reads.
    bool SetCOMSettings(const std::string& settings_text);
    bool SetSignalOnCOM(std::int16_t signal_code);
    std::int32_t ClearCOMError();
    std::int16_t WaitCOMSignal(std::int16_t wanted_signal, interfaces::StopSignal* stop = nullptr);
    std::int32_t ReadBytes(std::string host_buffer, std::int32_t buffer_length,
                           std::int32_t bytes_to_read);

    // The read path: one reader at a time (so no code is split between two
    // readers) waits for the line's event character, then takes the bytes up
    // to the suffix, as many at a time as have come, and gives the
    // processor to other threads once per code. In debug mode each byte is
    // shown in a box first; a host called back from a box may close or
    // replace the device, and what follows then stays unread.
    struct CodeRead {
        std::string code;  // in front of the suffix, up to a zero byte, at most the longest code kept
        // The gate or the wait was stopped, or the wait failed: the code is
        // "ERROR", told apart from a scanned one by this.
        bool wait_failed = false;
        // Taken up to the suffix or the end of what the line gave, not cut
        // short by a stop: the scanner awaits its answer.
        bool taken = false;
        bool no_device = false;  // none open; the debug box said so
    };
    // `stop`, when given, is the scan task's stop signal.
    CodeRead ReadCode(interfaces::StopSignal* stop);
    std::string ScanCodeFromCOM() { return ReadCode(nullptr).code; }
    // Frees the write and the read path from a thread that was terminated
    // inside one of them.
    void AbandonPaths();

private:
    // One write through the gate: `length` bytes of `data` go to the device,
    // `echo_length` of them into the protocol file. `requested` is the count
    // as the caller gave it, for the time-out notices.
    std::int32_t WriteBlock(const char* data, std::uint32_t length, std::uint32_t echo_length,
                            std::int32_t requested, interfaces::StopSignal* stop);
    // What a write has to tell the user, shown once the gate is left.
    struct WriteNotices {
        std::array<std::string, 5> text;
        std::size_t count = 0;
        void Add(std::string t) { text[count++] = std::move(t); }
    };
    std::int32_t WriteLocked(const char* data, std::uint32_t length, std::uint32_t echo_length,
                             std::int32_t requested, interfaces::StopSignal* stop, WriteNotices& notices);
    // ReadCode's passage through the read gate; false when the gate or the
    // wait was stopped or the wait failed.
    bool ReadCodeGated(const std::shared_ptr<interfaces::Device>& device, interfaces::StopSignal* stop,
                       CodeRead& result);
    void ShowLineSettings(const interfaces::LineSettings& settings, const char* caption);
    // Whether a device is open; when none is, the debug box says so (in the
    // words the write path or the other operations use).
    enum class Saying { kNotActivated, kNotInitialised };
    bool DeviceOpenOrSay(Saying saying = Saying::kNotActivated);
    // A network port name ("socket://", "rfc2217://") opens here, and
    // `reopen` connects again once it is lost; null with `handled` false for
    // every other name.
    std::unique_ptr<interfaces::Device> OpenNetworkDevice(const std::string& device_name, bool& handled,
                                                          Reopener& reopen);
    // Shows in debug mode what `device` has to say (network_open.cpp).
    void ReportDeviceNotes(const std::shared_ptr<interfaces::Device>& device, const char* function);

    interfaces::Platform platform_;
    const Settings& settings_;
    Reporter& report_;

    // The scan task uses the device only while it runs, and every change of
    // these fields happens with the task stopped. Shared: an operation that
    // shows a box keeps its device alive while the host, called back from
    // inside the box, closes or replaces it.
    std::shared_ptr<ReturningDevice> device_;
    std::atomic<DeviceWatcher*> watcher_{nullptr};
    std::unique_ptr<interfaces::File> protocol_file_;
    Gate write_gate_;
    Gate read_gate_;
    // A write the driver would not end holds the device: no write goes
    // until the device is closed (write gate only).
    bool write_broken_ = false;
};

}  // namespace orvanta::logic
