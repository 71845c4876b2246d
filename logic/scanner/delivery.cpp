// Handing a code to an application: character messages to one window, or
// keystrokes into whatever window has the focus.
#include "logic/scanner/scan_session.h"

#include <cstdio>
#include <string>

#include "logic/settings/reporting.h"
#include "logic/settings/texts.h"

namespace orvanta::logic {

namespace {
constexpr std::size_t kDebugTextSize = 256;

bool Stopping(interfaces::StopSignal* stop) { return stop && stop->IsSet(); }

interfaces::WindowId ToWindow(std::int32_t handle) {
    // Window handles are sign-extended from their 32 significant bits.
    return static_cast<interfaces::WindowId>(static_cast<std::intptr_t>(handle));
}
}  // namespace

std::int32_t ScanSession::CaptureFocusWindow() {
    if (settings_.onlyWorkwithCurrentWindow.load() == 0) return 0;
    return static_cast<std::int32_t>(static_cast<std::intptr_t>(platform_.input.GetFocus()));
}

std::int32_t ScanSession::SendCodeToWindow(std::int32_t window, std::string code,
                                            interfaces::StopSignal* stop) {
    return DeliverCode(window, std::move(code), stop).count;
}

CodeDelivery ScanSession::DeliverCode(std::int32_t window, std::string code,
                                       interfaces::StopSignal* stop) {
    CodeDelivery result;
    if (settings_.onlyWorkwithCurrentWindow.load() == 0) {
        result = TypeCode(code, stop);
    } else if (settings_.scanWindowHandle.load() == 0) {
        result.count = -1;
    } else {
        const interfaces::WindowId target = ToWindow(window);
        result.delivered = true;
        // A code goes whole or not at all: a stop takes effect after it. A
        // window that does not answer costs one bound, not one per character.
        for (const char c : code) {
            // Zero-extended: a sign-extended byte reaches a form as a negative key code.
            const interfaces::CharSent sent =
                platform_.input.SendChar(target, static_cast<unsigned char>(c), 1, kCharAnswerMs);
            if (sent == interfaces::CharSent::Gone) {
                result.count = -1;  // the window is gone: the code reached nobody
                result.delivered = false;
                break;
            }
            if (sent == interfaces::CharSent::NotAnswered) {
                result.delivered = false;  // the rest is not sent
                break;
            }
            ++result.count;
        }
    }
    if (settings_.Debug() && !Stopping(stop)) {
        // The code is cut so that the fixed words and the count always fit.
        const int digits = std::snprintf(nullptr, 0, "%i", static_cast<int>(result.count));
        std::string format = texts::kCodeSentFormat;
        const int fixed = static_cast<int>(format.size()) - 4;  // without "%s" and "%i"
        format.replace(format.find("%s"), 2, "%.*s");
        const int room = static_cast<int>(kDebugTextSize) - 1 - fixed - digits;
        char text[kDebugTextSize];
        FormatBounded(text, sizeof text, format.c_str(), room, code.c_str(), static_cast<int>(result.count));
        report_.DebugBox(text, texts::kCaptionCodeSent, interfaces::kMbIconInformation);
    }
    return result;
}

std::int32_t ScanSession::TypeCodeAsKeys(const std::string& code, interfaces::StopSignal* stop) {
    return TypeCode(code, stop).count;
}

CodeDelivery ScanSession::TypeCode(const std::string& code, interfaces::StopSignal* stop) {
    CodeDelivery result;
    // The keys go to the window in front now; they are its until it has taken them.
    const interfaces::WindowId target = platform_.input.KeyboardTarget();
    std::uint32_t messages = 0;
    for (const char c : code) {  // whole, as above
        messages += platform_.input.TypeChar(static_cast<unsigned char>(c));
        ++result.count;
    }
    // Typed input waits in the target's queue until its thread takes it. Nothing
    // may come to the front before then (a box would take the rest of the
    // keys), and the scanner hears 0x06 only for a code whose keys were taken.
    result.delivered = code.empty() ||
                       platform_.input.AwaitInputTaken(target, messages, kKeysTakenMs, stop);
    if (!Stopping(stop))
        report_.DebugBox(texts::kTypedAsKeys, texts::kCaptionTyping, interfaces::kMbIconInformation);
    return result;
}

}  // namespace orvanta::logic
