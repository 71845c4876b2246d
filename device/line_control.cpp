// Serial line settings, signals, the error mask, the wait for the event
// character, and raw reads.
#include <vector>

#include "control/orvanta_ctrl.h"
#include "core/reporting.h"
#include "core/texts.h"

namespace orvanta {

namespace {
constexpr std::size_t kBoxBuffer = 256;
}

void COrvantaCtrl::ShowLineSettings(const platform::LineSettings& s, const char* caption) {
    if (debugModus.load() == 0) return;
    char text[kBoxBuffer];
    FormatBounded(text, sizeof text, texts::kLineSettingsFormat, static_cast<int>(s.BaudRate),
                  static_cast<int>(s.Parity), static_cast<int>(s.ByteSize),
                  static_cast<int>(s.StopBits));
    DebugBox(text, caption, platform::kMbIconInformation);
}

bool COrvantaCtrl::SetCOMSettings(const std::string& str_Params) {
    if (!h_Lpt1) {
        DebugBox(texts::kNotActivated, texts::kCaptionError, platform::kMbIconInformation);
        return false;
    }
    const std::string mode = str_Params.empty() ? defaultComSettings : str_Params;
    DebugBox(mode.c_str(), texts::kCaptionModeString, platform::kMbIconInformation);

    platform::LineSettings settings;
    bool success = h_Lpt1->ReadLineSettings(settings);
    ShowLineSettings(settings, texts::kCaptionOldSettings);
    if (success) success = h_Lpt1->ParseMode(mode.c_str(), settings);
    // The suffix that ends a scanned code is the byte the port watches for.
    settings.EvtChar = static_cast<char>(ScannerSuffixChar.load() & 0xFF);
    if (success) success = h_Lpt1->ApplyLineSettings(settings);

    if (debugModus.load() != 0) {
        platform::LineSettings now;
        h_Lpt1->ReadLineSettings(now);
        ShowLineSettings(now, texts::kCaptionNewSettings);
    }
    return success;
}

bool COrvantaCtrl::SetSignalOnCOM(std::int16_t b_Signal) {
    if (!h_Lpt1) {
        DebugBox(texts::kNotActivated, texts::kCaptionError, platform::kMbIconInformation);
        return false;
    }
    static const std::uint32_t kFunctions[] = {
        platform::kSetRts,  platform::kClrRts, platform::kSetDtr,   platform::kClrDtr,
        platform::kSetXoff, platform::kSetXon, platform::kSetBreak, platform::kClrBreak,
    };
    if (b_Signal < 1 || b_Signal > 8) return false;
    return h_Lpt1->Escape(kFunctions[b_Signal - 1]);
}

std::int32_t COrvantaCtrl::ClearCOMError() {
    if (!h_Lpt1) {
        DebugBox(texts::kNotActivated, texts::kCaptionError, platform::kMbIconInformation);
        return -1;
    }
    std::uint32_t errors = 0;
    if (!h_Lpt1->ClearErrors(errors)) return -1;
    return static_cast<std::int32_t>(errors);
}

std::int16_t COrvantaCtrl::WaitCOMSignal(std::int16_t /*onsignal: not used*/,
                                         platform::StopSignal* stop) {
    if (!h_Lpt1) {
        DebugBox(texts::kNotActivated, texts::kCaptionError, platform::kMbIconInformation);
        return 0;
    }
    if (m_readGate.Enter(stop) != Gate::Entry::Entered) return 0;
    GatePass leave(m_readGate);
    return h_Lpt1->WaitEventChar(stop) ? 1 : 0;
}

std::int32_t COrvantaCtrl::ReadBytes(std::string str_Buffer, std::int32_t m_bufferlen,
                                     std::int32_t m_bytestoread) {
    if (!h_Lpt1) {
        DebugBox(texts::kNotActivated, texts::kCaptionError, platform::kMbIconInformation);
        return 0;
    }
    if (m_bytestoread > m_bufferlen) {
        char text[kBoxBuffer];
        FormatBounded(text, sizeof text, texts::kReadTooLarge, static_cast<int>(m_bytestoread),
                      static_cast<int>(m_bufferlen));
        DebugBox(text, texts::kCaptionError, platform::kMbIconError);
        return 0;
    }
    if (m_bytestoread <= 0) return 0;
    // The copy holds the host's characters and their terminating zero; the
    // read never stores more than that, whatever m_bufferlen claims.
    const std::uint32_t storage = static_cast<std::uint32_t>(str_Buffer.size()) + 1;
    const std::uint32_t count =
        static_cast<std::uint32_t>(m_bytestoread) < storage ? static_cast<std::uint32_t>(m_bytestoread) : storage;
    std::vector<char> copy(str_Buffer.begin(), str_Buffer.end());
    copy.push_back('\0');
    if (m_readGate.Enter(nullptr) != Gate::Entry::Entered) return 0;
    GatePass leave(m_readGate);
    return static_cast<std::int32_t>(h_Lpt1->Read(copy.data(), count, nullptr));
}

}  // namespace orvanta
