// Registration for the current user only (DllInstall with "user"): the same
// class entries as the machine-wide registration, and the type library's
// keys, all under HKEY_CURRENT_USER\Software\Classes. No administrator
// rights needed.
#pragma once

#include <windows.h>

namespace orvanta::registration {

enum class InstallScope { Machine, User, Unknown };

// DllInstall's command line: empty or null for the machine, "user" (any
// letter case, blanks around it allowed) for the current user.
InstallScope ParseInstallCommand(const wchar_t* command_line);

// Writes (install) or removes the classes and the type library for the
// current user. `update_classes` is the module's own class-entry update; it
// runs while HKEY_CLASSES_ROOT stands for the user's classes key in this
// process. DllInstall runs inside regsvr32 or an installer, which make no
// other registry calls meanwhile.
HRESULT UpdatePerUser(bool install, bool (*update_classes)(bool install));

}  // namespace orvanta::registration
