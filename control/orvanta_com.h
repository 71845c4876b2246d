// The COM object a host creates: the portable COrvantaCtrl on the Win32
// platform services, behind the control framework's interfaces.
#pragma once

#include <windows.h>

#include "control/orvanta_ctrl.h"
#include "platform/com/control_base.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_port.h"
#include "platform/win32/win32_threads.h"
#include "platform/win32/win32_ui.h"

namespace orvanta {

class COrvantaCom final : public com::ControlBase {
public:
    static HRESULT Create(REFIID iid, void** ppv);

    // What the framework reports for this class.
    static constexpr DWORD kMiscStatus = 0x00020491;  // 132241
    static constexpr std::uint32_t kVersion = 0x00010000;

private:
    COrvantaCom();
    ~COrvantaCom() override;

    void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) override;
    void DoPropExchange(com::PropExchange& px) override;
    void OnResetState() override;
    DWORD GetControlFlags() const override;
    DWORD GetMiscStatusBits() const override { return kMiscStatus; }
    // OnDraw fills all of its bounds white before the ellipse.
    DWORD GetViewStatus() const override { return VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND; }
    bool IsModified() const override { return m_ctrl.IsModified(); }
    void SetModifiedFlag(bool modified) override { m_ctrl.SetModifiedFlag(modified); }
    void Dispatch(const platform::AutoMember& member, Action action, com::DispatchArgs& args,
                  com::DispatchResult& result) override;
    void GetProperty(std::int32_t dispid, com::DispatchResult& result) const;
    void PutProperty(std::int32_t dispid, com::DispatchArgs& args);

    struct Services {
        win32::Win32UserInterface ui;
        win32::Win32Ports ports;
        win32::Win32Input input;
        win32::Win32Threads threads;
    };
    Services m_services;
    COrvantaCtrl m_ctrl;
};

}  // namespace orvanta
