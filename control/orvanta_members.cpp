#include "control/orvanta_members.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "control/orvanta_control.h"
#include "control/orvanta_ids.h"
#include "control/orvanta_member_list.h"
#include "framework/automation.h"

namespace orvanta {

namespace {

using framework::AutoType;
using framework::DispatchArgs;
using framework::DispatchResult;

// The type names as the member list writes them.
constexpr AutoType kVoid = AutoType::kVoid, kBool = AutoType::kBool, kBstr = AutoType::kBstr,
                   kI2 = AutoType::kI2, kI4 = AutoType::kI4, kVariant = AutoType::kVariant;

// The parts as the member list names them.
OrvantaControl& control(void* target) { return *static_cast<OrvantaControl*>(target); }
logic::DeviceChannel& channel(void* target) { return control(target).channel(); }
logic::ScanSession& session(void* target) { return control(target).session(); }

// An argument as the member's parameter type declares it.
template <AutoType T>
auto Arg(DispatchArgs& a, std::size_t i) {
    if constexpr (T == kBstr) return std::move(a.text[i]);
    else if constexpr (T == kBool) return a.number[i] != 0;
    else if constexpr (T == kI2) return static_cast<std::int16_t>(a.number[i]);
    else return a.number[i];
}

// A result into the form the framework converts to the member's type.
void Store(DispatchResult& r, bool v) { r.number = v ? 1 : 0; }
void Store(DispatchResult& r, std::int16_t v) { r.number = v; }
void Store(DispatchResult& r, std::int32_t v) { r.number = v; }
void Store(DispatchResult& r, std::string v) { r.text = std::move(v); }
void Store(DispatchResult& r, std::vector<std::string> v) { r.list = std::move(v); }

template <AutoType... T, typename F, std::size_t... I>
decltype(auto) Apply(F& f, DispatchArgs& a, std::index_sequence<I...>) {
    return f(Arg<T>(a, I)...);
}

// Calls the implementation with the arguments of the list's types. A single
// text also goes as the caller wrote it in Unicode where the implementation
// takes that too: device and file names open by it.
template <AutoType... T, typename F>
void Run(F f, DispatchArgs& a, DispatchResult& r) {
    const auto call = [&]() -> decltype(auto) {
        if constexpr (sizeof...(T) == 1 && ((T == kBstr) && ...) &&
                      std::is_invocable_v<F&, std::string, const std::u16string&>)
            return f(std::move(a.text[0]), a.wide[0]);
        else
            return Apply<T...>(f, a, std::index_sequence_for<decltype(T)...>{});
    };
    if constexpr (std::is_void_v<decltype(call())>) call();
    else Store(r, call());
}

template <AutoType T, typename Field>
void Get(const Field& field, DispatchResult& r) {
    if constexpr (T == kBstr) r.text = field;
    else if constexpr (T == kBool) r.number = field.load() != 0 ? 1 : 0;
    else r.number = field.load();
}

// A put stores the value converted to the field's type (a BOOL as 1 or 0).
template <AutoType T, typename Field>
void Put(Field& field, DispatchArgs& a) {
    if constexpr (T == kBstr) field = std::move(a.text[0]);
    else if constexpr (T == kBool) field.store(a.number[0] != 0 ? 1 : 0);
    else field.store(static_cast<typename Field::value_type>(a.number[0]));
}

#define ORVANTA_LIST(...) __VA_ARGS__

// Each method calls the member of its name on the part the list names.
#define ORVANTA_CALL(name, dispid, result, part, timing, types, names)                              \
    void Call##name(void* target, DispatchArgs& a, DispatchResult& r) {                   \
        auto& p = part(target);                                                           \
        Run<ORVANTA_LIST types>(                                                          \
            [&p](auto&&... x) -> decltype(p.name(std::forward<decltype(x)>(x)...)) {      \
                return p.name(std::forward<decltype(x)>(x)...);                           \
            },                                                                            \
            a, r);                                                                        \
    }
// Each property reads and writes the settings field of its name; a put is a change.
#define ORVANTA_GET_PUT(name, dispid, type)                                                 \
    void Get##name(void* target, DispatchArgs&, DispatchResult& r) {                      \
        Get<type>(control(target).settings().name, r);                                    \
    }                                                                                     \
    void Put##name(void* target, DispatchArgs& a, DispatchResult&) {                      \
        Put<type>(control(target).settings().name, a);                                    \
        control(target).OnPropertyChanged();                                              \
    }
// Each state reads the part's member of its name; it takes no put.
#define ORVANTA_GET(name, dispid, type, part)                                               \
    void Get##name(void* target, DispatchArgs&, DispatchResult& r) { Store(r, part(target).name()); }
// cppcheck cannot parse the generated lambdas; the compilers check them.
// cppcheck-suppress internalAstError
ORVANTA_MEMBERS(ORVANTA_CALL, ORVANTA_GET_PUT, ORVANTA_GET)
#undef ORVANTA_GET
#undef ORVANTA_GET_PUT
#undef ORVANTA_CALL

template <typename... T>
constexpr std::uint8_t CountOf(T...) { return sizeof...(T); }

#define ORVANTA_METHOD(name, dispid, result, part, timing, types, names) \
    {#name, kDispid##name, false, result, CountOf types, {ORVANTA_LIST types}, &Call##name, nullptr},
#define ORVANTA_PROPERTY(name, dispid, type) {#name, kDispid##name, true, type, 0, {}, &Get##name, &Put##name},
#define ORVANTA_STATE(name, dispid, type, part) {#name, kDispid##name, true, type, 0, {}, &Get##name, nullptr},

constexpr framework::AutoMember kMembers[] = {ORVANTA_MEMBERS(ORVANTA_METHOD, ORVANTA_PROPERTY, ORVANTA_STATE)};

#undef ORVANTA_STATE
#undef ORVANTA_PROPERTY
#undef ORVANTA_METHOD
#undef ORVANTA_LIST

constexpr framework::AutoTable kTable{kMembers, sizeof kMembers / sizeof kMembers[0]};

}  // namespace

const framework::AutoTable& OrvantaMembers() { return kTable; }

}  // namespace orvanta
