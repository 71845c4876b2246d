#include "control/orvanta_control.h"

#include <algorithm>

#include "control/orvanta_ids.h"

namespace orvanta {

OrvantaControl::OrvantaControl(const interfaces::Platform& platform)
    : m_ports(platform.ports),
      m_events(platform.events),
      m_report(platform.ui, s),
      m_channel(platform, s, m_report),
      m_reader(m_channel, s, m_report, platform.ports),
      m_session(platform, s, m_report, m_channel, m_reader) {
    if (m_events) m_session.SetListener(this);
}

OrvantaControl::~OrvantaControl() {
    m_session.SetListener(nullptr);  // no host left to tell
    CloseDevice();
}

bool OrvantaControl::OnCodeScanned(const std::string& code) {
    const framework::EventArg arg{framework::AutoType::kBstr, 0, code};
    return m_events->Post(kDispidCodeScanned, &arg, 1);
}

void OrvantaControl::OnScanEnded(logic::ScanEnd why) {
    const framework::EventArg arg{framework::AutoType::kI4, static_cast<std::int32_t>(why), {}};
    m_events->Post(kDispidScanEnded, &arg, 1);
}

void OrvantaControl::OnDraw(interfaces::Canvas& canvas, const interfaces::Rect& bounds,
                          const interfaces::Rect& /*invalid: the whole picture is cheap*/) {
    // Only a rectangle without width or height has nothing to show; one whose
    // bottom lies above its top (a y-axis going up) is the same rectangle.
    if (bounds.right == bounds.left || bounds.bottom == bounds.top) return;
    const interfaces::Rect r{std::min(bounds.left, bounds.right), std::min(bounds.top, bounds.bottom),
                           std::max(bounds.left, bounds.right), std::max(bounds.top, bounds.bottom)};
    canvas.FillWhite(r);
    canvas.Ellipse(r);
}

}  // namespace orvanta
