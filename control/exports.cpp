// The module's five exports, its module object and its two class objects.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
// After the system headers, so that only the control's own GUIDs are
// defined, here and nowhere else in the module.
#include <initguid.h>
#include "orvanta.h"

#include "control/orvanta_com_object.h"
#include "control/orvanta_ids.h"
#include "control/orvanta_property_page.h"
#include "control/registration.h"
#include "framework/com_module.h"
#include "framework/com_util.h"
#include "framework/self_registration.h"

namespace orvanta {

namespace {

framework::ClassFactory g_control_class(CLSID_Orvanta, &OrvantaComObject::Create,
                                        &registration::UpdateControlRegistry);
framework::ClassFactory g_page_class(CLSID_OrvantaPropPage, &OrvantaPropertyPage::Create,
                                     &registration::UpdatePageRegistry);
framework::ClassFactory* const g_classes[] = {&g_control_class, &g_page_class};
framework::ControlModule g_module(g_classes, 2);
const framework::registry::ModuleTypeLib g_library{&LIBID_ORVANTALib, kLibraryMajor, kLibraryMinor};

bool UpdateClasses(bool install) { return g_module.UpdateRegistryAll(install); }

HRESULT Update(framework::registry::InstallScope scope, bool install) {
    return framework::Guard([&] { return framework::registry::UpdateModule(scope, install, g_library, &UpdateClasses); });
}

// The statically linked threads runtime keeps a record (a handle to the
// thread and an event) of each foreign thread that reached it, the loading
// thread among them: the 32-bit unwinder registers its frames through it.
// It frees a record when the thread detaches, which never happens for a
// thread that outlives the module. So an unload hands the unloading thread's
// detach to the module's own thread-detach callbacks first.
void DetachUnloadingThread(HINSTANCE instance) {
    const auto* base = reinterpret_cast<const BYTE*>(instance);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (!entry.VirtualAddress || entry.Size < sizeof(IMAGE_TLS_DIRECTORY)) return;
    const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(base + entry.VirtualAddress);
    const auto* callback = reinterpret_cast<const PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
    for (; callback && *callback; ++callback)
        (*callback)(reinterpret_cast<PVOID>(const_cast<BYTE*>(base)), DLL_THREAD_DETACH, nullptr);
}

}  // namespace

}  // namespace orvanta

using orvanta::g_module;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        g_module.OfferClasses();
        return TRUE;
    }
    if (reason == DLL_PROCESS_DETACH) {
        g_module.WithdrawClasses();
        // Only an unload: at process exit the records go with the process.
        if (!reserved) orvanta::DetachUnloadingThread(instance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() { return g_module.CanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    return framework::Guard([&] { return g_module.GetClassObject(clsid, iid, out); });
}

STDAPI DllRegisterServer() { return orvanta::Update(framework::registry::InstallScope::Machine, true); }

STDAPI DllUnregisterServer() { return orvanta::Update(framework::registry::InstallScope::Machine, false); }

// regsvr32 /n /i:user registers for the current user only (/u /n /i:user
// removes that); an empty command line is the machine-wide registration.
STDAPI DllInstall(BOOL install, LPCWSTR command_line) {
    return framework::Guard([&] {
        return orvanta::Update(framework::registry::ParseInstallCommand(command_line), install != FALSE);
    });
}

}  // extern "C"
