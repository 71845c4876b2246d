// Handing a code to an application: character messages to one window, or
// keystrokes into whatever window has the focus.
#include "scanner/scan_session.h"

#include <cstdio>
#include <string>

#include "core/reporting.h"
#include "core/texts.h"

namespace orvanta {

namespace {
constexpr std::size_t kDebugTextSize = 256;

bool Stopping(platform::StopSignal* stop) { return stop && stop->IsSet(); }

platform::WindowId ToWindow(std::int32_t handle) {
    // Window handles are sign-extended from their 32 significant bits.
    return static_cast<platform::WindowId>(static_cast<std::intptr_t>(handle));
}
}  // namespace

std::int32_t CScanSession::CaptureFocusWindow() {
    if (m_settings.onlyWorkwithCurrentWindow.load() == 0) return 0;
    return static_cast<std::int32_t>(static_cast<std::intptr_t>(m_platform.input.GetFocus()));
}

std::int32_t CScanSession::SendCodeToWindow(std::int32_t window, std::string code,
                                            platform::StopSignal* stop) {
    std::int32_t result;
    if (m_settings.onlyWorkwithCurrentWindow.load() == 0) {
        result = TypeCodeAsKeys(code, stop);
    } else if (m_settings.scanWindowHandle.load() == 0) {
        result = -1;
    } else {
        const platform::WindowId target = ToWindow(window);
        result = 0;
        // A code goes whole or not at all: a stop takes effect after it.
        for (const char c : code) {
            // Zero-extended: a sign-extended byte reaches a form as a negative key code.
            if (!m_platform.input.SendChar(target, static_cast<unsigned char>(c), 1)) {
                result = -1;  // the window is gone: the code reached nobody
                break;
            }
            ++result;
        }
    }
    if (m_settings.Debug() && !Stopping(stop)) {
        // The code is cut so that the fixed words and the count always fit.
        const int digits = std::snprintf(nullptr, 0, "%i", static_cast<int>(result));
        std::string format = texts::kCodeSentFormat;
        const int fixed = static_cast<int>(format.size()) - 4;  // without "%s" and "%i"
        format.replace(format.find("%s"), 2, "%.*s");
        const int room = static_cast<int>(kDebugTextSize) - 1 - fixed - digits;
        char text[kDebugTextSize];
        FormatBounded(text, sizeof text, format.c_str(), room, code.c_str(), static_cast<int>(result));
        m_report.DebugBox(text, texts::kCaptionCodeSent, platform::kMbIconInformation);
    }
    return result;
}

std::int32_t CScanSession::TypeCodeAsKeys(std::string code, platform::StopSignal* stop) {
    std::int32_t typed = 0;
    for (const char c : code) {  // whole, as above
        m_platform.input.TypeChar(static_cast<unsigned char>(c));
        ++typed;
    }
    if (!Stopping(stop))
        m_report.DebugBox(texts::kTypedAsKeys, texts::kCaptionTyping, platform::kMbIconInformation);
    return typed;
}

}  // namespace orvanta
