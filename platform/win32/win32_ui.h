// The desktop as the control uses it on Windows.
#pragma once

#include <windows.h>

#include <mutex>
#include <set>

#include "platform/user_interface.h"

namespace orvanta::win32 {

class Win32UserInterface : public platform::UserInterface {
public:
    int RunNotice(const char* message, const char* caption) override;
    void ShowMessageBox(platform::WindowId owner, const char* text, const char* caption,
                        std::uint32_t style) override;
    platform::WindowId ForegroundWindow() override;
    std::uint32_t LastError() override;
    void DismissThread(std::uint32_t thread_id) override;
    void ReleaseThread(std::uint32_t thread_id) override;

private:
    bool IsDismissed(DWORD thread_id);
    std::mutex mutex_;
    std::set<DWORD> dismissed_;
};

// GDI drawing for the design-time picture.
class GdiCanvas : public platform::Canvas {
public:
    explicit GdiCanvas(HDC dc) : dc_(dc) {}
    void FillWhite(const platform::Rect& r) override;
    void Ellipse(const platform::Rect& r) override;

private:
    HDC dc_;
};

}  // namespace orvanta::win32
