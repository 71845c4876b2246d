// Window and keyboard input on Windows: how a scanned code reaches a program.
#pragma once

#include "platform/input.h"

namespace orvanta::win32 {

class Win32Input : public platform::Input {
public:
    platform::WindowId GetFocus() override;
    bool SendChar(platform::WindowId window, std::uint32_t wparam, std::intptr_t lparam) override;
    // Typed as the keys a person would press on the receiving window's
    // layout, so Enter, Tab or Backspace in a code reach forms as those keys;
    // Unicode key events only for what the layout cannot type.
    void TypeChar(unsigned char ansi_char) override;
};

}  // namespace orvanta::win32
