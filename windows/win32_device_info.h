// The system's device information about ports on Windows: SetupAPI's present
// devices of the Ports class and of the COM port interface (USB devices of
// other classes present one too).
#pragma once

#include <vector>

#include "interfaces/port_details.h"

namespace orvanta::windows {

class Win32DeviceInformation : public interfaces::DeviceInformation {
public:
    std::vector<interfaces::PortDeviceRecord> PresentPorts() override;
};

}  // namespace orvanta::windows
