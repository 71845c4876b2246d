// Window and keyboard input on Windows: how a scanned code reaches a program.
#pragma once

#include "platform/input.h"

namespace orvanta::win32 {

class Win32Input : public platform::Input {
public:
    platform::WindowId GetFocus() override;
    bool SendChar(platform::WindowId window, std::uint32_t wparam, std::intptr_t lparam) override;
    // Typed as the character itself (a Unicode key event, down then up), so
    // neither the keyboard layout, Shift nor Caps Lock changes what arrives.
    void TypeChar(unsigned char ansi_char) override;
};

}  // namespace orvanta::win32
