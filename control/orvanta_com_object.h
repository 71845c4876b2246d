// The COM object a host creates: the portable OrvantaControl on the Win32
// platform services, behind the control framework's interfaces.
#pragma once

#include <windows.h>

#include "control/orvanta_control.h"
#include "framework/control_base.h"
#include "windows/input.h"
#include "windows/ports.h"
#include "windows/threads.h"
#include "windows/user_interface.h"

namespace orvanta {

class OrvantaComObject final : public framework::ControlBase {
public:
    static HRESULT Create(REFIID iid, void** ppv);

    // What the framework reports for this class.
    static constexpr DWORD kMiscStatus = 0x00020491;  // 132241
    static constexpr std::uint32_t kVersion = 0x00010000;

private:
    OrvantaComObject();
    ~OrvantaComObject() override;

    void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) override;
    void DoPropExchange(framework::PropExchange& px) override;
    void OnResetState() override;
    DWORD GetControlFlags() const override;
    DWORD GetMiscStatusBits() const override { return kMiscStatus; }
    // OnDraw fills all of its bounds white before the ellipse.
    DWORD GetViewStatus() const override { return VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND; }
    bool IsModified() const override { return m_ctrl.IsModified(); }
    void SetModifiedFlag(bool modified) override { m_ctrl.SetModifiedFlag(modified); }
    void Dispatch(const framework::AutoMember& member, Action action, framework::DispatchArgs& args,
                  framework::DispatchResult& result) override;
    void GetProperty(std::int32_t dispid, framework::DispatchResult& result) const;
    void PutProperty(std::int32_t dispid, framework::DispatchArgs& args);

    struct Services {
        windows::Win32UserInterface ui;
        windows::Win32Ports ports;
        windows::Win32Input input;
        windows::Win32Threads threads;
    };
    Services m_services;
    OrvantaControl m_ctrl;
};

}  // namespace orvanta
