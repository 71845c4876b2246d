// Reading one scanned code: wait for the suffix, then take the bytes in front
// of it, as many at a time as have come.
#include "logic/scanner/code_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "logic/reporting/texts.h"

namespace orvanta::logic {

namespace {
// Long 2D symbols come whole up to this length; the rest of such a code is
// dropped up to its suffix so the next code stays in step.
constexpr std::size_t kLongestCode = 65535;
// Bytes looked at per step; a longer code takes more steps.
constexpr std::uint32_t kStep = 1024;
}  // namespace

CodeReader::CodeRead CodeReader::Read(interfaces::StopSignal* stop) {
    CodeRead result;
    std::string code;
    // Two captures: small enough to need no allocation per code.
    const auto take = [this, &code, &result](interfaces::Device& device, interfaces::StopSignal* signal) {
        result.taken = TakeCode(device, signal, code);
    };
    switch (channel_.ReadAfterEventChar(stop, take)) {
    case DeviceChannel::ReadWait::kNoDevice:
        result.no_device = true;
        break;
    case DeviceChannel::ReadWait::kFailed:
        result.code = texts::kCodeError;
        result.wait_failed = true;
        break;
    case DeviceChannel::ReadWait::kArrived:
        // The text ends at its first zero byte.
        result.code = code.substr(0, code.find('\0'));
        break;
    }
    return result;
}

bool CodeReader::TakeCode(interfaces::Device& device, interfaces::StopSignal* stop, std::string& code) {
    // The same byte that the line watches for as its event character.
    const char suffix = settings_.SuffixByte();
    // Debug mode shows each byte in a box before it takes the next: a host
    // called back from a box may close the device, and what follows then
    // stays unread.
    const bool show = settings_.Debug();
    const std::uint32_t step = show ? 1 : kStep;
    char bytes[kStep];
    bool complete = false;
    // A stop takes no more bytes: the rest of the code is left for the next
    // reader, and a code cut short is not the task's to answer.
    while (!complete && !(stop && stop->IsSet())) {
        // What has come up to the suffix is taken at once, and nothing past
        // it: that waits for the next reader. With nothing come yet (the
        // event character was not the suffix) the next byte is waited for.
        std::uint32_t count = device.Peek(bytes, step);
        if (count > 0) {
            const void* end = std::memchr(bytes, suffix, count);
            if (end) count = static_cast<std::uint32_t>(static_cast<const char*>(end) - bytes) + 1;
            count = device.Read(bytes, count, stop);
        } else {
            count = device.Read(bytes, 1, stop);
        }
        if (count == 0) break;
        std::uint32_t kept = count;
        if (show) {
            // The suffix too; a code whose device was closed from the box
            // ends before the byte.
            for (std::uint32_t i = 0; i < count && kept == count; ++i) {
                const char text[2] = {bytes[i], 0};
                report_.DebugBox(text, texts::kCaptionScanBuffer, interfaces::kMbIconInformation);
                if (!channel_.Holds(device)) {
                    kept = i;
                    complete = true;
                }
            }
        }
        if (kept == count && bytes[count - 1] == suffix) {
            --kept;
            complete = true;
        }
        code.append(bytes, std::min<std::size_t>(kept, kLongestCode - std::min(code.size(), kLongestCode)));
    }
    // Other threads get the processor between codes.
    ports_.Sleep(0);
    return complete || !(stop && stop->IsSet());
}

}  // namespace orvanta::logic
