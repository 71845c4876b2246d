// The control object as hosts and the type library know it: its nine
// properties and every operation the automation interface names, each
// forwarded to the part that does it (the device channel, the code reader,
// the scan session) or to the reporting.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "logic/settings/reporter.h"
#include "interfaces/services.h"
#include "logic/settings/settings.h"
#include "logic/device/channel.h"
#include "interfaces/types.h"
#include "interfaces/user_interface.h"
#include "logic/scanner/code_reader.h"
#include "logic/scanner/scan_session.h"

namespace orvanta {

class OrvantaControl : private logic::ScanListener {
public:
    explicit OrvantaControl(const interfaces::Platform& platform);
    ~OrvantaControl();
    OrvantaControl(const OrvantaControl&) = delete;
    OrvantaControl& operator=(const OrvantaControl&) = delete;

    // Properties, as the automation layer reads and writes them: a put stores
    // the value converted to the field's type (a BOOL as 1 or 0) and then runs
    // the shared change notification.
    bool GetwithACKN() const { return s.withACKN.load() != 0; }
    void SetwithACKN(bool v) { s.withACKN.store(v ? 1 : 0); OnPropertyChanged(); }
    std::string GetdefaultComSettings() const { return s.defaultComSettings; }
    void SetdefaultComSettings(std::string v) { s.defaultComSettings = std::move(v); OnPropertyChanged(); }
    std::int16_t GetScannerSuffixChar() const { return s.ScannerSuffixChar.load(); }
    void SetScannerSuffixChar(std::int16_t v) { s.ScannerSuffixChar.store(v); OnPropertyChanged(); }
    bool GetonlyWorkwithCurrentWindow() const { return s.onlyWorkwithCurrentWindow.load() != 0; }
    void SetonlyWorkwithCurrentWindow(bool v) {
        s.onlyWorkwithCurrentWindow.store(v ? 1 : 0);
        OnPropertyChanged();
    }
    bool GetdebugModus() const { return s.debugModus.load() != 0; }
    void SetdebugModus(bool v) { s.debugModus.store(v ? 1 : 0); OnPropertyChanged(); }
    std::int32_t GetThreadId() const { return s.ThreadId.load(); }
    void SetThreadId(std::int32_t v) { s.ThreadId.store(v); OnPropertyChanged(); }
    std::int32_t GetscanWindowHandle() const { return s.scanWindowHandle.load(); }
    void SetscanWindowHandle(std::int32_t v) { s.scanWindowHandle.store(v); OnPropertyChanged(); }
    std::int16_t Gettimeout() const { return s.timeout.load(); }
    void Settimeout(std::int16_t v) { s.timeout.store(v); OnPropertyChanged(); }
    std::int16_t Getchartooem() const { return s.chartooem.load(); }
    void Setchartooem(std::int16_t v) { s.chartooem.store(v); OnPropertyChanged(); }

    // The shared change notification: marks the persistent state changed.
    void OnPropertyChanged() { SetModifiedFlag(true); }
    void SetModifiedFlag(bool modified) { m_modified.store(modified); }
    bool IsModified() const { return m_modified.load(); }

    // Design-time picture: a white rectangle with an inscribed ellipse.
    void OnDraw(interfaces::Canvas& canvas, const interfaces::Rect& bounds,
                const interfaces::Rect& invalid);

    // Reports to the user.
    int ShowNotice(const char* message, const char* caption) { return m_report.ShowNotice(message, caption); }
    void DbgMsg(const char* message, const char* function) { m_report.DbgMsg(message, function); }
    void DebugBox(const char* text, const char* caption, std::uint32_t style) {
        m_report.DebugBox(text, caption, style);
    }

    // Device connection: opening closes first, and closing stops the scan task first.
    // `wide`: a name as the caller wrote it in Unicode, which files open by.
    bool OpenDevice(const std::string& str_Name, const std::u16string& wide = {}) {
        CloseDevice();
        return m_channel.Open(str_Name, wide);
    }
    void CloseDevice() { m_session.DeactivateScanTask(0, logic::ScanEnd::kDeviceClosed); m_channel.Close(); }
    bool IsDeviceOpen() const { return m_channel.IsOpen(); }

    // Output.
    std::int32_t WriteDevice(const char* text, std::int32_t m_Bytes,
                             interfaces::StopSignal* stop = nullptr) {
        return m_channel.WriteDevice(text, m_Bytes, stop);
    }
    std::int32_t Write(std::string str_ToWrite) { return m_channel.Write(std::move(str_ToWrite)); }
    std::int32_t Writeln(std::string str_ToWrite) { return m_channel.Writeln(std::move(str_ToWrite)); }
    void FormFeed() { m_channel.FormFeed(); }
    std::int32_t Flush() { return m_channel.Flush(); }
    std::int16_t SendByte(std::int16_t b_ToSend, interfaces::StopSignal* stop = nullptr) {
        return m_channel.SendByte(b_ToSend, stop);
    }
    std::int16_t SendEscCommand(const std::string& c_Command, const std::string& params) {
        return m_channel.SendEscCommand(c_Command, params);
    }
    std::int32_t SendFile(const std::string& str_FileToSend, const std::u16string& wide = {}) {
        return m_channel.SendFile(str_FileToSend, wide);
    }

    // Line control and raw reads.
    bool SetCOMSettings(const std::string& str_Params) { return m_channel.SetCOMSettings(str_Params); }
    bool SetSignalOnCOM(std::int16_t b_Signal) { return m_channel.SetSignalOnCOM(b_Signal); }
    std::int32_t ClearCOMError() { return m_channel.ClearCOMError(); }
    std::int16_t WaitCOMSignal(std::int16_t onsignal, interfaces::StopSignal* stop = nullptr) {
        return m_channel.WaitCOMSignal(onsignal, stop);
    }
    std::int32_t ReadBytes(std::string str_Buffer, std::int32_t m_bufferlen,
                           std::int32_t m_bytestoread) {
        return m_channel.ReadBytes(std::move(str_Buffer), m_bufferlen, m_bytestoread);
    }

    // Scanner.
    std::string ScanCodeFromCOM() { return m_reader.ScanCodeFromCOM(); }
    std::int32_t ActivateScanTask() { return m_session.ActivateScanTask(); }
    std::int32_t DeactivateScanTask(std::int32_t M_Task) { return m_session.DeactivateScanTask(M_Task); }
    std::int32_t SendStartAck() { return m_session.SendStartAck(); }
    std::int32_t CaptureFocusWindow() { return m_session.CaptureFocusWindow(); }
    std::int32_t SendCodeToWindow(std::int32_t window, std::string code,
                                  interfaces::StopSignal* stop = nullptr) {
        return m_session.SendCodeToWindow(window, std::move(code), stop);
    }
    std::int32_t TypeCodeAsKeys(std::string code, interfaces::StopSignal* stop = nullptr) {
        return m_session.TypeCodeAsKeys(std::move(code), stop);
    }
    std::int32_t ScanTaskReference() const { return m_session.ScanTaskReference(); }
    bool IsScanTaskRunning() const { return m_session.IsScanTaskRunning(); }

    // The machine's serial ports by name.
    std::vector<std::string> GetCOMPorts() { return m_ports.SerialPortNames(); }

private:
    // The scan task's events, raised to the host (orvanta_ctrl.cpp).
    bool OnCodeScanned(const std::string& code) override;
    void OnScanEnded(logic::ScanEnd why) override;

    interfaces::Ports& m_ports;
    framework::HostEvents* m_events;
    std::atomic<bool> m_modified{false};
    logic::Settings s;  // the nine properties
    logic::Reporter m_report;
    logic::DeviceChannel m_channel;
    logic::CodeReader m_reader;
    logic::ScanSession m_session;
};

}  // namespace orvanta
