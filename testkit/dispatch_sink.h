// What the event sinks of the tests and the demo share: IDispatch with no type
// information, the counts of a sink alive all along, a host's VARIANT arguments.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "testkit/text.h"

namespace orvanta::testing {

struct DispatchSink : IDispatch {
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        const bool ok = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch);
        *ppv = ok ? static_cast<IDispatch*>(this) : nullptr;
        return ok ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
};

inline VARIANT Arg(LONG n) { VARIANT v; V_VT(&v) = VT_I4; V_I4(&v) = n; return v; }
// Windows-1252 bytes, as the control's own texts.
inline VARIANT Arg(const std::string& s) {
    VARIANT v; V_VT(&v) = VT_BSTR; V_BSTR(&v) = SysAllocString(Wide(s).c_str()); return v;
}

}  // namespace orvanta::testing
