// The port list under Wine (printed; Wine 8's device information lists no port
// device at all) still names each present port, the cable's ends among them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "windows/win32_device_info.h"
#include "windows/win32_ports.h"

namespace orvanta::testing {
namespace {

TEST(PortList, NamesThePrefixsPortsWithWhatTheDeviceInformationKnows) {
    windows::Win32DeviceInformation info;
    const std::vector<std::string> names = windows::Win32Ports().SerialPortNames();
    std::vector<std::string> listed;
    for (const std::string& row : interfaces::PortDetailsRows(names, info)) {
        std::printf("port list: %s\n", row.c_str());
        listed.push_back(row.substr(0, row.find('\t')));
    }
    EXPECT_EQ(listed, names);
    for (const char* end : {"COM5", "COM6"}) EXPECT_EQ(std::count(names.begin(), names.end(), end), 1) << end;
}

}  // namespace
}  // namespace orvanta::testing
