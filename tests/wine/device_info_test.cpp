// The port list under Wine through SetupAPI, which lists a port device registered as a driver's set-up does.
#include <gtest/gtest.h>

#include <windows.h>
#include <setupapi.h>

#include <algorithm>

#include "windows/win32_device_info.h"
#include "windows/win32_ports.h"

namespace orvanta::testing {
namespace {

TEST(PortList, NamesThePrefixsPortsWithWhatTheDeviceInformationKnows) {
    const GUID ports = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    const auto set = SetupDiCreateDeviceInfoList(&ports, nullptr);
    SP_DEVINFO_DATA device = {sizeof device, {}, 0, 0};
    const auto bytes = [](const char* text) { return reinterpret_cast<const BYTE*>(text); };
    HKEY key = nullptr;
    const bool made =
        SetupDiCreateDeviceInfoA(set, "ROOT\\PORTS\\0000", &ports, nullptr, nullptr, 0, &device) &&
        SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
        (key = SetupDiCreateDevRegKeyA(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, 0, 0)) != INVALID_HANDLE_VALUE &&
        RegSetValueExA(key, "PortName", 0, REG_SZ, bytes("COM5"), 5) == ERROR_SUCCESS &&
        SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, bytes("Cable end (COM5)"), 17) &&
        SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, bytes("USB\\VID_0403&PID_6001\0"), 23);
    const DWORD error = made ? 0 : GetLastError();
    if (key && key != INVALID_HANDLE_VALUE) RegCloseKey(key);
    const std::vector<std::string> names = windows::Win32Ports().SerialPortNames();
    windows::Win32DeviceInformation info;
    const std::vector<std::string> rows = interfaces::PortDetailsRows(names, info);
    const std::string name = interfaces::NameToOpen("vid_0403&pid_6001", [&] { return names; }, info);
    SetupDiRemoveDevice(set, &device), SetupDiDestroyDeviceInfoList(set);
    ASSERT_TRUE(made) << error;
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "COM5\tCable end (COM5)\tROOT\\PORTS\\0000\t0403\t6001\t"), 1);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "COM6\t\t\t\t\t"), 1);  // the cable's other end: its name
    EXPECT_EQ(name, "COM5");
}

}  // namespace
}  // namespace orvanta::testing
