// Reading one scanned code: wait for the suffix, then take the bytes in front
// of it one at a time.
#include <string>

#include "control/orvanta_ctrl.h"
#include "core/texts.h"

namespace orvanta {

namespace {
// Long 2D symbols come whole up to this length; the rest of such a code is
// dropped up to its suffix so the next code stays in step.
constexpr std::size_t kLongestCode = 65535;
}

std::string COrvantaCtrl::ScanCodeFromCOM() { return ReadCode(nullptr).code; }

COrvantaCtrl::CodeRead COrvantaCtrl::ReadCode(platform::StopSignal* stop) {
    CodeRead result;
    if (!h_Lpt1) {
        DebugBox(texts::kNotActivated, texts::kCaptionError, platform::kMbIconInformation);
        return result;
    }
    // The wait and the bytes of one code belong to one reader.
    if (m_readGate.Enter(stop) != Gate::Entry::Entered) {
        result.code = texts::kCodeError;
        result.wait_failed = true;
        return result;
    }
    GatePass leave(m_readGate);
    if (!h_Lpt1->WaitEventChar(stop)) {
        result.code = texts::kCodeError;
        result.wait_failed = true;
        return result;
    }

    std::string code;
    char byte[2] = {0, 0};  // the byte and a zero, so it shows as a text
    std::uint32_t count = h_Lpt1->Read(byte, 1, stop);
    while (count > 0) {
        DebugBox(byte, texts::kCaptionScanBuffer, platform::kMbIconInformation);
        // The same byte that the line watches for as its event character.
        const char suffix = static_cast<char>(ScannerSuffixChar.load() & 0xFF);
        if (byte[0] == suffix) {
            count = h_Lpt1->Read(byte, 0, stop);  // the code is complete
        } else {
            if (code.size() < kLongestCode) code.push_back(byte[0]);
            count = h_Lpt1->Read(byte, 1, stop);
        }
        byte[1] = 0;
        m_platform.ports.Sleep(0);
    }
    // The text ends at its first zero byte.
    result.code = code.substr(0, code.find('\0'));
    return result;
}

}  // namespace orvanta
