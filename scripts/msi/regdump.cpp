// Writes down what ORVANTA.OCX's own registration writes, for the Windows
// Installer package: HKEY_CLASSES_ROOT is redirected to a scratch key, the
// module's DllRegisterServer runs (its classes and the type library that the
// system registers for it), and every value that lands there is printed as
//   KEY <tab> NAME <tab> DATA        (NAME "@" is the key's default value)
// with the module's path written as {module} (long), {module.short} (8.3) and
// its folder as {folder}. The first line is "version <tab> a.b.c.d" from the
// module's version resource. The scratch key is gone afterwards.
//
//   orvanta_regdump.exe ORVANTA.OCX OUTPUT.txt
// The module runs from a copy in the temporary folder.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t kScratch[] = L"Software\\OrvantaRegDump";

void Replace(std::wstring& text, const std::wstring& from, const wchar_t* to) {
    if (from.empty()) return;
    for (size_t at = 0; (at = text.find(from, at)) != std::wstring::npos; at += wcslen(to))
        text.replace(at, from.size(), to);
}

struct Paths {
    std::wstring module, module_short, folder;
    std::wstring Placeholders(std::wstring text) const {
        // Longest first: the folder is a prefix of both paths.
        Replace(text, module, L"{module}");
        if (module_short != module) Replace(text, module_short, L"{module.short}");
        Replace(text, folder, L"{folder}");
        return text;
    }
};

std::string Utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

bool Walk(HKEY key, const std::wstring& path, const Paths& paths, std::string& out) {
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD name_len = 256, type = 0, bytes = 0;
        LONG rc = RegEnumValueW(key, i, name, &name_len, nullptr, &type, nullptr, &bytes);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) return false;
        std::vector<BYTE> data(bytes + sizeof(wchar_t));
        name_len = 256;
        if (RegEnumValueW(key, i, name, &name_len, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS)
            return false;
        if (type != REG_SZ) {
            fwprintf(stderr, L"regdump: %ls\\%ls is of type %lu, not REG_SZ\n", path.c_str(), name, type);
            return false;
        }
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), bytes / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        out += Utf8(path) + "\t" + (name_len ? Utf8(name) : "@") + "\t" + Utf8(paths.Placeholders(text)) + "\n";
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD len = 256;
        LONG rc = RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        HKEY child = nullptr;
        if (rc != ERROR_SUCCESS || RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) return false;
        const bool ok = Walk(child, path.empty() ? name : path + L"\\" + name, paths, out);
        RegCloseKey(child);
        if (!ok) return false;
    }
    return true;
}

std::wstring FileVersion(const std::wstring& file) {
    DWORD ignored = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(file.c_str(), &ignored));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (info.empty() || !GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(info.size()), info.data()) ||
        !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) || !fixed)
        return {};
    wchar_t text[64];
    swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
             HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fwprintf(stderr, L"usage: orvanta_regdump ORVANTA.OCX OUTPUT\n");
        return 2;
    }
    // A copy in a folder whose name is not 8.3, so that the module's short
    // path (its InprocServer32) differs from the long one and each is found.
    wchar_t temp[MAX_PATH];
    const std::wstring dir = std::wstring(temp, GetTempPathW(MAX_PATH, temp)) + L"Orvanta registration dump";
    const std::wstring copy = dir + L"\\ORVANTA.OCX";
    CreateDirectoryW(dir.c_str(), nullptr);
    HMODULE module = CopyFileW(argv[1], copy.c_str(), FALSE) ? LoadLibraryW(copy.c_str()) : nullptr;
    auto reg = module ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                            reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")))
                      : nullptr;
    if (!reg) {
        fwprintf(stderr, L"regdump: cannot load %ls or find DllRegisterServer\n", argv[1]);
        return 1;
    }
    Paths paths;
    wchar_t buffer[MAX_PATH * 2];
    paths.module.assign(buffer, GetModuleFileNameW(module, buffer, MAX_PATH * 2));
    const DWORD n = GetShortPathNameW(paths.module.c_str(), buffer, MAX_PATH * 2);
    paths.module_short = n ? std::wstring(buffer, n) : paths.module;
    paths.folder = paths.module.substr(0, paths.module.rfind(L'\\'));
    const std::wstring version = FileVersion(paths.module);

    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    HKEY scratch = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &scratch, nullptr) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_CLASSES_ROOT, scratch) != ERROR_SUCCESS) {
        fwprintf(stderr, L"regdump: cannot redirect HKEY_CLASSES_ROOT\n");
        return 1;
    }
    const HRESULT hr = reg();
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    std::string out = "version\t" + Utf8(version) + "\n";
    const bool walked = Walk(scratch, L"", paths, out);
    RegCloseKey(scratch);
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    FreeLibrary(module);
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(dir.c_str());
    if (FAILED(hr) || !walked || version.empty() || paths.module_short == paths.module) {
        fwprintf(stderr, L"regdump: DllRegisterServer 0x%08lx, walk %d, version '%ls'\n", hr, walked,
                 version.c_str());
        return 1;
    }
    FILE* file = _wfopen(argv[2], L"wb");
    if (!file || fwrite(out.data(), 1, out.size(), file) != out.size() || fclose(file) != 0) {
        fwprintf(stderr, L"regdump: cannot write %ls\n", argv[2]);
        return 1;
    }
    return 0;
}
