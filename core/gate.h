// Lets one caller at a time through a path of the control, from the host's
// thread or the scan task's: the write path (so no two writes share the record
// or interleave on the device and in the protocol file) and the read path (so
// no code is split between two readers).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/threads.h"

namespace orvanta {

class Gate {
public:
    enum class Entry {
        Entered,
        Reentered,  // this thread is inside already (a box of it runs a message loop)
        Stopped,    // the caller's stop signal was set while it waited
    };

    Entry Enter(platform::StopSignal* stop) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (busy_ && owner_ == std::this_thread::get_id()) return Entry::Reentered;
        while (busy_) {
            if (stop && stop->IsSet()) return Entry::Stopped;
            // A stop does not notify this condition: look again now and then.
            cv_.wait_for(lock, std::chrono::milliseconds(stop ? 20 : 1000));
        }
        busy_ = true;
        owner_ = std::this_thread::get_id();
        return Entry::Entered;
    }

    void Leave() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            busy_ = false;
            owner_ = std::thread::id();
        }
        cv_.notify_all();
    }

    // Frees the gate from a thread that was terminated inside it; true when
    // it did. The calling thread's own passage is kept.
    bool Abandon() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!busy_ || owner_ == std::this_thread::get_id()) return false;
            busy_ = false;
            owner_ = std::thread::id();
        }
        cv_.notify_all();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool busy_ = false;
    std::thread::id owner_;
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

}  // namespace orvanta
