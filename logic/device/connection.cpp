// Opening and closing the device, with the protocol file.
#include "logic/reporting/reporting.h"
#include "logic/reporting/texts.h"
#include "logic/device/channel.h"
#include "logic/device/channel_rules.h"

namespace orvanta::logic {

namespace {
constexpr std::size_t kNoticeBuffer = 512;
}

DeviceChannel::DeviceChannel(const interfaces::Platform& platform, const Settings& settings, Reporter& report)
    : platform_(platform),
      settings_(settings),
      report_(report),
      write_gate_(platform.threads),
      read_gate_(platform.threads) {}

DeviceChannel::~DeviceChannel() { Close(); }

bool DeviceChannel::Open(const std::string& device_name, const std::u16string& wide) {
    Close();
    platform_.ports.Sleep(200);
    report_.DbgMsg("Start", texts::kFnOpenDevice);

    // Emptied by every open; a protocol file that cannot be made stays null
    // and the echo then does nothing.
    protocol_file_ = platform_.ports.CreateNewFile(texts::kProtocolFileName);

    // The same rule for the name as written: "COM10" has no character the
    // code page could lose, so the prefix is the only difference.
    const std::string platform_name = PlatformDeviceName(device_name);
    const std::u16string wide_name =
        wide.empty() || platform_name == device_name ? wide : u"\\\\.\\" + wide;
    bool network = false;
    Reopener reopen;
    std::unique_ptr<interfaces::Device> opened = OpenNetworkDevice(device_name, network, reopen);
    if (!network) {
        reopen = ReopenByName(platform_.ports, platform_name, wide_name);
        opened = reopen.open(nullptr);
    }
    if (!opened) {
        report_.DbgMsg("nicht offen.", texts::kFnOpenDevice);  // first, so it shows the open's error
        char message[kNoticeBuffer];
        FormatFitted(message, sizeof message, texts::kCannotOpen, device_name.c_str());
        report_.ShowNotice(message, texts::kCaptionBrisomel);
        return false;
    }
    device_ = std::make_shared<ReturningDevice>(platform_.threads, device_name, std::move(reopen), std::move(opened),
                                                watcher_);
    if (!device_->ReadyForWrites()) {
        report_.DbgMsg("hEvent == NULL.", texts::kFnOpenDevice);
        report_.ShowNotice(texts::kNoEventContext, texts::kCaptionBrisomel);
        return true;
    }
    report_.DbgMsg("OK", texts::kFnOpenDevice);
    ReportDeviceNotes(device_, texts::kFnOpenDevice);
    return true;
}

void DeviceChannel::Close() {
    if (device_) {
        // Closed now, also while an operation that called the host back from
        // a box still holds it: the port is free for a new open at once.
        device_->Close();
        device_.reset();
        report_.DbgMsg("h_Lpt1 closed", texts::kFnCloseDevice);
    }
    write_broken_ = false;
    protocol_file_.reset();
}

void DeviceChannel::AbandonPaths() {
    // A thread ended inside a read leaves it running: ended here, within a
    // bound, or left with the device refusing reads.
    if (read_gate_.Abandon() && device_) device_->EndAbandonedRead();
    // A thread ended inside a write leaves it running; without this every
    // later write would fail until the device is closed.
    if (!write_gate_.Abandon() || !device_) return;
    if (write_gate_.Enter(nullptr) != Gate::Entry::Entered) return;
    GatePass leave(write_gate_);
    if (!device_->EndAbandonedWrite()) write_broken_ = true;
}

}  // namespace orvanta::logic
