// The dispatch table made from the member list, looked up as GetIDsOfNames
// does. The type library is made from the same list (the Wine test
// TypeLibrary reads it back member by member).
#include <gtest/gtest.h>

#include <cstdint>

#include "control/orvanta_members.h"

namespace orvanta {
namespace {

// Member lookup by name, as GetIDsOfNames uses it.
TEST(DispatchTable, NamesResolveWithoutRegardToCaseAndOnlyWholly) {
    const auto& table = OrvantaMembers();
    struct Case {
        const char* name;
        bool found;
        std::int32_t dispid;
    };
    const Case cases[] = {
        {"write", true, 1},       {"WRITE", true, 1},          {"Writeln", true, 3},
        {"aboutbox", true, -552}, {"CHARTOOEM", true, 26},     {"scancodefromcom", true, 14},
        {"Writ", false, 0},       {"Writelnx", false, 0},      {"", false, 0},
        {"Write ", false, 0},     {"with\xC4" "CKN", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto* m = table.FindByName(c.name);
        ASSERT_EQ(m != nullptr, c.found);
        if (m) {
            EXPECT_EQ(m->dispid, c.dispid);
        }
    }
    const wchar_t wide[] = L"ThreadID";
    ASSERT_NE(table.FindByName(wide), nullptr);
    EXPECT_EQ(table.FindByName(wide)->dispid, 23);
    EXPECT_EQ(table.FindByName(static_cast<const wchar_t*>(nullptr)), nullptr);
}

}  // namespace
}  // namespace orvanta
