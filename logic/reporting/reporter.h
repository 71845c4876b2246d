// The three ways the control tells a person something: the notice, the trace
// report and the debug box. The last two show only in debug mode.
#pragma once

#include <cstdint>

#include "logic/settings/settings.h"
#include "interfaces/user_interface.h"

namespace orvanta::logic {

class Reporter {
public:
    Reporter(interfaces::UserInterface& ui, const Settings& settings) : ui_(ui), settings_(settings) {}

    // The notice dialog, with texts too long for it replaced; its end code.
    int ShowNotice(const char* message, const char* caption);
    // Names the operation, a short message and the thread's last error.
    void DbgMsg(const char* message, const char* function);
    // A box with no owner.
    void DebugBox(const char* text, const char* caption, std::uint32_t style);

private:
    interfaces::UserInterface& ui_;
    const Settings& settings_;
};

}  // namespace orvanta::logic
