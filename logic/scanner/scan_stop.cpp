// Stopping the scan task, wherever it is, and resetting the fields.
#include "logic/scanner/scan_session.h"

#include <utility>

namespace orvanta::logic {

namespace {
// The task is asked to end and its boxes are closed. Every wait of the task
// sees the stop or has a bound of its own (a window that does not answer: one
// character's bound; typed keys: a slice; a cancelled read or write: 2 s), so
// it ends by itself within about a second. Only a thread held by what the
// platform cannot interrupt (a driver call that never returns, a hook) is
// still running after this long, and only that one is terminated.
constexpr int kStopRounds = 100;
constexpr std::uint32_t kStopRoundMs = 50;
}  // namespace

bool ScanSession::IsScanTaskRunning() const { return task_ && !task_->worker->HasEnded(); }

std::int32_t ScanSession::DeactivateScanTask(std::int32_t task_reference, ScanEnd why) {
    // Called from a handler the running stop takes in: that stop does it.
    if (stopping_) return 0;
    struct InProgress {
        ScanSession& session;
        explicit InProgress(ScanSession& s) : session(s) { session.stopping_ = true; }
        ~InProgress() {
            session.stopping_ = false;
            // Asked for by a handler inside the stop: now no task uses the device.
            if (std::exchange(session.close_after_stop_, false)) session.channel_.Close();
        }
    } in_progress(*this);
    // 0 names the stored task and every task still in its closing messages;
    // any other value must be one task's reference. A value that names no
    // task changes nothing: the running task keeps its window.
    if (task_reference != 0 && !(task_ && task_->reference == task_reference)) {
        for (auto it = closing_tasks_.begin(); it != closing_tasks_.end(); ++it) {
            if ((*it)->reference != task_reference) continue;
            std::unique_ptr<ScanTask> task = std::move(*it);
            closing_tasks_.erase(it);
            StopTask(*task, why);
            break;
        }
        return 0;
    }
    if (task_) {
        std::unique_ptr<ScanTask> task = std::move(task_);
        StopTask(*task, why);
    }
    if (task_reference == 0) {
        std::vector<std::unique_ptr<ScanTask>> closing = std::move(closing_tasks_);
        closing_tasks_.clear();
        for (auto& task : closing) StopTask(*task, why);
    }
    settings_.scanWindowHandle.store(0);
    return 0;
}

void ScanSession::StopTask(ScanTask& task, ScanEnd why) {
    interfaces::Worker& worker = *task.worker;
    // Told after the stop, so it follows every code the task queued.
    struct Tell {
        ScanSession& session;
        ScanTask& task;
        ScanEnd why;
        ~Tell() { session.TellEnd(task, why); }
    } tell{*this, task, why};
    if (worker.HasEnded()) return;
    task.stop->Set();
    const std::uint32_t thread = worker.ThreadId();
    bool ended = false;
    for (int round = 0; round < kStopRounds && !ended; ++round) {
        // Again each round: the task may have been about to show a box.
        platform_.ui.DismissThread(thread);
        ended = worker.Join(kStopRoundMs);
    }
    if (!ended) {
        worker.Terminate();
        // Whatever path it was inside is free again.
        channel_.AbandonPaths();
    }
    platform_.ui.ReleaseThread(thread);
}

}  // namespace orvanta::logic
