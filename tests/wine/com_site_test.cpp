// The control in a container nobody here wrote: Wine's ATL host window
// creates it by ProgID, sites it and activates it in place; the picture
// drawn through IViewObject::Draw is then read back pixel by pixel.
#include "tests/wine/com_host.h"

namespace orvanta::testing {
namespace {

using AxWinInit = BOOL(WINAPI*)();
using AxGetControl = HRESULT(WINAPI*)(HWND, IUnknown**);

struct AtlHost : RegisteredTest {
    void SetUp() override {
        RegisteredTest::SetUp();
        if (HasFatalFailure()) return;
        atl = LoadLibraryA("atl.dll");
        ASSERT_NE(atl, nullptr) << "Wine ships atl.dll";
        auto init = reinterpret_cast<AxWinInit>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
        get = reinterpret_cast<AxGetControl>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
        ASSERT_TRUE(init && get);
        ASSERT_TRUE(init());
        frame = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
        ASSERT_NE(frame, nullptr);
        ax = CreateWindowExA(0, "AtlAxWin", "ORVANTA.OrvantaCtrl.1", WS_CHILD | WS_VISIBLE, 10, 10, 120, 80, frame,
                             nullptr, nullptr, nullptr);
        ASSERT_NE(ax, nullptr);
    }
    void TearDown() override {
        if (ax) DestroyWindow(ax);
        if (frame) DestroyWindow(frame);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        RegisteredTest::TearDown();
        if (atl) FreeLibrary(atl);
    }
    HMODULE atl = nullptr;
    AxGetControl get = nullptr;
    HWND frame = nullptr, ax = nullptr;
};

TEST_F(AtlHost, SitesActivatesAndDrawsTheRectangleWithItsEllipse) {
    Ptr<IUnknown> control;
    ASSERT_EQ(get(ax, control.put()), S_OK);
    ASSERT_TRUE(control);
    Ptr<IOleObject> ole;
    ASSERT_EQ(control->QueryInterface(IID_IOleObject, ole.put_void()), S_OK);
    Ptr<IOleClientSite> site;
    ASSERT_EQ(ole->GetClientSite(site.put()), S_OK);
    EXPECT_TRUE(site) << "the host sited the control";
    // Active in place: in a window of its own inside the host's, or windowless.
    Ptr<IOleInPlaceObject> inplace;
    ASSERT_EQ(control->QueryInterface(IID_IOleInPlaceObject, inplace.put_void()), S_OK);
    HWND own = nullptr;
    if (inplace->GetWindow(&own) == S_OK) {
        EXPECT_EQ(GetParent(own), ax);
        RECT r;
        GetClientRect(own, &r);
        EXPECT_EQ(r.right, 120);
        EXPECT_EQ(r.bottom, 80);
    }

    const int w = 100, h = 60;
    Canvas canvas(w, h, RGB(255, 0, 0));  // poison: red
    ASSERT_TRUE(canvas.Ok());
    Ptr<IViewObject> view;
    ASSERT_EQ(control->QueryInterface(IID_IViewObject, view.put_void()), S_OK);
    RECTL bounds = {0, 0, w, h};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.Dc(), &bounds, nullptr, nullptr, 0),
              S_OK);
    const COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0);
    EXPECT_EQ(canvas.Pixel(1, 1), white) << "corner: the white rectangle";
    EXPECT_EQ(canvas.Pixel(w - 2, h - 2), white);
    EXPECT_EQ(canvas.Pixel(w / 2, h / 2), white) << "inside the ellipse: the selected brush";
    EXPECT_EQ(canvas.Pixel(0, h / 2), black) << "the ellipse touches the left edge";
    EXPECT_EQ(canvas.Pixel(w / 2, 0), black) << "and the top edge";
    EXPECT_EQ(canvas.Count(RGB(255, 0, 0)), 0) << "every pixel of the bounds is drawn";
    EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, canvas.Dc(), &bounds, nullptr, nullptr, 0),
              DV_E_DVASPECT);
    inplace.reset();
    ole.reset();
    site.reset();
    view.reset();
    control.reset();
}

}  // namespace
}  // namespace orvanta::testing
