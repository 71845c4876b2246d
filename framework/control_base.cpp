// The control object itself: construction, IUnknown and IDispatch. Its other
// interface groups live in the control_*.cpp files beside this one.
#include "framework/control_base.h"

namespace framework {

ControlBase::ControlBase(const ControlClass& cls)
    : class_(cls) {
    extent_.cx = kDefaultExtentX;
    extent_.cy = kDefaultExtentY;
}

ControlBase::~ControlBase() { DestroyControlWindow(); }

// ---- IUnknown

namespace {

// Filled when the module loads: a guarded local table would leave the
// runtime a record of the host thread that first asked, which outlives the
// module.
using T = ControlBase;
const InterfaceEntry kInterfaces[] = {
    {&IID_IDispatch, BaseOffset<T, IDispatch>()},
    {&IID_IOleObject, BaseOffset<T, IOleObject>()},
    {&IID_IOleWindow, BaseOffset<T, IOleInPlaceObjectWindowless>()},
    {&IID_IOleInPlaceObject, BaseOffset<T, IOleInPlaceObjectWindowless>()},
    {&IID_IOleInPlaceObjectWindowless, BaseOffset<T, IOleInPlaceObjectWindowless>()},
    {&IID_IOleInPlaceActiveObject, BaseOffset<T, IOleInPlaceActiveObject>()},
    {&IID_IOleControl, BaseOffset<T, IOleControl>()},
    {&IID_IViewObject, BaseOffset<T, IViewObject2>()},
    {&IID_IViewObject2, BaseOffset<T, IViewObject2>()},
    {&IID_IPersist, BaseOffset<T, IPersistStreamInit>()},
    {&IID_IPersistStreamInit, BaseOffset<T, IPersistStreamInit>()},
    {&IID_IPersistStream, BaseOffset<T, IPersistStreamInit>()},
    {&IID_IPersistStorage, BaseOffset<T, IPersistStorage>()},
    {&IID_IPersistPropertyBag, BaseOffset<T, IPersistPropertyBag>()},
    {&IID_IProvideClassInfo, BaseOffset<T, IProvideClassInfo2>()},
    {&IID_IProvideClassInfo2, BaseOffset<T, IProvideClassInfo2>()},
    {&IID_IConnectionPointContainer, BaseOffset<T, IConnectionPointContainer>()},
    {&IID_ISpecifyPropertyPages, BaseOffset<T, ISpecifyPropertyPages>()},
    {&IID_IQuickActivate, BaseOffset<T, IQuickActivate>()},
};

}  // namespace

STDMETHODIMP ControlBase::QueryInterface(REFIID iid, void** ppv) {
    if (ppv && IsEqualIID(iid, *class_.dispatch_iid)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return QueryFromTable(this, kInterfaces, sizeof kInterfaces / sizeof kInterfaces[0], iid, ppv);
}

STDMETHODIMP_(ULONG) ControlBase::AddRef() { return refs_.Add(); }

STDMETHODIMP_(ULONG) ControlBase::Release() { return refs_.Drop(this); }

// ---- IDispatch

HRESULT ControlBase::LoadTypeLib(LCID lcid, ITypeLib** lib) {
    // The registered library: type information exists once the module is registered.
    return LoadRegTypeLib(*class_.libid, class_.lib_major, class_.lib_minor, lcid, lib);
}

STDMETHODIMP ControlBase::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP ControlBase::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    // Loaded once: a late-binding host asks for it on every call.
    if (!type_info_) {
        ComPtr<ITypeLib> lib;
        HRESULT hr = LoadTypeLib(lcid, lib.put());
        if (FAILED(hr)) return hr;
        ComPtr<ITypeInfo> loaded;
        hr = lib->GetTypeInfoOfGuid(*class_.dispatch_iid, loaded.put());
        if (FAILED(hr)) return hr;
        type_info_ = std::move(loaded);
    }
    *info = ComPtr<ITypeInfo>::Copy(type_info_.get()).detach();
    return S_OK;
}

STDMETHODIMP ControlBase::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return NamesToIds(*class_.members, names, count, ids);
}

STDMETHODIMP ControlBase::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO*, UINT* arg_error) {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    // A handler may release the host's last reference (a box's message loop).
    ComPtr<IDispatch> keep = ComPtr<IDispatch>::Copy(this);
    return Guard([&] { return InvokeTable(*class_.members, *this, id, flags, params, result, arg_error); });
}

}  // namespace framework
