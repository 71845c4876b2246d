// Window and keyboard input on Windows: how a scanned code reaches a program.
#pragma once

#include "platform/input.h"

namespace orvanta::win32 {

class Win32Input : public platform::Input {
public:
    platform::WindowId GetFocus() override;
    platform::CharSent SendChar(platform::WindowId window, std::uint32_t wparam, std::intptr_t lparam,
                                std::uint32_t bound_ms) override;
    // Typed as the keys a person would press on the receiving window's
    // layout, so Enter, Tab or Backspace in a code reach forms as those keys;
    // Unicode key events for what the layout cannot type or types only with Ctrl.
    std::uint32_t TypeChar(unsigned char ansi_char) override;
    platform::WindowId KeyboardTarget() override;
    bool AwaitInputTaken(platform::WindowId window, std::uint32_t messages, std::uint32_t bound_ms,
                         platform::StopSignal* stop) override;
};

}  // namespace orvanta::win32
