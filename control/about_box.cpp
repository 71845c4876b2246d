#include "control/about_box.h"

#include "resource.h"

namespace orvanta::ui {

namespace {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wparam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

void ShowAboutBox(HINSTANCE instance) {
    // The end code tells the caller nothing it needs.
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), nullptr, &AboutProc, 0);
}

}  // namespace orvanta::ui
