// The background scan task: code after code from the scanner, delivered to a
// window and answered, until "ENDSCAN" or a stop.
#include "logic/scanner/scan_session.h"

#include <algorithm>
#include <atomic>

#include "logic/reporting/texts.h"

namespace orvanta::logic {

namespace {
constexpr std::int16_t kAck = 0x06;
constexpr std::int16_t kErrorAnswer = 0x0F;
// What the loop returns when the device went away under it.
constexpr std::int32_t kDeviceGone = 1;
// A wait that keeps failing (a port gone) is retried with a growing pause.
constexpr std::uint32_t kFirstBackoffMs = 10;
constexpr std::uint32_t kLongestBackoffMs = 1000;

std::atomic<std::int32_t> g_lastReference{0};
}  // namespace

std::int32_t NextTaskReference() {
    std::int32_t current = g_lastReference.load();
    std::int32_t next;
    do {
        next = current == INT32_MAX ? 1 : current + 1;
    } while (!g_lastReference.compare_exchange_weak(current, next));
    return next;
}

ScanSession::ScanSession(const interfaces::Platform& platform, Settings& settings, Reporter& report,
                           DeviceChannel& channel)
    : platform_(platform), settings_(settings), report_(report), channel_(channel) {}

ScanSession::~ScanSession() { DeactivateScanTask(0); }

std::int32_t ScanSession::SendStartAck() {
    if (settings_.Acknowledge()) channel_.SendByte(kAck);
    return 0;
}

std::int32_t ScanSession::ReadingTaskOrSetAside() {
    if (IsScanTaskRunning() && !task_->closing.load()) return task_->reference;
    // A task past "ENDSCAN" reads no more; it may finish its messages beside
    // a new one. One that ended by itself has no thread left.
    if (IsScanTaskRunning()) closing_tasks_.push_back(std::move(task_));
    task_.reset();
    closing_tasks_.erase(std::remove_if(closing_tasks_.begin(), closing_tasks_.end(),
                                        [](const auto& t) { return t->worker->HasEnded(); }),
                         closing_tasks_.end());
    return 0;
}

std::int32_t ScanSession::ActivateScanTask() {
    const std::int32_t window = settings_.scanWindowHandle.load();
    // Called from a handler the stop runs: the stop decides what runs next,
    // so nothing is started, sent or captured.
    if (stopping_) return 0;
    if (!channel_.IsOpen()) {
        if (settings_.Debug()) report_.ShowNotice(texts::kNotActivated, texts::kCaptionError);
        return 0;
    }
    // One reading task per control: a second start names the running one.
    if (const std::int32_t reading = ReadingTaskOrSetAside()) return reading;

    SendStartAck();
    // The start answer's notices run a message loop, and the host may have
    // called in from one: a task it started meanwhile is the one; a device it
    // closed leaves nothing to read.
    if (!channel_.IsOpen()) return 0;
    if (const std::int32_t reading = ReadingTaskOrSetAside()) return reading;
    if (window == 0) settings_.scanWindowHandle.store(CaptureFocusWindow());

    auto task = std::make_unique<ScanTask>();
    task->stop = platform_.threads.CreateStopSignal();
    if (task->stop) {
        ScanTask* running = task.get();  // outlives its worker: stops join first
        task->worker = platform_.threads.Start([this, running] { ScanThreadProc(*running); });
    }
    if (!task->worker) {
        report_.ShowNotice(texts::kScanThreadFailed, texts::kCaptionBrisomel);
        TellEnd(*task, ScanEnd::kNotStarted);
        return 0;
    }
    task->reference = NextTaskReference();
    task_ = std::move(task);
    return task_->reference;
}

void ScanSession::TellEnd(ScanTask& task, ScanEnd why) {
    ScanListener* listener = listener_.load();
    if (listener && !task.end_told.exchange(true)) listener->OnScanEnded(why);
}

void ScanSession::ScanThreadProc(ScanTask& task) {
    if (ScanLoop(task) == kDeviceGone) {
        TellEnd(task, ScanEnd::kDeviceClosed);
        return;
    }
    if (task.stop->IsSet()) return;  // a stopped task says nothing more
    platform_.ui.ShowMessageBox(0, texts::kScanTaskEnded, texts::kCaptionBrisomel,
                                 interfaces::kMbIconInformation);
}

bool ScanSession::AwaitReturn(interfaces::StopSignal& stop) {
    // Nothing runs between the looks: the pause is the stop's own wait.
    do {
        if (stop.WaitFor(kLookIntervalMs)) return true;
    } while (!channel_.LookForReturn());
    return false;
}

void ScanSession::AnswerCode(bool acknowledged, interfaces::StopSignal& stop) {
    // Also from a stopping task: every code read is answered once. A set
    // stop would cancel a write the line had not ended at once, so that byte
    // waits for the line like any other.
    if (settings_.Acknowledge())
        channel_.SendByte(acknowledged ? kAck : kErrorAnswer, stop.IsSet() ? nullptr : &stop);
}

std::int32_t ScanSession::ScanLoop(ScanTask& task) {
    interfaces::StopSignal& stop = *task.stop;
    std::uint32_t backoff = 0;
    DeviceChannel::CodeRead read = channel_.ReadCode(&stop);
    for (;;) {
        // The device was closed under the task: there is nothing left to read
        // (an empty code each time would spin).
        if (read.no_device) return kDeviceGone;
        // The device went away: nothing reaches it, not even an answer, and
        // a code cut short by the loss is dropped (the scanner sends it
        // again). The session goes on once the device is back.
        if (channel_.IsLost()) {
            if (AwaitReturn(stop)) return 0;
            read = channel_.ReadCode(&stop);
            continue;
        }
        if (!read.wait_failed) backoff = 0;
        if (read.code == texts::kCodeEndScan && read.taken) break;
        if (stop.IsSet()) {
            // A code read but not handed over is still answered.
            if (read.taken) AnswerCode(false, stop);
            return 0;
        }
        if (read.code == texts::kCodeError) {
            if (settings_.Acknowledge()) channel_.SendByte(kErrorAnswer, &stop);
            if (read.wait_failed) {
                backoff = backoff ? std::min(backoff * 2, kLongestBackoffMs) : kFirstBackoffMs;
                if (stop.WaitFor(backoff)) return 0;
            }
        } else {
            report_.DebugBox(read.code.c_str(), texts::kCaptionCodeRead, interfaces::kMbIconInformation);
            const CodeDelivery delivery =
                stop.IsSet() ? CodeDelivery{0, false, true}
                             : DeliverCode(settings_.scanWindowHandle.load(), read.code, &stop);
            // The host's events follow the code; they decide its answer only
            // where there was no window (Acknowledges).
            ScanListener* listener = stop.IsSet() ? nullptr : listener_.load();
            const bool queued = listener && listener->OnCodeScanned(read.code);
            AnswerCode(Acknowledges(delivery, queued), stop);
            if (stop.IsSet()) return 0;
        }
        read = channel_.ReadCode(&stop);
    }
    if (settings_.Acknowledge()) channel_.SendByte(kAck, &stop);
    task.closing.store(true);
    if (!stop.IsSet()) TellEnd(task, ScanEnd::kEndScan);
    if (stop.IsSet()) return 0;
    report_.ShowNotice(texts::kScanEnded, texts::kCaptionBrisomel);
    return 0;
}

}  // namespace orvanta::logic
