// IOleObject: the site, the verbs, the extent and the host's advise sinks.
#include "framework/control_base.h"

#include <cstddef>
#include <cstring>
#include <cwchar>

#include "framework/enumerator.h"
#include "framework/module.h"

namespace framework {

namespace {

// The two verbs a host lists for the control. English, as every other text
// the framework shows a designer.
struct Verb {
    LONG id;
    const wchar_t* name;
};
constexpr Verb kVerbs[] = {
    {OLEIVERB_PRIMARY, L"&Edit"},
    {OLEIVERB_PROPERTIES, L"&Properties..."},
};

struct VerbTraits {
    using Interface = IEnumOLEVERB;
    using Item = Verb;
    using Out = OLEVERB;
    static const IID& Iid() { return IID_IEnumOLEVERB; }
    // The caller frees each name with CoTaskMemFree.
    static HRESULT Copy(const Verb& verb, OLEVERB& out) noexcept {
        const std::size_t bytes = (std::wcslen(verb.name) + 1) * sizeof(wchar_t);
        auto* name = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (!name) return E_OUTOFMEMORY;
        std::memcpy(name, verb.name, bytes);
        out.lVerb = verb.id;
        out.lpszVerbName = name;
        out.fuFlags = MF_STRING | MF_ENABLED;
        out.grfAttribs = OLEVERBATTRIB_ONCONTAINERMENU;
        return S_OK;
    }
    static void Clear(OLEVERB& out) noexcept {
        CoTaskMemFree(out.lpszVerbName);
        out.lpszVerbName = nullptr;
    }
};

}  // namespace

// ---- IOleObject

STDMETHODIMP ControlBase::SetClientSite(IOleClientSite* site) {
    site_ = ComPtr<IOleClientSite>::Copy(site);
    return S_OK;
}

STDMETHODIMP ControlBase::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = ComPtr<IOleClientSite>::Copy(site_.get()).detach();
    return S_OK;
}

STDMETHODIMP ControlBase::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP ControlBase::Close(DWORD save_option) {
    InPlaceDeactivate();
    if (site_ && IsModified() &&
        (save_option == OLECLOSE_SAVEIFDIRTY || save_option == OLECLOSE_PROMPTSAVE))
        site_->SaveObject();
    if (advise_holder_) advise_holder_->SendOnClose();
    return S_OK;
}

STDMETHODIMP ControlBase::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

STDMETHODIMP ControlBase::GetMoniker(DWORD assign, DWORD which, IMoniker** mk) {
    if (!mk) return E_POINTER;
    *mk = nullptr;
    if (!site_) return E_UNEXPECTED;
    return site_->GetMoniker(assign, which, mk);
}

STDMETHODIMP ControlBase::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP ControlBase::GetClipboardData(DWORD, IDataObject** data) {
    if (data) *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ControlBase::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT) {
    if (site && !site_) site_ = ComPtr<IOleClientSite>::Copy(site);
    switch (verb) {
    case OLEIVERB_PRIMARY:  // Edit: active in place, with its user interface
    case OLEIVERB_UIACTIVATE:
        return ActivateInPlace(true);
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
        return ActivateInPlace(false);
    case OLEIVERB_HIDE:
        UIDeactivate();
        if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
        return S_OK;
    case OLEIVERB_PROPERTIES:  // Properties: the property frame
        return ShowPropertyPages(parent);
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
        return S_OK;
    default: {
        if (verb < 0) return E_NOTIMPL;
        // A positive verb we do not know is taken as the primary one.
        const HRESULT hr = ActivateInPlace(true);
        return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
    }
    }
}

STDMETHODIMP ControlBase::EnumVerbs(IEnumOLEVERB** verbs) {
    return Guard([&] {
        return Enumerator<VerbTraits>::Create({std::begin(kVerbs), std::end(kVerbs)}, verbs);
    });
}

STDMETHODIMP ControlBase::Update() { return S_OK; }
STDMETHODIMP ControlBase::IsUpToDate() { return S_OK; }

STDMETHODIMP ControlBase::GetUserClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = *class_.clsid;
    return S_OK;
}

STDMETHODIMP ControlBase::GetUserType(DWORD, LPOLESTR* type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    return Guard([&] {
        char name[256] = {};
        if (LoadStringA(framework::ModuleInstance(), class_.user_type_name_id, name, sizeof name) <= 0)
            return OleRegGetUserType(*class_.clsid, USERCLASSTYPE_FULL, type);
        *type = CoTaskString(ToWide(name));
        return *type ? S_OK : E_OUTOFMEMORY;
    });
}

STDMETHODIMP ControlBase::SetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (size->cx < 0 || size->cy < 0) return E_INVALIDARG;
    if (size->cx != extent_.cx || size->cy != extent_.cy) {
        extent_ = *size;
        SetModifiedFlag(true);
    }
    return S_OK;
}

STDMETHODIMP ControlBase::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = extent_;
    return S_OK;
}

STDMETHODIMP ControlBase::Advise(IAdviseSink* sink, DWORD* cookie) {
    if (!advise_holder_) {
        const HRESULT hr = CreateOleAdviseHolder(advise_holder_.put());
        if (FAILED(hr)) return hr;
    }
    return advise_holder_->Advise(sink, cookie);
}

STDMETHODIMP ControlBase::Unadvise(DWORD cookie) {
    return advise_holder_ ? advise_holder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP ControlBase::EnumAdvise(IEnumSTATDATA** advise) {
    if (!advise) return E_POINTER;
    *advise = nullptr;
    return advise_holder_ ? advise_holder_->EnumAdvise(advise) : S_OK;
}

STDMETHODIMP ControlBase::GetMiscStatus(DWORD aspect, DWORD* status) {
    if (!status) return E_POINTER;
    *status = aspect == DVASPECT_CONTENT ? GetMiscStatusBits() : 0;
    return S_OK;
}

STDMETHODIMP ControlBase::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

}  // namespace framework
