// A dispatch table as data: each member's name, DISPID, kind, types and
// calls. The COM layer binds calls through it; nothing here needs Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace framework {

// kVariant only as a result: a list of texts, as an array of VARIANTs.
enum class AutoType : std::uint8_t { kVoid, kBool, kBstr, kI2, kI4, kVariant };

// Arguments of one call, converted to the member's parameter types. String
// arguments are the call's private ANSI copies: a handler may change them,
// and nothing reaches the host.
struct DispatchArgs {
    static constexpr int kMax = 3;
    std::int32_t number[kMax] = {};
    std::string text[kMax];
    std::u16string wide[kMax];  // the same texts as the host wrote them (file and device names)
};

// A handler's result; the framework converts it to the member's type.
struct DispatchResult {
    std::int32_t number = 0;
    std::string text;
    std::vector<std::string> list;  // kVariant: an array of texts
};

// Runs a member on the object its handler passes, with the converted arguments.
using AutoCall = void (*)(void* target, DispatchArgs& args, DispatchResult& result);

struct AutoMember {
    const char* name;
    std::int32_t dispid;
    bool is_property;
    AutoType type;  // a method's result, or a property's value
    std::uint8_t param_count;
    AutoType params[3];
    AutoCall call;  // a method's call, or a property's get
    AutoCall put;   // a property's put; none for a method or a read-only property
};

struct AutoTable {
    const AutoMember* members;
    std::size_t count;

    // Names compare without regard to letter case, as automation clients
    // expect; only ASCII letters fold, so no locale can change a match.
    template <typename Char>
    const AutoMember* FindByName(const Char* name) const {
        if (!name) return nullptr;
        for (std::size_t i = 0; i < count; ++i)
            if (SameName(members[i].name, name)) return &members[i];
        return nullptr;
    }
    const AutoMember* FindById(std::int32_t dispid) const {
        for (std::size_t i = 0; i < count; ++i)
            if (members[i].dispid == dispid) return &members[i];
        return nullptr;
    }

private:
    static std::uint32_t Fold(std::uint32_t c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }
    template <typename Char>
    static bool SameName(const char* a, const Char* b) {
        for (;; ++a, ++b) {
            const std::uint32_t ca = static_cast<unsigned char>(*a);
            const std::uint32_t cb = static_cast<std::uint32_t>(*b);
            if (Fold(ca) != Fold(cb)) return false;
            if (ca == 0) return true;
        }
    }
};

}  // namespace framework
