// The property page in Wine's property frame and the About box, as a person
// would see them: read by the dialog watcher, closed by its button presses.
#include "tests/wine/com_host.h"

#include <commctrl.h>

#include <mutex>
#include <vector>

#include "control/orvanta_ids.h"
#include "version.h"

namespace orvanta::testing {
namespace {

constexpr DWORD kWait = 10000;

BOOL CALLBACK FindSettingsEdit(HWND w, LPARAM found) {
    char cls[16] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (GetDlgCtrlID(w) != 201 || lstrcmpiA(cls, "Edit") != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = w;
    return FALSE;
}

struct SeenPage {
    std::string tab;
    int tabs = 0;
    std::vector<std::string> visible_texts;
    int visible_edits = 0;
    int hidden_edits = 0;
    std::string hidden_edit_text = "<none>";
};

TEST_F(RegisteredTest, PropertyFrameShowsOnePageGeneralWithItsTextsAndNoEditField) {
    Ptr<IUnknown> control;
    ASSERT_EQ(ocx->CreateControl(IID_IUnknown, control.put_void()), S_OK);
    std::mutex mutex;
    SeenPage seen;
    bool read = false;
    int last_count = -1, stable_polls = 0;  // the watcher's thread only
    DialogWatcher watcher;
    watcher.SetAnswer([&](const BoxRecord& box) -> int {
        // The page: the parent of item 201, wherever the frame nests it; read
        // once its items stop appearing (the frame builds it while we look).
        HWND edit = nullptr;
        EnumChildWindows(box.hwnd, &FindSettingsEdit, reinterpret_cast<LPARAM>(&edit));
        HWND page = edit ? GetParent(edit) : nullptr;
        int most = 0;
        if (page)
            for (HWND i = GetWindow(page, GW_CHILD); i; i = GetWindow(i, GW_HWNDNEXT)) ++most;
        HWND tab = FindWindowExA(box.hwnd, nullptr, WC_TABCONTROLA, nullptr);
        for (HWND c = GetWindow(box.hwnd, GW_CHILD); c && !tab; c = GetWindow(c, GW_HWNDNEXT))
            tab = FindWindowExA(c, nullptr, WC_TABCONTROLA, nullptr);
        if (!page) return 0;
        if (most != last_count) {
            last_count = most;
            stable_polls = 0;
            return 0;
        }
        if (++stable_polls < 10) return 0;
        SeenPage s;
        if (tab) {
            s.tabs = static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
            char buf[128] = {};
            TCITEMA item = {};
            item.mask = TCIF_TEXT;
            item.pszText = buf;
            item.cchTextMax = sizeof buf;
            if (SendMessageA(tab, TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) s.tab = buf;
        }
        for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            char cls[32] = {};
            GetClassNameA(c, cls, sizeof cls);
            const bool visible = (GetWindowLongA(c, GWL_STYLE) & WS_VISIBLE) != 0;
            if (lstrcmpiA(cls, "Edit") == 0) {
                (visible ? s.visible_edits : s.hidden_edits)++;
                s.hidden_edit_text = WindowText(c);
            } else if (visible) {
                s.visible_texts.push_back(WindowText(c));
            }
        }
        std::lock_guard<std::mutex> lock(mutex);
        seen = s;
        read = true;
        return IDCANCEL;
    });
    IUnknown* objects[] = {control.p};
    CLSID page = CLSID_OrvantaPropPage;
    EXPECT_EQ(OleCreatePropertyFrame(nullptr, 0, 0, L"Orvanta", 1, objects, 1, &page, LOCALE_USER_DEFAULT, 0,
                                     nullptr),
              S_OK);
    ASSERT_TRUE(watcher.WaitUntilNoneOpen(kWait)) << "the property frame did not close";
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_TRUE(read) << "the watcher never saw the page";
    EXPECT_EQ(seen.tabs, 1);
    EXPECT_EQ(seen.tab, "General");
    EXPECT_EQ(seen.visible_edits, 0);
    EXPECT_EQ(seen.hidden_edits, 1);
    EXPECT_EQ(seen.hidden_edit_text, "") << "emptied on initialisation";
    ASSERT_EQ(seen.visible_texts.size(), 5u);
    EXPECT_EQ(seen.visible_texts[0], "This control has no properties !");
    EXPECT_EQ(seen.visible_texts[1], ORVANTA_MAKER);
    EXPECT_EQ(seen.visible_texts[4], ORVANTA_MAKER_LINE_4);

    // Cancelled: every property as before.
    Ptr<IDispatch> disp;
    ASSERT_EQ(control->QueryInterface(IID_IDispatch, disp.put_void()), S_OK);
    ScopedVariant v;
    ASSERT_EQ(CallDispatch(disp.p, kDispidThreadId, DISPATCH_PROPERTYGET, nullptr, 0, &v.v), S_OK);
    EXPECT_EQ(V_I4(&v.v), 23456);
}

TEST_F(ComTest, PageAppliesNothingAndReportsItsCaption) {
    Ptr<IClassFactory> factory;
    ASSERT_EQ(ocx->GetClassObject(CLSID_OrvantaPropPage, IID_IClassFactory, factory.put_void()), S_OK);
    Ptr<IPropertyPage> page;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, page.put_void()), S_OK);
    PROPPAGEINFO info = {};
    info.cb = sizeof info;
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_EQ(Narrow(info.pszTitle), "General");
    EXPECT_GT(info.size.cx, 0);
    EXPECT_GT(info.size.cy, 0);
    CoTaskMemFree(info.pszTitle);
    Ptr<IDispatch> control;
    ASSERT_EQ(ocx->CreateControl(IID_IDispatch, control.put_void()), S_OK);
    IUnknown* objects[] = {control.p};
    ASSERT_EQ(page->SetObjects(1, objects), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->Apply(), S_OK);
    Ptr<IPersistStreamInit> persist;
    ASSERT_EQ(control->QueryInterface(IID_IPersistStreamInit, persist.put_void()), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE) << "applying the page changed the control";
    ASSERT_EQ(page->SetObjects(0, nullptr), S_OK);
}

TEST_F(ComTest, AboutBoxShowsItsTextsAndBlocksUntilClosed) {
    Ptr<IDispatch> disp;
    ASSERT_EQ(ocx->CreateControl(IID_IDispatch, disp.put_void()), S_OK);
    DialogWatcher watcher;  // presses OK
    ScopedVariant result;
    ASSERT_EQ(CallDispatch(disp.p, DISPID_ABOUTBOX, DISPATCH_METHOD, nullptr, 0, &result.v), S_OK);
    EXPECT_EQ(V_VT(&result.v), VT_EMPTY);
    const auto boxes = watcher.Boxes();
    ASSERT_EQ(boxes.size(), 1u) << "the call returned before a box was shown and closed";
    const BoxRecord& box = boxes[0];
    EXPECT_EQ(box.caption, "About Orvanta Control");
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.pressed, IDOK);
    std::vector<std::string> texts;
    bool has_icon = false;
    for (const ChildRecord& c : box.children) {
        if (c.cls == "Static" && (c.style & SS_TYPEMASK) == SS_ICON) has_icon = true;
        else if (c.cls == "Static") texts.push_back(c.text);
    }
    EXPECT_TRUE(has_icon);
    EXPECT_EQ(texts, (std::vector<std::string>{"Orvanta, Version 1.2", ORVANTA_MAKER, ORVANTA_MAKER_LINE_2,
                                                ORVANTA_MAKER_LINE_3, ORVANTA_MAKER_LINE_4}));
}

}  // namespace
}  // namespace orvanta::testing
