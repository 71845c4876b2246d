// Window and keyboard input on Windows: how a scanned code reaches a program.
#pragma once

#include <windows.h>

#include "interfaces/input.h"

namespace orvanta::windows {

class Win32Input : public interfaces::Input {
public:
    interfaces::WindowId GetFocus() override;
    interfaces::CharSent SendChar(interfaces::WindowId window, std::uint32_t wparam, std::intptr_t lparam,
                                  std::uint32_t bound_ms) override;
    bool HandChar(interfaces::WindowId window, std::uint32_t wparam, std::intptr_t lparam) override;
    interfaces::CharSent Ping(interfaces::WindowId window, std::uint32_t bound_ms) override;
    interfaces::WindowId KeyboardTarget() override;
    void PrepareTyping(interfaces::WindowId target) override;
    // Typed as the keys a person would press on the receiving window's
    // layout, so Enter, Tab or Backspace in a code reach forms as those keys;
    // Unicode key events for what the layout cannot type or types only with Ctrl.
    std::uint32_t TypeChar(unsigned char ansi_char) override;

private:
    // Of the window the code is typed for (the scan task's thread only).
    HKL layout_ = nullptr;
    bool caps_lock_ = false;
};

}  // namespace orvanta::windows
