// The device channel: the open device (`h_Lpt1`) with its protocol file, the
// one serialised write path every output goes through, the output operations
// built on it, line control and raw reads. It runs on the host's thread and,
// for the scan task's answers and reads, on the task's.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "logic/device/gate.h"
#include "logic/settings/reporter.h"
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
    bool Open(const std::string& str_Name, const std::u16string& wide = {});
    void Close();
    bool IsOpen() const { return h_Lpt1 != nullptr; }

    // Output. Texts arrive as the control's own copy (the host's string is
    // never changed). `stop`, when given, is the scan task's stop signal: a
    // write of a stopping task gives up instead of waiting.
    std::int32_t WriteDevice(const char* text, std::int32_t m_Bytes,
                             interfaces::StopSignal* stop = nullptr);
    std::int32_t Write(std::string str_ToWrite);
    std::int32_t Writeln(std::string str_ToWrite);
    void FormFeed();
    std::int32_t Flush();
    std::int16_t SendByte(std::int16_t b_ToSend, interfaces::StopSignal* stop = nullptr);
    std::int16_t SendEscCommand(const std::string& c_Command, const std::string& params);
    std::int32_t SendFile(const std::string& str_FileToSend, const std::u16string& wide = {});

    // Line control and raw reads.
    bool SetCOMSettings(const std::string& str_Params);
    bool SetSignalOnCOM(std::int16_t b_Signal);
    std::int32_t ClearCOMError();
    std::int16_t WaitCOMSignal(std::int16_t onsignal, interfaces::StopSignal* stop = nullptr);
    std::int32_t ReadBytes(std::string str_Buffer, std::int32_t m_bufferlen,
                           std::int32_t m_bytestoread);

    // For the code reader: the open device, or null, and the gate that lets
    // one reader at a time at it, so no code is split between two readers.
    // Shared: an operation that shows a box keeps its device alive while the
    // host, called back from inside the box, closes or replaces it.
    std::shared_ptr<interfaces::Device> device() const { return h_Lpt1; }
    Gate& read_gate() { return m_readGate; }
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
    void ShowLineSettings(const interfaces::LineSettings& settings, const char* caption);

    interfaces::Platform m_platform;
    const Settings& m_settings;
    Reporter& m_report;

    // The scan task uses the device only while it runs, and every change of
    // these fields happens with the task stopped.
    std::shared_ptr<interfaces::Device> h_Lpt1;
    std::unique_ptr<interfaces::File> m_hProtocolFile;
    Gate m_writeGate;
    Gate m_readGate;
    // A write the driver would not end holds the record: no write goes
    // until the device is closed (write gate only).
    bool m_writeBroken = false;
};

}  // namespace orvanta::logic
