// The dispatch table made from the member list: checked against
// control/orvanta.idl, the description the type library is built from (every
// DISPID, name, kind, result, parameter type and parameter name the same, and
// nothing on one side only), and looked up as GetIDsOfNames does.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <regex>
#include <sstream>
#include <string>

#include "control/orvanta_member_list.h"
#include "control/orvanta_members.h"

namespace orvanta {
namespace {

std::string TypeName(framework::AutoType type) {
    switch (type) {
    case framework::AutoType::kVoid: return "void";
    case framework::AutoType::kBool: return "VARIANT_BOOL";
    case framework::AutoType::kBstr: return "BSTR";
    case framework::AutoType::kI2: return "short";
    case framework::AutoType::kI4: return "long";
    case framework::AutoType::kVariant: return "VARIANT";
    }
    return "?";
}

// One line per member, as "id kind type name(param types)".
std::string Describe(const framework::AutoMember& m) {
    std::string line = std::to_string(m.dispid) + (m.is_property ? " property " : " method ") +
                       TypeName(m.type) + " " + m.name;
    if (m.is_property) return line;
    line += "(";
    for (int i = 0; i < m.param_count; ++i) line += (i ? "," : "") + TypeName(m.params[i]);
    return line + ")";
}

// The members of one dispinterface of control/orvanta.idl, described as above;
// or only its methods with their parameter names, as "Name(a, b)".
std::multiset<std::string> FromIdl(const std::string& interface_name, bool names = false) {
    std::ifstream idl(ORVANTA_SOURCE_DIR "/control/orvanta.idl");
    std::stringstream text;
    text << idl.rdbuf();
    const std::string all = text.str();
    const std::size_t begin = all.find("dispinterface " + interface_name + "\n");
    if (begin == std::string::npos) return {};
    const std::string body = all.substr(begin, all.find("};", begin) - begin);

    const std::regex member(R"(\[id\((-?\d+)\)\]\s+(\w+)\s+(\w+)\s*(\(([^)]*)\))?\s*;)");
    const std::regex param(R"((\w+)\s+(\w+)\s*(,|$))");
    std::multiset<std::string> from_idl;
    for (std::sregex_iterator it(body.begin(), body.end(), member), end; it != end; ++it) {
        const std::smatch& m = *it;
        if (names && !m[4].matched) continue;
        std::string line = names ? m[3].str()
                                 : m[1].str() + (m[4].matched ? " method " : " property ") + m[2].str() + " " + m[3].str();
        if (m[4].matched) {
            const std::string params = m[5].str();
            line += "(";
            int i = 0;
            for (std::sregex_iterator p(params.begin(), params.end(), param), pend; p != pend; ++p)
                line += (i++ ? (names ? ", " : ",") : "") + (*p)[names ? 2 : 1].str();
            line += ")";
        }
        from_idl.insert(line);
    }
    return from_idl;
}

TEST(DispatchTable, MatchesTheInterfaceDescription) {
    const std::multiset<std::string> from_idl = FromIdl("_DOrvanta");
    std::multiset<std::string> from_table;
    const auto& table = OrvantaMembers();
    for (std::size_t i = 0; i < table.count; ++i) from_table.insert(Describe(table.members[i]));
    EXPECT_EQ(from_idl.size(), 28u);
    EXPECT_EQ(from_table, from_idl);

    // The events: names and DISPIDs as the IDL has them.
    std::multiset<std::string> events, idl_events;
#define ORVANTA_EVENT(name, dispid, ...) events.insert(std::to_string(dispid) + " method void " #name);
    ORVANTA_EVENTS(ORVANTA_EVENT)
#undef ORVANTA_EVENT
    for (const std::string& line : FromIdl("_DOrvantaEvents")) idl_events.insert(line.substr(0, line.find('(')));
    EXPECT_EQ(events, idl_events);
}

TEST(DispatchTable, ParameterNamesAreTheInterfaceDescriptions) {
    std::multiset<std::string> from_list;
#define ORVANTA_NAMES(name, dispid, result, part, types, names) from_list.insert(#name #names);
#define ORVANTA_NONE(...)
    ORVANTA_MEMBERS(ORVANTA_NAMES, ORVANTA_NONE)
#undef ORVANTA_NONE
#undef ORVANTA_NAMES
    EXPECT_EQ(from_list, FromIdl("_DOrvanta", true));
}

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
