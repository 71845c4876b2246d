// Opening and closing the device, with the protocol file and the write event.
#include "logic/settings/reporting.h"
#include "logic/settings/texts.h"
#include "logic/device/channel.h"
#include "logic/device/channel_rules.h"

namespace orvanta::logic {

namespace {
constexpr std::size_t kNoticeBuffer = 512;
}

DeviceChannel::DeviceChannel(const interfaces::Platform& platform, const Settings& settings, Reporter& report)
    : m_platform(platform),
      m_settings(settings),
      m_report(report),
      m_writeGate(platform.threads),
      m_readGate(platform.threads) {}

DeviceChannel::~DeviceChannel() { Close(); }

bool DeviceChannel::Open(const std::string& str_Name, const std::u16string& wide) {
    Close();
    m_platform.ports.Sleep(200);
    m_report.DbgMsg("Start", texts::kFnOpenDevice);

    // Emptied by every open; a protocol file that cannot be made stays null
    // and the echo then does nothing.
    m_hProtocolFile = m_platform.ports.CreateNewFile(texts::kProtocolFileName);

    // The same rule for the name as written: "COM10" has no character the
    // code page could lose, so the prefix is the only difference.
    const std::string platform_name = PlatformDeviceName(str_Name);
    const std::u16string wide_name =
        wide.empty() || platform_name == str_Name ? wide : u"\\\\.\\" + wide;
    h_Lpt1 = m_platform.ports.OpenDevice(platform_name.c_str(), wide_name.empty() ? nullptr : wide_name.c_str());
    if (!h_Lpt1) {
        m_report.DbgMsg("nicht offen.", texts::kFnOpenDevice);  // first, so it shows the open's error
        char message[kNoticeBuffer];
        FormatFitted(message, sizeof message, texts::kCannotOpen, str_Name.c_str());
        m_report.ShowNotice(message, texts::kCaptionBrisomel);
        return false;
    }
    if (!h_Lpt1->CreateWriteEvent()) {
        m_report.DbgMsg("hEvent == NULL.", texts::kFnOpenDevice);
        m_report.ShowNotice(texts::kNoEventContext, texts::kCaptionBrisomel);
        return true;
    }
    m_report.DbgMsg("OK", texts::kFnOpenDevice);
    return true;
}

void DeviceChannel::Close() {
    if (h_Lpt1) {
        // Closed now, also while an operation that called the host back from
        // a box still holds it: the port is free for a new open at once.
        h_Lpt1->Close();
        h_Lpt1.reset();
        m_report.DbgMsg("h_Lpt1 closed", texts::kFnCloseDevice);
    }
    m_writeBroken = false;
    m_hProtocolFile.reset();
}

void DeviceChannel::AbandonPaths() {
    // A thread ended inside a read leaves its record outstanding: ended here,
    // within a bound, or left to the driver with the device refusing reads.
    if (m_readGate.Abandon() && h_Lpt1) h_Lpt1->CancelRead();
    // A thread ended inside a write leaves the record outstanding; without
    // this every later write would fail until the device is closed.
    if (!m_writeGate.Abandon() || !h_Lpt1) return;
    if (m_writeGate.Enter(nullptr) != Gate::Entry::Entered) return;
    GatePass leave(m_writeGate);
    if (!h_Lpt1->CancelWrite()) m_writeBroken = true;
}

}  // namespace orvanta::logic
