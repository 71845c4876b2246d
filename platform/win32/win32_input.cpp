#include "platform/win32/win32_input.h"

#include <windows.h>

#include "platform/keystrokes.h"

namespace orvanta::win32 {

platform::WindowId Win32Input::GetFocus() {
    return reinterpret_cast<platform::WindowId>(::GetFocus());
}

bool Win32Input::SendChar(platform::WindowId window, std::uint32_t wparam, std::intptr_t lparam) {
    const HWND target = reinterpret_cast<HWND>(window);
    if (!IsWindow(target)) return false;
    SendMessageA(target, WM_CHAR, static_cast<WPARAM>(wparam), static_cast<LPARAM>(lparam));
    return true;
}

void Win32Input::TypeChar(unsigned char ansi_char) {
    const char narrow = static_cast<char>(ansi_char);
    wchar_t wide = 0;
    if (MultiByteToWideChar(CP_ACP, 0, &narrow, 1, &wide, 1) != 1) return;
    // The layout of the program that receives the keys, not of this thread.
    const HWND foreground = GetForegroundWindow();
    const HKL layout = GetKeyboardLayout(foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0);
    const SHORT scan = VkKeyScanExW(wide, layout);
    platform::LayoutKey key;
    if (scan != -1) {
        key.found = true;
        key.vk = LOBYTE(scan);
        key.modifiers = HIBYTE(scan);
        key.dead = (MapVirtualKeyExW(key.vk, MAPVK_VK_TO_CHAR, layout) & 0x80000000u) != 0;
    }
    const bool caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
    const bool has_case = CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(wide))) !=
                          CharLowerW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(wide)));
    const platform::KeyPlan plan = platform::PlanKeystrokes(wide, key, caps, has_case);

    INPUT inputs[8] = {};
    for (std::size_t i = 0; i < plan.count; ++i) {
        const platform::KeyEvent& e = plan.events[i];
        INPUT& in = inputs[i];
        in.type = INPUT_KEYBOARD;
        if (e.vk) {
            in.ki.wVk = e.vk;
            in.ki.wScan = static_cast<WORD>(MapVirtualKeyExW(e.vk, MAPVK_VK_TO_VSC, layout));
        } else {
            in.ki.wScan = e.unicode;
            in.ki.dwFlags = KEYEVENTF_UNICODE;
        }
        if (e.up) in.ki.dwFlags |= KEYEVENTF_KEYUP;
    }
    // One call: the user's own keys cannot fall between the modifiers and the key.
    SendInput(static_cast<UINT>(plan.count), inputs, sizeof(INPUT));
}

}  // namespace orvanta::win32
