#include "control/registration.h"

#include <windows.h>

#include <string>
#include <vector>

#include "control/orvanta_com_object.h"
#include "control/orvanta_ids.h"
#include "orvanta.h"
#include "framework/com_util.h"
#include "framework/registry.h"
#include "framework/module.h"
#include "resource.h"

namespace orvanta::registration {

namespace {

using framework::registry::GuidText;
using framework::registry::Value;

constexpr wchar_t kControlProgId[] = L"ORVANTA.OrvantaCtrl.1";
constexpr int kToolboxBitmap = IDB_ORVANTA;

// The type name from the string table; the CLSID text where it is missing.
std::wstring TypeName(UINT id, const std::wstring& clsid) {
    char name[256] = {};
    if (LoadStringA(framework::ModuleInstance(), id, name, sizeof name) <= 0) return clsid;
    return framework::ToWide(name);
}

bool Write(const std::vector<Value>& values) { return framework::registry::WriteValues(values.data(), values.size()); }

}  // namespace

bool UpdateControlRegistry(bool register_class) {
    if (!register_class) return framework::registry::UnregisterClass(CLSID_Orvanta, kControlProgId);
    const std::wstring clsid = GuidText(CLSID_Orvanta);
    const std::wstring libid = GuidText(LIBID_ORVANTALib);
    if (clsid.size() != 38 || libid.size() != 38) return false;
    const std::wstring path = framework::registry::ShortModulePath(framework::ModuleInstance());
    if (path.empty()) return false;
    const std::wstring type_name = TypeName(IDS_ORVANTA, clsid);
    const std::wstring key = L"CLSID\\" + clsid;
    const std::wstring progid = kControlProgId;
    const std::vector<Value> values = {
        {progid, nullptr, type_name},
        {progid + L"\\CLSID", nullptr, clsid},
        {key, nullptr, type_name},
        {key + L"\\ProgID", nullptr, progid},
        {key + L"\\InprocServer32", nullptr, path},
        {key + L"\\ToolboxBitmap32", nullptr, path + L", " + std::to_wstring(kToolboxBitmap)},
        {key + L"\\MiscStatus", nullptr, L"0"},
        {key + L"\\MiscStatus\\1", nullptr, std::to_wstring(OrvantaComObject::kMiscStatus)},
        {key + L"\\Control", nullptr, L""},
        {key + L"\\TypeLib", nullptr, libid},
        {key + L"\\Version", nullptr, std::to_wstring(kLibraryMajor) + L"." + std::to_wstring(kLibraryMinor)},
        // Insertable: hosts list the control among the objects they can insert.
        {progid + L"\\Insertable", nullptr, L""},
        {key + L"\\Insertable", nullptr, L""},
        // Apartment threading: every call arrives on the host's thread.
        {key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
    };
    return Write(values);
}

bool UpdatePageRegistry(bool register_class) {
    if (!register_class) return framework::registry::UnregisterClass(CLSID_OrvantaPropPage, nullptr);
    const std::wstring clsid = GuidText(CLSID_OrvantaPropPage);
    if (clsid.size() != 38) return false;
    const std::wstring path = framework::registry::ShortModulePath(framework::ModuleInstance());
    if (path.empty()) return false;
    const std::wstring key = L"CLSID\\" + clsid;
    const std::vector<Value> values = {
        {key, nullptr, TypeName(IDS_ORVANTA_PPG, clsid)},
        {key + L"\\InprocServer32", nullptr, path},
    };
    return Write(values);
}

}  // namespace orvanta::registration
