#include "framework/self_registration.h"

#include <oleauto.h>
#include <olectl.h>

#include <cwctype>
#include <string>
#include <vector>

#include "framework/com_util.h"
#include "framework/handle.h"
#include "framework/module.h"
#include "framework/registry.h"

namespace framework::registry {

namespace {

// PSDispatch: the marshaller every dispinterface uses.
constexpr wchar_t kDispatchProxy[] = L"{00020420-0000-0000-C000-000000000046}";

std::wstring Hex(unsigned value) {
    wchar_t text[16] = {};
    wsprintfW(text, L"%x", value);
    return text;
}

// HKEY_CLASSES_ROOT stands for HKCU\Software\Classes while this lives, so
// that the module's one registry table serves both scopes.
class UserClassesRoot {
public:
    UserClassesRoot() {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            key_.put(), nullptr) != ERROR_SUCCESS)
            return;
        active_ = RegOverridePredefKey(HKEY_CLASSES_ROOT, key_.get()) == ERROR_SUCCESS;
    }
    ~UserClassesRoot() {
        if (active_) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    }
    UserClassesRoot(const UserClassesRoot&) = delete;
    UserClassesRoot& operator=(const UserClassesRoot&) = delete;
    bool Active() const { return active_; }

private:
    UniqueRegKey key_;
    bool active_ = false;
};

std::wstring Directory(const std::wstring& path) {
    const std::wstring::size_type slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The keys RegisterTypeLib writes, taken from the library embedded in the
// module: RegisterTypeLibForUser cannot be relied on for this (some
// platforms register machine-wide through it).
bool WriteTypeLib(HINSTANCE module, REFGUID libid_expected) {
    ComPtr<ITypeLib> lib;
    TLIBATTR lib_attr;
    if (!LoadModuleTypeLib(module, libid_expected, lib.put(), lib_attr)) return false;
    const std::wstring path = ModulePath(module);

    Bstr doc;
    const std::wstring libid = GuidText(lib_attr.guid);
    const std::wstring version = Hex(lib_attr.wMajorVerNum) + L"." + Hex(lib_attr.wMinorVerNum);
    std::wstring title;
    if (SUCCEEDED(lib->GetDocumentation(-1, nullptr, doc.put(), nullptr, nullptr)) && doc.get()) title = doc.get();
    const std::wstring key = L"TypeLib\\" + libid + L"\\" + version;
    std::vector<Value> values = {
        {key, nullptr, title},
        {key + L"\\FLAGS", nullptr, std::to_wstring(lib_attr.wLibFlags)},
        {key + L"\\HELPDIR", nullptr, Directory(path)},
        {key + L"\\" + Hex(lib_attr.lcid) + L"\\" + kOwnPlatform, nullptr, path},
    };
    // Each dispinterface, so that hosts in other apartments can marshal it.
    const UINT count = lib->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind = TKIND_MAX;
        if (FAILED(lib->GetTypeInfoType(i, &kind)) || kind != TKIND_DISPATCH) continue;
        ComPtr<ITypeInfo> info;
        TYPEATTR* type_attr = nullptr;
        if (FAILED(lib->GetTypeInfo(i, info.put())) || FAILED(info->GetTypeAttr(&type_attr))) return false;
        const std::wstring iface = L"Interface\\" + GuidText(type_attr->guid);
        info->ReleaseTypeAttr(type_attr);
        Bstr name;
        std::wstring type_name;
        if (SUCCEEDED(lib->GetDocumentation(static_cast<INT>(i), name.put(), nullptr, nullptr, nullptr)) &&
            name.get())
            type_name = name.get();
        values.push_back({iface, nullptr, type_name});
        values.push_back({iface + L"\\ProxyStubClsid", nullptr, kDispatchProxy});
        values.push_back({iface + L"\\ProxyStubClsid32", nullptr, kDispatchProxy});
        values.push_back({iface + L"\\TypeLib", nullptr, libid});
        values.push_back({iface + L"\\TypeLib", L"Version", version});
    }
    return WriteValues(values.data(), values.size());
}

// Both scopes remove alike: the machine-wide removal's own rules, applied
// to the user's keys for the user.
HRESULT Remove(const ModuleTypeLib& lib, UpdateClasses update_classes) {
    if (!UnregisterTypeLib(*lib.libid, lib.major, lib.minor, LOCALE_NEUTRAL)) return SELFREG_E_TYPELIB;
    if (!update_classes(false)) return SELFREG_E_CLASS;
    return S_OK;
}

}  // namespace

InstallScope ParseInstallCommand(const wchar_t* command_line) {
    std::wstring text = command_line ? command_line : L"";
    const auto blank = [](wchar_t c) { return std::iswspace(c) != 0; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    std::wstring::size_type start = 0;
    while (start < text.size() && blank(text[start])) ++start;
    text.erase(0, start);
    if (text.empty()) return InstallScope::Machine;
    if (lstrcmpiW(text.c_str(), L"user") == 0) return InstallScope::User;
    return InstallScope::Unknown;
}

HRESULT UpdateModule(InstallScope scope, bool install, const ModuleTypeLib& lib, UpdateClasses update_classes) {
    if (scope == InstallScope::Unknown) return E_INVALIDARG;
    if (scope == InstallScope::Machine) {
        if (!install) return Remove(lib, update_classes);
        if (!RegisterModuleTypeLib(ModuleInstance(), *lib.libid)) return SELFREG_E_TYPELIB;
        if (!update_classes(true)) return SELFREG_E_CLASS;
        return S_OK;
    }
    UserClassesRoot root;
    if (!root.Active()) return E_ACCESSDENIED;
    if (!install) return Remove(lib, update_classes);
    if (!WriteTypeLib(ModuleInstance(), *lib.libid)) return SELFREG_E_TYPELIB;
    if (!update_classes(true)) return SELFREG_E_CLASS;
    return S_OK;
}

}  // namespace framework::registry
