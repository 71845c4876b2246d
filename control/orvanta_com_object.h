// The COM object a host creates: the portable OrvantaControl on the Win32
// platform services, behind the control framework's interfaces; each
// automation call goes straight to the call the dispatch table holds for it.
#pragma once

#include <windows.h>

#include "control/orvanta_control.h"
#include "framework/control_base.h"
#include "windows/win32_device_info.h"
#include "windows/win32_input.h"
#include "windows/win32_ports.h"
#include "windows/win32_threads.h"
#include "windows/win32_user_interface.h"

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
    DWORD GetControlFlags() const override;
    DWORD GetMiscStatusBits() const override { return kMiscStatus; }
    // OnDraw fills all of its bounds white before the ellipse.
    DWORD GetViewStatus() const override { return VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND; }
    bool IsModified() const override { return control_.IsModified(); }
    void SetModifiedFlag(bool modified) override { control_.SetModifiedFlag(modified); }
    void Dispatch(const framework::AutoMember& member, Action action, framework::DispatchArgs& args,
                  framework::DispatchResult& result) override;

    struct Services {
        windows::Win32UserInterface ui;
        windows::Win32Ports ports;
        windows::Win32Input input;
        windows::Win32Threads threads;
        windows::Win32DeviceInformation device_information;
    };
    Services services_;
    OrvantaControl control_;
};

}  // namespace orvanta
