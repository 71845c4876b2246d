#include "control/orvanta_ctrl.h"

#include <algorithm>

#include "control/orvanta_ids.h"

namespace orvanta {

COrvantaCtrl::COrvantaCtrl(const Platform& platform)
    : m_ports(platform.ports),
      m_events(platform.events),
      m_report(platform.ui, s),
      m_channel(platform, s, m_report),
      m_reader(m_channel, s, m_report, platform.ports),
      m_session(platform, s, m_report, m_channel, m_reader) {
    if (m_events) m_session.SetListener(this);
}

COrvantaCtrl::~COrvantaCtrl() {
    m_session.SetListener(nullptr);  // no host left to tell
    CloseDevice();
}

bool COrvantaCtrl::OnCodeScanned(const std::string& code) {
    const platform::EventArg arg{platform::AutoType::kBstr, 0, code};
    return m_events->Post(kDispidCodeScanned, &arg, 1);
}

void COrvantaCtrl::OnScanEnded(ScanEnd why) {
    const platform::EventArg arg{platform::AutoType::kI4, static_cast<std::int32_t>(why), {}};
    m_events->Post(kDispidScanEnded, &arg, 1);
}

void COrvantaCtrl::OnDraw(platform::Canvas& canvas, const platform::Rect& bounds,
                          const platform::Rect& /*invalid: the whole picture is cheap*/) {
    // Only a rectangle without width or height has nothing to show; one whose
    // bottom lies above its top (a y-axis going up) is the same rectangle.
    if (bounds.right == bounds.left || bounds.bottom == bounds.top) return;
    const platform::Rect r{std::min(bounds.left, bounds.right), std::min(bounds.top, bounds.bottom),
                           std::max(bounds.left, bounds.right), std::max(bounds.top, bounds.bottom)};
    canvas.FillWhite(r);
    canvas.Ellipse(r);
}

}  // namespace orvanta
