// The scanner on the scripted port: the reader, the delivery rules, and the
// background task with its answers and its stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "control/orvanta_control.h"
#include "logic/reporting/texts.h"
#include "tests/fakes/fake_port.h"

namespace orvanta::logic {
namespace {

using Calls = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

template <typename Pred>
bool WaitUntil(Pred pred, int ms = 5000) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

struct Scanner : ::testing::Test {
    fakes::DevicePlatform p;
    OrvantaControl ctrl{p.Get()};

    void SetUp() override {
        ASSERT_TRUE(ctrl.OpenDevice("COM5"));
        ctrl.channel().SetCOMSettings("");
        p.port->ClearCalls();
    }
    std::string Sent() {
        std::lock_guard<std::mutex> lock(p.port->mutex);
        return p.port->device_bytes;
    }
    std::vector<fakes::UiEvent> Shown() { return p.ui.Events(); }
    bool Saw(const std::string& text) {
        for (const auto& e : p.ui.Events())
            if (e.text == text) return true;
        return false;
    }
};

// --- the reader --------------------------------------------------------------

TEST_F(Scanner, ReadsTheBytesUpToTheSuffixInOneRead) {
    p.port->Feed("4711\x03" "rest");
    EXPECT_EQ(ctrl.channel().ScanCodeFromCOM(), "4711");
    EXPECT_EQ(p.port->CountStarting("read "), 1);
    EXPECT_EQ(p.port->Count("read 5"), 1);
    // What follows the suffix waits for the next call.
    EXPECT_EQ(p.port->input.size(), 4u);
}

TEST_F(Scanner, DebugModeShowsEveryByteTheSuffixIncluded) {
    ctrl.settings().debugModus = true;
    p.port->Feed("47\x03");
    EXPECT_EQ(ctrl.channel().ScanCodeFromCOM(), "47");
    const auto boxes = Shown();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "4");
    EXPECT_EQ(boxes[2].text, "\x03");
    for (const auto& b : boxes) {
        EXPECT_EQ(b.caption, "Quenlet Debugmodus: Inhalt des Scanbuffers");
        EXPECT_EQ(b.style, interfaces::kMbIconInformation);
        EXPECT_EQ(b.owner, 0u);
    }
}

TEST_F(Scanner, ReaderEdgeCases) {
    p.port->Feed("\x03" "ab\x03");
    EXPECT_EQ(ctrl.channel().ScanCodeFromCOM(), "");
    EXPECT_EQ(ctrl.channel().ScanCodeFromCOM(), "ab");
    p.port->Feed(std::string("x\0y\x03", 4));
    EXPECT_EQ(ctrl.channel().ScanCodeFromCOM(), "x");  // the text ends at a zero byte
    EXPECT_TRUE(p.port->input.empty());

    p.port->ClearCalls();
    p.port->failing = {"wait char"};
    EXPECT_EQ(ctrl.channel().ScanCodeFromCOM(), "ERROR");
    EXPECT_EQ(p.port->Calls(), Calls{"wait char"});  // no byte taken
}

TEST_F(Scanner, LongCodesComeWholeUpTo65535BytesAndTheNextStaysInStep) {
    std::string symbol(70000, 'q');
    for (std::size_t i = 0; i < symbol.size(); ++i) symbol[i] = static_cast<char>('a' + i % 26);
    p.port->Feed(symbol + "\x03" "next\x03");
    const std::string code = ctrl.channel().ScanCodeFromCOM();
    EXPECT_EQ(code, symbol.substr(0, 65535));
    EXPECT_EQ(ctrl.channel().ScanCodeFromCOM(), "next");
}

TEST_F(Scanner, SuffixComparesTheLowByteLikeTheEventCharacter) {
    for (const std::int16_t suffix : {std::int16_t{0x83}, std::int16_t{-125}, std::int16_t{0x183}}) {
        ctrl.settings().ScannerSuffixChar = suffix;
        ctrl.channel().SetCOMSettings("");
        p.port->Feed("\xE4\x83");
        EXPECT_EQ(ctrl.channel().ScanCodeFromCOM(), "\xE4") << suffix;
    }
}

TEST_F(Scanner, ASuffixTheLineDoesNotWatchForYetIsReadUpToAsItComes) {
    ctrl.settings().ScannerSuffixChar = '#';  // the line still watches for 0x03
    p.port->Feed("ab\x03");
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        p.port->Feed("cd#ef");
    });
    EXPECT_EQ(ctrl.channel().ScanCodeFromCOM(), "ab\x03" "cd");
    late.join();
    EXPECT_EQ(p.port->input.size(), 2u);
}

TEST(ScannerNoDevice, ReaderAndTaskWithoutADevice) {
    fakes::DevicePlatform p;
    OrvantaControl ctrl(p.Get());
    EXPECT_EQ(ctrl.channel().ScanCodeFromCOM(), "");
    EXPECT_EQ(ctrl.session().ActivateScanTask(), 0);
    EXPECT_TRUE(p.ui.Events().empty());
    ctrl.settings().debugModus = true;
    EXPECT_EQ(ctrl.channel().ScanCodeFromCOM(), "");
    EXPECT_EQ(ctrl.session().ActivateScanTask(), 0);
    const auto shown = p.ui.Events();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].kind, fakes::UiEvent::Box);
    EXPECT_EQ(shown[0].text, texts::kNotActivated);
    EXPECT_EQ(shown[1].kind, fakes::UiEvent::Notice);
    EXPECT_EQ(shown[1].caption, texts::kCaptionError);
    EXPECT_TRUE(p.port->Calls().size() == 2u);  // the two shown, no port call
    EXPECT_EQ(p.threads.started, 0);
}

// --- delivery -----------------------------------------------------------------

TEST_F(Scanner, MessageModeSendsEachByteZeroExtendedToTheWindow) {
    ctrl.settings().onlyWorkwithCurrentWindow = true;
    ctrl.settings().scanWindowHandle = 0x1234;
    EXPECT_EQ(ctrl.session().DeliverCode(0x1234, "a\xE4", nullptr).count, 2);
    ASSERT_EQ(p.input.chars.size(), 2u);
    EXPECT_EQ(p.input.chars[0].wparam, 0x61u);
    EXPECT_EQ(p.input.chars[1].wparam, 0xE4u);
    EXPECT_EQ(p.input.chars[1].lparam, 1);
    EXPECT_EQ(p.input.chars[1].window, 0x1234u);
    EXPECT_EQ(ctrl.session().DeliverCode(0x1234, "", nullptr).count, 0);

    // The field decides whether there is a target, the argument which it is.
    ctrl.settings().scanWindowHandle = 0;
    EXPECT_EQ(ctrl.session().DeliverCode(0x1234, "abc", nullptr).count, -1);
    EXPECT_EQ(p.input.chars.size(), 2u);
    EXPECT_TRUE(p.input.typed.empty());
}

TEST_F(Scanner, KeystrokeModeTypesTheCodeAndIgnoresTheWindow) {
    ctrl.settings().scanWindowHandle = 0x1234;
    EXPECT_EQ(ctrl.session().DeliverCode(0x1234, "Hello, World! \xC4", nullptr).count, 15);
    EXPECT_EQ(p.input.typed, "Hello, World! \xC4");
    EXPECT_TRUE(p.input.chars.empty());
}

TEST_F(Scanner, DeliveryDebugBoxesInOrderAndCutToTheirBuffer) {
    ctrl.settings().debugModus = true;
    EXPECT_EQ(ctrl.session().DeliverCode(0, "ab", nullptr).count, 2);
    auto boxes = Shown();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Code wurde direkt \xFC" "ber Tastaturpuffer gesendet !");
    EXPECT_EQ(boxes[0].caption, "COrvantaCtrl Debugmodus: Senden");
    EXPECT_EQ(boxes[1].text, "Code zum senden: ab . Anzahl gesendeter Zeichen: 2");
    EXPECT_EQ(boxes[1].caption, "COrvantaCtrl Debugmodus: Gesendeter Code");

    ctrl.settings().onlyWorkwithCurrentWindow = true;
    const std::string long_code(1000, 'L');
    EXPECT_EQ(ctrl.session().DeliverCode(0, long_code, nullptr).count, -1);
    const std::string text = Shown().back().text;
    EXPECT_EQ(text.size(), 255u);
    const std::string tail = " . Anzahl gesendeter Zeichen: -1";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(text.rfind("Code zum senden: LLL", 0), 0u);
}

TEST_F(Scanner, FocusIsCapturedOnlyInMessageMode) {
    p.input.focus = 0x777;
    EXPECT_EQ(ctrl.session().CaptureFocusWindow(), 0);
    ctrl.settings().onlyWorkwithCurrentWindow = true;
    EXPECT_EQ(ctrl.session().CaptureFocusWindow(), 0x777);
}

// --- the task -----------------------------------------------------------------

TEST_F(Scanner, ASessionAnswersEachCodeDeliversAndEndsWithItsTwoMessages) {
    ctrl.settings().withACKN = true;
    ctrl.settings().onlyWorkwithCurrentWindow = true;
    p.input.focus = 0x42;
    const std::int32_t task = ctrl.session().ActivateScanTask();
    EXPECT_GT(task, 0);
    EXPECT_EQ(ctrl.session().ActivateScanTask(), task);  // a second start names it
    EXPECT_EQ(ctrl.settings().scanWindowHandle.load(), 0x42);
    p.port->Feed("A1\x03" "ERROR\x03" "B2\x03" "ENDSCAN\x03");
    ASSERT_TRUE(WaitUntil([&] { return Saw(texts::kScanTaskEnded); }));
    EXPECT_EQ(Sent(), "\x06\x06\x0F\x06\x06");
    EXPECT_EQ(p.input.Delivered(), "A1B2");
    const auto shown = Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Scannen beendet !");
    EXPECT_EQ(shown[0].kind, fakes::UiEvent::Notice);
    EXPECT_EQ(shown[1].kind, fakes::UiEvent::Box);
    EXPECT_EQ(shown[1].caption, "Brisomel");
    EXPECT_EQ(shown[1].style, interfaces::kMbIconInformation);
    // The answer to ENDSCAN went before the closing notice.
    const Calls calls = p.port->Calls();
    const auto notice = std::find(calls.begin(), calls.end(), "notice Scannen beendet !");
    ASSERT_NE(notice, calls.end());
    EXPECT_EQ(std::count(calls.begin(), notice, "write 1"), 5);

    // The ended task keeps its window; the next one uses it.
    p.input.focus = 0x99;
    const std::int32_t again = ctrl.session().ActivateScanTask();
    EXPECT_NE(again, 0);
    EXPECT_NE(again, task);
    EXPECT_EQ(ctrl.settings().scanWindowHandle.load(), 0x42);
    EXPECT_EQ(ctrl.session().DeactivateScanTask(again), 0);
}

TEST_F(Scanner, ACodeThatReachedNoWindowIsAnsweredAsAFailedRead) {
    ctrl.settings().withACKN = true;
    ctrl.settings().onlyWorkwithCurrentWindow = true;
    ctrl.session().ActivateScanTask();  // no focus to capture: no target
    p.port->Feed("A\x03");
    ASSERT_TRUE(WaitUntil([&] { return Sent().size() == 2; }));
    ctrl.settings().scanWindowHandle = 0x10;
    p.input.window_gone = true;
    p.port->Feed("B\x03");
    ASSERT_TRUE(WaitUntil([&] { return Sent().size() == 3; }));
    p.input.window_gone = false;
    p.port->Feed("C\x03");
    ASSERT_TRUE(WaitUntil([&] { return Sent().size() == 4; }));
    // A window that does not answer in its bound, and a window in front that
    // does not: handed nothing, not delivered either.
    p.input.not_answering = true;
    p.port->Feed("D\x03");
    ASSERT_TRUE(WaitUntil([&] { return Sent().size() == 5; }));
    ctrl.settings().onlyWorkwithCurrentWindow = false;
    p.port->Feed("E\x03");
    ASSERT_TRUE(WaitUntil([&] { return Sent().size() == 6; }));
    EXPECT_EQ(Sent(), "\x06\x0F\x0F\x06\x0F\x0F");
    EXPECT_EQ(p.input.Delivered(), "C");
    EXPECT_EQ(p.input.last_bound_ms, kCharAnswerMs);
    ctrl.session().DeactivateScanTask(0);
}

TEST_F(Scanner, AnActivationDuringTheClosingMessagesStartsANewTask) {
    p.ui.hold_boxes = true;
    ctrl.settings().withACKN = true;
    const std::int32_t first = ctrl.session().ActivateScanTask();
    p.port->Feed("ENDSCAN\x03");
    ASSERT_TRUE(WaitUntil([&] { return Saw(texts::kScanEnded); }));
    const std::int32_t second = ctrl.session().ActivateScanTask();
    EXPECT_NE(second, 0);
    EXPECT_NE(second, first);
    EXPECT_EQ(p.threads.started, 2);
    EXPECT_EQ(Sent(), "\x06\x06\x06");  // start, ENDSCAN, the new start
    p.port->Feed("x\x03");
    EXPECT_TRUE(WaitUntil([&] { return p.input.Typed() == "x"; }));
    EXPECT_EQ(ctrl.session().DeactivateScanTask(0), 0);  // both go, the open box with them
    EXPECT_EQ(p.ui.dismissed.size(), 2u);
    EXPECT_FALSE(Saw(texts::kScanTaskEnded));
}

// A box on the host's thread runs a message loop, so the host can call back
// into the control from inside it.
TEST_F(Scanner, AHostCallingInFromABoxClosesTheDeviceOrFindsItsTaskSafely) {
    ctrl.settings().debugModus = true;
    p.port->Feed("ab\x03");
    p.ui.on_event = [&](const fakes::UiEvent&) {
        p.ui.on_event = nullptr;
        ctrl.CloseDevice();
    };
    ctrl.channel().ScanCodeFromCOM();  // the reader stops at the box that closed the device
    EXPECT_EQ(p.port->input.size(), 2u);  // "b" and the suffix stay unread
    EXPECT_FALSE(ctrl.channel().IsOpen());

    ASSERT_TRUE(ctrl.OpenDevice("COM5"));
    p.port->ClearCalls();
    p.ui.on_event = [&](const fakes::UiEvent&) {
        p.ui.on_event = nullptr;
        ctrl.CloseDevice();
    };
    EXPECT_FALSE(ctrl.channel().SetCOMSettings("baud=9600"));  // closed from the mode string's box
    EXPECT_EQ(p.port->Calls().size(), 2u);  // that box and the close, nothing on the device

    // Activation re-entered from its own start answer's notice starts one task.
    ctrl.settings().debugModus = false;
    ASSERT_TRUE(ctrl.OpenDevice("COM5"));
    ctrl.settings().withACKN = true;
    p.port->ends = {fakes::End::kTimedOut};
    std::int32_t inner = -1;
    p.ui.on_event = [&](const fakes::UiEvent&) {
        p.ui.on_event = nullptr;
        inner = ctrl.session().ActivateScanTask();
    };
    const std::int32_t outer = ctrl.session().ActivateScanTask();
    EXPECT_NE(inner, 0);
    EXPECT_EQ(outer, inner);
    EXPECT_EQ(p.threads.started, 1);
    ctrl.session().DeactivateScanTask(0);
}

TEST_F(Scanner, ReservedCodesCompareExactly) {
    ctrl.settings().withACKN = true;
    ctrl.session().ActivateScanTask();
    p.port->Feed("endscan\x03" "ENDSCAN \x03" "\x03" "ENDSCAN\x03");
    ASSERT_TRUE(WaitUntil([&] { return Saw(texts::kScanTaskEnded); }));
    EXPECT_EQ(p.input.Typed(), "endscanENDSCAN ");
    EXPECT_EQ(Sent(), "\x06\x06\x06\x06\x06");  // start, three codes (the empty one too), end
}

TEST_F(Scanner, StartAnswerGoesFirstAndAFailedStartIsReported) {
    ctrl.settings().withACKN = true;
    ctrl.settings().onlyWorkwithCurrentWindow = true;
    p.input.focus = 0x55;
    p.threads.fail_start = true;
    EXPECT_EQ(ctrl.session().ActivateScanTask(), 0);
    EXPECT_EQ(Sent(), "\x06");
    EXPECT_EQ(ctrl.settings().scanWindowHandle.load(), 0x55);
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].text, "Scan-Thread konnte nicht gestartet werden !");
    EXPECT_EQ(Shown()[0].caption, "Brisomel");
    EXPECT_FALSE(ctrl.session().IsScanTaskRunning());
}

TEST_F(Scanner, ASecondActivationNamesTheRunningTaskAndDoesNothingElse) {
    ctrl.settings().withACKN = true;
    ctrl.settings().onlyWorkwithCurrentWindow = true;
    ctrl.settings().scanWindowHandle = 0x10;
    const std::int32_t task = ctrl.session().ActivateScanTask();
    ctrl.settings().scanWindowHandle = 0;
    p.input.focus = 0x20;
    EXPECT_EQ(ctrl.session().ActivateScanTask(), task);
    EXPECT_EQ(p.threads.started, 1);
    EXPECT_EQ(Sent(), "\x06");
    EXPECT_EQ(ctrl.settings().scanWindowHandle.load(), 0);
    ctrl.session().DeactivateScanTask(0);
}

TEST_F(Scanner, ATaskThatNeverEndsIsTerminatedAsTheLastResortAndTheLineStaysUsable) {
    p.threads.workers_held = true;
    ASSERT_NE(ctrl.session().ActivateScanTask(), 0);
    EXPECT_EQ(ctrl.session().DeactivateScanTask(0), 0);
    EXPECT_EQ(p.threads.terminations, 1);
    EXPECT_FALSE(ctrl.session().IsScanTaskRunning());
    EXPECT_EQ(ctrl.channel().Write("after"), 5);
}

TEST_F(Scanner, StopWhileWaitingIsPromptSilentAndResetsTheFields) {
    ctrl.settings().withACKN = true;
    ctrl.settings().scanWindowHandle = 0x10;
    const std::int32_t task = ctrl.session().ActivateScanTask();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto before = Clock::now();
    EXPECT_EQ(ctrl.session().DeactivateScanTask(task), 0);
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(3000));  // the last resort waits 5 s
    p.port->Feed("late\x03");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(Sent(), "\x06");
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(ctrl.settings().scanWindowHandle.load(), 0);
    EXPECT_FALSE(ctrl.session().IsScanTaskRunning());
    EXPECT_EQ(p.port->input.size(), 5u);  // nobody read it
    EXPECT_NE(ctrl.session().ActivateScanTask(), 0);
    ctrl.CloseDevice();
    EXPECT_FALSE(ctrl.session().IsScanTaskRunning());
}

TEST_F(Scanner, StopClosesTheBoxTheTaskShowsAndNothingFollows) {
    ctrl.settings().withACKN = true;
    ctrl.settings().debugModus = true;
    ctrl.session().ActivateScanTask();  // its answer's notice is this thread's: not held
    p.ui.hold_boxes = true;
    p.port->Feed("C3\x03");
    ASSERT_TRUE(WaitUntil([&] { return Saw("C"); }));  // the task's box of the first byte is up
    EXPECT_EQ(ctrl.session().DeactivateScanTask(0), 0);
    const auto shown = Shown().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(Shown().size(), shown);
    EXPECT_EQ(Sent(), "\x06");  // the start's answer, none for the code
    EXPECT_FALSE(p.ui.dismissed.empty());
    p.ui.hold_boxes = false;
}

TEST_F(Scanner, StopDuringABurstLeavesNothingBehind) {
    ctrl.settings().withACKN = true;
    std::string burst;
    for (int i = 0; i < 1000; ++i) burst += std::to_string(i) + "\x03";
    ctrl.session().ActivateScanTask();
    p.port->Feed(burst);
    ASSERT_TRUE(WaitUntil([&] { return Sent().size() > 50; }));
    ctrl.session().DeactivateScanTask(0);
    const std::string sent = Sent();
    const std::string typed = p.input.Typed();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(Sent(), sent);
    EXPECT_EQ(p.input.Typed(), typed);
    EXPECT_EQ(p.port->overlaps, 0);
    // The host's own reader takes the rest in step (a last code in case the
    // task had read them all).
    p.port->Feed("999\x03");
    const std::string next = ctrl.channel().ScanCodeFromCOM();
    EXPECT_FALSE(next.empty());
    EXPECT_EQ(next.find_first_not_of("0123456789"), std::string::npos);
}

// Two tasks in their closing messages beside a reading one: a stop by
// reference ends that one alone.
TEST_F(Scanner, AStopByReferenceEndsThatClosingTaskAlone) {
    p.ui.hold_boxes = true;
    const auto closing_threads = [&] {
        std::vector<std::uint32_t> threads;
        for (const auto& e : Shown())
            if (e.text == texts::kScanEnded) threads.push_back(e.thread);
        return threads;
    };
    std::vector<std::int32_t> closing;
    for (std::size_t i = 0; i < 2; ++i) {
        closing.push_back(ctrl.session().ActivateScanTask());
        p.port->Feed("ENDSCAN\x03");
        ASSERT_TRUE(WaitUntil([&] { return closing_threads().size() == i + 1; }));
    }
    const std::int32_t reading = ctrl.session().ActivateScanTask();
    const auto threads = closing_threads();
    const auto dismissed = [&] {  // the stops have returned: nothing else dismisses
        return std::set<std::uint32_t>(p.ui.dismissed.begin(), p.ui.dismissed.end());
    };
    ctrl.session().DeactivateScanTask(closing[1]);
    EXPECT_EQ(dismissed(), std::set<std::uint32_t>{threads[1]});
    ctrl.session().DeactivateScanTask(closing[0]);
    EXPECT_EQ(dismissed(), (std::set<std::uint32_t>{threads[0], threads[1]}));
    EXPECT_EQ(ctrl.session().ActivateScanTask(), reading);  // a second start names it
    p.ui.hold_boxes = false;
}

TEST_F(Scanner, EndedOrUnknownReferencesStopNothing) {
    ctrl.settings().scanWindowHandle = 0x10;
    const std::int32_t task = ctrl.session().ActivateScanTask();
    EXPECT_EQ(ctrl.session().DeactivateScanTask(task + 1000), 0);
    // The running task was not touched: it keeps its reference and its window.
    EXPECT_EQ(ctrl.session().ActivateScanTask(), task);  // a second start names it
    EXPECT_EQ(ctrl.settings().scanWindowHandle.load(), 0x10);
    p.port->Feed("x\x03");
    ASSERT_TRUE(WaitUntil([&] { return p.input.Typed() == "x"; }));
    p.port->Feed("ENDSCAN\x03");
    ASSERT_TRUE(WaitUntil([&] { return Saw(texts::kScanTaskEnded); }));
    ctrl.settings().scanWindowHandle = 5;
    EXPECT_EQ(ctrl.session().DeactivateScanTask(0), 0);  // ended: only the fields
    EXPECT_EQ(ctrl.settings().scanWindowHandle.load(), 0);
    EXPECT_FALSE(ctrl.session().IsScanTaskRunning());
    EXPECT_TRUE(p.ui.dismissed.empty());
}

// A dead port: each failed wait is answered as a failed read, the pauses
// after them double from 10 ms to 1 s at most, a wait that works starts them
// over, and the stop is prompt. No pause lasts here.
TEST_F(Scanner, ADeadPortIsAnsweredWithGrowingPausesThatStartOverAndStillStops) {
    ctrl.settings().withACKN = true;
    std::mutex mutex;
    std::vector<std::uint32_t> pauses;
    const auto count = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return pauses.size();
    };
    p.threads.on_wait = [&](std::uint32_t ms) {
        std::lock_guard<std::mutex> lock(mutex);
        pauses.push_back(ms);
        if (pauses.size() == 12) {  // the port comes back with a code
            p.port->Feed("x\x03");
            p.port->Locked([&] { p.port->failing.clear(); });
        }
        return true;
    };
    p.port->failing = {"wait char"};
    ctrl.session().ActivateScanTask();
    ASSERT_TRUE(WaitUntil([&] { return p.input.Typed() == "x"; }));
    p.port->Locked([&] { p.port->failing = {"wait char"}; });
    ASSERT_TRUE(WaitUntil([&] { return count() > 12; }));
    const auto before = Clock::now();
    ctrl.session().DeactivateScanTask(0);
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(3000));  // the last resort waits 5 s
    p.threads.on_wait = nullptr;
    const std::string sent = Sent();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), '\x06'), 2);  // the start's and the code's
    EXPECT_EQ(sent.find_first_not_of("\x06\x0F"), std::string::npos);
    pauses.resize(13);
    EXPECT_EQ(pauses, (std::vector<std::uint32_t>{10, 20, 40, 80, 160, 320, 640, 1000, 1000, 1000, 1000, 1000, 10}));
}

TEST_F(Scanner, AHostReaderBesideTheTaskNeverSplitsACode) {
    ctrl.settings().onlyWorkwithCurrentWindow = true;
    ctrl.settings().scanWindowHandle = 0x42;
    ctrl.session().ActivateScanTask();
    // Codes keep coming until the host has read its share, so neither
    // reader can starve the other into waiting for ever.
    std::atomic<bool> host_done{false};
    std::atomic<int> fed{0};
    std::thread scanner([&] {
        while (!host_done) {
            p.port->Feed("code" + std::to_string(fed++) + "\x03");
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::vector<std::string> host_codes;
    for (int i = 0; i < 20; ++i) host_codes.push_back(ctrl.channel().ScanCodeFromCOM());
    host_done = true;
    scanner.join();
    ctrl.session().DeactivateScanTask(0);
    // Each reader got whole codes; together they got each code once.
    std::set<std::string> seen(host_codes.begin(), host_codes.end());
    std::string task_chars = p.input.Delivered();
    for (const auto& code : host_codes) EXPECT_EQ(code.rfind("code", 0), 0u) << code;
    for (int i = 0; i < fed; ++i) {
        const std::string code = "code" + std::to_string(i);
        if (seen.count(code)) continue;
        const std::size_t at = task_chars.find(code);
        if (at == std::string::npos) continue;  // not read before the stop
        // Delivered whole: followed by the next code or the end.
        const std::size_t end = at + code.size();
        EXPECT_TRUE(end == task_chars.size() || task_chars.compare(end, 4, "code") == 0) << code;
    }
}

TEST(ScannerLifetime, DestroyingOrReopeningStopsTheTask) {
    fakes::DevicePlatform p;
    {
        OrvantaControl ctrl(p.Get());
        ASSERT_TRUE(ctrl.OpenDevice("COM5"));
        ASSERT_NE(ctrl.session().ActivateScanTask(), 0);
        ASSERT_TRUE(ctrl.OpenDevice("COM5"));  // closes first, task included
        EXPECT_FALSE(ctrl.session().IsScanTaskRunning());
        ASSERT_NE(ctrl.session().ActivateScanTask(), 0);
    }
    EXPECT_EQ(p.port->devices_alive, 0);
    EXPECT_TRUE(p.ui.Events().empty());
}


// --- the delivery contract ------------------------------------------------------

// Windows' default timer tick: Sleep(1) lasts 15.6 ms there, about 1 ms under Wine.
constexpr std::uint64_t kWindowsTickUs = 15625;

struct ClaimingSink : ScanListener {
    bool OnCodeScanned(const std::string&) override { return true; }
    void OnScanEnded(ScanEnd) override {}
};

TEST(ScannerContract, TheAnswerFollowsWhatBecameOfTheInputOnTheWindowsClock) {
    struct Case {
        const char* what;
        std::function<void(fakes::DevicePlatform&)> setup;
        bool message_mode, sink;
        const char *answer, *arrived;  // after the start's 0x06; typed, or sent and posted
    } const cases[] = {
        {"keys the system did not take", [](auto& p) { p.input.blocked = true; }, false, true, "\x0F", ""},
        {"a dialog came to the front inside the code",
         [](auto& p) { p.input.on_typed = [&p](std::size_t n) { p.ui.foreground = n == 2 ? 0x200 : p.ui.foreground; }; },
         false, false, "\x0F", "AB"},
        {"keys still queued at the bound", [](auto& p) { p.input.answers_left = 5; }, false, false, "\x06", "ABCD"},
        {"a program in front that answers nothing", [](auto& p) { p.input.not_answering = true; }, false, true, "\x0F", ""},
        {"a window that answers nothing", [](auto& p) { p.input.not_answering = true; }, true, true, "\x0F", ""},
        {"a window slow to take a character", [](auto& p) { p.input.chars_answered = false; }, true, false, "\x06", "ABCD"},
    };
    for (const Case& c : cases) {
        fakes::DevicePlatform p;
        p.threads.clock.tick_us = kWindowsTickUs;
        p.input.clock = &p.threads.clock;
        c.setup(p);
        OrvantaControl ctrl(p.Get());
        ClaimingSink sink;  // decides nothing where there is a window or a keyboard
        if (c.sink) ctrl.session().SetListener(&sink);
        ASSERT_TRUE(ctrl.OpenDevice("COM5"));
        ctrl.channel().SetCOMSettings("");
        ctrl.settings().withACKN = true;
        ctrl.settings().onlyWorkwithCurrentWindow = c.message_mode;
        ctrl.settings().scanWindowHandle = 0x10;
        ASSERT_NE(ctrl.session().ActivateScanTask(), 0);
        p.port->Feed("ABCD\x03");
        const auto sent = [&] { std::lock_guard<std::mutex> lock(p.port->mutex); return p.port->device_bytes; };
        EXPECT_TRUE(WaitUntil([&] { return sent().size() == 2; })) << c.what;
        ctrl.CloseDevice();
        EXPECT_EQ(sent(), std::string("\x06") + c.answer) << c.what;
        EXPECT_EQ(c.message_mode ? p.input.Delivered() : p.input.Typed(), c.arrived) << c.what;
    }
}

// A thread takes sent messages before posted ones: a code must not overtake
// the posted rest of the one before it until the window has taken that.
TEST_F(Scanner, ACodeGoesBehindThePostedRestOfTheOneBefore) {
    ctrl.settings().onlyWorkwithCurrentWindow = true;
    ctrl.settings().scanWindowHandle = 0x10;
    p.threads.clock.tick_us = kWindowsTickUs;  // a window that does not answer costs the bound on this clock
    p.input.clock = &p.threads.clock;
    for (const int answers : {-1, 1}) {  // the window takes the posted rest; it stops answering
        p.input.chars.clear();
        p.input.chars_answered = false;
        ctrl.session().DeliverCode(0x10, "AB", nullptr);  // 'A' unanswered, 'B' posted
        p.input.chars_answered = true;
        p.input.answers_left = answers;
        ctrl.session().DeliverCode(0x10, "CD", nullptr);
        p.input.answers_left = -1;
        EXPECT_EQ(p.input.Posted(), answers < 0 ? "spss" : "sppp") << answers;
    }
}

TEST_F(Scanner, KnowingTypedKeysWereTakenCostsTimeByTheCodeNotByTheTimerTick) {
    p.threads.clock.tick_us = kWindowsTickUs;
    p.input.clock = &p.threads.clock;
    p.input.messages_per_char = 5;  // an upper-case letter: Shift, the key down and up, Shift up, its WM_CHAR
    const CodeDelivery typed = ctrl.session().DeliverCode(0, std::string(200, 'A'), nullptr);
    EXPECT_TRUE(typed.whole && typed.confirmed);
    EXPECT_LT(p.threads.clock.now_us / 1000, CodeBoundMs(200 * 5) / 10);
    EXPECT_TRUE(p.threads.sleeps.empty());  // nothing waited for a tick
}

TEST_F(Scanner, MembersCalledFromAHandlerInsideAStopStartNothingAndTheCloseFollowsIt) {
    std::vector<std::int32_t> inside;
    p.threads.on_join = [&] {
        if (!inside.empty()) return;
        inside = {ctrl.session().ActivateScanTask(), ctrl.OpenDevice("COM5"), ctrl.session().DeactivateScanTask(0)};
        ctrl.CloseDevice();
        inside.push_back(ctrl.channel().IsOpen());  // the task may still use it
    };
    ASSERT_NE(ctrl.session().ActivateScanTask(), 0);
    ctrl.session().DeactivateScanTask(0);
    EXPECT_EQ(inside, (std::vector<std::int32_t>{0, 0, 0, 1}));
    EXPECT_FALSE(ctrl.channel().IsOpen());
    EXPECT_EQ(p.threads.started, 1);
}

// The host hears of each session's end once, with its reason; a second stop
// and the control's end tell nothing more.
TEST(ScanEnds, EachSessionsEndIsToldOnceWithItsReason) {
    struct Heard final : ScanListener {
        bool OnCodeScanned(const std::string&) override { return false; }
        void OnScanEnded(ScanEnd why) override {
            std::lock_guard<std::mutex> lock(mutex);
            ends.push_back(why);
        }
        std::vector<ScanEnd> Ends() {
            std::lock_guard<std::mutex> lock(mutex);
            return ends;
        }
        std::mutex mutex;
        std::vector<ScanEnd> ends;
    };
    for (const ScanEnd why : {ScanEnd::kEndScan, ScanEnd::kStopped, ScanEnd::kDeviceClosed, ScanEnd::kNotStarted}) {
        SCOPED_TRACE(static_cast<int>(why));
        fakes::DevicePlatform p;
        Heard heard;
        {
            OrvantaControl ctrl(p.Get());
            ASSERT_TRUE(ctrl.OpenDevice("COM5"));
            ctrl.channel().SetCOMSettings("");
            ctrl.session().SetListener(&heard);
            p.threads.fail_start = why == ScanEnd::kNotStarted;
            ctrl.session().ActivateScanTask();
            if (why == ScanEnd::kEndScan) p.port->Feed("ENDSCAN\x03");
            if (why == ScanEnd::kStopped) ctrl.session().DeactivateScanTask(0);
            if (why == ScanEnd::kDeviceClosed) ctrl.CloseDevice();
            ASSERT_TRUE(WaitUntil([&] { return !heard.Ends().empty(); }));
            ctrl.session().DeactivateScanTask(0);
        }
        EXPECT_EQ(heard.Ends(), std::vector<ScanEnd>{why});
    }
}

}  // namespace
}  // namespace orvanta::logic
