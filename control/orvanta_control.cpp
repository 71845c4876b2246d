#include "control/orvanta_control.h"

#include <algorithm>

#include "control/orvanta_ids.h"

namespace orvanta {

OrvantaControl::OrvantaControl(const interfaces::Platform& platform, framework::HostEvents* events)
    : ports_(platform.ports),
      events_(events),
      report_(platform.ui, settings_),
      channel_(platform, settings_, report_),
      reader_(channel_, platform.ports),
      session_(platform, settings_, report_, channel_, reader_) {
    if (events_) session_.SetListener(this);
}

OrvantaControl::~OrvantaControl() {
    session_.SetListener(nullptr);  // no host left to tell
    CloseDevice();
}

bool OrvantaControl::OnCodeScanned(const std::string& code) {
    const framework::EventArg arg{framework::AutoType::kBstr, 0, code};
    return events_->Post(kDispidCodeScanned, &arg, 1);
}

void OrvantaControl::OnScanEnded(logic::ScanEnd why) {
    const framework::EventArg arg{framework::AutoType::kI4, static_cast<std::int32_t>(why), {}};
    events_->Post(kDispidScanEnded, &arg, 1, /*last=*/true);
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
