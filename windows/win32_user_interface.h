// The desktop as the control uses it on Windows.
#pragma once

#include <windows.h>

#include <mutex>
#include <set>

#include "interfaces/user_interface.h"

namespace orvanta::windows {

class Win32UserInterface : public interfaces::UserInterface {
public:
    int RunNotice(const char* message, const char* caption) override;
    void ShowMessageBox(interfaces::WindowId owner, const char* text, const char* caption,
                        std::uint32_t style) override;
    interfaces::WindowId ForegroundWindow() override;
    void ToOem(char* text) override;
    std::uint32_t LastError() override;
    void DismissThread(std::uint32_t thread_id) override;
    void ReleaseThread(std::uint32_t thread_id) override;

private:
    bool IsDismissed(DWORD thread_id);
    std::mutex mutex_;
    std::set<DWORD> dismissed_;
};

// GDI drawing for the design-time picture.
class GdiCanvas : public interfaces::Canvas {
public:
    explicit GdiCanvas(HDC dc) : dc_(dc) {}
    void FillWhite(const interfaces::Rect& r) override;
    void Ellipse(const interfaces::Rect& r) override;

private:
    HDC dc_;
};

}  // namespace orvanta::windows
