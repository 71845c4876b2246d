#include "windows/win32_device_info.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/handle.h"

namespace orvanta::windows {

namespace {

struct DeviceInfoSetTraits {
    using Type = HDEVINFO;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type set) noexcept { SetupDiDestroyDeviceInfoList(set); }
};
using UniqueDeviceInfoSet = framework::UniqueHandle<DeviceInfoSetTraits>;

// Spelt out: the SDK's GUID_DEVCLASS_PORTS and GUID_DEVINTERFACE_COMPORT are
// defined only where INITGUID is, which differs between MinGW and MSVC.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr GUID kComPortInterface = {0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

// Ids and names are short; a property past this is not one of ours.
constexpr DWORD kLongest = 64 * 1024;

// A string property, a multi-string one as its strings; none on an error.
std::vector<std::string> Strings(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<char> data(512);
    DWORD type = 0, size = 0;
    while (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type, reinterpret_cast<BYTE*>(data.data()),
                                              static_cast<DWORD>(data.size() - 2), &size)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > kLongest) return {};
        data.resize(size + 2);
    }
    if (type != REG_SZ && type != REG_MULTI_SZ) return {};
    data.resize(std::min<std::size_t>(size, data.size() - 2));
    data.insert(data.end(), 2, '\0');  // the terminators a driver's data may lack
    std::vector<std::string> strings;
    for (const char* p = data.data(); *p; p += std::strlen(p) + 1) {
        strings.emplace_back(p);
        if (type == REG_SZ) break;
    }
    return strings;
}

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    std::vector<char> id(256);
    DWORD size = 0;
    while (!SetupDiGetDeviceInstanceIdA(set, &device, id.data(), static_cast<DWORD>(id.size()), &size)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > kLongest) return {};
        id.resize(size + 1);
    }
    id.back() = '\0';
    return id.data();
}

// The name the port driver gives the device: its key's "PortName" value.
std::string PortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    const HKEY opened = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (opened == INVALID_HANDLE_VALUE) return {};
    const framework::UniqueRegKey key(opened);
    char name[256];
    DWORD type = 0, size = sizeof name - 1;
    if (RegQueryValueExA(key.get(), "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    name[size] = '\0';
    return name;
}

void Collect(HDEVINFO set, std::vector<interfaces::PortDeviceRecord>& records) {
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        interfaces::PortDeviceRecord record;
        record.instance_id = InstanceId(set, device);
        const bool seen = std::any_of(records.begin(), records.end(), [&](const interfaces::PortDeviceRecord& r) {
            return !r.instance_id.empty() && r.instance_id == record.instance_id;
        });
        if (seen) continue;  // in the Ports class and with the interface
        record.port_name = PortName(set, device);
        const auto friendly = Strings(set, device, SPDRP_FRIENDLYNAME);
        if (!friendly.empty()) record.friendly_name = friendly.front();
        record.hardware_ids = Strings(set, device, SPDRP_HARDWAREID);
        records.push_back(std::move(record));
    }
}

}  // namespace

std::vector<interfaces::PortDeviceRecord> Win32DeviceInformation::PresentPorts() {
    std::vector<interfaces::PortDeviceRecord> records;
    const struct {
        const GUID* guid;
        DWORD flags;
    } sources[] = {{&kPortsClass, DIGCF_PRESENT}, {&kComPortInterface, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE}};
    for (const auto& source : sources) {
        const UniqueDeviceInfoSet set(SetupDiGetClassDevsA(source.guid, nullptr, nullptr, source.flags));
        if (set) Collect(set.get(), records);
    }
    return records;
}

}  // namespace orvanta::windows
