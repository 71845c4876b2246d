// Registry and type-library registration helpers for self-registration.
// Every key is relative to HKEY_CLASSES_ROOT; every value is a REG_SZ.
// Removing what is not there counts as success.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <string>

namespace framework::registry {

// The platform subkey this build registers a type library under, beside
// its locale key.
#ifdef _WIN64
inline constexpr wchar_t kOwnPlatform[] = L"win64";
inline constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
inline constexpr wchar_t kOwnPlatform[] = L"win32";
// Ignored where there is no 64-bit view: the own view then answers.
inline constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

std::wstring GuidText(REFGUID guid);  // "{...}", 38 characters
std::wstring ModulePath(HINSTANCE module);
// The 8.3 form, as 16-bit-era hosts want it; the long path where the file
// system has no short names.
std::wstring ShortModulePath(HINSTANCE module);

struct Value {
    std::wstring key;
    const wchar_t* name;  // null: the key's default value
    std::wstring data;
};

// Creates each key as needed and writes its value, in order; false at the
// first failure (what was written stays).
bool WriteValues(const Value* values, std::size_t count);
bool KeyExists(const std::wstring& key);
bool DeleteTree(const std::wstring& key);

// Whether the other registry view (the 32-bit one for a 64-bit module and the
// other way round) has an in-process server of the class: the other build,
// registered side by side.
bool ClassInOtherView(REFCLSID clsid);

// Removes a class: only its 32-bit server keys when a 16-bit server shares
// the CLSID key, else the CLSID tree and the ProgID tree (progid may be null).
// The ProgID tree stays while the other view still has the class.
bool UnregisterClass(REFCLSID clsid, const wchar_t* progid);

// Registers the library embedded in `module` once its GUID is checked.
bool RegisterModuleTypeLib(HINSTANCE module, REFGUID libid);
// The type library embedded in `module`, with its attributes, when it is
// `libid`'s; else false and `*lib` null.
bool LoadModuleTypeLib(HINSTANCE module, REFGUID libid, ITypeLib** lib, TLIBATTR& attr);
// Removes the library's keys, keeping a 16-bit registration that shares a
// locale key, and its interfaces' keys once it no longer loads.
bool UnregisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid);

}  // namespace framework::registry
