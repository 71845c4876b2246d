#include "platform/com/control_base.h"

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "platform/com/enumerator.h"
#include "platform/win32/module.h"

namespace orvanta::com {

namespace {

// A new control's extent: 100 x 50 pixels at 96 dpi, in HIMETRIC.
constexpr LONG kDefaultExtentX = 2646;
constexpr LONG kDefaultExtentY = 1323;

constexpr wchar_t kContentsStream[] = L"Contents";
constexpr wchar_t kWindowClass[] = L"OrvantaControlWindow";

// Windowed controls share one class; it goes when the last window does, so
// no class outlives the module that holds its window procedure.
int g_windows = 0;

bool ReadExactly(IStream* stream, void* into, ULONG size) {
    ULONG got = 0;
    return SUCCEEDED(stream->Read(into, size, &got)) && got == size;
}

HRESULT ReadBagLong(IPropertyBag* bag, IErrorLog* log, const char* name, std::int32_t& out,
                    bool& present) {
    const std::wstring wide = ToWide(name);
    Variant v;
    V_VT(v.get()) = VT_I4;
    const HRESULT hr = bag->Read(wide.c_str(), v.get(), log);
    if (FAILED(hr)) {
        present = false;
        return S_OK;
    }
    Variant converted;
    if (FAILED(VariantChangeType(converted.get(), v.get(), 0, VT_I4))) return E_INVALIDARG;
    out = V_I4(converted.get());
    present = true;
    return S_OK;
}

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
        out->Release();
        out = nullptr;
    }
};

// A snapshot of the connections: Unadvise during the walk changes nothing here.
struct Connection {
    ComPtr<IUnknown> sink;
    DWORD cookie;
};

struct ConnectionTraits {
    using Interface = IEnumConnections;
    using Item = Connection;
    using Out = CONNECTDATA;
    static const IID& Iid() { return IID_IEnumConnections; }
    static HRESULT Copy(const Connection& c, CONNECTDATA& out) noexcept {
        out.pUnk = ComPtr<IUnknown>::Copy(c.sink.get()).detach();
        out.dwCookie = c.cookie;
        return S_OK;
    }
    static void Clear(CONNECTDATA& out) noexcept {
        out.pUnk->Release();
        out.pUnk = nullptr;
    }
};

HRESULT WriteBagLong(IPropertyBag* bag, const char* name, std::int32_t value) {
    const std::wstring wide = ToWide(name);
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return bag->Write(wide.c_str(), &v);
}

}  // namespace

ControlBase::ControlBase(const ControlClass& cls) : class_(cls) {
    extent_.cx = kDefaultExtentX;
    extent_.cy = kDefaultExtentY;
}

ControlBase::~ControlBase() { DestroyControlWindow(); }

// ---- IUnknown

STDMETHODIMP ControlBase::QueryInterface(REFIID iid, void** ppv) {
    using T = ControlBase;
    static const InterfaceEntry table[] = {
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
    if (ppv && IsEqualIID(iid, *class_.dispatch_iid)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return QueryFromTable(this, table, sizeof table / sizeof table[0], iid, ppv);
}

STDMETHODIMP_(ULONG) ControlBase::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) ControlBase::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

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
    ComPtr<ITypeLib> lib;
    const HRESULT hr = LoadTypeLib(lcid, lib.put());
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(*class_.dispatch_iid, info);
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
        if (LoadStringA(win32::ModuleInstance(), class_.user_type_name_id, name, sizeof name) <= 0)
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

// ---- In-place activation

HRESULT ControlBase::ActivateInPlace(bool ui_activate) {
    if (!site_) return E_UNEXPECTED;
    if (!inplace_site_) {
        auto windowless = site_.As<IOleInPlaceSiteWindowless>(IID_IOleInPlaceSiteWindowless);
        ComPtr<IOleInPlaceSite> site;
        bool go_windowless = false;
        // Windowless where the host allows it: the host then draws us.
        if (windowless && (GetControlFlags() & kWindowlessActivate) &&
            windowless->CanWindowlessActivate() == S_OK) {
            site = windowless.As<IOleInPlaceSite>(IID_IOleInPlaceSite);
            go_windowless = true;
        } else {
            site = site_.As<IOleInPlaceSite>(IID_IOleInPlaceSite);
        }
        if (!site) return E_NOINTERFACE;
        if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
        HRESULT hr;
        if (go_windowless) {
            BOOL no_redraw = FALSE;
            hr = windowless->OnInPlaceActivateEx(&no_redraw, ACTIVATE_WINDOWLESS);
        } else {
            hr = site->OnInPlaceActivate();
        }
        if (FAILED(hr)) return hr;
        inplace_site_ = site;
        if (go_windowless) windowless_site_ = windowless;

        OLEINPLACEFRAMEINFO info = {};
        info.cb = sizeof info;
        RECT pos = {}, clip = {};
        if (SUCCEEDED(site->GetWindowContext(frame_.put(), doc_window_.put(), &pos, &clip, &info))) {
            pos_ = pos;
            clip_ = clip;
        }
        if (!go_windowless) {
            HWND parent = nullptr;
            hr = site->GetWindow(&parent);
            if (SUCCEEDED(hr)) hr = CreateControlWindow(parent);
            if (FAILED(hr)) {
                InPlaceDeactivate();
                return hr;
            }
        }
    }
    if (ui_activate && !ui_active_) {
        ui_active_ = true;
        inplace_site_->OnUIActivate();
        if (hwnd_) SetFocus(hwnd_);
        else if (windowless_site_) windowless_site_->SetFocus(TRUE);
        auto* active = static_cast<IOleInPlaceActiveObject*>(this);
        if (frame_) {
            frame_->SetActiveObject(active, nullptr);
            frame_->SetBorderSpace(nullptr);
        }
        if (doc_window_) {
            doc_window_->SetActiveObject(active, nullptr);
            doc_window_->SetBorderSpace(nullptr);
        }
    }
    return S_OK;
}

HRESULT ControlBase::CreateControlWindow(HWND parent) {
    const HINSTANCE instance = win32::ModuleInstance();
    if (g_windows == 0) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
        wc.lpfnWndProc = &ControlBase::WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = kWindowClass;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return HRESULT_FROM_WIN32(GetLastError());
    }
    hwnd_ = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_VISIBLE, pos_.left,
                            pos_.top, pos_.right - pos_.left, pos_.bottom - pos_.top, parent, nullptr,
                            instance, this);
    if (!hwnd_) {
        const DWORD error = GetLastError();
        if (g_windows == 0) UnregisterClassW(kWindowClass, instance);
        return HRESULT_FROM_WIN32(error ? error : ERROR_INVALID_WINDOW_HANDLE);
    }
    ++g_windows;
    return S_OK;
}

void ControlBase::DestroyControlWindow() {
    if (!hwnd_) return;
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    if (--g_windows == 0) UnregisterClassW(kWindowClass, win32::ModuleInstance());
}

LRESULT CALLBACK ControlBase::WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<ControlBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;  // OnDraw paints every pixel
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (self) {
            RECT client;
            GetClientRect(hwnd, &client);
            self->OnDraw(dc, client, ps.rcPaint);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_MOUSEACTIVATE:
        if (self && !self->ui_active_) self->ActivateInPlace(true);
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

STDMETHODIMP ControlBase::GetWindow(HWND* hwnd) {
    if (!hwnd) return E_POINTER;
    *hwnd = hwnd_;
    return hwnd_ ? S_OK : E_FAIL;
}

STDMETHODIMP ControlBase::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP ControlBase::InPlaceDeactivate() {
    if (!inplace_site_) return S_OK;
    UIDeactivate();
    DestroyControlWindow();
    ComPtr<IOleInPlaceSite> site = inplace_site_;
    ComPtr<IOleInPlaceSiteWindowless> windowless = windowless_site_;
    inplace_site_.reset();
    windowless_site_.reset();
    frame_.reset();
    doc_window_.reset();
    if (windowless) windowless->OnInPlaceDeactivateEx(TRUE);
    else site->OnInPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP ControlBase::UIDeactivate() {
    if (!ui_active_) return S_OK;
    ui_active_ = false;
    if (frame_) frame_->SetActiveObject(nullptr, nullptr);
    if (doc_window_) doc_window_->SetActiveObject(nullptr, nullptr);
    if (windowless_site_) windowless_site_->SetFocus(FALSE);
    if (inplace_site_) inplace_site_->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP ControlBase::SetObjectRects(LPCRECT pos, LPCRECT clip) {
    if (!pos) return E_POINTER;
    pos_ = *pos;
    clip_ = clip ? *clip : *pos;
    if (hwnd_)
        MoveWindow(hwnd_, pos_.left, pos_.top, pos_.right - pos_.left, pos_.bottom - pos_.top, TRUE);
    return S_OK;
}

STDMETHODIMP ControlBase::ReactivateAndUndo() { return E_NOTIMPL; }

STDMETHODIMP ControlBase::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result) {
    if (result) *result = 0;
    return S_FALSE;  // the control handles no input
}

STDMETHODIMP ControlBase::GetDropTarget(IDropTarget** target) {
    if (target) *target = nullptr;
    return E_NOTIMPL;
}

// ---- IOleInPlaceActiveObject

STDMETHODIMP ControlBase::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP ControlBase::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP ControlBase::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP ControlBase::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP ControlBase::EnableModeless(BOOL) { return S_OK; }

// ---- IOleControl

STDMETHODIMP ControlBase::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    info->hAccel = nullptr;  // no mnemonics
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP ControlBase::OnMnemonic(MSG*) { return S_OK; }
STDMETHODIMP ControlBase::OnAmbientPropertyChange(DISPID) { return S_OK; }

STDMETHODIMP ControlBase::FreezeEvents(BOOL freeze) {
    freeze_count_ += freeze ? 1 : (freeze_count_ > 0 ? -1 : 0);
    return S_OK;
}

// ---- IViewObject2

STDMETHODIMP ControlBase::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC draw_dc,
                               LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!draw_dc) return E_INVALIDARG;
    RECT rect;
    if (bounds) {
        rect = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    } else if (windowless_site_) {
        rect = pos_;  // a windowless control draws where it sits
    } else {
        return E_INVALIDARG;
    }
    OnDraw(draw_dc, rect, rect);
    return S_OK;
}

STDMETHODIMP ControlBase::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
    if (colors) *colors = nullptr;
    return S_FALSE;
}

STDMETHODIMP ControlBase::Freeze(DWORD, LONG, void*, DWORD* freeze) {
    if (freeze) *freeze = 0;
    return E_NOTIMPL;
}

STDMETHODIMP ControlBase::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP ControlBase::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    view_sink_ = ComPtr<IAdviseSink>::Copy(sink);
    view_aspects_ = aspects;
    view_flags_ = flags;
    if (sink && (flags & ADVF_PRIMEFIRST)) sink->OnViewChange(DVASPECT_CONTENT, -1);
    return S_OK;
}

STDMETHODIMP ControlBase::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) *aspects = view_aspects_;
    if (flags) *flags = view_flags_;
    if (sink) *sink = ComPtr<IAdviseSink>::Copy(view_sink_.get()).detach();
    return S_OK;
}

STDMETHODIMP ControlBase::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

void ControlBase::InvalidateControl() {
    if (windowless_site_) windowless_site_->InvalidateRect(nullptr, TRUE);
    else if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
    if (view_sink_) view_sink_->OnViewChange(DVASPECT_CONTENT, -1);
}

// ---- Persistence

void ControlBase::ExchangeVersion(PropExchange& px, std::uint32_t version, bool convert) {
    if (px.IsLoading()) {
        const std::uint32_t stored = px.state.version;
        if (px.status == persist::Status::kOk &&
            ((stored >> 16) != (version >> 16) || stored > version || (!convert && stored != version)))
            px.status = persist::Status::kBadVersion;
    } else {
        px.state.version = version;
    }
}

void ControlBase::DoPropExchange(PropExchange& px) {
    switch (px.mode) {
    case PropExchange::Mode::kLoad:
        if (px.status != persist::Status::kOk) return;
        if (px.state.extent_x < 0 || px.state.extent_y < 0 || px.state.extent_x > persist::kMaxExtent ||
            px.state.extent_y > persist::kMaxExtent || px.state.stock_props != 0) {
            px.status = persist::Status::kBadValue;
            return;
        }
        extent_.cx = px.state.extent_x;
        extent_.cy = px.state.extent_y;
        break;
    case PropExchange::Mode::kSave:
        px.state.extent_x = extent_.cx;
        px.state.extent_y = extent_.cy;
        px.state.stock_props = 0;  // no stock properties
        break;
    case PropExchange::Mode::kReset:
        extent_.cx = kDefaultExtentX;
        extent_.cy = kDefaultExtentY;
        break;
    }
}

void ControlBase::OnResetState() {
    PropExchange px{PropExchange::Mode::kReset, {}};
    DoPropExchange(px);
    InvalidateControl();
}

HRESULT ControlBase::LoadState(const unsigned char* data, std::size_t size) {
    PropExchange px{PropExchange::Mode::kLoad, {}};
    px.status = persist::Decode(data, size, class_.persist_version, px.state);
    if (px.status != persist::Status::kOk) return E_FAIL;
    // The extent changes only with a load that succeeds whole.
    const SIZEL before = extent_;
    DoPropExchange(px);
    if (px.status != persist::Status::kOk) {
        extent_ = before;
        return E_FAIL;
    }
    SetModifiedFlag(false);
    InvalidateControl();
    return S_OK;
}

STDMETHODIMP ControlBase::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = *class_.clsid;
    return S_OK;
}

STDMETHODIMP ControlBase::IsDirty() { return IsModified() ? S_OK : S_FALSE; }

STDMETHODIMP ControlBase::Load(LPSTREAM stream) {
    if (!stream) return E_POINTER;
    unsigned char record[persist::kRecordSize];
    // The header first: it says whether the rest is ours to read at all.
    if (!ReadExactly(stream, record, persist::kHeaderSize)) return E_FAIL;
    if (persist::CheckHeader(record, persist::kHeaderSize) != persist::Status::kOk) return E_FAIL;
    if (!ReadExactly(stream, record + persist::kHeaderSize, persist::kBodySize)) return E_FAIL;
    return LoadState(record, sizeof record);
}

STDMETHODIMP ControlBase::Save(LPSTREAM stream, BOOL clear_dirty) {
    if (!stream) return E_POINTER;
    PropExchange px{PropExchange::Mode::kSave, {}};
    DoPropExchange(px);
    unsigned char record[persist::kRecordSize];
    persist::Encode(px.state, record);
    ULONG written = 0;
    const HRESULT hr = stream->Write(record, sizeof record, &written);
    if (FAILED(hr)) return hr;
    if (written != sizeof record) return STG_E_MEDIUMFULL;
    if (clear_dirty) SetModifiedFlag(false);
    return S_OK;
}

STDMETHODIMP ControlBase::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    size->QuadPart = persist::kRecordSize;
    return S_OK;
}

STDMETHODIMP ControlBase::InitNew() {
    OnResetState();
    SetModifiedFlag(false);
    return S_OK;
}

STDMETHODIMP ControlBase::InitNew(IStorage*) { return InitNew(); }

STDMETHODIMP ControlBase::Load(IStorage* storage) {
    if (!storage) return E_POINTER;
    ComPtr<IStream> stream;
    const HRESULT hr = storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                           stream.put());
    if (FAILED(hr)) return hr;
    return Load(stream.get());
}

STDMETHODIMP ControlBase::Save(IStorage* storage, BOOL) {
    if (!storage) return E_POINTER;
    ComPtr<IStream> stream;
    const HRESULT hr = storage->CreateStream(kContentsStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                             0, 0, stream.put());
    if (FAILED(hr)) return hr;
    return Save(stream.get(), TRUE);
}

STDMETHODIMP ControlBase::SaveCompleted(IStorage*) { return S_OK; }
STDMETHODIMP ControlBase::HandsOffStorage() { return S_OK; }

STDMETHODIMP ControlBase::Load(IPropertyBag* bag, IErrorLog* log) {
    if (!bag) return E_POINTER;
    return Guard([&] {
        std::int32_t version = 0, x = 0, y = 0, stock = 0;
        bool has_version = false, has_x = false, has_y = false, has_stock = false;
        HRESULT hr = ReadBagLong(bag, log, persist::kNameVersion, version, has_version);
        if (SUCCEEDED(hr)) hr = ReadBagLong(bag, log, persist::kNameExtentX, x, has_x);
        if (SUCCEEDED(hr)) hr = ReadBagLong(bag, log, persist::kNameExtentY, y, has_y);
        if (SUCCEEDED(hr)) hr = ReadBagLong(bag, log, persist::kNameStockProps, stock, has_stock);
        if (FAILED(hr)) return hr;
        // A page that names none of them (a bare <object> tag) gets a new control.
        if (!has_version && !has_x && !has_y && !has_stock) return InitNew();
        persist::ControlState state;
        state.version = has_version ? static_cast<std::uint32_t>(version) : class_.persist_version;
        state.extent_x = has_x ? x : extent_.cx;
        state.extent_y = has_y ? y : extent_.cy;
        state.stock_props = has_stock ? static_cast<std::uint32_t>(stock) : 0;
        unsigned char record[persist::kRecordSize];
        persist::Encode(state, record);
        return LoadState(record, sizeof record);
    });
}

STDMETHODIMP ControlBase::Save(IPropertyBag* bag, BOOL clear_dirty, BOOL) {
    if (!bag) return E_POINTER;
    return Guard([&] {
        PropExchange px{PropExchange::Mode::kSave, {}};
        DoPropExchange(px);
        HRESULT hr = WriteBagLong(bag, persist::kNameVersion, static_cast<std::int32_t>(px.state.version));
        if (SUCCEEDED(hr)) hr = WriteBagLong(bag, persist::kNameExtentX, px.state.extent_x);
        if (SUCCEEDED(hr)) hr = WriteBagLong(bag, persist::kNameExtentY, px.state.extent_y);
        if (SUCCEEDED(hr))
            hr = WriteBagLong(bag, persist::kNameStockProps, static_cast<std::int32_t>(px.state.stock_props));
        if (SUCCEEDED(hr) && clear_dirty) SetModifiedFlag(false);
        return hr;
    });
}

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
    *point = &event_point_;
    event_point_.AddRef();
    return S_OK;
}

STDMETHODIMP ControlBase::EventPoint::QueryInterface(REFIID iid, void** ppv) {
    static const InterfaceEntry table[] = {{&IID_IConnectionPoint, 0}};
    return QueryFromTable(static_cast<IConnectionPoint*>(this), table, 1, iid, ppv);
}

STDMETHODIMP ControlBase::EventPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = *owner_.class_.events_iid;
    return S_OK;
}

STDMETHODIMP ControlBase::EventPoint::GetConnectionPointContainer(IConnectionPointContainer** cpc) {
    if (!cpc) return E_POINTER;
    *cpc = static_cast<IConnectionPointContainer*>(&owner_);
    owner_.AddRef();
    return S_OK;
}

STDMETHODIMP ControlBase::EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    return Guard([&] {
        ComPtr<IUnknown> events;
        if (FAILED(sink->QueryInterface(*owner_.class_.events_iid, events.put_void())) &&
            FAILED(sink->QueryInterface(IID_IDispatch, events.put_void())))
            return CONNECT_E_CANNOTCONNECT;
        auto& sinks = owner_.sinks_;
        for (std::size_t i = 0; i < sinks.size(); ++i) {
            if (!sinks[i]) {
                sinks[i] = events;
                *cookie = static_cast<DWORD>(i + 1);
                return S_OK;
            }
        }
        sinks.push_back(events);
        *cookie = static_cast<DWORD>(sinks.size());
        return S_OK;
    });
}

STDMETHODIMP ControlBase::EventPoint::Unadvise(DWORD cookie) {
    auto& sinks = owner_.sinks_;
    if (cookie == 0 || cookie > sinks.size() || !sinks[cookie - 1]) return CONNECT_E_NOCONNECTION;
    sinks[cookie - 1].reset();
    return S_OK;
}

STDMETHODIMP ControlBase::EventPoint::EnumConnections(IEnumConnections** connections) {
    if (!connections) return E_POINTER;
    *connections = nullptr;
    return Guard([&] {
        std::vector<Connection> current;
        const auto& sinks = owner_.sinks_;
        for (std::size_t i = 0; i < sinks.size(); ++i)
            if (sinks[i]) current.push_back({sinks[i], static_cast<DWORD>(i + 1)});
        return Enumerator<ConnectionTraits>::Create(std::move(current), connections);
    });
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
    // A sink that takes neither our events nor IDispatch is left unconnected:
    // the control fires nothing, so the host loses nothing.
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
        LoadStringA(win32::ModuleInstance(), class_.user_type_name_id, name, sizeof name);
        const std::wstring caption = ToWide(name);
        IUnknown* objects[] = {static_cast<IDispatch*>(this)};
        return OleCreatePropertyFrame(parent, 0, 0, caption.c_str(), 1, objects, class_.page_count,
                                      pages.data(), GetUserDefaultLCID(), 0, nullptr);
    });
}

}  // namespace orvanta::com
