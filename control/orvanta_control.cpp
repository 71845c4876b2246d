#include "control/orvanta_control.h"

#include <algorithm>

#include "control/orvanta_ids.h"
#include "control/orvanta_member_list.h"
#include "framework/host_events.h"

namespace orvanta {

OrvantaControl::OrvantaControl(const interfaces::Platform& platform, framework::HostEvents* events)
    : ports_(platform.ports),
      device_information_(platform.device_information ? *platform.device_information : no_device_information_),
      events_(events),
      report_(platform.ui, settings_),
      channel_(platform, settings_, report_),
      session_(platform, settings_, report_, channel_) {
    if (events_) session_.SetListener(this);
    if (events_) channel_.SetDeviceWatcher(this);
}

OrvantaControl::~OrvantaControl() {
    session_.SetListener(nullptr);  // no host left to tell
    channel_.SetDeviceWatcher(nullptr);
    CloseDevice();
}

namespace {

// Each event raised with the parameter types of its entry in the list:
// Raise<name>(events, last, arguments...).
// Every type an entry may name, whether an event uses it today or not.
[[maybe_unused]] constexpr framework::AutoType kBool = framework::AutoType::kBool;
[[maybe_unused]] constexpr framework::AutoType kBstr = framework::AutoType::kBstr;
[[maybe_unused]] constexpr framework::AutoType kI2 = framework::AutoType::kI2;
[[maybe_unused]] constexpr framework::AutoType kI4 = framework::AutoType::kI4;
#define ORVANTA_LIST(...) __VA_ARGS__
#define ORVANTA_RAISE(name, dispid, types, names)                                           \
    template <typename... Values>                                                           \
    bool Raise##name(framework::HostEvents& to, bool last, const Values&... values) {       \
        return framework::PostEvent<ORVANTA_LIST types>(to, kDispid##name, last, values...); \
    }
ORVANTA_EVENTS(ORVANTA_RAISE)
#undef ORVANTA_RAISE
#undef ORVANTA_LIST

}  // namespace

bool OrvantaControl::OnCodeScanned(const std::string& code) { return RaiseCodeScanned(*events_, false, code); }

void OrvantaControl::OnScanEnded(logic::ScanEnd why) {
    RaiseScanEnded(*events_, /*last=*/true, static_cast<std::int32_t>(why));
}

void OrvantaControl::OnDeviceLost(const std::string& name, std::uint32_t error) {
    RaiseDeviceLost(*events_, false, name, static_cast<std::int32_t>(error));
}

void OrvantaControl::OnDeviceBack(const std::string& name) { RaiseDeviceBack(*events_, false, name); }

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
