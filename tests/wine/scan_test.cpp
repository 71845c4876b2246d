// The scanner on real Win32 services: the test plays the scanner on the far
// end of the virtual cable and owns the windows that receive the codes.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>
#include <thread>

#include "windows/notice_dialog.h"
#include "logic/reporting/texts.h"
#include "tests/wine/handles.h"
#include "tests/wine/host.h"
#include "testkit/hung_window.h"
#include "testkit/peer.h"
#include "testkit/text.h"

namespace orvanta::testing {
namespace {

// A top-level window with one edit control, as a host form would have.
class Form {
public:
    Form() {
        frame_ = CreateWindowExA(0, "STATIC", "Scan-Ziel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400,
                                 120, nullptr, nullptr, nullptr, nullptr);
        edit_ = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 5, 5, 380, 30,
                                frame_, nullptr, nullptr, nullptr);
        SetForegroundWindow(frame_);
        SetFocus(edit_);
    }
    ~Form() { DestroyWindow(frame_); }
    HWND edit() const { return edit_; }
    std::int32_t handle() const {
        return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(edit_));
    }

private:
    HWND frame_ = nullptr, edit_ = nullptr;
};

struct Scan : ::testing::Test {
    Win32DeviceHost host;
    std::unique_ptr<OrvantaControl> ctrl = std::make_unique<OrvantaControl>(host.Get());
    DialogWatcher watcher;
    std::string own, peer_name;
    std::unique_ptr<Peer> scanner;

    void SetUp() override {
        if (!PeerPorts(own, peer_name)) GTEST_SKIP() << "ORVANTA_PEER_PORTS names no cable";
        { Peer stale(own); stale.Drain(100); }
        scanner = std::make_unique<Peer>(peer_name);
        ASSERT_TRUE(scanner->IsOpen()) << "cannot open " << peer_name << ", error " << GetLastError();
        scanner->Drain(100);
        ASSERT_TRUE(ctrl->OpenDevice(own));
        ASSERT_TRUE(ctrl->channel().SetCOMSettings("baud=9600 parity=N data=8 stop=1"));
    }
    void TearDown() override {
        if (ctrl) Bounded("destroying the control", [&] { ctrl.reset(); return 0; });
        EXPECT_TRUE(watcher.WaitUntilNoneOpen(kBound));
    }
    std::string Answers(size_t count) { return scanner->ReceiveAll(count, kBound); }
};

TEST_F(Scan, ASessionIsAnsweredDeliveredAndClosedWithItsTwoMessages) {
    Form form;
    ctrl->settings().withACKN = true;
    ctrl->settings().onlyWorkwithCurrentWindow = true;
    ctrl->settings().scanWindowHandle = form.handle();
    const std::int32_t task = ctrl->session().ActivateScanTask();
    EXPECT_GT(task, 0);
    EXPECT_EQ(scanner->ReceiveAll(1), "\x06");  // before any code
    ASSERT_TRUE(scanner->Send("A1\x03" "ERROR\x03" "B2\x03" "ENDSCAN\x03"));
    ASSERT_TRUE(PumpUntil([&] { return watcher.Boxes().size() == 2 && watcher.OpenCount() == 0; }))
        << "the two closing messages did not come";
    EXPECT_EQ(Answers(4), "\x06\x0F\x06\x06");
    EXPECT_EQ(WindowText(form.edit()), "A1B2");
    const auto boxes = watcher.Boxes();
    // Their texts and captions are the scanner's unit test.
    EXPECT_NE(boxes[0].Child(windows::NoticeDialog::kMessageItem), nullptr);
    EXPECT_EQ(boxes[1].icon, "information");
    // The ended task kept its window: the next session delivers there again.
    EXPECT_EQ(ctrl->settings().scanWindowHandle.load(), form.handle());
    EXPECT_NE(ctrl->session().ActivateScanTask(), 0);
    ASSERT_TRUE(scanner->Send("C3\x03"));
    EXPECT_TRUE(PumpUntil([&] { return WindowText(form.edit()) == "A1B2C3"; }));
}

void SetCapsLock(bool on) {
    if (((GetKeyState(VK_CAPITAL) & 1) != 0) == on) return;
    INPUT press[2] = {};
    press[0].type = press[1].type = INPUT_KEYBOARD;
    press[0].ki.wVk = press[1].ki.wVk = VK_CAPITAL;
    press[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, press, sizeof(INPUT));
    PumpUntil([&] { return ((GetKeyState(VK_CAPITAL) & 1) != 0) == on; }, 1000);
}

TEST_F(Scan, KeystrokesTypeTheCodeAsScannedWhateverCapsLockSays) {
    Form form;
    const std::string code = "Hello, World! 4711 \xC4\xD6\xDC";
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    for (const bool caps : {false, true}) {
        SetCapsLock(caps);
        SetWindowTextA(form.edit(), "");
        SetFocus(form.edit());
        ASSERT_TRUE(scanner->Send(code + "\x03"));
        EXPECT_TRUE(PumpUntil([&] { return WindowText(form.edit()) == code; }))
            << "caps lock " << caps << ": got \"" << WindowText(form.edit()) << "\"";
    }
    BYTE keys[256];
    ASSERT_TRUE(GetKeyboardState(keys));
    for (int vk = 1; vk < 256; ++vk) {
        if (vk == VK_CAPITAL) continue;
        EXPECT_EQ(keys[vk] & 0x80, 0) << "key " << vk << " left down";
    }
}

// Keys as the form's own window procedure sees them.
std::string g_keys_seen;
WNDPROC g_edit_proc = nullptr;
LRESULT CALLBACK RecordKeys(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_KEYDOWN) g_keys_seen += std::to_string(wparam) + " ";
    return CallWindowProcA(g_edit_proc, window, msg, wparam, lparam);
}

TEST_F(Scan, KeystrokesReachAFormAsTheKeysAPersonWouldPress) {
    Form form;
    g_keys_seen.clear();
    g_edit_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(form.edit(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordKeys)));
    SetCapsLock(false);
    PumpUntil([] { return false; }, 100);
    g_keys_seen.clear();
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    ASSERT_TRUE(scanner->Send("a1\tB\r\x03"));
    EXPECT_TRUE(PumpUntil([&] { return g_keys_seen.find(" 13 ") != std::string::npos; }))
        << "keys seen: " << g_keys_seen;
    // a, 1, Tab, Shift+B, Enter; never VK_PACKET (231).
    EXPECT_EQ(g_keys_seen, "65 49 9 16 66 13 ");
    EXPECT_EQ(WindowText(form.edit()), "a1B");
    SetWindowLongPtrA(form.edit(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_edit_proc));
}

TEST_F(Scan, AStopWhileWaitingIsPromptAndSilent) {
    ctrl->settings().withACKN = true;
    const std::int32_t task = ctrl->session().ActivateScanTask();
    ASSERT_EQ(Answers(1), "\x06");
    Sleep(100);
    Elapsed elapsed;
    EXPECT_EQ(ctrl->session().DeactivateScanTask(task), 0);
    EXPECT_LT(elapsed.ms(), kBound);
    ASSERT_TRUE(scanner->Send("late\x03"));
    EXPECT_EQ(scanner->Receive(16, 300), "");
    EXPECT_TRUE(watcher.Boxes().empty());
    // The code stayed in the port for the next reader.
    EXPECT_EQ(Bounded("reading the code left", [&] { return ctrl->channel().ScanCodeFromCOM(); }), "late");
    EXPECT_NE(ctrl->session().ActivateScanTask(), 0);
}

TEST_F(Scan, AStopClosesTheTasksBoxAndNothingFollows) {
    ctrl->settings().withACKN = true;
    ctrl->settings().debugModus = true;
    // Nobody answers the task's box; the start answer's error-number notice
    // (debug mode) on the host's thread is pressed.
    watcher.SetAnswer([](const BoxRecord& box) {
        return box.caption == texts::kCaptionScanBuffer ? 0 : IDOK;
    });
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    ASSERT_EQ(Answers(1), "\x06");
    ASSERT_TRUE(scanner->Send("X\x03"));
    ASSERT_TRUE(watcher.WaitForBoxes(2, kBound));
    EXPECT_EQ(watcher.Boxes()[1].Text(), "X");
    Elapsed elapsed;
    ctrl->session().DeactivateScanTask(0);
    EXPECT_LT(elapsed.ms(), kBound);
    EXPECT_TRUE(watcher.WaitUntilNoneOpen(kBound));
    Sleep(300);
    EXPECT_EQ(watcher.Boxes().size(), 2u);
    EXPECT_EQ(scanner->Receive(16, 200), "");
}

TEST_F(Scan, AStopDuringABurstLeavesTheNextTaskWorking) {
    ctrl->settings().withACKN = true;
    ctrl->settings().onlyWorkwithCurrentWindow = true;  // with no window: nothing delivered, 0x0F
    std::string burst;
    for (int i = 0; i < 1000; ++i) burst += "N" + std::to_string(i) + "\x03";
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    std::thread send([&] { scanner->Send(burst); });
    // Answers come while the codes go in; stop in the middle.
    EXPECT_EQ(scanner->ReceiveAll(50).size(), 50u);
    Elapsed elapsed;
    ctrl->session().DeactivateScanTask(0);
    EXPECT_LT(elapsed.ms(), kBound);
    send.join();
    const std::string tail = scanner->Drain(300);
    EXPECT_EQ(tail.find_first_not_of('\x0F'), std::string::npos);
    EXPECT_TRUE(scanner->Drain(300).empty());  // nothing after the stop
    EXPECT_TRUE(watcher.Boxes().empty());
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    EXPECT_EQ(scanner->ReceiveAll(1), "\x06");
}

TEST_F(Scan, AHundredStartsAndStopsLeaveNoThreadOrHandle) {
    auto cycle = [&] {
        ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
        ctrl->session().DeactivateScanTask(0);
    };
    ExpectCyclesLeaveNothing(5, 100, cycle);
}

TEST_F(Scan, HostWritesAndTheTasksAnswersNeverInterleave) {
    ctrl->settings().withACKN = true;
    ctrl->settings().onlyWorkwithCurrentWindow = true;  // with no window: nothing delivered, 0x0F
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    std::string received;
    std::thread reader([&] { received = scanner->ReceiveAll(1 + 200 + 200 * 14, 20000); });
    std::thread codes([&] {
        for (int i = 0; i < 200; ++i) scanner->Send("C\x03");
    });
    for (int i = 0; i < 200; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "hostline-%03d", i);
        ASSERT_EQ(ctrl->channel().Writeln(line), 14);
    }
    codes.join();
    reader.join();
    // Every write arrives whole (a line's text and its line end are two
    // writes); answers fall only between writes.
    size_t at = 0, lines = 0, acks = 0;
    bool text_next = true;
    while (at < received.size()) {
        if (received[at] == '\x06' || received[at] == '\x0F') {
            ++acks;
            ++at;
            continue;
        }
        char line[32];
        std::snprintf(line, sizeof line, "hostline-%03d", static_cast<int>(lines));
        const std::string write = text_next ? line : "\r\n";
        ASSERT_EQ(received.compare(at, write.size(), write), 0) << "at byte " << at;
        at += write.size();
        if (!text_next) ++lines;
        text_next = !text_next;
    }
    EXPECT_EQ(lines, 200u);
    EXPECT_EQ(acks, 201u);
}

TEST_F(Scan, FloodsBinaryAndZeroBytesLeaveTheNextCodeIntact) {
    std::string flood(100000, '\0');
    for (size_t i = 0; i < flood.size(); ++i) {
        flood[i] = static_cast<char>(i * 31 % 256);
        if (flood[i] == '\x03') flood[i] = 'f';
    }
    // Sent while the reader takes it, as a scanner would: the cable holds little.
    bool sent = false;
    std::thread send([&] { sent = scanner->Send(flood + "\x03"); });
    const std::string first = Bounded("reading the flood", [&] { return ctrl->channel().ScanCodeFromCOM(); });
    send.join();
    EXPECT_TRUE(sent);
    EXPECT_LE(first.size(), 65535u);
    ASSERT_TRUE(scanner->Send(std::string("NEXT\x03" "ab\0cd\x03" "\x03" "\x80\xFF\x03", 15)));
    EXPECT_EQ(Bounded("a code", [&] { return ctrl->channel().ScanCodeFromCOM(); }), "NEXT");
    EXPECT_EQ(Bounded("a code", [&] { return ctrl->channel().ScanCodeFromCOM(); }), "ab");
    EXPECT_EQ(Bounded("a code", [&] { return ctrl->channel().ScanCodeFromCOM(); }), "");
    EXPECT_EQ(Bounded("a code", [&] { return ctrl->channel().ScanCodeFromCOM(); }), "\x80\xFF");
}

// A form's handlers: `g_on_message` runs for the task's messages to the box,
// each WM_CHAR after `g_char_ms` of work.
std::function<void()> g_on_message;
DWORD g_char_ms = 0;
LRESULT CALLBACK HandlerKeys(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_CHAR) Sleep(g_char_ms);
    if ((msg == WM_CHAR || msg == WM_NULL) && g_on_message) g_on_message();
    return CallWindowProcA(g_edit_proc, window, msg, wparam, lparam);
}

// A text box on a thread of its own that takes each character in `char_ms`.
class SlowWindow {
public:
    explicit SlowWindow(DWORD char_ms)
        : owner_([this, char_ms] {
              HWND w = CreateWindowExA(0, "EDIT", "", WS_POPUP | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0, 10, 10, nullptr,
                                       nullptr, nullptr, nullptr);
              g_char_ms = char_ms;
              g_edit_proc = reinterpret_cast<WNDPROC>(
                  SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HandlerKeys)));
              window_ = w;
              for (MSG msg; GetMessageA(&msg, nullptr, 0, 0) > 0;) DispatchMessageA(&msg);
              DestroyWindow(w);
          }) {
        // The process's first window connects to the display: slow on a busy machine.
        PumpUntil([&] { return window_.load() != nullptr; }, 4 * kBound);
    }
    ~SlowWindow() {
        PostThreadMessageA(GetWindowThreadProcessId(window_, nullptr), WM_QUIT, 0, 0);
        owner_.join();
    }
    std::int32_t handle() const { return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(window_.load())); }
    std::string Text() const { return WindowText(window_); }

private:
    std::atomic<HWND> window_{nullptr};
    std::thread owner_;
};

struct ClaimingSink : logic::ScanListener {  // as a host's connected sink
    bool OnCodeScanned(const std::string&) override { return true; }
    void OnScanEnded(logic::ScanEnd) override {}
};

TEST_F(Scan, AHungWindowCostsABoundedWaitPerCodeAndAStopEndsNoThreadByForce) {
    HungWindow hung;
    ASSERT_NE(hung.handle(), 0);
    ClaimingSink sink;  // a window that took nothing is not made delivered by a sink
    ctrl->session().SetListener(&sink);
    ctrl->settings().withACKN = true;
    ctrl->settings().onlyWorkwithCurrentWindow = true;
    ctrl->settings().scanWindowHandle = hung.handle();
    const int threads_before = ThreadCount();
    const ULONG handles_before = HandleCount();
    const std::vector<HandleEntry> table = OwnHandles();
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    ASSERT_EQ(Answers(1), "\x06");
    // Each code waits its bound, is given up and answered as not delivered.
    Elapsed codes;
    ASSERT_TRUE(scanner->Send("H1\x03" "H2\x03"));
    EXPECT_EQ(Answers(2), "\x0F\x0F");
    EXPECT_GE(codes.ms(), logic::kCharAnswerMs);
    ASSERT_TRUE(scanner->Send("H3\x03"));
    Sleep(300);  // the task waits for the window now
    Elapsed elapsed;
    ctrl->session().DeactivateScanTask(0);
    EXPECT_LT(elapsed.ms(), logic::kCharAnswerMs + 2000);  // not the 5 s of the last resort
    // The task ended by itself: no thread, no handle, not even the queue
    // Wine keeps of a thread ended by force.
    EXPECT_TRUE(CountsComeBack(handles_before, threads_before, kBound))
        << ThreadStarts() << "; handles left: " << Describe(NewHandles(table));
    // Nothing it held is left held: the next task reads, answers and writes.
    Form form;
    ctrl->settings().scanWindowHandle = form.handle();
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    ASSERT_TRUE(scanner->Send("OK\x03"));
    EXPECT_TRUE(PumpUntil([&] { return WindowText(form.edit()) == "OK"; }));
    EXPECT_EQ(ctrl->channel().Write("w"), 1);
    ctrl->session().SetListener(nullptr);
}

// A busy application: every key costs it tens of milliseconds.
LRESULT CALLBACK SlowKeys(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_KEYDOWN || msg == WM_CHAR || msg == WM_KEYUP) Sleep(30);
    return CallWindowProcA(g_edit_proc, window, msg, wparam, lparam);
}

TEST_F(Scan, KeysTypedForACodeReachItsWindowBeforeTheClosingBoxesAndOnlyTakenCodesAreAcknowledged) {
    Form form;
    g_edit_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(form.edit(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SlowKeys)));
    SetCapsLock(false);
    ctrl->settings().withACKN = true;
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    ASSERT_EQ(Answers(1), "\x06");
    // Scanners end codes with CR LF: the LF is the next code's first byte.
    ASSERT_TRUE(scanner->Send("4006381333931\r\x03" "\n77\x03" "ENDSCAN\x03"));
    ASSERT_TRUE(PumpUntil([&] { return watcher.Boxes().size() == 2 && watcher.OpenCount() == 0; }, 20000));
    EXPECT_EQ(WindowText(form.edit()), "400638133393177");
    EXPECT_EQ(Answers(3), "\x06\x06\x06");
    SetWindowLongPtrA(form.edit(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_edit_proc));

    // Keys the window in front never takes are not acknowledged.
    HungWindow hung;
    SetForegroundWindow(reinterpret_cast<HWND>(static_cast<std::intptr_t>(hung.handle())));
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    ASSERT_EQ(Answers(1), "\x06");
    ASSERT_TRUE(scanner->Send("LOST\x03"));
    EXPECT_EQ(scanner->ReceiveAll(1, logic::kKeysTakenMs + kBound), "\x0F");
    ctrl->session().DeactivateScanTask(0);
}

struct MessageModeScan : Scan {
    Form form;
    void SetUp() override {
        Scan::SetUp();
        ctrl->settings().withACKN = true;
        ctrl->settings().onlyWorkwithCurrentWindow = true;
        ctrl->settings().scanWindowHandle = form.handle();
        g_edit_proc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(form.edit(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HandlerKeys)));
        ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
        ASSERT_EQ(Answers(1), "\x06");
    }
    void TearDown() override {
        g_on_message = nullptr;
        g_char_ms = 0;
        Scan::TearDown();
    }
};

TEST_F(MessageModeScan, AHandlerTheCloseRunsStartsNoTaskAndNothingRunsAfterIt) {
    std::vector<std::int32_t> started;
    const int threads_before = ThreadCount();
    ASSERT_TRUE(scanner->Send("AB\x03"));
    // The task's first message to the box waits for this thread, which takes
    // none until it closes the device: the stop takes it in and runs the handler.
    // It waits at most a second for the box's answer before it gives the code up,
    // so the close comes as soon as the task's message waits here.
    for (Elapsed e; !(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) && e.ms() < kBound;) Sleep(2);
    g_on_message = [&] { started.push_back(ctrl->session().ActivateScanTask()); };
    ctrl->CloseDevice();
    g_on_message = nullptr;
    ASSERT_FALSE(started.empty());
    EXPECT_EQ(started, std::vector<std::int32_t>(started.size(), 0));
    EXPECT_FALSE(ctrl->channel().IsOpen());
    EXPECT_EQ(scanner->Receive(16, 500), "\x0F") << "the code read, handed nothing; no second start";
    EXPECT_TRUE(CountsComeBack(HandleCount(), threads_before, kBound)) << ThreadStarts();
}

TEST_F(Scan, AStopIsSeenBetweenTheCharactersOfASlowWindowAndEndsNoThreadByForce) {
    SlowWindow slow(500);
    ctrl->settings().withACKN = true;
    ctrl->settings().onlyWorkwithCurrentWindow = true;
    ctrl->settings().scanWindowHandle = slow.handle();
    const int threads_before = ThreadCount();
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    ASSERT_EQ(Answers(1), "\x06");
    ASSERT_TRUE(scanner->Send("ABCDEFGHIJKLMNOPQRST\x03"));
    ASSERT_TRUE(PumpUntil([&] { return slow.Text().size() >= 2; }));
    Elapsed elapsed;
    ctrl->session().DeactivateScanTask(0);
    EXPECT_LT(elapsed.ms(), 3000u) << "the code takes 10 s; the last resort waits 5 s";
    g_char_ms = 0;
    EXPECT_EQ(Answers(1), "\x06");
    EXPECT_TRUE(CountsComeBack(HandleCount(), threads_before, kBound)) << ThreadStarts();
    EXPECT_TRUE(PumpUntil([&] { return slow.Text() == "ABCDEFGHIJKLMNOPQRST"; })) << "the rest came behind";
}

TEST_F(Scan, ClosingThePortUnderTheReaderStopsTheTask) {
    ctrl->settings().withACKN = true;
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    ASSERT_EQ(Answers(1), "\x06");
    ASSERT_TRUE(scanner->Send("PART"));  // a code without its end
    Sleep(100);
    Elapsed elapsed;
    ctrl->CloseDevice();
    EXPECT_LT(elapsed.ms(), kBound);
    EXPECT_FALSE(ctrl->channel().IsOpen());
    EXPECT_EQ(ctrl->session().ActivateScanTask(), 0);
    EXPECT_EQ(scanner->Receive(16, 200), "");
    EXPECT_TRUE(watcher.Boxes().empty());
}

}  // namespace
}  // namespace orvanta::testing
