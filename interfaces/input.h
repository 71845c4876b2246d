// Keyboard and window input: how a scanned code reaches another program.
#pragma once

#include <cstdint>

#include "interfaces/types.h"

namespace orvanta::interfaces {

class StopSignal;

// What became of one character message.
enum class CharSent {
    Taken,        // the window's procedure handled it
    Gone,         // no such window
    NotAnswered,  // the window's thread did not take it within the bound
};

class Input {
public:
    virtual ~Input() = default;
    // The focus window of the calling thread's input queue, or 0.
    virtual WindowId GetFocus() = 0;
    // Sends WM_CHAR and waits at most `bound_ms` for the window to handle it.
    // A window whose thread does not take it in time keeps the message (it
    // may still handle it later); the sender goes on.
    virtual CharSent SendChar(WindowId window, std::uint32_t wparam, std::intptr_t lparam,
                              std::uint32_t bound_ms) = 0;
    // Types one character into the focused window of the system, whatever the
    // keyboard layout and lock keys, pressing and releasing every key it needs.
    // Returns the number of input messages the keys make for the window that
    // receives them (0: nothing was typed).
    virtual std::uint32_t TypeChar(unsigned char ansi_char) = 0;
    // The window that keyboard input goes to now (the foreground window), 0 for none.
    virtual WindowId KeyboardTarget() = 0;
    // Waits until `window`'s thread has taken `messages` input messages typed
    // for it, at most `bound_ms` and not past a set `stop`. True when it has;
    // false when the window does not answer in time, is gone, or the stop came.
    virtual bool AwaitInputTaken(WindowId window, std::uint32_t messages, std::uint32_t bound_ms,
                                 StopSignal* stop) = 0;
};

}  // namespace orvanta::interfaces
