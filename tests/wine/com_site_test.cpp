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

COLORREF Pixel(const DWORD* bits, int width, int x, int y) {
    const DWORD p = bits[y * width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

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
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* raw = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &raw, nullptr, 0);
    ASSERT_TRUE(dc && bmp && raw);
    HGDIOBJ old = SelectObject(dc, bmp);
    auto* bits = static_cast<DWORD*>(raw);
    for (int i = 0; i < w * h; ++i) bits[i] = 0x00FF0000;  // poison: red
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    Ptr<IViewObject> view;
    ASSERT_EQ(control->QueryInterface(IID_IViewObject, view.put_void()), S_OK);
    RECTL bounds = {0, 0, w, h};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
    GdiFlush();
    const COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0);
    EXPECT_EQ(Pixel(bits, w, 1, 1), white) << "corner: the white rectangle";
    EXPECT_EQ(Pixel(bits, w, w - 2, h - 2), white);
    EXPECT_EQ(Pixel(bits, w, w / 2, h / 2), white) << "inside the ellipse: the selected brush";
    EXPECT_EQ(Pixel(bits, w, 0, h / 2), black) << "the ellipse touches the left edge";
    EXPECT_EQ(Pixel(bits, w, w / 2, 0), black) << "and the top edge";
    int red = 0;
    for (int i = 0; i < w * h; ++i) red += (bits[i] & 0x00FFFFFF) == 0x00FF0000;
    EXPECT_EQ(red, 0) << "every pixel of the bounds is drawn";
    EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
              DV_E_DVASPECT);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    inplace.reset();
    ole.reset();
    site.reset();
    view.reset();
    control.reset();
}

}  // namespace
}  // namespace orvanta::testing
