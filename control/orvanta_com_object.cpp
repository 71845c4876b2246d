#include "control/orvanta_com_object.h"

#include "control/orvanta_ids.h"
#include "control/orvanta_members.h"
#include "orvanta.h"
#include "framework/module.h"
#include "resource.h"
#include "control/about_box.h"

namespace orvanta {

namespace {

const CLSID* const kPages[] = {&CLSID_OrvantaPropPage};

const framework::ControlClass kClass = {
    &CLSID_Orvanta, &DIID__DOrvanta, &DIID__DOrvantaEvents, &LIBID_ORVANTALib, kLibraryMajor, kLibraryMinor,
    kPages,         1,               IDS_ORVANTA,          &OrvantaMembers(),  OrvantaComObject::kVersion,
    L"OrvantaControlWindow",
};

}  // namespace

OrvantaComObject::OrvantaComObject()
    : ControlBase(kClass),
      control_(interfaces::Platform{services_.ui, services_.ports, services_.input, services_.threads,
                                      &services_.device_information}, &Events()) {
    control_.SetAboutBox([] { ui::ShowAboutBox(framework::ModuleInstance()); });
}

OrvantaComObject::~OrvantaComObject() {
    // The last reference is gone, but closing the device stops the scan task,
    // and the stop runs the host's handlers for the messages the task sent;
    // a handler that takes and drops a reference (an event drained from a
    // message loop does) must not bring the count to 0 and delete this again.
    // The control's own destruction, which closes the device, follows.
    AddRef();
}

HRESULT OrvantaComObject::Create(REFIID iid, void** ppv) {
    return framework::Guard([&] {
        const auto control = framework::ComPtr<OrvantaComObject>::Attach(new OrvantaComObject());
        return control->QueryInterface(iid, ppv);
    });
}

void OrvantaComObject::OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) {
    windows::GdiCanvas canvas(dc);
    control_.OnDraw(canvas, {bounds.left, bounds.top, bounds.right, bounds.bottom},
                    {invalid.left, invalid.top, invalid.right, invalid.bottom});
}

void OrvantaComObject::DoPropExchange(framework::PropExchange& px) {
    // Version 1.0, older states converted; none of the nine properties.
    ExchangeVersion(px, kVersion, true);
    ControlBase::DoPropExchange(px);
}

DWORD OrvantaComObject::GetControlFlags() const {
    return ControlBase::GetControlFlags() | framework::kWindowlessActivate;
}

void OrvantaComObject::Dispatch(const framework::AutoMember& member, Action action, framework::DispatchArgs& args,
                                framework::DispatchResult& result) {
    // The framework has checked the kind: a put only reaches a property.
    (action == Action::kPut ? member.put : member.call)(&control_, args, result);
}

}  // namespace orvanta
