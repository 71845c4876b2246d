// The platform services the control works through, handed down to the
// device channel and the scan session.
#pragma once

#include "platform/host_events.h"
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
    // The host's events, where the control has a host that takes them.
    platform::HostEvents* events = nullptr;
};

}  // namespace orvanta
