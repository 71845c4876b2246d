#include "windows/win32_input.h"

#include <windows.h>

#include <algorithm>

#include "interfaces/keystrokes.h"
#include "interfaces/threads.h"

namespace orvanta::windows {

namespace {
constexpr DWORD kStopCheckMs = 100;
}

interfaces::WindowId Win32Input::GetFocus() {
    return reinterpret_cast<interfaces::WindowId>(::GetFocus());
}

interfaces::CharSent Win32Input::SendChar(interfaces::WindowId window, std::uint32_t wparam,
                                        std::intptr_t lparam, std::uint32_t bound_ms) {
    const HWND target = reinterpret_cast<HWND>(window);
    if (!IsWindow(target)) return interfaces::CharSent::Gone;
    // Bounded: a window whose thread takes no messages must not hold the scan
    // task; one the system already knows as hung is given up at once.
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutA(target, WM_CHAR, static_cast<WPARAM>(wparam), static_cast<LPARAM>(lparam),
                            SMTO_NORMAL | SMTO_ABORTIFHUNG, bound_ms, &answer))
        return interfaces::CharSent::Taken;
    return IsWindow(target) ? interfaces::CharSent::NotAnswered : interfaces::CharSent::Gone;
}

std::uint32_t Win32Input::TypeChar(unsigned char ansi_char) {
    const char narrow = static_cast<char>(ansi_char);
    wchar_t wide = 0;
    if (MultiByteToWideChar(CP_ACP, 0, &narrow, 1, &wide, 1) != 1) return 0;
    // The layout of the program that receives the keys, not of this thread.
    const HWND foreground = GetForegroundWindow();
    const HKL layout = GetKeyboardLayout(foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0);
    const SHORT scan = VkKeyScanExW(wide, layout);
    interfaces::LayoutKey key;
    if (scan != -1) {
        key.found = true;
        key.vk = LOBYTE(scan);
        key.modifiers = HIBYTE(scan);
        key.dead = (MapVirtualKeyExW(key.vk, MAPVK_VK_TO_CHAR, layout) & 0x80000000u) != 0;
    }
    const bool caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
    const bool has_case = CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(wide))) !=
                          CharLowerW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(wide)));
    const interfaces::KeyPlan plan = interfaces::PlanKeystrokes(wide, key, caps, has_case);

    INPUT inputs[8] = {};
    for (std::size_t i = 0; i < plan.count; ++i) {
        const interfaces::KeyEvent& e = plan.events[i];
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
    const UINT sent = SendInput(static_cast<UINT>(plan.count), inputs, sizeof(INPUT));
    // Each key event is one message; the key that makes the character brings
    // the WM_CHAR its key-down is translated into.
    return sent ? sent + 1 : 0;
}

interfaces::WindowId Win32Input::KeyboardTarget() {
    const HWND foreground = GetForegroundWindow();
    if (!foreground) return 0;
    // The focus window within it, whose thread the keys are queued for.
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(foreground, nullptr), &info) && info.hwndFocus)
        return reinterpret_cast<interfaces::WindowId>(info.hwndFocus);
    return reinterpret_cast<interfaces::WindowId>(foreground);
}

bool Win32Input::AwaitInputTaken(interfaces::WindowId window, std::uint32_t messages,
                                 std::uint32_t bound_ms, interfaces::StopSignal* stop) {
    const HWND target = reinterpret_cast<HWND>(window);
    if (!target) return false;  // keys typed with no window in front go nowhere
    // Nothing tells one thread how much input another has left. A message
    // sent to the window is answered only when its thread is back in its
    // message loop, and each pass of that loop takes at most one queued
    // message; so once as many answers as the keys made messages (twice,
    // for loops that peek before they take) have come back, the thread has
    // taken them. A thread with nothing queued answers at once.
    const DWORD start = GetTickCount();
    for (std::uint32_t round = 0; round < 2 * messages + 1; ++round) {
        // A pause first: sent at once, the next message could still meet the
        // pass that answered the last one, and count one pass twice.
        if (round) ::Sleep(1);
        for (;;) {
            if (stop && stop->IsSet()) return false;
            const DWORD spent = GetTickCount() - start;
            if (spent >= bound_ms) return false;
            // In slices, so a stop is seen while a slow window works.
            const DWORD slice = std::min<DWORD>(bound_ms - spent, kStopCheckMs);
            DWORD_PTR answer = 0;
            if (SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, slice, &answer))
                break;
            if (!IsWindow(target) || IsHungAppWindow(target)) return false;
        }
    }
    return true;
}

}  // namespace orvanta::windows
