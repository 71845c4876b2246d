// The ActiveX control base: every interface a form designer, a database
// form, a web page or a script host asks of a control, in one object with one
// reference count. Its methods are spread over control_*.cpp by interface
// group. A derived control supplies its dispatch table and handler,
// its drawing, its exchange of persistent state and its modified flag.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "framework/persist_state.h"
#include "framework/automation.h"
#include "framework/com_module.h"
#include "framework/com_util.h"
#include "framework/connection_point.h"
#include "framework/dispatch.h"
#include "framework/event_queue.h"
#include "framework/host_events.h"

namespace framework {

// Control flags, as hosts know them from the classic framework.
enum ControlFlags : DWORD {
    kClipPaintDC = 0x02,
    kWindowlessActivate = 0x10,
};

// One exchange of persistent state: load from, save to, or reset `state`.
struct PropExchange {
    enum class Mode { kLoad, kSave, kReset };
    Mode mode;
    framework::ControlState state;
    framework::Status status = framework::Status::kOk;
    bool IsLoading() const { return mode == Mode::kLoad; }
};

struct ControlClass {
    const CLSID* clsid;
    const IID* dispatch_iid;
    const IID* events_iid;
    const GUID* libid;
    WORD lib_major, lib_minor;
    const CLSID* const* pages;
    ULONG page_count;
    UINT user_type_name_id;  // string resource
    const framework::AutoTable* members;
    std::uint32_t persist_version;  // what DoPropExchange's ExchangeVersion uses
    const wchar_t* window_class;    // the window class of a windowed activation
};

class ControlBase : public IDispatch,
                    public IOleObject,
                    public IOleInPlaceObjectWindowless,
                    public IOleInPlaceActiveObject,
                    public IOleControl,
                    public IViewObject2,
                    public IPersistStreamInit,
                    public IPersistStorage,
                    public IPersistPropertyBag,
                    public IProvideClassInfo2,
                    public IConnectionPointContainer,
                    public ISpecifyPropertyPages,
                    public IQuickActivate,
                    protected DispatchHandler {
public:
    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* arg_error) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR obj) override;
    STDMETHODIMP Close(DWORD save_option) override;
    STDMETHODIMP SetMoniker(DWORD which, IMoniker* mk) override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** mk) override;
    STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                        LPCRECT rect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* pal) override;

    // IOleWindow, IOleInPlaceObject(Windowless)
    STDMETHODIMP GetWindow(HWND* hwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override;
    STDMETHODIMP OnWindowMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) override;
    STDMETHODIMP GetDropTarget(IDropTarget** target) override;

    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG* msg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
    STDMETHODIMP FreezeEvents(BOOL freeze) override;

    // IViewObject2
    STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device,
                      HDC target_dc, HDC draw_dc, LPCRECTL bounds, LPCRECTL wbounds,
                      BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR), ULONG_PTR cont_arg) override;
    STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device,
                             HDC target_dc, LOGPALETTE** colors) override;
    STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspect_info, DWORD* freeze) override;
    STDMETHODIMP Unfreeze(DWORD freeze) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

    // IPersist, IPersistStreamInit, IPersistStorage, IPersistPropertyBag
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPSTREAM stream) override;
    STDMETHODIMP Save(LPSTREAM stream, BOOL clear_dirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override;
    STDMETHODIMP InitNew(IStorage* storage) override;
    STDMETHODIMP Load(IStorage* storage) override;
    STDMETHODIMP Save(IStorage* storage, BOOL same_as_load) override;
    STDMETHODIMP SaveCompleted(IStorage* storage) override;
    STDMETHODIMP HandsOffStorage() override;
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clear_dirty, BOOL save_all) override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // ISpecifyPropertyPages
    STDMETHODIMP GetPages(CAUUID* pages) override;

    // IQuickActivate
    STDMETHODIMP QuickActivate(QACONTAINER* container, QACONTROL* control) override;
    STDMETHODIMP SetContentExtent(LPSIZEL size) override;
    STDMETHODIMP GetContentExtent(LPSIZEL size) override;

protected:
    explicit ControlBase(const ControlClass& cls);
    virtual ~ControlBase();
    friend class RefCount;  // deletes at the last Release

    // The design-time picture, on the device context given.
    virtual void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) = 0;
    // The version, then the framework's extent and stock-property record.
    virtual void DoPropExchange(PropExchange& px);
    // Back to a new control's persistent state; then redrawn.
    virtual void OnResetState();
    virtual DWORD GetControlFlags() const { return kClipPaintDC; }
    virtual DWORD GetMiscStatusBits() const = 0;
    // VIEWSTATUS bits for quick activation: what a host may skip painting.
    virtual DWORD GetViewStatus() const { return 0; }
    virtual bool IsModified() const = 0;
    virtual void SetModifiedFlag(bool modified) = 0;

    // For DoPropExchange: stores `version` on save and reset; on load, refuses
    // another major version and, without `convert`, any other version.
    void ExchangeVersion(PropExchange& px, std::uint32_t version, bool convert);
    void InvalidateControl();
    // Opens the host's property frame on the control's pages.
    HRESULT ShowPropertyPages(HWND parent);
    // The events of the default source interface: posted from any thread,
    // fired on the thread that created the control.
    HostEvents& Events() { return events_; }

private:
    // A new control's extent: 100 x 50 pixels at 96 dpi, in HIMETRIC.
    static constexpr LONG kDefaultExtentX = 2646;
    static constexpr LONG kDefaultExtentY = 1323;

    HRESULT LoadTypeLib(LCID lcid, ITypeLib** lib);
    HRESULT LoadState(const unsigned char* data, std::size_t size);
    HRESULT ActivateInPlace(bool ui_activate);
    HRESULT CreateControlWindow(HWND parent);
    void DestroyControlWindow();
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

    const ControlClass& class_;
    ModuleObjectCount module_count_;
    RefCount refs_;
    ComPtr<ITypeInfo> type_info_;  // of the dispatch interface, once loaded

    SIZEL extent_;
    ComPtr<IOleClientSite> site_;
    ComPtr<IOleAdviseHolder> advise_holder_;
    ComPtr<IAdviseSink> view_sink_;
    DWORD view_aspects_ = 0, view_flags_ = 0;

    // In-place state.
    ComPtr<IOleInPlaceSite> inplace_site_;
    ComPtr<IOleInPlaceSiteWindowless> windowless_site_;
    ComPtr<IOleInPlaceFrame> frame_;
    ComPtr<IOleInPlaceUIWindow> doc_window_;
    bool ui_active_ = false;
    HWND hwnd_ = nullptr;
    RECT pos_ = {}, clip_ = {};
    int freeze_count_ = 0;

    // The event source: the sinks of the default source interface, and the
    // queue that brings events to this thread.
    ConnectionPoint event_point_{*this, *class_.events_iid};
    EventQueue events_{*static_cast<IDispatch*>(this), event_point_};
};

}  // namespace framework
