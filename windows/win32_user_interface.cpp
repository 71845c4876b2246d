#include "windows/win32_user_interface.h"

#include "windows/notice_dialog.h"
#include "framework/module.h"

namespace orvanta::windows {

namespace {

BOOL CALLBACK CancelDialog(HWND window, LPARAM) {
    char cls[16] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") == 0) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

}  // namespace

int Win32UserInterface::RunNotice(const char* message, const char* caption) {
    if (IsDismissed(GetCurrentThreadId())) return IDCANCEL;
    NoticeDialog dialog(framework::ModuleInstance(), message, caption);
    return dialog.DoModal();
}

void Win32UserInterface::ShowMessageBox(interfaces::WindowId owner, const char* text,
                                        const char* caption, std::uint32_t style) {
    if (IsDismissed(GetCurrentThreadId())) return;
    MessageBoxA(reinterpret_cast<HWND>(owner), text, caption, style);
}

interfaces::WindowId Win32UserInterface::ForegroundWindow() {
    return reinterpret_cast<interfaces::WindowId>(GetForegroundWindow());
}

void Win32UserInterface::ToOem(char* text) {
    if (text) CharToOemA(text, text);
}

std::uint32_t Win32UserInterface::LastError() { return GetLastError(); }

bool Win32UserInterface::IsDismissed(DWORD thread_id) {
    std::lock_guard<std::mutex> lock(mutex_);
    return dismissed_.count(thread_id) != 0;
}

void Win32UserInterface::DismissThread(std::uint32_t thread_id) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dismissed_.insert(thread_id);
    }
    // Ends the dialogs that thread shows now; a box it was about to show is
    // refused by the check above, and callers repeat this until the thread ends.
    EnumThreadWindows(thread_id, &CancelDialog, 0);
}

void Win32UserInterface::ReleaseThread(std::uint32_t thread_id) {
    std::lock_guard<std::mutex> lock(mutex_);
    dismissed_.erase(thread_id);
}

void GdiCanvas::FillWhite(const interfaces::Rect& r) {
    const RECT rect{r.left, r.top, r.right, r.bottom};
    FillRect(dc_, &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void GdiCanvas::Ellipse(const interfaces::Rect& r) { ::Ellipse(dc_, r.left, r.top, r.right, r.bottom); }

}  // namespace orvanta::windows
