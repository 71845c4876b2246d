#include "control/orvanta_com.h"

#include <utility>

#include "control/orvanta_ids.h"
#include "control/orvanta_members.h"
#include "orvanta.h"
#include "platform/win32/module.h"
#include "resource.h"
#include "ui/about_box.h"

namespace orvanta {

namespace {

const CLSID* const kPages[] = {&CLSID_OrvantaPropPage};

const com::ControlClass kClass = {
    &CLSID_Orvanta, &DIID__DOrvanta, &DIID__DOrvantaEvents, &LIBID_ORVANTALib, 1, 0,
    kPages,         1,               IDS_ORVANTA,          &OrvantaMembers(),  COrvantaCom::kVersion,
};

}  // namespace

COrvantaCom::COrvantaCom()
    : ControlBase(kClass),
      m_ctrl(Platform{m_services.ui, m_services.ports, m_services.input, m_services.threads}) {}

COrvantaCom::~COrvantaCom() = default;

HRESULT COrvantaCom::Create(REFIID iid, void** ppv) {
    return com::Guard([&] {
        auto* control = new COrvantaCom();
        const HRESULT hr = control->QueryInterface(iid, ppv);
        control->Release();
        return hr;
    });
}

void COrvantaCom::OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) {
    win32::GdiCanvas canvas(dc);
    m_ctrl.OnDraw(canvas, {bounds.left, bounds.top, bounds.right, bounds.bottom},
                  {invalid.left, invalid.top, invalid.right, invalid.bottom});
}

void COrvantaCom::DoPropExchange(com::PropExchange& px) {
    // Version 1.0, older states converted; none of the nine properties.
    ExchangeVersion(px, kVersion, true);
    ControlBase::DoPropExchange(px);
}

void COrvantaCom::OnResetState() { ControlBase::OnResetState(); }

DWORD COrvantaCom::GetControlFlags() const {
    return ControlBase::GetControlFlags() | com::kWindowlessActivate;
}

void COrvantaCom::GetProperty(std::int32_t dispid, com::DispatchResult& r) const {
    const COrvantaCtrl& c = m_ctrl;
    switch (dispid) {
    case kDispidwithACKN: r.number = c.GetwithACKN(); break;
    case kDispiddefaultComSettings: r.text = c.GetdefaultComSettings(); break;
    case kDispidScannerSuffixChar: r.number = c.GetScannerSuffixChar(); break;
    case kDispidonlyWorkwithCurrentWindow: r.number = c.GetonlyWorkwithCurrentWindow(); break;
    case kDispiddebugModus: r.number = c.GetdebugModus(); break;
    case kDispidThreadId: r.number = c.GetThreadId(); break;
    case kDispidscanWindowHandle: r.number = c.GetscanWindowHandle(); break;
    case kDispidtimeout: r.number = c.Gettimeout(); break;
    case kDispidchartooem: r.number = c.Getchartooem(); break;
    default: break;
    }
}

void COrvantaCom::PutProperty(std::int32_t dispid, com::DispatchArgs& a) {
    COrvantaCtrl& c = m_ctrl;
    const std::int32_t n = a.number[0];
    const auto s16 = static_cast<std::int16_t>(n);
    switch (dispid) {
    case kDispidwithACKN: c.SetwithACKN(n != 0); break;
    case kDispiddefaultComSettings: c.SetdefaultComSettings(std::move(a.text[0])); break;
    case kDispidScannerSuffixChar: c.SetScannerSuffixChar(s16); break;
    case kDispidonlyWorkwithCurrentWindow: c.SetonlyWorkwithCurrentWindow(n != 0); break;
    case kDispiddebugModus: c.SetdebugModus(n != 0); break;
    case kDispidThreadId: c.SetThreadId(n); break;
    case kDispidscanWindowHandle: c.SetscanWindowHandle(n); break;
    case kDispidtimeout: c.Settimeout(s16); break;
    case kDispidchartooem: c.Setchartooem(s16); break;
    default: break;
    }
}

void COrvantaCom::Dispatch(const platform::AutoMember& member, Action action, com::DispatchArgs& a,
                           com::DispatchResult& r) {
    if (action == Action::kGet) return GetProperty(member.dispid, r);
    if (action == Action::kPut) return PutProperty(member.dispid, a);
    COrvantaCtrl& c = m_ctrl;
    const auto s16 = [&](int i) { return static_cast<std::int16_t>(a.number[i]); };
    switch (member.dispid) {
    case kDispidWrite: r.number = c.Write(std::move(a.text[0])); break;
    case kDispidCloseDevice: c.CloseDevice(); break;
    case kDispidWriteln: r.number = c.Writeln(std::move(a.text[0])); break;
    case kDispidFormFeed: c.FormFeed(); break;
    case kDispidOpenDevice: r.number = c.OpenDevice(a.text[0]); break;
    case kDispidFlush: r.number = c.Flush(); break;
    case kDispidSendByte: r.number = c.SendByte(s16(0)); break;
    case kDispidSendEscCommand: r.number = c.SendEscCommand(a.text[0], a.text[1]); break;
    case kDispidSendFile: r.number = c.SendFile(a.text[0]); break;
    case kDispidSetSignalOnCOM: r.number = c.SetSignalOnCOM(s16(0)); break;
    case kDispidClearCOMError: r.number = c.ClearCOMError(); break;
    case kDispidSetCOMSettings: r.number = c.SetCOMSettings(a.text[0]); break;
    case kDispidWaitCOMSignal: r.number = c.WaitCOMSignal(s16(0)); break;
    case kDispidScanCodeFromCOM: r.text = c.ScanCodeFromCOM(); break;
    case kDispidDeactivateScanTask: r.number = c.DeactivateScanTask(a.number[0]); break;
    case kDispidActivateScanTask: r.number = c.ActivateScanTask(); break;
    case kDispidReadBytes: r.number = c.ReadBytes(std::move(a.text[0]), a.number[1], a.number[2]); break;
    case kDispidAboutBox: ui::ShowAboutBox(win32::ModuleInstance()); break;
    default: break;
    }
}

}  // namespace orvanta
