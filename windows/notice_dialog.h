// The notice: a small modal, topmost dialog with a warning picture and OK.
#pragma once

#include <windows.h>

#include "interfaces/user_interface.h"

namespace orvanta::windows {

class NoticeDialog {
public:
    // Dialog template and item ids.
    static constexpr int kTemplateId = 201;
    static constexpr int kMessageItem = 203;
    static constexpr int kPictureItem = 202;
    static constexpr int kTextLimit = 512;

    // The texts must already fit their fields (the reporting fits them).
    NoticeDialog(HINSTANCE instance, const char* message, const char* caption);

    // Runs the dialog on the calling thread: IDOK, IDCANCEL, or -1 when it
    // cannot be created.
    int DoModal();

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
    BOOL OnInitDialog(HWND dialog);

    HINSTANCE instance_;
    char message_[interfaces::kNoticeMessageSize];
    char caption_[interfaces::kNoticeCaptionSize];
};

}  // namespace orvanta::windows
