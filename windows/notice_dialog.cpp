#include "windows/notice_dialog.h"

#include <cstring>

namespace orvanta::windows {

namespace {

void CopyField(char* dst, std::size_t size, const char* src) {
    std::size_t n = src ? std::strlen(src) : 0;
    if (n >= size) n = size - 1;
    if (n) std::memcpy(dst, src, n);
    dst[n] = '\0';
}

}  // namespace

NoticeDialog::NoticeDialog(HINSTANCE instance, const char* message, const char* caption)
    : instance_(instance) {
    CopyField(message_, sizeof message_, message);
    CopyField(caption_, sizeof caption_, caption);
}

int NoticeDialog::DoModal() {
    // No owner: a notice from the scan task must not disable a host window.
    const INT_PTR result = DialogBoxParamA(instance_, MAKEINTRESOURCEA(kTemplateId), nullptr,
                                           &NoticeDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    return result == 0 ? -1 : static_cast<int>(result);
}

BOOL NoticeDialog::OnInitDialog(HWND dialog) {
    SendDlgItemMessageA(dialog, kMessageItem, EM_LIMITTEXT, kTextLimit, 0);
    SetWindowTextA(dialog, caption_);
    SetDlgItemTextA(dialog, kMessageItem, message_);
    // Topmost and in front, also where the dialog manager leaves the template's
    // DS_SYSMODAL and DS_SETFOREGROUND to the window manager.
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(dialog);
    return TRUE;  // focus to the first tab stop, the OK button
}

INT_PTR CALLBACK NoticeDialog::DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        auto* self = reinterpret_cast<NoticeDialog*>(lparam);
        return self->OnInitDialog(dialog);
    }
    case WM_COMMAND: {
        const WORD id = LOWORD(wparam);
        if (id != IDOK && id != IDCANCEL) return FALSE;
        EndDialog(dialog, id);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

}  // namespace orvanta::windows
