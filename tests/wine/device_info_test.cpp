// The port list under Wine: what SetupAPI's device information knows of the
// prefix's ports (printed; Wine 8 lists no port device at all), and that the
// list still names each present port, the cable's two ends among them
// (run.sh links COM5 and COM6).
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
    for (const auto& r : info.PresentPorts())
        std::printf("device information: %s | %s | %s | %zu hardware ids\n", r.port_name.c_str(),
                    r.friendly_name.c_str(), r.instance_id.c_str(), r.hardware_ids.size());
    const std::vector<std::string> names = windows::Win32Ports().SerialPortNames();
    const std::vector<std::string> rows = interfaces::PortDetailsRows(names, info);
    ASSERT_EQ(rows.size(), names.size());
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].substr(0, rows[i].find('\t')), names[i]);
    for (const char* end : {"COM5", "COM6"})
        EXPECT_NE(std::find(names.begin(), names.end(), end), names.end()) << end;
}

}  // namespace
}  // namespace orvanta::testing
