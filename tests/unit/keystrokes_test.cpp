#include <gtest/gtest.h>

#include <string>

#include "windows/keystrokes.h"

namespace orvanta::windows {
namespace {

// "+10 -10" style: v for a key down, ^ for up, u for a Unicode event.
std::string Show(const KeyPlan& plan) {
    std::string s;
    for (std::size_t i = 0; i < plan.count; ++i) {
        const KeyEvent& e = plan.events[i];
        s += e.up ? '^' : 'v';
        s += e.vk ? std::to_string(e.vk) : "u" + std::to_string(e.unicode);
        s += ' ';
    }
    return s;
}

LayoutKey Key(std::uint8_t vk, std::uint8_t mods, bool dead = false) { return {true, vk, mods, dead}; }

TEST(Keystrokes, ControlCharactersAreThePlainKeysNeverWithCtrl) {
    EXPECT_EQ(Show(PlanKeystrokes('\r', Key(0x0D, 0), true, false)), "v13 ^13 ");
    // LF is Ctrl+Enter on a US layout and another key under Wine's: Enter.
    EXPECT_EQ(Show(PlanKeystrokes('\n', Key(0x0D, kCtrl), false, false)), "v13 ^13 ");
    EXPECT_EQ(Show(PlanKeystrokes('\n', Key(0xE4, 0), false, false)), "v13 ^13 ");
    EXPECT_EQ(Show(PlanKeystrokes('\t', Key(0x09, 0), false, false)), "v9 ^9 ");
    EXPECT_EQ(Show(PlanKeystrokes('\b', LayoutKey{}, false, false)), "v8 ^8 ");
    EXPECT_EQ(Show(PlanKeystrokes(0x1B, Key(0xDB, kCtrl), false, false)), "v27 ^27 ");
    // What the layout reaches only with Ctrl is no shortcut: Unicode.
    EXPECT_EQ(Show(PlanKeystrokes(0x01, Key('A', kCtrl), false, false)), "vu1 ^u1 ");
}

TEST(Keystrokes, ShiftFollowsCapsLockOnLettersOnly) {
    EXPECT_EQ(Show(PlanKeystrokes('A', Key('A', kShift), false, true)), "v16 v65 ^65 ^16 ");
    EXPECT_EQ(Show(PlanKeystrokes('A', Key('A', kShift), true, true)), "v65 ^65 ");
    EXPECT_EQ(Show(PlanKeystrokes('a', Key('A', 0), true, true)), "v16 v65 ^65 ^16 ");
    EXPECT_EQ(Show(PlanKeystrokes('!', Key('1', kShift), true, false)), "v16 v49 ^49 ^16 ");
    // AltGr (Ctrl+Alt) is left alone, and every modifier is released in reverse.
    EXPECT_EQ(Show(PlanKeystrokes(0x20AC, Key('E', kCtrl | kAlt), true, true)), "v17 v18 v69 ^69 ^18 ^17 ");
}

TEST(Keystrokes, WhatTheLayoutCannotTypePlainlyGoesAsUnicode) {
    const std::string unicode = "vu196 ^u196 ";
    EXPECT_EQ(Show(PlanKeystrokes(196, LayoutKey{}, false, true)), unicode);
    EXPECT_EQ(Show(PlanKeystrokes(196, Key(0xDE, 0, true), false, true)), unicode);  // dead key
    EXPECT_EQ(Show(PlanKeystrokes(196, Key(0xDE, 8), false, true)), unicode);        // Kana and the like
}

}  // namespace
}  // namespace orvanta::windows
