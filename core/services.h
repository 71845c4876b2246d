// The platform services the control works through, handed down to the
// device channel and the scan session.
#pragma once

#include "platform/input.h"
#include "platform/port.h"
#include "platform/threads.h"
#include "platform/user_interface.h"

namespace orvanta {

struct Platform {
    platform::UserInterface& ui;
    platform::Ports& ports;
    platform::Input& input;
    platform::Threads& threads;
};

}  // namespace orvanta
