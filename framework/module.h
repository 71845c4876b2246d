// The module (DLL or test program) that holds the control's code and resources.
#pragma once

#include <windows.h>

namespace framework {

HINSTANCE ModuleInstance();

}  // namespace framework
