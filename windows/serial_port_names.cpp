// The machine's serial ports: the serial device map the drivers fill, the
// DOS device names, which also hold ports a driver links without a map entry,
// and under Wine the prefix's own port links (its dosdevices folder), which
// Wine opens but lists in neither of the other two.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/handle.h"
#include "interfaces/port_names.h"
#include "windows/win32_ports.h"

namespace orvanta::windows {

namespace {

void FromDeviceMap(std::vector<std::string>& names) {
    framework::UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        char value[256], data[256];
        DWORD value_len = sizeof value, data_len = sizeof data - 1, type = 0;
        const LONG rc = RegEnumValueA(key.get(), i, value, &value_len, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data), &data_len);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
        data[data_len] = '\0';
        names.push_back(data);
    }
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
        if (interfaces::IsComPortName(p)) names.push_back(p);
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
        if (interfaces::IsComPortName(found.cFileName)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

std::vector<std::string> Win32Ports::SerialPortNames() {
    std::vector<std::string> names;
    FromDeviceMap(names);
    FromDosDevices(names);
    FromWinePrefix(names);
    return interfaces::MergePortNames(std::move(names));
}

}  // namespace orvanta::windows
