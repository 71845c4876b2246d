#include "framework/registry.h"

#include <oleauto.h>

#include <vector>

#include "framework/com_util.h"
#include "framework/handle.h"

namespace framework::registry {

namespace {

using framework::UniqueRegKey;

bool Gone(LONG rc) { return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_BADKEY; }

LONG DeleteTreeUnder(HKEY parent, const wchar_t* name) {
    UniqueRegKey key;
    LONG rc = RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE, key.put());
    if (rc != ERROR_SUCCESS) return rc;
    for (;;) {
        // Always the first: each deletion shifts the rest down.
        wchar_t child[256];
        DWORD length = 256;
        rc = RegEnumKeyExW(key.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) return rc;
        rc = DeleteTreeUnder(key.get(), child);
        if (!Gone(rc)) return rc;
    }
    key.reset();
    return RegDeleteKeyW(parent, name);
}

std::vector<std::wstring> SubKeys(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

bool HasSubKey(HKEY key, const wchar_t* name, REGSAM view = 0) {
    UniqueRegKey opened;
    return RegOpenKeyExW(key, name, 0, KEY_READ | view, opened.put()) == ERROR_SUCCESS;
}

}  // namespace

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ModulePath(HINSTANCE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring ShortModulePath(HINSTANCE module) {
    const std::wstring full = ModulePath(module);
    if (full.empty()) return full;
    const DWORD n = GetShortPathNameW(full.c_str(), nullptr, 0);
    if (n == 0) return full;
    std::wstring shortened(n, L'\0');
    const DWORD m = GetShortPathNameW(full.c_str(), &shortened[0], n);
    if (m == 0 || m >= n) return full;
    shortened.resize(m);
    return shortened;
}

bool WriteValues(const Value* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const Value& v = values[i];
        UniqueRegKey key;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, v.key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                            nullptr) != ERROR_SUCCESS)
            return false;
        const DWORD bytes = static_cast<DWORD>((v.data.size() + 1) * sizeof(wchar_t));
        if (RegSetValueExW(key.get(), v.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.data.c_str()),
                           bytes) != ERROR_SUCCESS)
            return false;
    }
    return true;
}

bool KeyExists(const std::wstring& key) { return HasSubKey(HKEY_CLASSES_ROOT, key.c_str()); }

bool DeleteTree(const std::wstring& key) { return Gone(DeleteTreeUnder(HKEY_CLASSES_ROOT, key.c_str())); }

bool ClassInOtherView(REFCLSID clsid) {
    const std::wstring server = L"CLSID\\" + GuidText(clsid) + L"\\InprocServer32";
    return HasSubKey(HKEY_CLASSES_ROOT, server.c_str(), kOtherView);
}

bool UnregisterClass(REFCLSID clsid, const wchar_t* progid) {
    const std::wstring key = L"CLSID\\" + GuidText(clsid);
    if (KeyExists(key + L"\\InprocServer")) {
        return DeleteTree(key + L"\\InprocServer32") && DeleteTree(key + L"\\ToolboxBitmap32");
    }
    bool ok = DeleteTree(key);
    // The ProgID key is one for both views (only CLSID and a few other keys
    // are redirected): while the other build's class is registered, its
    // hosts still find the class through it.
    if (progid && *progid && !ClassInOtherView(clsid)) ok = DeleteTree(progid) && ok;
    return ok;
}

bool LoadModuleTypeLib(HINSTANCE module, REFGUID libid, ITypeLib** lib, TLIBATTR& attr) {
    *lib = nullptr;
    const std::wstring path = ModulePath(module);
    ComPtr<ITypeLib> loaded;
    if (path.empty() || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, loaded.put()))) return false;
    TLIBATTR* read = nullptr;
    if (FAILED(loaded->GetLibAttr(&read))) return false;
    attr = *read;
    loaded->ReleaseTLibAttr(read);
    if (!IsEqualGUID(attr.guid, libid)) return false;
    *lib = loaded.detach();
    return true;
}

bool RegisterModuleTypeLib(HINSTANCE module, REFGUID libid) {
    ComPtr<ITypeLib> lib;
    TLIBATTR attr;
    if (!LoadModuleTypeLib(module, libid, lib.put(), attr)) return false;
    const std::wstring path = ModulePath(module);
    return SUCCEEDED(RegisterTypeLib(lib.get(), const_cast<LPOLESTR>(path.c_str()), nullptr));
}

bool UnregisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid) {
    ComPtr<ITypeLib> held;
    const bool was_loaded = SUCCEEDED(LoadRegTypeLib(libid, major, minor, lcid, held.put()));

    const std::wstring lib_key = L"TypeLib\\" + GuidText(libid);
    bool ok = true;
    bool kept = false;
    {
        UniqueRegKey lib;
        const LONG rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, lib_key.c_str(), 0, KEY_READ | KEY_WRITE, lib.put());
        if (rc != ERROR_SUCCESS) return Gone(rc);
        for (const std::wstring& version : SubKeys(lib.get())) {
            UniqueRegKey vkey;
            if (RegOpenKeyExW(lib.get(), version.c_str(), 0, KEY_READ | KEY_WRITE, vkey.put()) != ERROR_SUCCESS)
                continue;
            bool kept_here = false;
            for (const std::wstring& locale : SubKeys(vkey.get())) {
                if (lstrcmpiW(locale.c_str(), L"HELPDIR") == 0 || lstrcmpiW(locale.c_str(), L"FLAGS") == 0)
                    continue;
                UniqueRegKey lkey;
                if (RegOpenKeyExW(vkey.get(), locale.c_str(), 0, KEY_READ | KEY_WRITE, lkey.put()) != ERROR_SUCCESS)
                    continue;
                // Only this build's platform: the other build's ("win32"
                // beside "win64", one key for both views) and a 16-bit one
                // stay registered and loadable.
                ok = Gone(DeleteTreeUnder(lkey.get(), kOwnPlatform)) && ok;
                if (!SubKeys(lkey.get()).empty()) {
                    kept_here = true;
                    continue;
                }
                lkey.reset();
                ok = Gone(DeleteTreeUnder(vkey.get(), locale.c_str())) && ok;
            }
            vkey.reset();
            if (kept_here) kept = true;
            else ok = Gone(DeleteTreeUnder(lib.get(), version.c_str())) && ok;
        }
    }
    if (!kept) ok = DeleteTree(lib_key) && ok;

    if (ok && !kept && was_loaded) {
        ComPtr<ITypeLib> again;
        if (FAILED(LoadRegTypeLib(libid, major, minor, lcid, again.put()))) {
            const UINT count = held->GetTypeInfoCount();
            for (UINT i = 0; i < count; ++i) {
                TYPEKIND kind = TKIND_MAX;
                if (FAILED(held->GetTypeInfoType(i, &kind))) continue;
                if (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) continue;
                ComPtr<ITypeInfo> info;
                if (FAILED(held->GetTypeInfo(i, info.put()))) continue;
                TYPEATTR* attr = nullptr;
                if (FAILED(info->GetTypeAttr(&attr))) continue;
                const std::wstring key = L"Interface\\" + GuidText(attr->guid);
                info->ReleaseTypeAttr(attr);
                ok = DeleteTree(key) && ok;
            }
        }
    }
    return ok;
}

}  // namespace framework::registry
