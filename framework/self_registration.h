// A module's self-registration: machine-wide (DllRegisterServer and
// DllUnregisterServer) or for the current user only (DllInstall with "user":
// the same class entries and the type library's keys, all under
// HKEY_CURRENT_USER\Software\Classes, no administrator rights needed).
#pragma once

#include <windows.h>

namespace framework::registry {

enum class InstallScope { Machine, User, Unknown };

// DllInstall's command line: empty or null for the machine, "user" (any
// letter case, blanks around it allowed) for the current user.
InstallScope ParseInstallCommand(const wchar_t* command_line);

// The type library embedded in the module, as it registers.
struct ModuleTypeLib {
    const GUID* libid;
    WORD major;
    WORD minor;
};

// The module's own class-entry update, written relative to HKEY_CLASSES_ROOT.
using UpdateClasses = bool (*)(bool install);

// Registers (install) or removes the type library and the classes in `scope`.
// For the user, `update_classes` runs while HKEY_CLASSES_ROOT stands for the
// user's classes key in this process; DllInstall runs inside regsvr32 or an
// installer, which make no other registry calls meanwhile.
HRESULT UpdateModule(InstallScope scope, bool install, const ModuleTypeLib& lib, UpdateClasses update_classes);

}  // namespace framework::registry
