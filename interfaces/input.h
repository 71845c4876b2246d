// Keyboard and window input: how a scanned code reaches another program.
#pragma once

#include <cstdint>

#include "interfaces/types.h"

namespace orvanta::interfaces {

// What became of one message sent to a window.
enum class CharSent {
    Taken,        // the window's procedure handled it
    Gone,         // no such window
    NotAnswered,  // the window's thread did not take it within the bound
    Hung,         // the system marks the window's thread as hung: given up at once
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
    // Hands WM_CHAR over without waiting (posted): it reaches the window
    // behind the messages sent to it before. False when it could not.
    virtual bool HandChar(WindowId window, std::uint32_t wparam, std::intptr_t lparam) = 0;
    // Sends a message that does nothing and waits at most `bound_ms` for the
    // window's thread to answer it, which it does only from its message loop.
    // One answered late does no harm.
    virtual CharSent Ping(WindowId window, std::uint32_t bound_ms) = 0;
    // The window that keyboard input goes to now (the focus window of the
    // window in front), 0 for none.
    virtual WindowId KeyboardTarget() = 0;
    // Reads what typing for `target` depends on from its own thread: its
    // keyboard layout and its Caps Lock state. Once per code, before TypeChar.
    virtual void PrepareTyping(WindowId target) = 0;
    // Types one character on the prepared layout, pressing and releasing
    // every key it needs. Returns the number of input messages the keys make
    // for the window that receives them; 0 when the system took none of them
    // (input blocked by another program, an elevated window in front).
    virtual std::uint32_t TypeChar(unsigned char ansi_char) = 0;
};

}  // namespace orvanta::interfaces
