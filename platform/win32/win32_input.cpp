#include "platform/win32/win32_input.h"

#include <windows.h>

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
    INPUT keys[2] = {};
    for (INPUT& key : keys) {
        key.type = INPUT_KEYBOARD;
        key.ki.wScan = static_cast<WORD>(wide);
        key.ki.dwFlags = KEYEVENTF_UNICODE;
    }
    keys[1].ki.dwFlags |= KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

}  // namespace orvanta::win32
