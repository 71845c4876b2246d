// The control through automation: the module loaded as a host loads it, the
// control made by its class object and driven through IDispatch only.
#pragma once

#include <ocidl.h>

#include "bench/bench.h"

namespace bench {

class Automation {
public:
    explicit Automation(const std::string& path) {
        if (path.empty()) return;
        module_ = LoadLibraryA(path.c_str());
        if (!module_) return;
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto get = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        if (!get) return;
        IClassFactory* factory = nullptr;
        if (FAILED(get(CLSID_Orvanta, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return;
        factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch_));
        factory->Release();
    }
    ~Automation() {
        if (point_) {
            point_->Unadvise(cookie_);
            point_->Release();
        }
        if (dispatch_) dispatch_->Release();
        if (module_) FreeLibrary(module_);
    }
    bool ok() const { return dispatch_ != nullptr; }

    DISPID Id(const wchar_t* name) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
        dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        return id;
    }
    // A method with at most one text argument; its result as a number.
    long Call(DISPID id, BSTR text) {
        VARIANT arg;
        VariantInit(&arg);
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = text;
        DISPPARAMS params = {&arg, nullptr, text ? 1u : 0u, 0};
        VARIANT result;
        VariantInit(&result);
        UINT arg_error = 0;
        long value = -1;
        if (SUCCEEDED(dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                                        nullptr, &arg_error))) {
            VARIANT number;
            VariantInit(&number);
            value = SUCCEEDED(VariantChangeType(&number, &result, 0, VT_I4)) ? V_I4(&number) : 0;
            VariantClear(&number);
        }
        VariantClear(&result);
        return value;
    }
    long Call(const wchar_t* name, const wchar_t* text) {
        BSTR b = text ? SysAllocString(text) : nullptr;
        const long value = Call(Id(name), b);
        if (b) SysFreeString(b);
        return value;
    }

    bool Put(const wchar_t* name, VARIANT value) {
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params = {&value, &put, 1, 1};
        return SUCCEEDED(dispatch_->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                                           &params, nullptr, nullptr, nullptr));
    }
    // Connects `sink` to the control's events: its one connection point
    // besides the property notifications.
    bool Connect(IDispatch* sink) {
        IConnectionPointContainer* container = nullptr;
        IEnumConnectionPoints* points = nullptr;
        if (FAILED(dispatch_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))))
            return false;
        const HRESULT listed = container->EnumConnectionPoints(&points);
        container->Release();
        if (FAILED(listed)) return false;
        for (IConnectionPoint* point = nullptr; !point_ && points->Next(1, &point, nullptr) == S_OK;) {
            IID iid = IID_NULL;
            if (SUCCEEDED(point->GetConnectionInterface(&iid)) && !IsEqualIID(iid, IID_IPropertyNotifySink) &&
                SUCCEEDED(point->Advise(sink, &cookie_)))
                point_ = point;
            else
                point->Release();
        }
        points->Release();
        return point_ != nullptr;
    }

private:
    HMODULE module_ = nullptr;
    IDispatch* dispatch_ = nullptr;
    IConnectionPoint* point_ = nullptr;
    DWORD cookie_ = 0;
};

}  // namespace bench
