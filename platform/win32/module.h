// The module (DLL or test program) that holds the control's code and resources.
#pragma once

#include <windows.h>

namespace orvanta::win32 {

HINSTANCE ModuleInstance();

}  // namespace orvanta::win32
