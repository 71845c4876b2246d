// Small value types shared by the control's logic and the Windows adapters.
#pragma once

#include <cstdint>

namespace orvanta::interfaces {

// A window as the control names it: a Win32 HWND on Windows, any token in fakes.
// Window handles are 32-bit significant on 64-bit Windows too, so the
// `scanWindowHandle` property (a 32-bit long) can carry one.
using WindowId = std::uintptr_t;

struct Rect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Message box styles, with the values of the Win32 MB_* flags.
enum MessageBoxStyle : std::uint32_t {
    kMbOk = 0x00000000,
    kMbIconError = 0x00000010,
    kMbIconInformation = 0x00000040,
};

// End codes of a modal dialog.
enum DialogResult : int {
    kIdOk = 1,
    kIdCancel = 2,
    kDialogFailed = -1,
};

}  // namespace orvanta::interfaces
