#include "framework/dispatch.h"

#include "framework/com_util.h"

namespace framework {

namespace {

using framework::AutoType;

VARTYPE VarTypeOf(AutoType t) {
    switch (t) {
    case AutoType::kBool: return VT_BOOL;
    case AutoType::kBstr: return VT_BSTR;
    case AutoType::kI2: return VT_I2;
    case AutoType::kI4: return VT_I4;
    case AutoType::kVariant: return VT_VARIANT;
    case AutoType::kVoid: break;
    }
    return VT_EMPTY;
}

// Converts one host value; script hosts pass variables by reference
// (VT_VARIANT | VT_BYREF) and numbers as VT_I4 or VT_R8.
HRESULT Convert(const VARIANT& in, AutoType type, DispatchArgs& args, int index) {
    const VARIANT* source = &in;
    while (V_VT(source) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(source)) source = V_VARIANTREF(source);
    if (V_VT(source) == VT_ERROR && V_ERROR(source) == DISP_E_PARAMNOTFOUND) return DISP_E_PARAMNOTOPTIONAL;
    Variant converted;
    HRESULT hr = VariantChangeType(converted.get(), const_cast<VARIANT*>(source), 0, VarTypeOf(type));
    if (FAILED(hr)) return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
    const VARIANT& v = *converted.get();
    switch (type) {
    case AutoType::kBool: args.number[index] = V_BOOL(&v) ? 1 : 0; break;
    case AutoType::kI2: args.number[index] = V_I2(&v); break;
    case AutoType::kI4: args.number[index] = V_I4(&v); break;
    case AutoType::kBstr:
        args.text[index] = ToAnsi(V_BSTR(&v));
        args.wide[index].assign(reinterpret_cast<const char16_t*>(V_BSTR(&v)), SysStringLen(V_BSTR(&v)));
        break;
    case AutoType::kVariant:
    case AutoType::kVoid: break;
    }
    return S_OK;
}

// A zero-based array of VARIANTs, each a BSTR: what For Each, UBound,
// VBArray().toArray() and .NET's object[] all take.
HRESULT StoreList(const std::vector<std::string>& list, VARIANT* out) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(list.size()));
    if (!array) return E_OUTOFMEMORY;
    for (LONG i = 0; i < static_cast<LONG>(list.size()); ++i) {
        Variant item;
        V_BSTR(item.get()) = AnsiToBstr(list[static_cast<std::size_t>(i)]);
        if (!V_BSTR(item.get())) {
            SafeArrayDestroy(array);
            return E_OUTOFMEMORY;
        }
        V_VT(item.get()) = VT_BSTR;
        const HRESULT hr = SafeArrayPutElement(array, &i, item.get());  // copies
        if (FAILED(hr)) {
            SafeArrayDestroy(array);
            return hr;
        }
    }
    V_VT(out) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(out) = array;
    return S_OK;
}

}  // namespace

HRESULT ToVariant(AutoType type, std::int32_t number, const std::string& text, const std::vector<std::string>& list,
                  VARIANT* out) {
    VariantInit(out);
    switch (type) {
    case AutoType::kVoid: break;
    case AutoType::kBool:
        V_VT(out) = VT_BOOL;
        V_BOOL(out) = number ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case AutoType::kI2:
        V_VT(out) = VT_I2;
        V_I2(out) = static_cast<SHORT>(number);
        break;
    case AutoType::kI4:
        V_VT(out) = VT_I4;
        V_I4(out) = number;
        break;
    case AutoType::kBstr: {
        BSTR b = AnsiToBstr(text);
        if (!b) return E_OUTOFMEMORY;
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = b;
        break;
    }
    case AutoType::kVariant: return StoreList(list, out);
    }
    return S_OK;
}


HRESULT NamesToIds(const framework::AutoTable& table, LPOLESTR* names, UINT count, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    HRESULT hr = S_OK;
    const framework::AutoMember* m = table.FindByName(names[0]);
    ids[0] = m ? m->dispid : DISPID_UNKNOWN;
    if (!m) hr = DISP_E_UNKNOWNNAME;
    // No member declares named parameters.
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT InvokeTable(const framework::AutoTable& table, DispatchHandler& handler, DISPID id,
                    WORD flags, DISPPARAMS* params, VARIANT* result, UINT* arg_error) {
    const framework::AutoMember* m = table.FindById(id);
    if (!m) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_INVALIDARG;
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    const bool get = (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0;

    using Action = DispatchHandler::Action;
    Action action;
    int expected;
    if (m->is_property) {
        if (put) {
            if (!m->put) return DISP_E_MEMBERNOTFOUND;  // read-only
            action = Action::kPut;
            expected = 1;
            if (params->cNamedArgs > 1 ||
                (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
                return DISP_E_PARAMNOTFOUND;
        } else if (get) {
            action = Action::kGet;
            expected = 0;
        } else {
            return DISP_E_MEMBERNOTFOUND;
        }
    } else {
        if (put || !get) return DISP_E_MEMBERNOTFOUND;
        action = Action::kCall;
        expected = m->param_count;
        if (params->cNamedArgs) return DISP_E_NONAMEDARGS;
    }
    if (static_cast<int>(params->cArgs) != expected) return DISP_E_BADPARAMCOUNT;

    DispatchArgs args;
    for (int i = 0; i < expected; ++i) {
        // rgvarg holds the arguments last first.
        const UINT at = params->cArgs - 1 - static_cast<UINT>(i);
        const AutoType type = action == Action::kPut ? m->type : m->params[i];
        const HRESULT hr = Convert(params->rgvarg[at], type, args, i);
        if (FAILED(hr)) {
            if (arg_error) *arg_error = at;
            return hr;
        }
    }
    DispatchResult r;
    handler.Dispatch(*m, action, args, r);
    if (action == Action::kPut) {
        if (result) VariantInit(result);
        return S_OK;
    }
    if (!result) return S_OK;
    return ToVariant(m->type, r.number, r.text, r.list, result);
}

}  // namespace framework
