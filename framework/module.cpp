#include "framework/module.h"

// The linker's name for the start of the image this code is linked into.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace framework {

HINSTANCE ModuleInstance() {
    // The module that contains this code: the OCX, or a program that links
    // it. A constant: a guarded local would leave the runtime a record of
    // each host thread that first asked, which outlives the module.
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

}  // namespace framework
