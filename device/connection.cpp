// Opening and closing the device, with the protocol file and the write event.
#include "control/orvanta_ctrl.h"
#include "core/reporting.h"
#include "core/texts.h"
#include "device/channel_rules.h"

namespace orvanta {

namespace {
constexpr std::size_t kNoticeBuffer = 512;
}

bool COrvantaCtrl::OpenDevice(const std::string& str_Name) {
    CloseDevice();
    m_platform.ports.Sleep(200);
    DbgMsg("Start", texts::kFnOpenDevice);

    // Emptied by every open; a protocol file that cannot be made stays null
    // and the echo then does nothing.
    m_hProtocolFile = m_platform.ports.CreateNewFile(texts::kProtocolFileName);

    h_Lpt1 = m_platform.ports.OpenDevice(PlatformDeviceName(str_Name).c_str());
    if (!h_Lpt1) {
        DbgMsg("nicht offen.", texts::kFnOpenDevice);  // first, so it shows the open's error
        char message[kNoticeBuffer];
        FormatFitted(message, sizeof message, texts::kCannotOpen, str_Name.c_str());
        ShowNotice(message, texts::kCaptionBrisomel);
        return false;
    }
    if (!h_Lpt1->CreateWriteEvent()) {
        DbgMsg("hEvent == NULL.", texts::kFnOpenDevice);
        ShowNotice(texts::kNoEventContext, texts::kCaptionBrisomel);
        return true;
    }
    DbgMsg("OK", texts::kFnOpenDevice);
    return true;
}

void COrvantaCtrl::CloseDevice() {
    DeactivateScanTask(0);
    if (h_Lpt1) {
        h_Lpt1.reset();  // the device and its write event
        DbgMsg("h_Lpt1 closed", texts::kFnCloseDevice);
    }
    m_hProtocolFile.reset();
}

}  // namespace orvanta
