#include "control/orvanta_com_object.h"

#include <cstdint>
#include <string>
#include <utility>

#include "control/orvanta_ids.h"
#include "control/orvanta_member_list.h"
#include "control/orvanta_members.h"
#include "orvanta.h"
#include "framework/module.h"
#include "resource.h"
#include "control/about_box.h"

namespace orvanta {

namespace {

const CLSID* const kPages[] = {&CLSID_OrvantaPropPage};

const framework::ControlClass kClass = {
    &CLSID_Orvanta, &DIID__DOrvanta, &DIID__DOrvantaEvents, &LIBID_ORVANTALib, 1, 0,
    kPages,         1,               IDS_ORVANTA,          &OrvantaMembers(),  OrvantaComObject::kVersion,
    L"OrvantaControlWindow",
};

}  // namespace

OrvantaComObject::OrvantaComObject()
    : ControlBase(kClass),
      m_ctrl(interfaces::Platform{m_services.ui, m_services.ports, m_services.input, m_services.threads, this}) {}

OrvantaComObject::~OrvantaComObject() = default;

HRESULT OrvantaComObject::Create(REFIID iid, void** ppv) {
    return framework::Guard([&] {
        auto* control = new OrvantaComObject();
        const HRESULT hr = control->QueryInterface(iid, ppv);
        control->Release();
        return hr;
    });
}

void OrvantaComObject::OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) {
    windows::GdiCanvas canvas(dc);
    m_ctrl.OnDraw(canvas, {bounds.left, bounds.top, bounds.right, bounds.bottom},
                  {invalid.left, invalid.top, invalid.right, invalid.bottom});
}

void OrvantaComObject::DoPropExchange(framework::PropExchange& px) {
    // Version 1.0, older states converted; none of the nine properties.
    ExchangeVersion(px, kVersion, true);
    ControlBase::DoPropExchange(px);
}

void OrvantaComObject::OnResetState() { ControlBase::OnResetState(); }

DWORD OrvantaComObject::GetControlFlags() const {
    return ControlBase::GetControlFlags() | framework::kWindowlessActivate;
}

namespace {

// A property's value into a result, and a put's argument as the property's type.
void Store(framework::DispatchResult& r, const std::string& v) { r.text = v; }
void Store(framework::DispatchResult& r, std::int32_t v) { r.number = v; }
template <typename T>
T Take(framework::DispatchArgs& a);
template <>
bool Take<bool>(framework::DispatchArgs& a) { return a.number[0] != 0; }
template <>
std::int16_t Take<std::int16_t>(framework::DispatchArgs& a) { return static_cast<std::int16_t>(a.number[0]); }
template <>
std::int32_t Take<std::int32_t>(framework::DispatchArgs& a) { return a.number[0]; }
template <>
std::string Take<std::string>(framework::DispatchArgs& a) { return std::move(a.text[0]); }

}  // namespace

#define ORVANTA_NO_CASE(...)

void OrvantaComObject::GetProperty(std::int32_t dispid, framework::DispatchResult& r) const {
    const OrvantaControl& c = m_ctrl;
    switch (dispid) {
#define ORVANTA_GET(name, ...) case kDispid##name: Store(r, c.Get##name()); break;
        ORVANTA_MEMBERS(ORVANTA_NO_CASE, ORVANTA_GET)
#undef ORVANTA_GET
    default: break;
    }
}

void OrvantaComObject::PutProperty(std::int32_t dispid, framework::DispatchArgs& a) {
    OrvantaControl& c = m_ctrl;
    switch (dispid) {
#define ORVANTA_PUT(name, ...) case kDispid##name: c.Set##name(Take<decltype(c.Get##name())>(a)); break;
        ORVANTA_MEMBERS(ORVANTA_NO_CASE, ORVANTA_PUT)
#undef ORVANTA_PUT
    default: break;
    }
}

void OrvantaComObject::Dispatch(const framework::AutoMember& member, Action action, framework::DispatchArgs& a,
                           framework::DispatchResult& r) {
    if (action == Action::kGet) return GetProperty(member.dispid, r);
    if (action == Action::kPut) return PutProperty(member.dispid, a);
    OrvantaControl& c = m_ctrl;
    const auto s16 = [&](int i) { return static_cast<std::int16_t>(a.number[i]); };
    // Every member of the list has a case here (no default: the compiler
    // names a method left out); properties went above.
    switch (static_cast<Dispid>(member.dispid)) {
#define ORVANTA_PROPERTY_CASE(name, ...) case kDispid##name:
        ORVANTA_MEMBERS(ORVANTA_NO_CASE, ORVANTA_PROPERTY_CASE)
#undef ORVANTA_PROPERTY_CASE
        break;
    case kDispidWrite: r.number = c.Write(std::move(a.text[0])); break;
    case kDispidCloseDevice: c.CloseDevice(); break;
    case kDispidWriteln: r.number = c.Writeln(std::move(a.text[0])); break;
    case kDispidFormFeed: c.FormFeed(); break;
    case kDispidOpenDevice: r.number = c.OpenDevice(a.text[0], a.wide[0]); break;
    case kDispidFlush: r.number = c.Flush(); break;
    case kDispidSendByte: r.number = c.SendByte(s16(0)); break;
    case kDispidSendEscCommand: r.number = c.SendEscCommand(a.text[0], a.text[1]); break;
    case kDispidSendFile: r.number = c.SendFile(a.text[0], a.wide[0]); break;
    case kDispidSetSignalOnCOM: r.number = c.SetSignalOnCOM(s16(0)); break;
    case kDispidClearCOMError: r.number = c.ClearCOMError(); break;
    case kDispidSetCOMSettings: r.number = c.SetCOMSettings(a.text[0]); break;
    case kDispidWaitCOMSignal: r.number = c.WaitCOMSignal(s16(0)); break;
    case kDispidScanCodeFromCOM: r.text = c.ScanCodeFromCOM(); break;
    case kDispidDeactivateScanTask: r.number = c.DeactivateScanTask(a.number[0]); break;
    case kDispidActivateScanTask: r.number = c.ActivateScanTask(); break;
    case kDispidReadBytes: r.number = c.ReadBytes(std::move(a.text[0]), a.number[1], a.number[2]); break;
    case kDispidGetCOMPorts: r.list = c.GetCOMPorts(); break;
    case kDispidAboutBox: ui::ShowAboutBox(framework::ModuleInstance()); break;
    }
}

}  // namespace orvanta
