// What the control needs of the desktop to tell a person something.
#pragma once

#include "interfaces/types.h"

namespace orvanta::interfaces {

// The notice dialog's two text fields, with their terminating zero.
inline constexpr unsigned kNoticeMessageSize = 512;  // at most 511 characters
inline constexpr unsigned kNoticeCaptionSize = 255;  // at most 254 characters

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // Runs the notice dialog modally on the calling thread. The texts already fit
    // the dialog's limits (511 and 254 characters). Returns the end code:
    // kIdOk, kIdCancel, or kDialogFailed when the dialog cannot be created.
    virtual int RunNotice(const char* message, const char* caption) = 0;

    // A plain message box, modal for the calling thread; its answer is of no use
    // to the control, so none is returned.
    virtual void ShowMessageBox(WindowId owner, const char* text, const char* caption,
                                std::uint32_t style) = 0;

    virtual WindowId ForegroundWindow() = 0;

    // Converts a text in place from the platform's ANSI code page to its OEM
    // one, for devices that print the latter.
    virtual void ToOem(char* text) = 0;

    // The calling thread's last platform error (GetLastError on Windows).
    virtual std::uint32_t LastError() = 0;

    // Closes every notice and message box that thread `thread_id` shows now, and
    // makes any it starts later close at once, until ReleaseThread. Used to stop
    // a worker that sits in a box.
    virtual void DismissThread(std::uint32_t thread_id) = 0;
    virtual void ReleaseThread(std::uint32_t thread_id) = 0;
};

// The design-time drawing surface handed to OnDraw.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void FillWhite(const Rect& r) = 0;
    // Ellipse with the pen and brush the surface has selected now.
    virtual void Ellipse(const Rect& r) = 0;
};

}  // namespace orvanta::interfaces
