// Worker threads and the signal that stops them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace orvanta::interfaces {

// A manual-reset signal. Every blocking platform call that takes one returns
// promptly once it is set, from any thread.
class StopSignal {
public:
    virtual ~StopSignal() = default;
    virtual void Set() = 0;
    virtual void Reset() = 0;
    virtual bool IsSet() const = 0;
    // Waits up to `ms` milliseconds; true when the signal is set.
    virtual bool WaitFor(std::uint32_t ms) = 0;
    // The platform's waitable object behind the signal, for waits that
    // combine it with an I/O completion; null when there is none.
    virtual void* WaitHandle() const { return nullptr; }
};

class Worker {
public:
    virtual ~Worker() = default;
    // Waits up to `ms` for the thread to end; true when it has.
    virtual bool Join(std::uint32_t ms) = 0;
    virtual bool HasEnded() const = 0;
    // The last resort for a thread that does not end when asked.
    virtual void Terminate() = 0;
    virtual std::uint32_t ThreadId() const = 0;
};

class Threads {
public:
    virtual ~Threads() = default;
    virtual std::unique_ptr<StopSignal> CreateStopSignal() = 0;
    // Starts `body` on a new thread at normal priority; null when it cannot start.
    virtual std::unique_ptr<Worker> Start(std::function<void()> body) = 0;
    virtual std::uint32_t CurrentThreadId() = 0;
    // Sleep(0) gives the processor to another ready thread and returns at
    // once; any longer sleep lasts at least one timer tick (15.6 ms by
    // default on Windows), so nothing that repeats per key may sleep.
    virtual void Sleep(std::uint32_t ms) = 0;
    // Milliseconds from an arbitrary start, wrapping (the system's tick count).
    virtual std::uint32_t TickMs() = 0;
};

}  // namespace orvanta::interfaces
