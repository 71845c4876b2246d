#include "windows/win32_input.h"

#include "windows/keystrokes.h"

namespace orvanta::windows {

namespace {
interfaces::CharSent WhyNotAnswered(HWND target) {
    if (!IsWindow(target)) return interfaces::CharSent::Gone;
    return IsHungAppWindow(target) ? interfaces::CharSent::Hung : interfaces::CharSent::NotAnswered;
}
}  // namespace

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
    return WhyNotAnswered(target);
}

bool Win32Input::HandChar(interfaces::WindowId window, std::uint32_t wparam, std::intptr_t lparam) {
    // Posted, as the keyboard's own characters are: a thread takes the
    // messages sent to it before any posted one, so it comes behind a
    // character the window has not answered yet, and a stop that waits for
    // the task (taking in sent messages only) never runs it.
    return PostMessageA(reinterpret_cast<HWND>(window), WM_CHAR, static_cast<WPARAM>(wparam),
                        static_cast<LPARAM>(lparam)) != FALSE;
}

interfaces::CharSent Win32Input::Ping(interfaces::WindowId window, std::uint32_t bound_ms) {
    const HWND target = reinterpret_cast<HWND>(window);
    // Checked first: a value that names no window may still mean all of them
    // to the system (-1 as HWND_BROADCAST).
    if (!IsWindow(target)) return interfaces::CharSent::Gone;
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, bound_ms, &answer))
        return interfaces::CharSent::Taken;
    return WhyNotAnswered(target);
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

void Win32Input::PrepareTyping(interfaces::WindowId target) {
    const DWORD thread = GetWindowThreadProcessId(reinterpret_cast<HWND>(target), nullptr);
    // The layout of the program that receives the keys, not of this thread.
    layout_ = GetKeyboardLayout(thread);
    // GetKeyState answers the calling thread's own key state, and a thread
    // that takes no keyboard input never sees Caps Lock toggled. Attached to
    // the target's thread for the moment it shares that thread's state, which
    // is the one the keys are translated with. Where the system refuses the
    // attachment (another desktop, an elevated program) the keys cannot reach
    // the window either.
    const DWORD self = GetCurrentThreadId();
    const bool attached = thread && thread != self && AttachThreadInput(self, thread, TRUE);
    caps_lock_ = (GetKeyState(VK_CAPITAL) & 1) != 0;
    if (attached) AttachThreadInput(self, thread, FALSE);
}

std::uint32_t Win32Input::TypeChar(unsigned char ansi_char) {
    const char narrow = static_cast<char>(ansi_char);
    wchar_t wide = 0;
    if (MultiByteToWideChar(CP_ACP, 0, &narrow, 1, &wide, 1) != 1) return 0;
    const SHORT scan = VkKeyScanExW(wide, layout_);
    LayoutKey key;
    if (scan != -1) {
        key.found = true;
        key.vk = LOBYTE(scan);
        key.modifiers = HIBYTE(scan);
        key.dead = (MapVirtualKeyExW(key.vk, MAPVK_VK_TO_CHAR, layout_) & 0x80000000u) != 0;
    }
    const bool has_case = CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(wide))) !=
                          CharLowerW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(wide)));
    const KeyPlan plan = PlanKeystrokes(wide, key, caps_lock_, has_case);

    INPUT inputs[8] = {};
    for (std::size_t i = 0; i < plan.count; ++i) {
        const KeyEvent& e = plan.events[i];
        INPUT& in = inputs[i];
        in.type = INPUT_KEYBOARD;
        if (e.vk) {
            in.ki.wVk = e.vk;
            in.ki.wScan = static_cast<WORD>(MapVirtualKeyExW(e.vk, MAPVK_VK_TO_VSC, layout_));
        } else {
            in.ki.wScan = e.unicode;
            in.ki.dwFlags = KEYEVENTF_UNICODE;
        }
        if (e.up) in.ki.dwFlags |= KEYEVENTF_KEYUP;
    }
    // One call: the user's own keys cannot fall between the modifiers and the
    // key. What it inserted is what was typed: blocked input inserts nothing.
    const UINT sent = SendInput(static_cast<UINT>(plan.count), inputs, sizeof(INPUT));
    if (sent > 0 && sent < plan.count) {
        // Cut short: keys pressed and not released (a Shift) would hold for
        // whatever the user types next.
        INPUT release[8] = {};
        UINT count = 0;
        for (UINT i = 0; i < sent; ++i) {
            bool released = plan.events[i].up;
            for (UINT j = i + 1; j < sent && !released; ++j)
                released = plan.events[j].up && plan.events[j].vk == plan.events[i].vk &&
                           plan.events[j].unicode == plan.events[i].unicode;
            if (!released) (release[count++] = inputs[i]).ki.dwFlags |= KEYEVENTF_KEYUP;
        }
        SendInput(count, release, sizeof(INPUT));
    }
    // Each key event is one message; the key that makes the character brings
    // the WM_CHAR its key-down is translated into.
    return sent ? sent + 1 : 0;
}

}  // namespace orvanta::windows
