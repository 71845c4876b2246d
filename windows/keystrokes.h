// The keys a person presses to type one character on a keyboard layout, as a
// plan of key events: the Win32 input sends it, the unit tests read it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvanta::windows {

// What the layout says of a character (VkKeyScanEx's answer, split up).
struct LayoutKey {
    bool found = false;          // the layout has a key for it
    std::uint8_t vk = 0;         // virtual key
    std::uint8_t modifiers = 0;  // kShift | kCtrl | kAlt, or other bits the layout uses
    bool dead = false;           // a dead key: it would wait to combine with the next one
};

enum : std::uint8_t { kShift = 1, kCtrl = 2, kAlt = 4 };
enum : std::uint8_t { kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12 };
enum : std::uint8_t { kVkBack = 0x08, kVkTab = 0x09, kVkReturn = 0x0D, kVkEscape = 0x1B };

struct KeyEvent {
    std::uint16_t vk = 0;       // 0: a Unicode event for `unicode`
    std::uint16_t unicode = 0;
    bool up = false;
};

struct KeyPlan {
    std::array<KeyEvent, 8> events{};
    std::size_t count = 0;
    void Add(KeyEvent e) { events[count++] = e; }
};

// The character as its key on the layout, with the modifiers it needs pressed
// around it and released after it. A character the layout cannot type, or
// only through a dead key, a modifier the plan does not know, or Ctrl without
// Alt (a Ctrl shortcut means something else to a program), goes as a Unicode
// event. CR and LF are Enter, Tab, Backspace and Escape are themselves, with
// no modifier whatever the layout says. `caps_lock` with `has_case` flips
// Shift, so the case comes out as sent whatever Caps Lock says.
KeyPlan PlanKeystrokes(std::uint16_t unicode, const LayoutKey& key, bool caps_lock, bool has_case);

}  // namespace orvanta::windows
