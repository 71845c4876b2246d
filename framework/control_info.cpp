// Class information, the event connection point, property pages and quick
// activation.
#include "framework/control_base.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "framework/enumerator.h"
#include "framework/module.h"

namespace framework {

namespace {

// Each point handed out holds a reference, so the enumerator keeps the
// control alive.
struct PointTraits {
    using Interface = IEnumConnectionPoints;
    using Item = ComPtr<IConnectionPoint>;
    using Out = IConnectionPoint*;
    static const IID& Iid() { return IID_IEnumConnectionPoints; }
    static HRESULT Copy(const Item& point, IConnectionPoint*& out) noexcept {
        out = ComPtr<IConnectionPoint>::Copy(point.get()).detach();
        return S_OK;
    }
    static void Clear(IConnectionPoint*& out) noexcept {
        ComPtr<IConnectionPoint>::Attach(std::exchange(out, nullptr));  // released here
    }
};

}  // namespace

// ---- IProvideClassInfo2

STDMETHODIMP ControlBase::GetClassInfo(ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    ComPtr<ITypeLib> lib;
    const HRESULT hr = LoadTypeLib(LOCALE_NEUTRAL, lib.put());
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(*class_.clsid, info);
}

STDMETHODIMP ControlBase::GetGUID(DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = *class_.events_iid;
    return S_OK;
}

// ---- Connection points

STDMETHODIMP ControlBase::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (!points) return E_POINTER;
    *points = nullptr;
    return Guard([&] {
        return Enumerator<PointTraits>::Create({ComPtr<IConnectionPoint>::Copy(&event_point_)}, points);
    });
}

STDMETHODIMP ControlBase::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (!IsEqualIID(iid, *class_.events_iid)) return CONNECT_E_NOCONNECTION;
    *point = ComPtr<IConnectionPoint>::Copy(&event_point_).detach();
    return S_OK;
}

// ---- Property pages

STDMETHODIMP ControlBase::GetPages(CAUUID* pages) {
    if (!pages) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID) * class_.page_count));
    if (!pages->pElems) return E_OUTOFMEMORY;
    for (ULONG i = 0; i < class_.page_count; ++i) pages->pElems[i] = *class_.pages[i];
    pages->cElems = class_.page_count;
    return S_OK;
}

// ---- Quick activation: the site, the sinks and the status in one call

STDMETHODIMP ControlBase::QuickActivate(QACONTAINER* container, QACONTROL* control) {
    if (!container || !control) return E_POINTER;
    // Older containers pass shorter records; we read no further than the
    // event sink, and fill no further than the control's record allows.
    if (container->cbSize < offsetof(QACONTAINER, dwAmbientFlags) ||
        control->cbSize < offsetof(QACONTROL, dwPointerActivationPolicy))
        return E_INVALIDARG;
    const ULONG control_size = control->cbSize;
    std::memset(control, 0, control_size < sizeof(QACONTROL) ? control_size : sizeof(QACONTROL));
    control->cbSize = control_size;
    HRESULT hr = SetClientSite(container->pClientSite);
    if (FAILED(hr)) return hr;
    if (container->pAdviseSink) {
        hr = SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
        if (FAILED(hr)) return hr;
    }
    // A sink that takes neither our events nor IDispatch is left unconnected,
    // as Advise would leave it.
    if (container->pUnkEventSink) event_point_.Advise(container->pUnkEventSink, &control->dwEventCookie);
    // No property is bindable, so there is no property-notification source
    // for pPropertyNotifySink; its cookie stays 0.
    control->dwMiscStatus = GetMiscStatusBits();
    control->dwViewStatus = GetViewStatus();
    return S_OK;
}

STDMETHODIMP ControlBase::SetContentExtent(LPSIZEL size) { return SetExtent(DVASPECT_CONTENT, size); }

STDMETHODIMP ControlBase::GetContentExtent(LPSIZEL size) { return GetExtent(DVASPECT_CONTENT, size); }

HRESULT ControlBase::ShowPropertyPages(HWND parent) {
    // A control site may show its own frame, with its extended properties.
    if (site_) {
        auto control_site = site_.As<IOleControlSite>(IID_IOleControlSite);
        if (control_site && control_site->ShowPropertyFrame() == S_OK) return S_OK;
    }
    if (!parent && inplace_site_) inplace_site_->GetWindow(&parent);
    return Guard([&] {
        std::vector<CLSID> pages;
        for (ULONG i = 0; i < class_.page_count; ++i) pages.push_back(*class_.pages[i]);
        char name[256] = {};
        LoadStringA(framework::ModuleInstance(), class_.user_type_name_id, name, sizeof name);
        const std::wstring caption = ToWide(name);
        IUnknown* objects[] = {static_cast<IDispatch*>(this)};
        return OleCreatePropertyFrame(parent, 0, 0, caption.c_str(), 1, objects, class_.page_count,
                                      pages.data(), GetUserDefaultLCID(), 0, nullptr);
    });
}

}  // namespace framework
