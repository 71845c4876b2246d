// The machine's serial ports: the serial device map the drivers fill, the
// DOS device names, which also hold ports a driver links without a map entry,
// and under Wine the prefix's own port links (its dosdevices folder), which
// Wine opens but lists in neither of the other two.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "windows/win32_ports.h"

namespace orvanta::windows {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// "COM" and a number, nothing else.
bool IsComName(const std::string& name) {
    return name.size() > 3 && name.compare(0, 3, "COM") == 0 &&
           name.find_first_not_of("0123456789", 3) == std::string::npos;
}

// COM ports by their number, anything else after them by name.
bool PortOrder(const std::string& a, const std::string& b) {
    const bool ca = IsComName(a), cb = IsComName(b);
    if (ca != cb) return ca;
    if (ca && a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

void FromDeviceMap(std::vector<std::string>& names) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        char value[256], data[256];
        DWORD value_len = sizeof value, data_len = sizeof data - 1, type = 0;
        const LONG rc = RegEnumValueA(key, i, value, &value_len, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data), &data_len);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
        data[data_len] = '\0';
        if (data[0]) names.push_back(Upper(data));
    }
    RegCloseKey(key);
}

void FromDosDevices(std::vector<std::string>& names) {
    std::vector<char> all(65536);
    for (;;) {
        const DWORD got = QueryDosDeviceA(nullptr, all.data(), static_cast<DWORD>(all.size()));
        if (got != 0) break;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || all.size() >= (4u << 20)) return;
        all.resize(all.size() * 2);
    }
    for (const char* p = all.data(); *p; p += std::char_traits<char>::length(p) + 1) {
        const std::string name = Upper(p);
        if (IsComName(name)) names.push_back(name);
    }
}

// Wine names its prefix in WINECONFIGDIR ("\??\Z:\...") for every program;
// a port is a link "comN" there. The link is not followed: nothing is opened.
void FromWinePrefix(std::vector<std::string>& names) {
    char prefix[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("WINECONFIGDIR", prefix, sizeof prefix);
    if (length == 0 || length >= sizeof prefix) return;
    std::string folder = prefix;
    if (folder.compare(0, 4, "\\??\\") == 0) folder.replace(0, 4, "\\\\?\\");
    folder += "\\dosdevices\\";
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "com*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = Upper(found.cFileName);
        if (IsComName(name)) names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

std::vector<std::string> Win32Ports::SerialPortNames() {
    std::vector<std::string> names;
    FromDeviceMap(names);
    FromDosDevices(names);
    FromWinePrefix(names);
    std::sort(names.begin(), names.end(), PortOrder);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

}  // namespace orvanta::windows
