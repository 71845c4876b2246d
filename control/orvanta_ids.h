// The DISPIDs of the automation interface _DOrvanta and of its events, for code that binds
// calls to the control without the Windows headers, generated from the member
// list; the GUIDs live only in control/orvanta.idl (C++ gets them from the
// generated orvanta.h).
#pragma once

#include <cstdint>

#include "control/orvanta_member_list.h"

namespace orvanta {

#define ORVANTA_DISPID(name, dispid, ...) kDispid##name = dispid,
enum Dispid : std::int32_t { ORVANTA_MEMBERS(ORVANTA_DISPID, ORVANTA_DISPID) };
enum EventDispid : std::int32_t { ORVANTA_EVENTS(ORVANTA_DISPID) };
#undef ORVANTA_DISPID

#define ORVANTA_ONE(...) +1
#define ORVANTA_NONE(...)
inline constexpr int kMethodCount = 0 ORVANTA_MEMBERS(ORVANTA_ONE, ORVANTA_NONE);  // with AboutBox
inline constexpr int kPropertyCount = 0 ORVANTA_MEMBERS(ORVANTA_NONE, ORVANTA_ONE);
inline constexpr int kEventCount = 0 ORVANTA_EVENTS(ORVANTA_ONE);
#undef ORVANTA_ONE
#undef ORVANTA_NONE

}  // namespace orvanta
