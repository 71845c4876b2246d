// The DISPIDs of the automation interface _DOrvanta and of its events, their
// counts and timings, for code that binds calls to the control without the
// Windows headers, generated from the member list; and the type library's
// version. The GUIDs live only in control/orvanta.idl.in (C++ gets them from
// the generated orvanta.h).
#pragma once

#include <cstdint>

#include "control/orvanta_member_list.h"

namespace orvanta {

// The version of the type library (control/member_list.py writes it into the
// library), registered and unregistered under it.
inline constexpr std::uint16_t kLibraryMajor = 1;
inline constexpr std::uint16_t kLibraryMinor = 0;

#define ORVANTA_DISPID(name, dispid, ...) kDispid##name = dispid,
enum Dispid : std::int32_t { ORVANTA_MEMBERS(ORVANTA_DISPID, ORVANTA_DISPID, ORVANTA_DISPID) };
enum EventDispid : std::int32_t { ORVANTA_EVENTS(ORVANTA_DISPID) };
#undef ORVANTA_DISPID

#define ORVANTA_ONE(...) +1
#define ORVANTA_NONE(...)
inline constexpr int kMethodCount = 0 ORVANTA_MEMBERS(ORVANTA_ONE, ORVANTA_NONE, ORVANTA_NONE);  // with AboutBox
inline constexpr int kPropertyCount = 0 ORVANTA_MEMBERS(ORVANTA_NONE, ORVANTA_ONE, ORVANTA_ONE);
inline constexpr int kMemberCount = kMethodCount + kPropertyCount;
inline constexpr int kEventCount = 0 ORVANTA_EVENTS(ORVANTA_ONE);
#undef ORVANTA_ONE

// Whether the method may wait on the device (its timing in the list).
#define ORVANTA_TIMING_waits true
#define ORVANTA_TIMING_prompt false
#define ORVANTA_WAITS(name, dispid, result, part, timing, ...) || (id == kDispid##name && ORVANTA_TIMING_##timing)
constexpr bool MemberWaits(std::int32_t id) { return false ORVANTA_MEMBERS(ORVANTA_WAITS, ORVANTA_NONE, ORVANTA_NONE); }
#undef ORVANTA_WAITS
#undef ORVANTA_TIMING_prompt
#undef ORVANTA_TIMING_waits

// The first DISPID above every member's: no member answers to it.
#define ORVANTA_ABOVE(name, dispid, ...) next = dispid >= next ? dispid + 1 : next;
constexpr std::int32_t UnusedDispid() {
    std::int32_t next = 1;
    ORVANTA_MEMBERS(ORVANTA_ABOVE, ORVANTA_ABOVE, ORVANTA_ABOVE)
    return next;
}
#undef ORVANTA_ABOVE
#undef ORVANTA_NONE
inline constexpr std::int32_t kUnusedDispid = UnusedDispid();

}  // namespace orvanta
