#include "control/orvanta_ctrl.h"

namespace orvanta {

COrvantaCtrl::COrvantaCtrl(const Platform& platform)
    : m_report(platform.ui, s),
      m_channel(platform, s, m_report),
      m_reader(m_channel, s, m_report, platform.ports),
      m_session(platform, s, m_report, m_channel, m_reader) {}

COrvantaCtrl::~COrvantaCtrl() { CloseDevice(); }

void COrvantaCtrl::OnDraw(platform::Canvas& canvas, const platform::Rect& bounds,
                          const platform::Rect& /*invalid: the whole picture is cheap*/) {
    if (bounds.IsEmpty()) return;
    canvas.FillWhite(bounds);
    canvas.Ellipse(bounds);
}

}  // namespace orvanta
