#include "control/orvanta_members.h"

#include "control/orvanta_ids.h"
#include "control/orvanta_member_list.h"

namespace orvanta {

namespace {

using framework::AutoMember;
using T = framework::AutoType;

// The type names as the member list writes them.
constexpr T kVoid = T::kVoid, kBool = T::kBool, kBstr = T::kBstr, kI2 = T::kI2, kI4 = T::kI4,
            kVariant = T::kVariant;

#define ORVANTA_TYPES(...) {__VA_ARGS__}
#define ORVANTA_METHOD(name, dispid, result, count, params) \
    {#name, kDispid##name, false, result, count, ORVANTA_TYPES params},
#define ORVANTA_PROPERTY(name, dispid, type) {#name, kDispid##name, true, type, 0, {}},

constexpr AutoMember kMembers[] = {ORVANTA_MEMBERS(ORVANTA_METHOD, ORVANTA_PROPERTY)};

#undef ORVANTA_PROPERTY
#undef ORVANTA_METHOD
#undef ORVANTA_TYPES

constexpr framework::AutoTable kTable{kMembers, sizeof kMembers / sizeof kMembers[0]};

}  // namespace

const framework::AutoTable& OrvantaMembers() { return kTable; }

}  // namespace orvanta
