#include "platform/win32/module.h"

namespace orvanta::win32 {

HINSTANCE ModuleInstance() {
    // The module that contains this code: the OCX, or a program that links it.
    static const HINSTANCE instance = [] {
        HMODULE module = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&ModuleInstance), &module);
        return static_cast<HINSTANCE>(module);
    }();
    return instance;
}

}  // namespace orvanta::win32
