// Events a control raises to its host: queued from any thread, fired later
// on the thread that created the control, through its message loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/automation.h"

namespace framework {

// One argument of an event, passed by value (kBstr as ANSI text, the others as a number).
struct EventArg {
    AutoType type;
    std::int32_t number = 0;
    std::string text;
};

// The C++ type an event argument of each type is given as.
template <AutoType T> struct EventValue { using Type = std::int32_t; };
template <> struct EventValue<AutoType::kBool> { using Type = bool; };
template <> struct EventValue<AutoType::kI2> { using Type = std::int16_t; };
template <> struct EventValue<AutoType::kBstr> { using Type = std::string; };

template <AutoType T>
EventArg MakeEventArg(const typename EventValue<T>::Type& value) {
    if constexpr (T == AutoType::kBstr) return {T, 0, value};
    else return {T, static_cast<std::int32_t>(value), {}};
}

class HostEvents {
public:
    // Queues the event for the host's thread; true when it was queued for at
    // least one connected sink, false (nothing queued) when none listens or
    // the queue cannot take it. `last`: an object's closing event, queued
    // even when the queue is full, so it always comes once. Safe from any
    // thread; never calls a sink itself.
    virtual bool Post(std::int32_t dispid, const EventArg* args, std::size_t count, bool last = false) = 0;

protected:
    ~HostEvents() = default;
};

// Posts an event whose parameters have the types T, first parameter first.
template <AutoType... T>
bool PostEvent(HostEvents& to, std::int32_t dispid, bool last, const typename EventValue<T>::Type&... values) {
    const EventArg args[] = {MakeEventArg<T>(values)..., EventArg{AutoType::kVoid, 0, {}}};
    return to.Post(dispid, args, sizeof...(T), last);
}

}  // namespace framework
