// Lets one caller at a time through a path of the control, from the host's
// thread or the scan task's: the write path (so no two writes run at once
// or interleave on the device and in the protocol file) and the read path (so
// no code is split between two readers).
//
// Callers are told apart by the platform's thread ids and woken by a platform
// signal. The runtime's own thread ids and timed waits keep a record for each
// thread of the host that calls in, which nobody frees when the module goes.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "interfaces/threads.h"

namespace orvanta::logic {

class Gate {
public:
    enum class Entry {
        Entered,
        Reentered,  // this thread is inside already (a box of it runs a message loop)
        Stopped,    // the caller's stop signal was set while it waited
    };

    explicit Gate(interfaces::Threads& threads) : threads_(threads), wake_(threads.CreateStopSignal()) {}
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;

    Entry Enter(interfaces::StopSignal* stop) {
        const std::uint32_t me = threads_.CurrentThreadId();
        for (bool waited = false;; waited = true) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (waited) --waiters_;
                if (!busy_) {
                    busy_ = true;
                    owner_ = me;
                    return Entry::Entered;
                }
                if (owner_ == me) return Entry::Reentered;
                if (stop && stop->IsSet()) return Entry::Stopped;
                // Reset while the gate is held: the holder's leave sets it
                // after this, so no leave is missed.
                if (wake_) wake_->Reset();
                ++waiters_;
            }
            // A stop does not set the wake signal: look again now and then.
            const std::uint32_t ms = stop ? 20 : 1000;
            if (wake_) wake_->WaitFor(ms);
            else threads_.Sleep(1);
        }
    }

    void Leave() { Free(false); }

    // Frees the gate from a thread that was terminated inside it; true when
    // it did. The calling thread's own passage is kept.
    bool Abandon() { return Free(true); }

private:
    bool Free(bool abandon) {
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (abandon && (!busy_ || owner_ == threads_.CurrentThreadId())) return false;
            busy_ = false;
            owner_ = 0;
            wake = waiters_ > 0;
        }
        // Only a waiter needs the signal: a passage nobody waits for costs
        // no call to the system.
        if (wake && wake_) wake_->Set();
        return true;
    }

    interfaces::Threads& threads_;
    const std::unique_ptr<interfaces::StopSignal> wake_;  // null: waiters poll
    std::mutex mutex_;
    bool busy_ = false;
    int waiters_ = 0;
    std::uint32_t owner_ = 0;  // no thread has id 0
};

// Leaves the gate however the passage ends.
class GatePass {
public:
    explicit GatePass(Gate& gate) : gate_(gate) {}
    ~GatePass() { gate_.Leave(); }
    GatePass(const GatePass&) = delete;
    GatePass& operator=(const GatePass&) = delete;

private:
    Gate& gate_;
};

}  // namespace orvanta::logic
