// Notices, trace reports and debug boxes as real windows, read by the watcher.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "windows/notice_dialog.h"
#include "logic/reporting/reporter.h"
#include "logic/reporting/texts.h"
#include "framework/module.h"
#include "tests/wine/host.h"

namespace orvanta::testing {
namespace {

constexpr DWORD kWait = 10000;

struct RealBoxes : ::testing::Test {
    Win32Host host;
    logic::Settings settings;
    logic::Reporter report{host.ui, settings};
    DialogWatcher watcher;

    BoxRecord OnlyBox() {
        EXPECT_TRUE(watcher.WaitUntilNoneOpen(kWait));
        const auto boxes = watcher.Boxes();
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? BoxRecord{} : boxes[0];
    }
};

std::string Words(size_t length) {
    std::string s;
    while (s.size() < length) s += (s.size() % 10 == 9) ? ' ' : static_cast<char>('a' + s.size() % 26);
    return s;
}

// The longest texts the notice takes (longer ones are the reporting's unit
// test) fit the real dialog whole.
TEST_F(RealBoxes, NoticeShowsA511CharacterMessageAndA254CharacterCaptionWholeInATopmostDialog) {
    const std::string message = Words(511), caption = Words(254);
    EXPECT_EQ(report.ShowNotice(message.c_str(), caption.c_str()), IDOK);
    const BoxRecord box = OnlyBox();
    EXPECT_EQ(box.caption, caption);
    ASSERT_NE(box.Child(windows::NoticeDialog::kMessageItem), nullptr);
    EXPECT_EQ(box.Child(windows::NoticeDialog::kMessageItem)->text, message);
    EXPECT_TRUE(box.topmost);
    EXPECT_EQ(box.pressed, IDOK);
    // Template order: OK, the message, the picture.
    ASSERT_EQ(box.children.size(), 3u);
    EXPECT_EQ(box.children[0].id, IDOK);
    EXPECT_EQ(box.children[0].text, "OK");
    EXPECT_EQ(box.children[1].id, windows::NoticeDialog::kMessageItem);
    EXPECT_EQ(box.children[2].id, windows::NoticeDialog::kPictureItem);
    EXPECT_EQ(box.bitmap_width, 48);
    EXPECT_EQ(box.bitmap_height, 48);
    EXPECT_TRUE(box.style & WS_CAPTION);
    EXPECT_TRUE(box.style & WS_SYSMENU);
}

TEST_F(RealBoxes, NoticeEndCodes) {
    watcher.SetAnswer([](const BoxRecord&) { return IDCANCEL; });
    EXPECT_EQ(report.ShowNotice("Abbrechen", "Brisomel"), IDCANCEL);
    // Windows-1252 text reaches the window as the same bytes.
    watcher.SetAnswer(nullptr);
    EXPECT_EQ(report.ShowNotice(texts::kNoEventContext, "Brisomel"), IDOK);
    ASSERT_TRUE(watcher.WaitUntilNoneOpen(kWait));
    const auto boxes = watcher.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].Child(windows::NoticeDialog::kMessageItem)->text, texts::kNoEventContext);
}

TEST_F(RealBoxes, TraceShowsThreeLinesWithTheErrorInHexAndDecimal) {
    settings.debugModus = true;
    // The trace names the foreground window as its owner.
    HWND owner = CreateWindowExA(0, "STATIC", "Besitzer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    SetForegroundWindow(owner);
    const HWND foreground = GetForegroundWindow();
    SetLastError(0x80070005u);
    report.DbgMsg("Zugriff verweigert", "OpenDevice");
    const BoxRecord box = OnlyBox();
    DestroyWindow(owner);
    EXPECT_EQ(box.Text(),
              "Function: OpenDevice\r\nMessage: Zugriff verweigert\r\nGetLastError == 80070005 "
              "(-2147024891)\r\n");
    EXPECT_EQ(box.icon, "");
    EXPECT_EQ(box.owner, foreground);
}

TEST_F(RealBoxes, DebugBoxesShowOnlyInDebugMode) {
    SetLastError(5);
    report.DbgMsg("Start", "SendFile");
    report.DebugBox(texts::kNotActivated, texts::kCaptionError, interfaces::kMbIconInformation);
    Sleep(300);
    EXPECT_TRUE(watcher.Boxes().empty());

    settings.debugModus = true;
    report.DebugBox(texts::kNotActivated, texts::kCaptionError, interfaces::kMbIconInformation);
    report.DebugBox(texts::kNotInitialised, texts::kCaptionError, interfaces::kMbIconError);
    ASSERT_TRUE(watcher.WaitUntilNoneOpen(kWait));
    const auto boxes = watcher.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].icon, "information");
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[1].icon, "error");
}

TEST_F(RealBoxes, NoticeOnASecondThreadDoesNotBlockTheFirst) {
    std::atomic<bool> release{false};
    watcher.SetAnswer([&](const BoxRecord& box) {
        if (box.Child(windows::NoticeDialog::kMessageItem) &&
            box.Child(windows::NoticeDialog::kMessageItem)->text == "vom Arbeiter")
            return release.load() ? IDOK : 0;
        return IDOK;
    });
    std::atomic<int> worker_result{0};
    std::thread worker([&] { worker_result = report.ShowNotice("vom Arbeiter", "Brisomel"); });
    ASSERT_TRUE(watcher.WaitForBoxes(1, kWait));
    // The worker's notice stays up while this thread shows and closes its own.
    EXPECT_EQ(report.ShowNotice("vom Gastgeber", "Brisomel"), IDOK);
    EXPECT_EQ(worker_result.load(), 0);
    EXPECT_TRUE(watcher.WaitForOpenCount(1, kWait));
    release = true;
    worker.join();
    EXPECT_EQ(worker_result.load(), IDOK);
    const auto boxes = watcher.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].Child(windows::NoticeDialog::kMessageItem)->text, "vom Arbeiter");
    EXPECT_EQ(boxes[1].Child(windows::NoticeDialog::kMessageItem)->text, "vom Gastgeber");
    EXPECT_TRUE(boxes[0].topmost);
    EXPECT_NE(boxes[0].thread, boxes[1].thread);
}

TEST_F(RealBoxes, DismissingAThreadClosesItsBoxAndRefusesTheNext) {
    watcher.SetAnswer([](const BoxRecord&) { return 0; });  // nobody answers
    std::atomic<DWORD> worker_id{0};
    std::atomic<int> result{0};
    std::thread worker([&] {
        worker_id = GetCurrentThreadId();
        result = report.ShowNotice("wartet", "Brisomel");
        report.ShowNotice("danach", "Brisomel");
    });
    ASSERT_TRUE(watcher.WaitForBoxes(1, kWait));
    host.ui.DismissThread(worker_id);
    worker.join();
    host.ui.ReleaseThread(worker_id);
    EXPECT_EQ(result.load(), IDCANCEL);
    EXPECT_EQ(watcher.Boxes().size(), 1u);
}

TEST(NoticeResources, WarningBitmapIs48By48With16Colours) {
    HANDLE image = LoadImageA(framework::ModuleInstance(), MAKEINTRESOURCEA(202), IMAGE_BITMAP, 0, 0,
                              LR_CREATEDIBSECTION);
    ASSERT_NE(image, nullptr);
    DIBSECTION dib = {};
    ASSERT_EQ(GetObjectA(image, sizeof dib, &dib), static_cast<int>(sizeof dib));
    EXPECT_EQ(dib.dsBm.bmWidth, 48);
    EXPECT_EQ(dib.dsBm.bmHeight, 48);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 4);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, image);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(192, 192, 192));    // ground
    EXPECT_EQ(GetPixel(dc, 12, 24), RGB(255, 0, 0));      // disc
    EXPECT_EQ(GetPixel(dc, 24, 24), RGB(255, 255, 255));  // the "!"
    EXPECT_EQ(GetPixel(dc, 24, 1), RGB(0, 0, 0));         // rim
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(image);
}

}  // namespace
}  // namespace orvanta::testing
