// The port list that tells ports apart: what the system's device information
// says about each present port, merged with the list of port names, and the
// rule by which a device id chooses a port. Portable, so the rules have a
// table test and a fake stands in for the device information.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvanta::interfaces {

// One port device as the system's device information describes it.
struct PortDeviceRecord {
    std::string port_name;                  // "COM5", from the device's own settings
    std::string friendly_name;              // "USB Serial Port (COM5)"
    std::string instance_id;                // "USB\VID_0403&PID_6001\A12345"
    std::vector<std::string> hardware_ids;  // most specific first
};

// The device information of the machine: the port devices present now.
class DeviceInformation {
public:
    virtual ~DeviceInformation() = default;
    // None where the platform keeps no such information.
    virtual std::vector<PortDeviceRecord> PresentPorts() = 0;
};

// For platforms that keep none.
class NoDeviceInformation : public DeviceInformation {
public:
    std::vector<PortDeviceRecord> PresentPorts() override { return {}; }
};

// The USB identity an id carries: vendor and product as four hex digits in
// upper case, the serial number as written; each empty where the id has none.
struct UsbIdentity {
    std::string vendor;
    std::string product;
    std::string serial;
};

// Reads "USB\VID_0403&PID_6001\A12345" (the serial is the instance part, unless
// Windows made that part up: it then holds a '&'), FTDI's
// "FTDIBUS\VID_0403+PID_6001+A12345A\0000" (the serial is the third '+' part)
// and hardware ids such as "USB\VID_0403&PID_6001&REV_0600" or "...&MI_00"
// (no serial). The short form "VID_0403&PID_6001\A12345" reads the same.
UsbIdentity ParseUsbIdentity(const std::string& id);

// One present port as the list shows it; fields the device information does
// not know are empty.
struct PortDetails {
    std::string name;
    std::string friendly_name;
    std::string device_id;  // the instance id, else the most specific hardware id
    std::vector<std::string> hardware_ids;
    UsbIdentity usb;
};

// The present ports: one entry per name of `present_names` (the merged name
// list, which decides what is present and the order), with what the first
// record of the same port name (any case) adds. Records of ports the name
// list does not hold (a disabled or vanished device) are left out.
std::vector<PortDetails> MergePortDetails(const std::vector<std::string>& present_names,
                                          const std::vector<PortDeviceRecord>& records);

// Whether OpenDevice should look `wanted` up as a device id at all: not a
// "\\.\" path, and holding a '\' or "VID_" (no port name does). Other names go
// to the platform as they are, without reading the device information.
bool LooksLikeDeviceId(const std::string& wanted);

// The port a device id names, for OpenDevice; empty when `wanted` does not
// look like one or names no present port (OpenDevice then opens it as
// given). Case does not matter. First a port whose device id or one of whose
// hardware ids is `wanted` as a whole; else,
// where `wanted` holds "VID_xxxx&PID_yyyy" (with an optional "\serial"), a
// port of that vendor and product (and that serial number). Among several,
// the first in the list (the lowest number) wins.
std::string PortForDeviceId(const std::string& wanted, const std::vector<PortDetails>& ports);

// The name OpenDevice opens for `wanted`: the port a device id names, else
// `wanted` itself. The name list and the device information are read only
// when `wanted` looks like a device id.
std::string NameToOpen(const std::string& wanted, const std::function<std::vector<std::string>()>& present_names,
                       DeviceInformation& info);

// One entry of the automation list: name, friendly name, device id, vendor,
// product and serial number, separated by tabs (VB's vbTab), so
// Split(entry, vbTab) gives six fields in every host.
std::string PortDetailsRow(const PortDetails& port);

// What GetCOMPortDetails returns: one row per present port, in the order of
// the name list.
std::vector<std::string> PortDetailsRows(const std::vector<std::string>& present_names, DeviceInformation& info);

}  // namespace orvanta::interfaces
