// Events a control raises to its host: queued from any thread, fired later
// on the thread that created the control, through its message loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/automation.h"

namespace framework {

// One argument of an event, passed by value (kBstr as ANSI text, kI4 as a number).
struct EventArg {
    AutoType type;
    std::int32_t number = 0;
    std::string text;
};

class HostEvents {
public:
    // Whether the host has connected at least one sink now.
    virtual bool HasListeners() const = 0;
    // Queues the event for the host's thread; true when it was queued for at
    // least one connected sink, false (nothing queued) when none listens or
    // the queue cannot take it. `last`: an object's closing event, queued
    // even when the queue is full, so it always comes once. Safe from any
    // thread; never calls a sink itself.
    virtual bool Post(std::int32_t dispid, const EventArg* args, std::size_t count, bool last = false) = 0;

protected:
    ~HostEvents() = default;
};

}  // namespace framework
