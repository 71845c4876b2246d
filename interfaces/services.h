// The platform services the control works through, handed down to the
// device channel and the scan session.
#pragma once

#include "interfaces/input.h"
#include "interfaces/port_details.h"
#include "interfaces/port.h"
#include "interfaces/threads.h"
#include "interfaces/user_interface.h"

namespace orvanta::interfaces {

struct Platform {
    interfaces::UserInterface& ui;
    interfaces::Ports& ports;
    interfaces::Input& input;
    interfaces::Threads& threads;
    // What the system knows of its port devices; none where it is null.
    interfaces::DeviceInformation* device_information = nullptr;
};

}  // namespace orvanta::interfaces
