// A dispatch table as data: each member's name, DISPID, kind and types. The
// COM layer binds calls through it; nothing here needs Windows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace framework {

// kVariant only as a result: a list of texts, as an array of VARIANTs.
enum class AutoType : std::uint8_t { kVoid, kBool, kBstr, kI2, kI4, kVariant };

struct AutoMember {
    const char* name;
    std::int32_t dispid;
    bool is_property;
    AutoType type;  // a method's result, or a property's value
    std::uint8_t param_count;
    AutoType params[3];
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
