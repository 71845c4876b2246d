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

DeviceChannel::CodeBytes DeviceChannel::ReadCode(interfaces::StopSignal* stop) {
    CodeBytes result;
    // Kept alive while a debug box lets the host call in and close the device.
    const std::shared_ptr<interfaces::Device> device = device_;
    if (!DeviceOpenOrSay()) {
        result.wait = ReadWait::kNoDevice;
        return result;
    }
    if (read_gate_.Enter(stop) != Gate::Entry::Entered) return result;
    GatePass leave(read_gate_);
    if (!device->WaitEventChar(stop)) return result;
    result.wait = ReadWait::kArrived;

    // The same byte that the line watches for as its event character.
    const char suffix = settings_.SuffixByte();
    // Debug mode shows each byte in a box before it takes the next.
    const bool show = settings_.Debug();
    char bytes[kStep];
    bool complete = false;
    // A stop takes no more bytes: the rest of the code is left for the next
    // reader, and a code cut short is not the task's to answer.
    while (!complete && !(stop && stop->IsSet())) {
        // What has come up to the suffix is taken at once, and nothing past
        // it: that waits for the next reader. With nothing come yet (the
        // event character was not the suffix) the next byte is waited for.
        const std::uint32_t count = device->ReadThrough(suffix, bytes, show ? 1 : kStep, stop);
        if (count == 0) break;
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
        const std::size_t room = kLongestCode - std::min(result.bytes.size(), kLongestCode);
        result.bytes.append(bytes, std::min<std::size_t>(kept, room));
    }
    result.taken = complete || !(stop && stop->IsSet());
    return result;
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
