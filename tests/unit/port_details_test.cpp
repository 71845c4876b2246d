// The port list's rules: ids read, a fake device information merged with the names, the port an id chooses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interfaces/port_details.h"

namespace orvanta::interfaces {
namespace {

using Names = std::vector<std::string>;

TEST(PortDetails, UsbIdentityFromInstanceAndHardwareIds) {
    const std::pair<const char*, const char*> rows[] = {  // id, vendor/product/serial
        {"usb\\vid_0403&pid_6001\\a12345", "0403/6001/a12345"},
        {"FTDIBUS\\VID_0403+PID_6001+A12345A\\0000", "0403/6001/A12345A"},
        {"USB\\VID_067B&PID_2303\\5&2C3D4E5F&0&2", "067B/2303/"},  // Windows' own instance part
        {"USB\\VID_2341&PID_0043&MI_00\\6&1A2B&0&0000", "2341/0043/"},
        {"ACPI\\PNP0501\\1", "//"},
        {"USB\\VID_04&PID_6001\\A1", "//"},  // not four hex digits
    };
    for (const auto& row : rows) {
        const UsbIdentity usb = ParseUsbIdentity(row.first);
        EXPECT_EQ(usb.vendor + "/" + usb.product + "/" + usb.serial, row.second) << row.first;
    }
}

struct FakeDeviceInformation : DeviceInformation {
    std::vector<PortDeviceRecord> records;
    int reads = 0;
    std::vector<PortDeviceRecord> PresentPorts() override { ++reads; return records; }
};

TEST(PortDetails, TheNameListDecidesWhatIsPresentAndTheRecordsAddWhatTheyKnow) {
    FakeDeviceInformation info;
    info.records = {
        {"com5", "USB Serial Port (COM5)", "FTDIBUS\\VID_0403+PID_6001+A12345A\\0000", {"FTDIBUS\\COMPORT"}},
        {"COM5", "a second record of COM5", "", {}},
        {"COM7", "Prolific\t(COM7)", "", {"USB\\VID_067B&PID_2303&REV_0300", "USB\\VID_067B&PID_2303"}},
        {"COM9", "Unplugged (COM9)", "USB\\VID_1A86&PID_7523\\5&1&0&1", {}},  // not in the name list
    };
    EXPECT_EQ(PortDetailsRows({"COM1", "COM5", "COM7"}, info),
              (Names{"COM1\t\t\t\t\t",
                     "COM5\tUSB Serial Port (COM5)\tFTDIBUS\\VID_0403+PID_6001+A12345A\\0000\t0403\t6001\tA12345A",
                     "COM7\tProlific (COM7)\tUSB\\VID_067B&PID_2303&REV_0300\t067B\t2303\t"}));
}

TEST(PortDetails, ADeviceIdChoosesThePresentPortItNames) {
    const std::vector<PortDetails> ports = MergePortDetails(
        {"COM3", "COM4", "COM8", "COM12"},
        {{"COM3", "", "ACPI\\PNP0501\\1", {}},
         {"COM4", "", "USB\\VID_0403&PID_6001\\A12345", {"USB\\VID_0403&PID_6001&REV_0600"}},
         {"COM8", "", "USB\\VID_0403&PID_6001\\B777", {"USB\\VID_0403&PID_6001&REV_0600"}},
         {"COM12", "", "USB\\VID_0403&PID_6001\\A12345X", {}}});
    const std::pair<const char*, const char*> rows[] = {  // wanted, port
        {"usb\\vid_0403&pid_6001\\b777", "COM8"},     // the instance id
        {"VID_0403&PID_6001\\A12345X", "COM12"},      // the short form with a serial
        {"USB\\VID_0403&PID_6001&REV_0600", "COM4"},  // a hardware id two share: the lower number
        {"ACPI\\PNP0501\\1", "COM3"},
        {"VID_0403&PID_6001\\C1", ""},  // no such serial
        {"\\\\.\\COM8", ""},             // a device path goes as it is
    };
    for (const auto& row : rows) EXPECT_EQ(PortForDeviceId(row.first, ports), row.second) << row.first;

    // OpenDevice reads the device information only for what looks like an id.
    FakeDeviceInformation info;
    const auto names = [] { return Names{"COM4"}; };
    EXPECT_EQ(NameToOpen("LPT1", names, info), "LPT1");
    EXPECT_EQ(info.reads, 0);
    EXPECT_EQ(NameToOpen("C:\\labels\\out.prn", names, info), "C:\\labels\\out.prn");
}

}  // namespace
}  // namespace orvanta::interfaces
