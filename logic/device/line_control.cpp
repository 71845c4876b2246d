// Serial line settings, signals, the error mask, and the read path: the wait
// for the event character and raw reads.
#include <vector>

#include "logic/reporting/reporting.h"
#include "logic/reporting/texts.h"
#include "logic/device/channel.h"

namespace orvanta::logic {

namespace {
constexpr std::size_t kBoxBuffer = 256;
}

bool DeviceChannel::DeviceOpenOrSay(Saying saying) {
    if (device_) return true;
    if (saying == Saying::kNotInitialised)
        report_.DebugBox(texts::kNotInitialised, texts::kCaptionError, interfaces::kMbIconError);
    else
        report_.DebugBox(texts::kNotActivated, texts::kCaptionError, interfaces::kMbIconInformation);
    return false;
}

void DeviceChannel::ShowLineSettings(const interfaces::LineSettings& s, const char* caption) {
    if (!settings_.Debug()) return;
    char text[kBoxBuffer];
    FormatBounded(text, sizeof text, texts::kLineSettingsFormat, static_cast<int>(s.BaudRate),
                  static_cast<int>(s.Parity), static_cast<int>(s.ByteSize),
                  static_cast<int>(s.StopBits));
    report_.DebugBox(text, caption, interfaces::kMbIconInformation);
}

bool DeviceChannel::SetCOMSettings(const std::string& settings_text) {
    if (!DeviceOpenOrSay()) return false;
    const std::string mode = settings_text.empty() ? settings_.defaultComSettings : settings_text;
    // The boxes run a message loop: a host called back from one may close or
    // replace the device. This call then ends; it never touches another device.
    const std::shared_ptr<interfaces::Device> device = device_;
    const auto still_ours = [&] { return device_ == device; };
    report_.DebugBox(mode.c_str(), texts::kCaptionModeString, interfaces::kMbIconInformation);
    if (!still_ours()) return false;

    interfaces::LineSettings settings;
    bool success = device->ReadLineSettings(settings);
    ShowLineSettings(settings, texts::kCaptionOldSettings);
    if (!still_ours()) return false;
    if (success) success = device->ParseMode(mode.c_str(), settings);
    // The suffix that ends a scanned code is the byte the port watches for.
    settings.EvtChar = settings_.SuffixByte();
    if (success) success = device->ApplyLineSettings(settings);

    if (settings_.Debug()) {
        interfaces::LineSettings now;
        device->ReadLineSettings(now);
        ShowLineSettings(now, texts::kCaptionNewSettings);
    }
    return success;
}

bool DeviceChannel::SetSignalOnCOM(std::int16_t signal_code) {
    if (!DeviceOpenOrSay()) return false;
    static const std::uint32_t kFunctions[] = {
        interfaces::kSetRts,  interfaces::kClrRts, interfaces::kSetDtr,   interfaces::kClrDtr,
        interfaces::kSetXoff, interfaces::kSetXon, interfaces::kSetBreak, interfaces::kClrBreak,
    };
    if (signal_code < 1 || signal_code > 8) return false;
    return device_->Escape(kFunctions[signal_code - 1]);
}

std::int32_t DeviceChannel::ClearCOMError() {
    if (!DeviceOpenOrSay()) return -1;
    std::uint32_t errors = 0;
    if (!device_->ClearErrors(errors)) return -1;
    return static_cast<std::int32_t>(errors);
}

std::int16_t DeviceChannel::WaitCOMSignal(std::int16_t /*wanted_signal: not used*/,
                                         interfaces::StopSignal* stop) {
    return ReadAfterEventChar(stop, [](interfaces::Device&, interfaces::StopSignal*) {}) == ReadWait::kArrived ? 1 : 0;
}

DeviceChannel::ReadWait DeviceChannel::ReadAfterEventChar(
    interfaces::StopSignal* stop,
    const std::function<void(interfaces::Device&, interfaces::StopSignal*)>& take) {
    // Kept alive while a box of `take` lets the host call in and close the device.
    const std::shared_ptr<interfaces::Device> device = device_;
    if (!DeviceOpenOrSay()) return ReadWait::kNoDevice;
    if (read_gate_.Enter(stop) != Gate::Entry::Entered) return ReadWait::kFailed;
    GatePass leave(read_gate_);
    if (!device->WaitEventChar(stop)) return ReadWait::kFailed;
    take(*device, stop);
    return ReadWait::kArrived;
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
