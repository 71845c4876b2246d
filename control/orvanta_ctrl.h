// The control object: its properties, its reports to the user, and (in the
// device and scanner folders) every operation the automation interface names.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/gate.h"
#include "platform/input.h"
#include "platform/port.h"
#include "platform/threads.h"
#include "platform/user_interface.h"

namespace orvanta {

struct ScanTask;

// The platform services a control works through.
struct Platform {
    platform::UserInterface& ui;
    platform::Ports& ports;
    platform::Input& input;
    platform::Threads& threads;
};

inline constexpr char kDefaultComSettings[] = "baud=9600 parity=N data=7 stop=2";

class COrvantaCtrl {
public:
    explicit COrvantaCtrl(const Platform& platform);
    ~COrvantaCtrl();
    COrvantaCtrl(const COrvantaCtrl&) = delete;
    COrvantaCtrl& operator=(const COrvantaCtrl&) = delete;

    // Properties, as the automation layer reads and writes them: a put stores
    // the value converted to the field's type (a BOOL as 1 or 0) and then runs
    // the shared change notification. Fields that the scan task reads while the
    // host writes them are atomic words, never torn.
    bool GetwithACKN() const { return withACKN.load() != 0; }
    void SetwithACKN(bool v) { withACKN.store(v ? 1 : 0); OnPropertyChanged(); }
    std::string GetdefaultComSettings() const { return defaultComSettings; }
    void SetdefaultComSettings(std::string v) { defaultComSettings = std::move(v); OnPropertyChanged(); }
    std::int16_t GetScannerSuffixChar() const { return ScannerSuffixChar.load(); }
    void SetScannerSuffixChar(std::int16_t v) { ScannerSuffixChar.store(v); OnPropertyChanged(); }
    bool GetonlyWorkwithCurrentWindow() const { return onlyWorkwithCurrentWindow.load() != 0; }
    void SetonlyWorkwithCurrentWindow(bool v) { onlyWorkwithCurrentWindow.store(v ? 1 : 0); OnPropertyChanged(); }
    bool GetdebugModus() const { return debugModus.load() != 0; }
    void SetdebugModus(bool v) { debugModus.store(v ? 1 : 0); OnPropertyChanged(); }
    std::int32_t GetThreadId() const { return ThreadId.load(); }
    void SetThreadId(std::int32_t v) { ThreadId.store(v); OnPropertyChanged(); }
    std::int32_t GetscanWindowHandle() const { return scanWindowHandle.load(); }
    void SetscanWindowHandle(std::int32_t v) { scanWindowHandle.store(v); OnPropertyChanged(); }
    std::int16_t Gettimeout() const { return timeout.load(); }
    void Settimeout(std::int16_t v) { timeout.store(v); OnPropertyChanged(); }
    std::int16_t Getchartooem() const { return chartooem.load(); }
    void Setchartooem(std::int16_t v) { chartooem.store(v); OnPropertyChanged(); }

    // The shared change notification: marks the persistent state changed.
    void OnPropertyChanged() { SetModifiedFlag(true); }
    void SetModifiedFlag(bool modified) { m_modified.store(modified); }
    bool IsModified() const { return m_modified.load(); }

    // Design-time picture: a white rectangle with an inscribed ellipse.
    void OnDraw(platform::Canvas& canvas, const platform::Rect& bounds,
                const platform::Rect& invalid);

    // Reports to the user.
    int ShowNotice(const char* message, const char* caption);
    void DbgMsg(const char* message, const char* function);
    // A box with no owner, shown only in debug mode.
    void DebugBox(const char* text, const char* caption, std::uint32_t style);

    // Device connection.
    bool OpenDevice(const std::string& str_Name);
    void CloseDevice();

    // Output. Texts arrive as the control's own copy (the host's string is
    // never changed). `stop`, when given, is the scan task's stop signal: a
    // write of a stopping task gives up instead of waiting.
    std::int32_t WriteDevice(const char* text, std::int32_t m_Bytes,
                             platform::StopSignal* stop = nullptr);
    std::int32_t Write(std::string str_ToWrite);
    std::int32_t Writeln(std::string str_ToWrite);
    void FormFeed();
    std::int32_t Flush();
    std::int16_t SendByte(std::int16_t b_ToSend, platform::StopSignal* stop = nullptr);
    std::int16_t SendEscCommand(const std::string& c_Command, const std::string& params);
    std::int32_t SendFile(const std::string& str_FileToSend);

    // Line control and raw reads.
    bool SetCOMSettings(const std::string& str_Params);
    bool SetSignalOnCOM(std::int16_t b_Signal);
    std::int32_t ClearCOMError();
    std::int16_t WaitCOMSignal(std::int16_t onsignal, platform::StopSignal* stop = nullptr);
    std::int32_t ReadBytes(std::string str_Buffer, std::int32_t m_bufferlen,
                           std::int32_t m_bytestoread);

    // Scanner. `stop`, when given, is the scan task's stop signal.
    std::string ScanCodeFromCOM();
    std::int32_t ActivateScanTask();
    std::int32_t DeactivateScanTask(std::int32_t M_Task);
    std::int32_t SendStartAck();
    std::int32_t CaptureFocusWindow();
    std::int32_t SendCodeToWindow(std::int32_t window, std::string code,
                                  platform::StopSignal* stop = nullptr);
    std::int32_t TypeCodeAsKeys(std::string code, platform::StopSignal* stop = nullptr);
    // The reference of the task the control holds (0: none), and whether its
    // thread still runs (it has not read "ENDSCAN" and closed its messages).
    std::int32_t ScanTaskReference() const { return m_pScanThread.load(); }
    bool IsScanTaskRunning() const;

    bool IsDeviceOpen() const { return h_Lpt1 != nullptr; }

private:
    // One write through the gate: `length` bytes of `data` go to the device,
    // `echo_length` of them into the protocol file. `requested` is the count
    // as the caller gave it, for the time-out notices.
    std::int32_t WriteBlock(const char* data, std::uint32_t length, std::uint32_t echo_length,
                            std::int32_t requested, platform::StopSignal* stop);
    std::int32_t WriteLocked(const char* data, std::uint32_t length, std::uint32_t echo_length,
                             std::int32_t requested, platform::StopSignal* stop);
    void ShowLineSettings(const platform::LineSettings& settings, const char* caption);

    // One code as the reader got it; `wait_failed` tells a failed wait from a
    // scanned "ERROR".
    struct CodeRead {
        std::string code;
        bool wait_failed = false;
    };
    CodeRead ReadCode(platform::StopSignal* stop);
    void ScanThreadProc(ScanTask& task);
    std::int32_t ScanLoop(ScanTask& task);
    void StopTask(ScanTask& task);

    Platform m_platform;
    std::atomic<bool> m_modified{false};

    // The task reference (0: none) and the open device with its protocol file.
    // The scan task uses the device only while it runs, and every change of
    // these fields stops it first.
    std::atomic<std::int32_t> m_pScanThread{0};
    std::unique_ptr<ScanTask> m_task;  // host thread only
    // Tasks past "ENDSCAN" whose closing messages are still open when a new
    // task starts; stopped with the rest (host thread only).
    std::vector<std::unique_ptr<ScanTask>> m_closingTasks;
    std::unique_ptr<platform::Device> h_Lpt1;
    std::unique_ptr<platform::File> m_hProtocolFile;
    Gate m_writeGate;
    // One reader at a time per port, so no code is split between two readers.
    Gate m_readGate;

    // The nine properties, named as the automation interface names them.
    std::atomic<std::int32_t> withACKN{0};
    std::string defaultComSettings{kDefaultComSettings};  // host thread only
    std::atomic<std::int16_t> ScannerSuffixChar{3};
    std::atomic<std::int32_t> onlyWorkwithCurrentWindow{0};
    std::atomic<std::int32_t> debugModus{0};
    std::atomic<std::int32_t> ThreadId{23456};
    std::atomic<std::int32_t> scanWindowHandle{0};
    std::atomic<std::int16_t> timeout{10};
    std::atomic<std::int16_t> chartooem{0};

    static_assert(std::atomic<std::int16_t>::is_always_lock_free &&
                      std::atomic<std::int32_t>::is_always_lock_free,
                  "property words must be read and written whole without a lock");
};

}  // namespace orvanta
