#include "windows/keystrokes.h"

namespace orvanta::windows {

namespace {

// The key a person presses for a control character a scanner sends; 0 for
// the rest. Scanners end codes with CR, LF or both.
std::uint8_t PlainKey(std::uint16_t c) {
    switch (c) {
    case '\r':
    case '\n': return kVkReturn;
    case '\t': return kVkTab;
    case '\b': return kVkBack;
    case 0x1B: return kVkEscape;
    default: return 0;
    }
}

}  // namespace

KeyPlan PlanKeystrokes(std::uint16_t unicode, const LayoutKey& key, bool caps_lock, bool has_case) {
    KeyPlan plan;
    if (const std::uint8_t plain = PlainKey(unicode)) {
        plan.Add({plain, 0, false});
        plan.Add({plain, 0, true});
        return plan;
    }
    const bool ctrl_only = (key.modifiers & (kCtrl | kAlt)) == kCtrl;
    if (!key.found || key.dead || (key.modifiers & ~(kShift | kCtrl | kAlt)) != 0 || key.vk == 0 ||
        ctrl_only) {
        plan.Add({0, unicode, false});
        plan.Add({0, unicode, true});
        return plan;
    }
    std::uint8_t mods = key.modifiers;
    // Caps Lock inverts Shift on letters only, and not under Ctrl or AltGr.
    if (caps_lock && has_case && (mods & (kCtrl | kAlt)) == 0) mods ^= kShift;
    static constexpr std::uint8_t kOrder[] = {kCtrl, kAlt, kShift};
    static constexpr std::uint8_t kVk[] = {kVkControl, kVkMenu, kVkShift};
    for (std::size_t i = 0; i < 3; ++i)
        if (mods & kOrder[i]) plan.Add({kVk[i], 0, false});
    plan.Add({key.vk, 0, false});
    plan.Add({key.vk, 0, true});
    for (std::size_t i = 3; i-- > 0;)
        if (mods & kOrder[i]) plan.Add({kVk[i], 0, true});
    return plan;
}

}  // namespace orvanta::windows
