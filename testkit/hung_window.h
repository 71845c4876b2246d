// A window whose thread takes no messages until the window goes: a target
// that never answers.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "framework/handle.h"
#include "testkit/peer.h"

namespace orvanta::testing {

class HungWindow {
public:
    explicit HungWindow(bool visible = true)
        : owner_([this, visible] {
              window_ = CreateWindowExA(0, "STATIC", "hung", WS_POPUP | (visible ? WS_VISIBLE : 0), 0, 0, 10, 10,
                                        nullptr, nullptr, nullptr, nullptr);
              WaitForSingleObject(release_.get(), INFINITE);  // no message loop meanwhile
              DestroyWindow(window_);
          }) {
        // The process's first window connects to the display: slow on a busy machine.
        PumpUntil([&] { return window_.load() != nullptr; }, 4 * kBound);
    }
    ~HungWindow() {
        SetEvent(release_.get());
        owner_.join();
    }
    HWND window() const { return window_.load(); }
    std::int32_t handle() const { return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(window_.load())); }

private:
    std::atomic<HWND> window_{nullptr};
    framework::UniqueEvent release_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::thread owner_;
};

}  // namespace orvanta::testing
