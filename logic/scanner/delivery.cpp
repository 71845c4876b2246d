// Handing a code to an application: character messages to one window, or
// keystrokes into whatever window has the focus; and what the scanner is
// answered for what became of it.
#include "logic/scanner/scan_session.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "logic/reporting/reporting.h"
#include "logic/reporting/texts.h"

namespace orvanta::logic {

namespace {
constexpr std::size_t kDebugTextSize = 256;
// A stop is seen within this while a window is waited for.
constexpr std::uint32_t kAnswerSliceMs = 100;
// Answers per input message: a message loop that peeks before it takes
// answers twice for one message.
constexpr std::uint32_t kAnswersPerMessage = 2;

using interfaces::CharSent;

bool Stopping(interfaces::StopSignal* stop) { return stop && stop->IsSet(); }

interfaces::WindowId ToWindow(std::int32_t handle) {
    // Window handles are sign-extended from their 32 significant bits.
    return static_cast<interfaces::WindowId>(static_cast<std::intptr_t>(handle));
}

CodeDelivery NothingHandedOver(std::int32_t count = 0) { return {count, false, true}; }
}  // namespace

bool Acknowledges(const CodeDelivery& delivery, bool queued) {
    if (delivery.count < 0) return queued;  // no window: the events were the target
    if (delivery.whole) return true;
    return delivery.count > 0 && !delivery.confirmed;
}

std::int32_t ScanSession::CaptureFocusWindow() {
    if (settings_.onlyWorkwithCurrentWindow.load() == 0) return 0;
    return static_cast<std::int32_t>(static_cast<std::intptr_t>(platform_.input.GetFocus()));
}

CodeDelivery ScanSession::DeliverCode(std::int32_t window, const std::string& code,
                                       interfaces::StopSignal* stop) {
    CodeDelivery result;
    if (settings_.onlyWorkwithCurrentWindow.load() == 0)
        result = TypeCode(code, stop);
    else if (settings_.scanWindowHandle.load() == 0)
        result.count = -1;
    else
        result = SendCode(ToWindow(window), code, stop);
    ShowDelivery(code, result.count, stop);
    return result;
}

CharSent ScanSession::AwaitAnswer(interfaces::WindowId target, std::uint32_t start, std::uint32_t bound_ms,
                                  interfaces::StopSignal* stop) {
    for (;;) {
        if (Stopping(stop)) return CharSent::NotAnswered;
        const std::uint32_t spent = platform_.threads.TickMs() - start;
        if (spent >= bound_ms) return CharSent::NotAnswered;
        const CharSent answer = platform_.input.Ping(target, std::min(bound_ms - spent, kAnswerSliceMs));
        if (answer != CharSent::NotAnswered) return answer;
    }
}

CodeDelivery ScanSession::SendCode(interfaces::WindowId target, const std::string& code,
                                   interfaces::StopSignal* stop) {
    if (code.empty()) return {0, true, true};
    // A window that does not answer now is handed nothing: a message it took
    // late would repeat the code the scanner sends again. A stop before the
    // first character hands nothing over either.
    const std::uint32_t start = platform_.threads.TickMs();
    const CharSent first = AwaitAnswer(target, start, kCharAnswerMs, stop);
    if (first == CharSent::Gone) return NothingHandedOver(-1);
    if (first != CharSent::Taken || Stopping(stop)) return NothingHandedOver();

    // One bound for the code. Once it has passed, a character was not
    // answered, or a stop came, the rest is handed over without waiting, so
    // the code arrives whole and in order and the stop is seen between
    // characters.
    const std::uint32_t bound = CodeBoundMs(static_cast<std::uint32_t>(code.size()));
    CodeDelivery result{0, false, true};
    // A thread takes the messages sent to it before the posted ones, so a
    // code sent while the rest of an earlier one is still posted would
    // overtake it. Until the window is seen to have taken those, this code
    // is posted behind them.
    bool waiting = true;
    const std::uint32_t behind = posted_to_.load() == target ? posted_left_.load() : 0;
    if (behind) {
        waiting = AwaitKeysTaken(target, behind, stop) && !Stopping(stop);
        if (waiting) posted_left_ = 0;
    }
    for (const char c : code) {
        // Zero-extended: a sign-extended byte reaches a form as a negative key code.
        const auto wparam = static_cast<std::uint32_t>(static_cast<unsigned char>(c));
        const std::uint32_t spent = platform_.threads.TickMs() - start;
        if (waiting && (Stopping(stop) || spent >= bound)) waiting = false;
        if (!waiting) {
            if (!platform_.input.HandChar(target, wparam, 1)) break;
            if (posted_to_.exchange(target) != target) posted_left_ = 0;
            ++posted_left_;
            result.confirmed = false;
        } else {
            const CharSent sent = platform_.input.SendChar(target, wparam, 1, std::min(bound - spent, kCharAnswerMs));
            if (sent == CharSent::Gone) break;  // the window went: nothing more can arrive
            if (sent != CharSent::Taken) {
                waiting = false;  // it may still take it; the rest goes behind it
                result.confirmed = false;
            }
        }
        ++result.count;
    }
    result.whole = result.count == static_cast<std::int32_t>(code.size());
    return result;
}

void ScanSession::ShowDelivery(const std::string& code, std::int32_t count, interfaces::StopSignal* stop) {
    if (!settings_.Debug() || Stopping(stop)) return;
    // The code is cut so that the fixed words and the count always fit.
    const int digits = std::snprintf(nullptr, 0, "%i", static_cast<int>(count));
    std::string format = texts::kCodeSentFormat;
    const int fixed = static_cast<int>(format.size()) - 4;  // without "%s" and "%i"
    format.replace(format.find("%s"), 2, "%.*s");
    const int room = static_cast<int>(kDebugTextSize) - 1 - fixed - digits;
    char text[kDebugTextSize];
    FormatBounded(text, sizeof text, format.c_str(), room, code.c_str(), static_cast<int>(count));
    report_.DebugBox(text, texts::kCaptionCodeSent, interfaces::kMbIconInformation);
}

bool ScanSession::AwaitKeysTaken(interfaces::WindowId target, std::uint32_t messages,
                                 interfaces::StopSignal* stop) {
    // Nothing tells one thread how much input another has left. A message
    // sent to the window is answered only when its thread is back in its
    // message loop, and each pass of that loop takes at most one queued
    // message; so once as many answers as the keys made messages (twice over)
    // have come back, the thread has taken them. Between two answers the
    // thread gets the processor (Sleep(0)), never a sleep: on Windows the
    // shortest sleep lasts a timer tick, and the wait would grow with the
    // tick instead of the code.
    const std::uint32_t start = platform_.threads.TickMs();
    const std::uint32_t bound = CodeBoundMs(messages);
    for (std::uint32_t round = 0; round < kAnswersPerMessage * messages + 1; ++round) {
        if (round) platform_.threads.Sleep(0);
        if (AwaitAnswer(target, start, bound, stop) != CharSent::Taken) return false;
    }
    return true;
}

CodeDelivery ScanSession::TypeCode(const std::string& code, interfaces::StopSignal* stop) {
    CodeDelivery result = NothingHandedOver();
    // The keys go to the window in front now; they are its until it has
    // taken them. A program that does not answer now is typed nothing for.
    const interfaces::WindowId target = platform_.input.KeyboardTarget();
    if (code.empty()) {
        result.whole = true;
    } else if (target && AwaitAnswer(target, platform_.threads.TickMs(), kCharAnswerMs, stop) == CharSent::Taken &&
               !Stopping(stop)) {
        platform_.input.PrepareTyping(target);
        const interfaces::WindowId front = platform_.ui.ForegroundWindow();
        std::uint32_t messages = 0;
        for (const char c : code) {  // whole: typing costs no wait
            // Another window come to the front inside the code (a dialog,
            // another program) would get its rest: the code ends there. A
            // focus move inside the window (a Tab) is the application's own.
            if (result.count > 0 && platform_.ui.ForegroundWindow() != front) break;
            const std::uint32_t made = platform_.input.TypeChar(static_cast<unsigned char>(c));
            if (made == 0) break;  // the system took none of its keys
            messages += made;
            ++result.count;
        }
        result.whole = result.count == static_cast<std::int32_t>(code.size());
        // Typed input waits in the target's queue until its thread takes it.
        // Nothing may come to the front before then (a box would take the
        // rest of the keys), and keys not known taken may still arrive.
        result.confirmed = result.count == 0 || AwaitKeysTaken(target, messages, stop);
    }
    if (!Stopping(stop))
        report_.DebugBox(texts::kTypedAsKeys, texts::kCaptionTyping, interfaces::kMbIconInformation);
    return result;
}

}  // namespace orvanta::logic
