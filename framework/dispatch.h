// IDispatch::Invoke and GetIDsOfNames over a dispatch table: argument
// conversion, result conversion and the standard rejections live here, so a
// control's handler sees only typed values.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/automation.h"

namespace framework {

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

class DispatchHandler {
public:
    enum class Action { kCall, kGet, kPut };
    // Runs one member. For kPut the value is args.number[0] / args.text[0].
    virtual void Dispatch(const framework::AutoMember& member, Action action, DispatchArgs& args,
                          DispatchResult& result) = 0;

protected:
    ~DispatchHandler() = default;
};

HRESULT NamesToIds(const framework::AutoTable& table, LPOLESTR* names, UINT count, DISPID* ids);

HRESULT InvokeTable(const framework::AutoTable& table, DispatchHandler& handler, DISPID id,
                    WORD flags, DISPPARAMS* params, VARIANT* result, UINT* arg_error);

}  // namespace framework
