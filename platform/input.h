// Keyboard and window input: how a scanned code reaches another program.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace orvanta::platform {

class Input {
public:
    virtual ~Input() = default;
    // The focus window of the calling thread's input queue, or 0.
    virtual WindowId GetFocus() = 0;
    // Sends WM_CHAR synchronously; returns false when the window is gone.
    virtual bool SendChar(WindowId window, std::uint32_t wparam, std::intptr_t lparam) = 0;
    // Types one character into the focused window of the system, whatever the
    // keyboard layout and lock keys, pressing and releasing every key it needs.
    virtual void TypeChar(unsigned char ansi_char) = 0;
};

}  // namespace orvanta::platform
