// Serial line settings, signals and the error mask.

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
    FormatBounded(text, sizeof text, texts::kLineSettingsFormat, static_cast<int>(s.baud_rate),
                  static_cast<int>(s.parity), static_cast<int>(s.data_bits),
                  static_cast<int>(s.stop_bits));
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
    // The suffix that ends a scanned code is the byte the port watches for.
    if (success) success = device->ApplyLineSettings(interfaces::LineChange{mode, settings_.SuffixByte()});
    ReportDeviceNotes(device, texts::kFnSetCOMSettings);
    if (!still_ours()) return false;

    if (settings_.Debug()) {
        interfaces::LineSettings now;
        device->ReadLineSettings(now);
        ShowLineSettings(now, texts::kCaptionNewSettings);
    }
    return success;
}

bool DeviceChannel::SetSignalOnCOM(std::int16_t signal_code) {
    if (!DeviceOpenOrSay()) return false;
    if (signal_code < 1 || signal_code > 8) return false;
    const std::shared_ptr<interfaces::Device> device = device_;
    const bool set = device->SetSignal(static_cast<interfaces::LineSignal>(signal_code - 1));
    ReportDeviceNotes(device, texts::kFnSetSignalOnCOM);
    return set;
}

std::int32_t DeviceChannel::ClearCOMError() {
    if (!DeviceOpenOrSay()) return -1;
    std::uint32_t errors = 0;
    const std::shared_ptr<interfaces::Device> device = device_;
    const bool cleared = device->ClearErrors(errors);
    ReportDeviceNotes(device, texts::kFnClearCOMError);
    if (!cleared) return -1;
    return static_cast<std::int32_t>(errors);
}

}  // namespace orvanta::logic
