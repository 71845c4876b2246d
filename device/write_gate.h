// Lets one write at a time through the control's write path, from the host's
// thread or the scan task's, so that no two writes share the record or
// interleave on the device and in the protocol file.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/threads.h"

namespace orvanta {

class WriteGate {
public:
    enum class Entry {
        Entered,
        Reentered,  // this thread is inside a write already (a box of it runs a message loop)
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
        cv_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool busy_ = false;
    std::thread::id owner_;
};

}  // namespace orvanta
