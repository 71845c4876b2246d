// Which errors of a port's calls mean that the device behind its name is
// gone (unplugged, its driver removed, the PC asleep): every handle opened
// before is dead for good, and only a new open of the name can reach the
// device again. Needs no Windows, so the unit tests reach the table.
#pragma once

#include <cstdint>

namespace orvanta::windows {

// `cancel_asked`: the call was cancelled by us, so an abort is no loss.
bool MeansDeviceGone(std::uint32_t error, bool cancel_asked = false);

}  // namespace orvanta::windows
