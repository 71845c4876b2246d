// Window and keyboard input on Windows: how a scanned code reaches a program.
#pragma once

#include "interfaces/input.h"

namespace orvanta::windows {

class Win32Input : public interfaces::Input {
public:
    interfaces::WindowId GetFocus() override;
    interfaces::CharSent SendChar(interfaces::WindowId window, std::uint32_t wparam, std::intptr_t lparam,
                                std::uint32_t bound_ms) override;
    // Typed as the keys a person would press on the receiving window's
    // layout, so Enter, Tab or Backspace in a code reach forms as those keys;
    // Unicode key events for what the layout cannot type or types only with Ctrl.
    std::uint32_t TypeChar(unsigned char ansi_char) override;
    interfaces::WindowId KeyboardTarget() override;
    bool AwaitInputTaken(interfaces::WindowId window, std::uint32_t messages, std::uint32_t bound_ms,
                         interfaces::StopSignal* stop) override;
};

}  // namespace orvanta::windows
