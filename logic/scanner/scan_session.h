// The scan session: the background scan task that reads code after code
// through the device channel, hands each to an application window and answers
// the scanner, until "ENDSCAN" or a stop; and the delivery it uses, which the
// host may call on its own as well.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "logic/reporting/reporter.h"
#include "interfaces/services.h"
#include "logic/settings/settings.h"
#include "logic/device/channel.h"
#include "interfaces/threads.h"

namespace orvanta::logic {

// Why a scan task ended, as the host is told; the values are published.
enum class ScanEnd : std::int32_t {
    kEndScan = 0,       // the scanner sent "ENDSCAN"
    kStopped = 1,       // the host stopped it (DeactivateScanTask)
    kDeviceClosed = 2,  // the host closed the device (CloseDevice, OpenDevice)
    kNotStarted = 3,    // its thread could not start, so it read nothing
};

// Whoever follows the scan task besides the window and the keyboard: the
// host's events. Called from the worker and from the host's thread alike;
// it must only queue, never call into the host.
class ScanListener {
public:
    // True when the code was queued for at least one listener: then it
    // counts as delivered.
    virtual bool OnCodeScanned(const std::string& code) = 0;
    virtual void OnScanEnded(ScanEnd why) = 0;

protected:
    ~ScanListener() = default;
};

// A running scan task: the number that names it, the signal that stops it,
// and its worker thread.
struct ScanTask {
    std::int32_t reference = 0;
    std::unique_ptr<interfaces::StopSignal> stop;
    std::unique_ptr<interfaces::Worker> worker;
    // Set once "ENDSCAN" is answered: the task reads no more and only its
    // closing messages remain, so a new activation starts a new task.
    std::atomic<bool> closing{false};
    // Its end is told once, by whoever sees it first.
    std::atomic<bool> end_told{false};
};

// What became of one code handed to an application. The scanner's answer
// follows from it alone (Acknowledges), except where there was no window.
struct CodeDelivery {
    // Characters handed over (sent, handed or typed); -1: message mode with
    // no window to send to, where the host's events decide.
    std::int32_t count = 0;
    bool whole = false;      // every character was handed over (an empty code too)
    bool confirmed = false;  // the application has taken all that was handed over
};

// The delivery contract: 0x06 for a code handed over whole (taken, or on its
// way to a program that has not taken it yet), and for part of a code still
// on its way (a resend would repeat it); 0x0F for a code of which nothing was
// handed over, or of which a part arrived and nothing more can. `queued`:
// the code was queued for a connected sink, which counts only where there
// was no window.
bool Acknowledges(const CodeDelivery& delivery, bool queued);

// How long a window may take for its first answer to a code, and the longest
// one character message is waited for. A window that does not answer in time
// is handed nothing of the code.
constexpr std::uint32_t kCharAnswerMs = 1000;
// A code's bound: whatever it cost the window to take it, typed keys or
// character messages, in proportion to the input it made. A window that keeps
// up needs a fraction of it; the rest of a slow one's code is handed over
// without waiting.
constexpr std::uint32_t kKeysTakenMs = 3000;
constexpr std::uint32_t kPerMessageMs = 5;
constexpr std::uint32_t CodeBoundMs(std::uint32_t messages) { return kKeysTakenMs + kPerMessageMs * messages; }

// Task references: small positive numbers, unique in the process while it
// runs for a long time (they wrap after 2^31 - 1 tasks, skipping 0).
std::int32_t NextTaskReference();

class ScanSession {
public:
    ScanSession(const interfaces::Platform& platform, Settings& settings, Reporter& report,
                 DeviceChannel& channel);
    ~ScanSession();
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;

    std::int32_t ActivateScanTask();
    // `why` is what a stopped task's listener hears.
    std::int32_t DeactivateScanTask(std::int32_t task_reference, ScanEnd why = ScanEnd::kStopped);
    // Set on the host's thread, before or between tasks; null for none.
    void SetListener(ScanListener* listener) { listener_.store(listener); }
    std::int32_t SendStartAck();
    // Whether the task's thread still runs (it has not read "ENDSCAN" and
    // closed its messages).
    bool IsScanTaskRunning() const;

    // Delivery. `stop`, when given, is the scan task's stop signal.
    std::int32_t CaptureFocusWindow();
    // The one place that hands a code over and finds out what became of it.
    CodeDelivery DeliverCode(std::int32_t window, const std::string& code, interfaces::StopSignal* stop);

    // Whether a stop is in progress (host thread only). The stop takes in the
    // messages the task sends to the host's windows, so the host's handlers,
    // and any member they call, run inside it: such a call starts nothing.
    bool StopInProgress() const { return stopping_; }
    // A device close asked for inside a stop, done once the stop has ended.
    void CloseDeviceAfterStop() { close_after_stop_ = true; }

private:
    // The reading task's reference; else 0, with a task in its closing
    // messages set aside and one that ended dropped.
    std::int32_t ReadingTaskOrSetAside();
    void ScanThreadProc(ScanTask& task);
    std::int32_t ScanLoop(ScanTask& task);
    void StopTask(ScanTask& task, ScanEnd why);
    void TellEnd(ScanTask& task, ScanEnd why);
    CodeDelivery TypeCode(const std::string& code, interfaces::StopSignal* stop);
    CodeDelivery SendCode(interfaces::WindowId target, const std::string& code, interfaces::StopSignal* stop);
    // Waits for `target`'s answer within `bound_ms` from `start`, in slices
    // that see the stop.
    interfaces::CharSent AwaitAnswer(interfaces::WindowId target, std::uint32_t start, std::uint32_t bound_ms,
                                     interfaces::StopSignal* stop);
    // Whether `target`'s thread has taken the `messages` input messages
    // typed for it, within the code's bound.
    bool AwaitKeysTaken(interfaces::WindowId target, std::uint32_t messages, interfaces::StopSignal* stop);
    void ShowDelivery(const std::string& code, std::int32_t count, interfaces::StopSignal* stop);
    // Looks for the lost device until it is back (false) or the task is stopped (true).
    bool AwaitReturn(interfaces::StopSignal& stop);
    // The scanner's answer to a code read.
    void AnswerCode(bool acknowledged, interfaces::StopSignal& stop);

    interfaces::Platform platform_;
    Settings& settings_;
    Reporter& report_;
    DeviceChannel& channel_;

    std::atomic<ScanListener*> listener_{nullptr};
    std::unique_ptr<ScanTask> task_;  // host thread only
    // Tasks past "ENDSCAN" whose closing messages are still open when a new
    // task starts; stopped with the rest (host thread only).
    std::vector<std::unique_ptr<ScanTask>> closing_tasks_;
    // The window that was last handed characters posted, and how many of
    // them it is not yet known to have taken (the reading task only).
    std::atomic<interfaces::WindowId> posted_to_{0};
    std::atomic<std::uint32_t> posted_left_{0};
    bool stopping_ = false;          // host thread only
    bool close_after_stop_ = false;  // host thread only
};

}  // namespace orvanta::logic
