// IDispatch::Invoke and GetIDsOfNames over a dispatch table: argument
// conversion, result conversion and the standard rejections live here, so a
// control's handler sees only typed values.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "framework/automation.h"

namespace framework {

class DispatchHandler {
public:
    enum class Action { kCall, kGet, kPut };
    // Runs one member. For kPut the value is args.number[0] / args.text[0].
    virtual void Dispatch(const framework::AutoMember& member, Action action, DispatchArgs& args,
                          DispatchResult& result) = 0;

protected:
    ~DispatchHandler() = default;
};

// A value of the framework's types as a VARIANT the caller owns: results and
// event arguments alike. kVariant takes the list, as an array of texts.
HRESULT ToVariant(AutoType type, std::int32_t number, const std::string& text, const std::vector<std::string>& list,
                  VARIANT* out);

HRESULT NamesToIds(const framework::AutoTable& table, LPOLESTR* names, UINT count, DISPID* ids);

HRESULT InvokeTable(const framework::AutoTable& table, DispatchHandler& handler, DISPID id,
                    WORD flags, DISPPARAMS* params, VARIANT* result, UINT* arg_error);

}  // namespace framework
