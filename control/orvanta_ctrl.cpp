#include "control/orvanta_ctrl.h"

#include <algorithm>

namespace orvanta {

COrvantaCtrl::COrvantaCtrl(const Platform& platform)
    : m_report(platform.ui, s),
      m_channel(platform, s, m_report),
      m_reader(m_channel, s, m_report, platform.ports),
      m_session(platform, s, m_report, m_channel, m_reader) {}

COrvantaCtrl::~COrvantaCtrl() { CloseDevice(); }

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
