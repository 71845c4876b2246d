// The read path: the wait for the event character, a scanned code up to its
// suffix, and raw reads. One reader at a time, so no code is split between two.
#include <algorithm>
#include <vector>

#include "logic/reporting/reporting.h"
#include "logic/reporting/texts.h"
#include "logic/device/channel.h"

namespace orvanta::logic {

namespace {
constexpr std::size_t kBoxBuffer = 256;
// Long 2D symbols come whole up to this length; the rest of such a code is
// dropped up to its suffix so the next code stays in step.
constexpr std::size_t kLongestCode = 65535;
// Bytes taken per step; a longer code takes more steps.
constexpr std::uint32_t kStep = 1024;
}  // namespace

std::int16_t DeviceChannel::WaitCOMSignal(std::int16_t /*wanted_signal: not used*/,
                                         interfaces::StopSignal* stop) {
    const std::shared_ptr<interfaces::Device> device = device_;
    if (!DeviceOpenOrSay()) return 0;
    if (read_gate_.Enter(stop) != Gate::Entry::Entered) return 0;
    GatePass leave(read_gate_);
    return device->WaitEventChar(stop) ? 1 : 0;
}

DeviceChannel::CodeRead DeviceChannel::ReadCode(interfaces::StopSignal* stop) {
    CodeRead result;
    // Kept alive while a debug box lets the host call in and close the device.
    const std::shared_ptr<interfaces::Device> device = device_;
    if (!DeviceOpenOrSay()) {
        result.no_device = true;
        return result;
    }
    if (!ReadCodeGated(device, stop, result)) {
        result.code = texts::kCodeError;
        result.wait_failed = true;
        return result;
    }
    // The text ends at its first zero byte.
    result.code.resize(std::min(result.code.size(), result.code.find('\0')));
    // Other threads get the processor between codes.
    platform_.ports.Sleep(0);
    return result;
}

bool DeviceChannel::ReadCodeGated(const std::shared_ptr<interfaces::Device>& device,
                                  interfaces::StopSignal* stop, CodeRead& result) {
    if (read_gate_.Enter(stop) != Gate::Entry::Entered) return false;
    GatePass leave(read_gate_);

    // The same byte that the line watches for as its event character.
    const char suffix = settings_.SuffixByte();
    // Debug mode shows each byte in a box before it takes the next.
    const bool show = settings_.Debug();
    const std::uint32_t step = show ? 1 : kStep;
    char bytes[kStep];
    // What has come up to the suffix is taken at once, and nothing past it:
    // that waits for the next reader. With nothing come yet (the event
    // character was not the suffix) the next byte is waited for.
    std::uint32_t count = 0;
    if (!device->WaitEventCharThenRead(suffix, bytes, step, count, stop)) return false;
    bool complete = false;
    // A stop takes no more bytes: the rest of the code is left for the next
    // reader, and a code cut short is not the task's to answer.
    while (count > 0) {
        std::uint32_t kept = count;
        if (show) {
            // The suffix too; a code whose device was closed from the box
            // ends before the byte.
            const char text[2] = {bytes[0], 0};
            report_.DebugBox(text, texts::kCaptionScanBuffer, interfaces::kMbIconInformation);
            if (device_ != device) {
                kept = 0;
                complete = true;
            }
        }
        if (kept == count && bytes[count - 1] == suffix) {
            --kept;
            complete = true;
        }
        const std::size_t room = kLongestCode - std::min(result.code.size(), kLongestCode);
        result.code.append(bytes, std::min<std::size_t>(kept, room));
        if (complete || (stop && stop->IsSet())) break;
        count = device->ReadThrough(suffix, bytes, step, stop);
    }
    result.taken = complete || !(stop && stop->IsSet());
    return true;
}

std::int32_t DeviceChannel::ReadBytes(std::string host_buffer, std::int32_t buffer_length,
                                     std::int32_t bytes_to_read) {
    if (!DeviceOpenOrSay()) return 0;
    if (bytes_to_read > buffer_length) {
        char text[kBoxBuffer];
        FormatBounded(text, sizeof text, texts::kReadTooLarge, static_cast<int>(bytes_to_read),
                      static_cast<int>(buffer_length));
        report_.DebugBox(text, texts::kCaptionError, interfaces::kMbIconError);
        return 0;
    }
    if (bytes_to_read <= 0) return 0;
    // The copy holds the host's characters and their terminating zero; the
    // read never stores more than that, whatever the buffer length claims.
    const std::uint32_t storage = static_cast<std::uint32_t>(host_buffer.size()) + 1;
    const std::uint32_t count =
        static_cast<std::uint32_t>(bytes_to_read) < storage ? static_cast<std::uint32_t>(bytes_to_read) : storage;
    std::vector<char> copy(host_buffer.begin(), host_buffer.end());
    copy.push_back('\0');
    if (read_gate_.Enter(nullptr) != Gate::Entry::Entered) return 0;
    GatePass leave(read_gate_);
    return static_cast<std::int32_t>(device_->Read(copy.data(), count, nullptr));
}

}  // namespace orvanta::logic
