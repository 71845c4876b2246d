// The module's four exports. No class is served yet: every request answers
// "nothing here" and the module may always be unloaded.
#include <windows.h>
#include <olectl.h>

extern "C" {

STDAPI DllCanUnloadNow() { return S_OK; }

STDAPI DllGetClassObject(REFCLSID /*clsid*/, REFIID /*iid*/, LPVOID* out) {
    if (out) *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer() { return E_NOTIMPL; }

STDAPI DllUnregisterServer() { return E_NOTIMPL; }

}  // extern "C"
