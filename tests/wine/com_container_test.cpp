// The control in a small container of our own: the verbs a designer lists,
// the enumerators of its event source, quick activation, and in-place
// activation with and without a window of its own.
#include "tests/wine/com_host.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "testkit/watcher.h"

namespace orvanta::testing {
namespace {

// A site that lives on the test's stack: it counts references but never
// deletes itself, so a test can check that the control gave back all it took.
class FakeSite final : public IOleClientSite, public IOleInPlaceSiteWindowless, public IAdviseSinkEx {
public:
    std::atomic<ULONG> refs{1};
    HWND window = nullptr;
    bool windowless = true;  // CanWindowlessActivate's answer
    RECT pos = {20, 10, 120, 70};
    DWORD activate_flags = ~0u;  // what OnInPlaceActivateEx got; ~0 for plain OnInPlaceActivate
    bool active = false, focus = false;

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        *ppv = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
            *ppv = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite) ||
                 IsEqualIID(iid, IID_IOleInPlaceSiteEx) || IsEqualIID(iid, IID_IOleInPlaceSiteWindowless))
            *ppv = static_cast<IOleInPlaceSiteWindowless*>(this);
        else if (IsEqualIID(iid, IID_IAdviseSink) || IsEqualIID(iid, IID_IAdviseSinkEx))
            *ppv = static_cast<IAdviseSinkEx*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** mk) override { *mk = nullptr; return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** c) override { *c = nullptr; return E_NOINTERFACE; }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* hwnd) override { *hwnd = window; return S_OK; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { active = true; return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT p, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO) override {
        *frame = nullptr;
        *doc = nullptr;
        *p = *clip = pos;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { active = false; return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceSiteEx, IOleInPlaceSiteWindowless
    STDMETHODIMP OnInPlaceActivateEx(BOOL* no_redraw, DWORD flags) override {
        if (no_redraw) *no_redraw = FALSE;
        activate_flags = flags;
        active = true;
        return S_OK;
    }
    STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { active = false; return S_OK; }
    STDMETHODIMP RequestUIActivate() override { return S_OK; }
    STDMETHODIMP CanWindowlessActivate() override { return windowless ? S_OK : S_FALSE; }
    STDMETHODIMP GetCapture() override { return S_FALSE; }
    STDMETHODIMP SetCapture(BOOL) override { return S_OK; }
    STDMETHODIMP GetFocus() override { return focus ? S_OK : S_FALSE; }
    STDMETHODIMP SetFocus(BOOL f) override { focus = f != FALSE; return S_OK; }
    STDMETHODIMP GetDC(LPCRECT, DWORD, HDC* dc) override { *dc = nullptr; return E_NOTIMPL; }
    STDMETHODIMP ReleaseDC(HDC) override { return E_NOTIMPL; }
    STDMETHODIMP InvalidateRect(LPCRECT, BOOL) override { return S_OK; }
    STDMETHODIMP InvalidateRgn(HRGN, BOOL) override { return S_OK; }
    STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
    STDMETHODIMP AdjustRect(LPRECT) override { return S_OK; }
    STDMETHODIMP OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT* r) override { *r = 0; return S_OK; }

    // IAdviseSink, IAdviseSinkEx
    STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override {}
    STDMETHODIMP_(void) OnViewStatusChange(DWORD) override {}
};

struct ComContainer : ComTest {
    void SetUp() override {
        ComTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(ocx->CreateControl(IID_IOleObject, ole.put_void()), S_OK);
        window = CreateWindowExA(0, "STATIC", "container", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        site.window = window;
    }
    void TearDown() override {
        ole.reset();
        if (window) DestroyWindow(window);
        ComTest::TearDown();
    }
    // In place on the site; then GetWindow's answer.
    HRESULT Activate(HWND* own) {
        EXPECT_EQ(ole->SetClientSite(&site), S_OK);
        EXPECT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, window, &site.pos), S_OK);
        Ptr<IOleInPlaceObject> inplace;
        EXPECT_EQ(ole->QueryInterface(IID_IOleInPlaceObject, inplace.put_void()), S_OK);
        *own = reinterpret_cast<HWND>(static_cast<uintptr_t>(0xdead));
        return inplace->GetWindow(own);
    }
    // Out of place and unsited; the site must have every reference back.
    void Deactivate() {
        Ptr<IOleInPlaceObject> inplace;
        ASSERT_EQ(ole->QueryInterface(IID_IOleInPlaceObject, inplace.put_void()), S_OK);
        EXPECT_EQ(inplace->InPlaceDeactivate(), S_OK);
        EXPECT_FALSE(site.active);
        EXPECT_EQ(ole->Close(OLECLOSE_NOSAVE), S_OK);
        EXPECT_EQ(ole->SetClientSite(nullptr), S_OK);
        inplace.reset();
        ole.reset();
        EXPECT_EQ(site.refs, 1u);
    }
    ULONG Refs(IUnknown* p) {
        p->AddRef();
        return p->Release();
    }

    FakeSite site;  // outlives the control, also when a test stops early
    Ptr<IOleObject> ole;
    HWND window = nullptr;
};

TEST_F(ComContainer, ListsEditAndPropertiesAsContainerMenuVerbs) {
    Ptr<IEnumOLEVERB> verbs;
    ASSERT_EQ(ole->EnumVerbs(verbs.put()), S_OK);
    OLEVERB got[3] = {};
    ULONG fetched = 99;
    EXPECT_EQ(verbs->Next(3, got, &fetched), S_FALSE) << "fewer than asked for";
    ASSERT_EQ(fetched, 2u);
    const struct {
        LONG id;
        const char* name;
    } want[] = {{OLEIVERB_PRIMARY, "&Edit"}, {OLEIVERB_PROPERTIES, "&Properties..."}};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(got[i].lVerb, want[i].id);
        EXPECT_EQ(Narrow(got[i].lpszVerbName), want[i].name);
        EXPECT_EQ(got[i].fuFlags, static_cast<DWORD>(MF_STRING | MF_ENABLED));
        EXPECT_EQ(got[i].grfAttribs, static_cast<DWORD>(OLEVERBATTRIB_ONCONTAINERMENU));
        CoTaskMemFree(got[i].lpszVerbName);
    }
    EXPECT_EQ(verbs->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    // A clone keeps the position; Skip past the end says so.
    ASSERT_EQ(verbs->Reset(), S_OK);
    ASSERT_EQ(verbs->Skip(1), S_OK);
    Ptr<IEnumOLEVERB> clone;
    ASSERT_EQ(verbs->Clone(clone.put()), S_OK);
    for (IEnumOLEVERB* e : {verbs.p, clone.p}) {
        OLEVERB one = {};
        ASSERT_EQ(e->Next(1, &one, nullptr), S_OK);
        EXPECT_EQ(one.lVerb, OLEIVERB_PROPERTIES);
        CoTaskMemFree(one.lpszVerbName);
    }
    EXPECT_EQ(clone->Skip(1), S_FALSE);
    EXPECT_EQ(verbs->Next(2, got, nullptr), E_INVALIDARG) << "a count above 1 needs pceltFetched";
    EXPECT_EQ(ole->DoVerb(-100, nullptr, nullptr, 0, nullptr, nullptr), E_NOTIMPL);
}

TEST_F(ComContainer, EnumeratesItsEventPointAndTheLiveConnections) {
    Ptr<IConnectionPointContainer> cpc;
    ASSERT_EQ(ole->QueryInterface(IID_IConnectionPointContainer, cpc.put_void()), S_OK);
    Ptr<IConnectionPoint> found;
    ASSERT_EQ(cpc->FindConnectionPoint(DIID__DOrvantaEvents, found.put()), S_OK);
    Ptr<IEnumConnectionPoints> points, points_clone;
    ASSERT_EQ(cpc->EnumConnectionPoints(points.put()), S_OK);
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(listed[0], found.p);
    listed[0]->Release();
    ASSERT_EQ(points->Reset(), S_OK);
    ASSERT_EQ(points->Clone(points_clone.put()), S_OK);

    // Two sinks (other controls serve: any IDispatch does), one dropped again.
    Ptr<IDispatch> sink_a, sink_b;
    ASSERT_EQ(ocx->CreateControl(IID_IDispatch, sink_a.put_void()), S_OK);
    ASSERT_EQ(ocx->CreateControl(IID_IDispatch, sink_b.put_void()), S_OK);
    DWORD cookie_a = 0, cookie_b = 0;
    ASSERT_EQ(found->Advise(sink_a.p, &cookie_a), S_OK);
    ASSERT_EQ(found->Advise(sink_b.p, &cookie_b), S_OK);
    ASSERT_EQ(found->Unadvise(cookie_a), S_OK);
    const ULONG b_refs = Refs(sink_b.p);
    Ptr<IEnumConnections> connections;
    ASSERT_EQ(found->EnumConnections(connections.put()), S_OK);
    CONNECTDATA data[2] = {};
    EXPECT_EQ(connections->Next(2, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(data[0].dwCookie, cookie_b);
    EXPECT_EQ(data[0].pUnk, static_cast<IUnknown*>(sink_b.p)) << "the sink as advised";
    EXPECT_GT(Refs(sink_b.p), b_refs) << "the listed sink is held for the caller";
    data[0].pUnk->Release();
    connections.reset();
    EXPECT_EQ(Refs(sink_b.p), b_refs) << "only the connection's own reference stays";
    ASSERT_EQ(found->Unadvise(cookie_b), S_OK);

    // The enumerator alone keeps the control and the module alive.
    sink_a.reset();
    sink_b.reset();
    found.reset();
    cpc.reset();
    ole.reset();
    points.reset();
    EXPECT_EQ(ocx->CanUnloadNow(), S_FALSE);
    IConnectionPoint* last = nullptr;
    ASSERT_EQ(points_clone->Next(1, &last, nullptr), S_OK);
    IID iid = IID_NULL;
    EXPECT_EQ(last->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, DIID__DOrvantaEvents));
    last->Release();
    points_clone.reset();
    EXPECT_EQ(ocx->CanUnloadNow(), S_OK);
}

TEST_F(ComContainer, QuickActivateTakesTheSiteAndSinksAndReportsItsStatus) {
    Ptr<IQuickActivate> quick;
    ASSERT_EQ(ole->QueryInterface(IID_IQuickActivate, quick.put_void()), S_OK);
    Ptr<IDispatch> events;
    ASSERT_EQ(ocx->CreateControl(IID_IDispatch, events.put_void()), S_OK);
    QACONTAINER container = {};
    container.cbSize = sizeof container;
    container.pClientSite = &site;
    container.pAdviseSink = &site;
    container.pUnkEventSink = events.p;
    QACONTROL control = {};
    control.cbSize = 8;  // shorter than any version of the record
    EXPECT_EQ(quick->QuickActivate(&container, &control), E_INVALIDARG);
    control.cbSize = sizeof control;
    ASSERT_EQ(quick->QuickActivate(&container, &control), S_OK);
    DWORD misc = 0;  // its value is the dispatch test's
    ASSERT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
    EXPECT_EQ(control.dwMiscStatus, misc);
    EXPECT_EQ(control.dwViewStatus, static_cast<DWORD>(VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND));
    EXPECT_NE(control.dwEventCookie, 0u);
    EXPECT_EQ(control.dwPropNotifyCookie, 0u);

    Ptr<IOleClientSite> got_site;
    ASSERT_EQ(ole->GetClientSite(got_site.put()), S_OK);
    EXPECT_EQ(got_site.p, static_cast<IOleClientSite*>(&site));
    got_site.reset();
    Ptr<IViewObject> view;
    ASSERT_EQ(ole->QueryInterface(IID_IViewObject, view.put_void()), S_OK);
    Ptr<IAdviseSink> got_sink;
    ASSERT_EQ(view->GetAdvise(nullptr, nullptr, got_sink.put()), S_OK);
    EXPECT_EQ(got_sink.p, static_cast<IAdviseSink*>(&site));
    got_sink.reset();
    Ptr<IConnectionPointContainer> cpc;
    Ptr<IConnectionPoint> cp;
    ASSERT_EQ(ole->QueryInterface(IID_IConnectionPointContainer, cpc.put_void()), S_OK);
    ASSERT_EQ(cpc->FindConnectionPoint(DIID__DOrvantaEvents, cp.put()), S_OK);
    EXPECT_EQ(cp->Unadvise(control.dwEventCookie), S_OK) << "the event sink was connected";

    SIZEL extent = {1000, 500}, back = {};
    ASSERT_EQ(quick->SetContentExtent(&extent), S_OK);
    ASSERT_EQ(quick->GetContentExtent(&back), S_OK);
    EXPECT_EQ(back.cx, 1000);
    EXPECT_EQ(back.cy, 500);

    EXPECT_EQ(view->SetAdvise(DVASPECT_CONTENT, 0, nullptr), S_OK);
    view.reset();
    cp.reset();
    cpc.reset();
    quick.reset();
    Deactivate();
}

TEST_F(ComContainer, WindowlessItMakesNoWindowAndDrawsWhereItSits) {
    HWND own = nullptr;
    EXPECT_EQ(Activate(&own), E_FAIL);
    EXPECT_EQ(own, nullptr);
    EXPECT_EQ(site.activate_flags, static_cast<DWORD>(ACTIVATE_WINDOWLESS));
    EXPECT_EQ(::GetWindow(window, GW_CHILD), nullptr);

    Ptr<IOleInPlaceObjectWindowless> windowless;
    ASSERT_EQ(ole->QueryInterface(IID_IOleInPlaceObjectWindowless, windowless.put_void()), S_OK);
    LRESULT result = 99;
    EXPECT_EQ(windowless->OnWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 30), &result), S_FALSE)
        << "no input of its own: the host's default handling applies";
    EXPECT_EQ(result, 0);
    windowless.reset();
    ASSERT_EQ(ole->DoVerb(OLEIVERB_PRIMARY, nullptr, &site, 0, window, &site.pos), S_OK);
    EXPECT_TRUE(site.focus) << "UI-active windowless, the site holds its focus";

    // Drawn with no bounds, it paints its in-place rectangle of the host's DC.
    Canvas canvas(160, 100, RGB(255, 0, 0));
    ASSERT_TRUE(canvas.Ok());
    Ptr<IViewObject> view;
    ASSERT_EQ(ole->QueryInterface(IID_IViewObject, view.put_void()), S_OK);
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.Dc(), nullptr, nullptr, nullptr, 0),
              S_OK);
    const RECT& r = site.pos;
    EXPECT_EQ(canvas.Pixel(r.left + 1, r.top + 1), RGB(255, 255, 255));
    EXPECT_EQ(canvas.Pixel(r.left, (r.top + r.bottom) / 2), RGB(0, 0, 0)) << "the ellipse's left edge";
    EXPECT_EQ(canvas.Count(RGB(255, 0, 0)), 160 * 100 - (r.right - r.left) * (r.bottom - r.top))
        << "all of its rectangle and nothing outside";
    view.reset();
    Deactivate();
    EXPECT_FALSE(site.focus);
}

TEST_F(ComContainer, RefusedWindowlessItMakesAChildWindowOfTheSite) {
    site.windowless = false;
    HWND own = nullptr;
    ASSERT_EQ(Activate(&own), S_OK);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(site.activate_flags, ~0u) << "activated as a windowed object";
    EXPECT_TRUE(site.active);
    EXPECT_EQ(GetParent(own), window);
    RECT client = {};
    GetClientRect(own, &client);
    EXPECT_EQ(client.right, site.pos.right - site.pos.left);
    EXPECT_EQ(client.bottom, site.pos.bottom - site.pos.top);
    Deactivate();
    EXPECT_FALSE(IsWindow(own)) << "the window goes with the activation";
}

// The Properties verb, with no site to show its own frame, opens the system's
// property frame on the control's page; the page needs the registration.
struct ComRegistered : RegisteredTest {};

TEST_F(ComRegistered, PropertiesVerbOpensThePropertyFrame) {
    Ptr<IOleObject> ole;
    ASSERT_EQ(ocx->CreateControl(IID_IOleObject, ole.put_void()), S_OK);
    std::mutex mutex;
    std::string caption;
    DialogWatcher watcher;
    watcher.SetAnswer([&](const BoxRecord& box) {
        std::lock_guard<std::mutex> lock(mutex);
        caption = box.caption;
        return IDCANCEL;
    });
    EXPECT_EQ(ole->DoVerb(OLEIVERB_PROPERTIES, nullptr, nullptr, 0, nullptr, nullptr), S_OK);
    ASSERT_TRUE(watcher.WaitUntilNoneOpen(10000)) << "the property frame did not close";
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_NE(caption.find("Orvanta Control"), std::string::npos) << caption;
}

}  // namespace
}  // namespace orvanta::testing
