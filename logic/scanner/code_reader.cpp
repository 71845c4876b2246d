// Reading one scanned code: wait for the suffix, then take the bytes in front
// of it one at a time.
#include "logic/scanner/code_reader.h"

#include <string>

#include "logic/device/gate.h"
#include "logic/settings/texts.h"

namespace orvanta::logic {

namespace {
// Long 2D symbols come whole up to this length; the rest of such a code is
// dropped up to its suffix so the next code stays in step.
constexpr std::size_t kLongestCode = 65535;
}

CodeReader::CodeRead CodeReader::Read(interfaces::StopSignal* stop) {
    CodeRead result;
    // Kept alive while a debug box lets the host call in and close the device.
    const std::shared_ptr<interfaces::Device> h_Lpt1 = m_channel.device();
    if (!h_Lpt1) {
        m_report.DebugBox(texts::kNotActivated, texts::kCaptionError, interfaces::kMbIconInformation);
        return result;
    }
    // The wait and the bytes of one code belong to one reader.
    Gate& gate = m_channel.read_gate();
    if (gate.Enter(stop) != Gate::Entry::Entered) {
        result.code = texts::kCodeError;
        result.wait_failed = true;
        return result;
    }
    GatePass leave(gate);
    if (!h_Lpt1->WaitEventChar(stop)) {
        result.code = texts::kCodeError;
        result.wait_failed = true;
        return result;
    }

    std::string code;
    char byte[2] = {0, 0};  // the byte and a zero, so it shows as a text
    std::uint32_t count = h_Lpt1->Read(byte, 1, stop);
    while (count > 0) {
        m_report.DebugBox(byte, texts::kCaptionScanBuffer, interfaces::kMbIconInformation);
        if (m_channel.device() != h_Lpt1) break;  // closed from inside the box
        // The same byte that the line watches for as its event character.
        if (byte[0] == m_settings.SuffixByte()) {
            count = h_Lpt1->Read(byte, 0, stop);  // the code is complete
        } else {
            if (code.size() < kLongestCode) code.push_back(byte[0]);
            count = h_Lpt1->Read(byte, 1, stop);
        }
        byte[1] = 0;
        m_ports.Sleep(0);
    }
    // The text ends at its first zero byte.
    result.code = code.substr(0, code.find('\0'));
    return result;
}

}  // namespace orvanta::logic
