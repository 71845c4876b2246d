// Worker threads and stop signals on Windows.
#pragma once

#include <windows.h>

#include <atomic>

#include "interfaces/threads.h"
#include "framework/handle.h"

namespace orvanta::windows {

class Win32StopSignal : public interfaces::StopSignal {
public:
    Win32StopSignal();
    void Set() override {
        set_.store(true);
        SetEvent(event_.get());
    }
    void Reset() override {
        set_.store(false);
        ResetEvent(event_.get());
    }
    // Asked once per code and per byte: a flag, not a kernel call.
    bool IsSet() const override { return set_.load(); }
    bool WaitFor(std::uint32_t ms) override {
        return WaitForSingleObject(event_.get(), ms) == WAIT_OBJECT_0;
    }
    void* WaitHandle() const override { return event_.get(); }

private:
    framework::UniqueEvent event_;
    std::atomic<bool> set_{false};
};

class Win32Threads : public interfaces::Threads {
public:
    std::unique_ptr<interfaces::StopSignal> CreateStopSignal() override;
    std::unique_ptr<interfaces::Worker> Start(std::function<void()> body) override;
    std::uint32_t CurrentThreadId() override { return GetCurrentThreadId(); }
    void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
    std::uint32_t TickMs() override { return GetTickCount(); }
};

// The event of a stop signal, or null when it has none.
inline HANDLE StopEventOf(const interfaces::StopSignal* stop) {
    return stop ? static_cast<HANDLE>(stop->WaitHandle()) : nullptr;
}

}  // namespace orvanta::windows
