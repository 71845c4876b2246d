#include "interfaces/port_details.h"

#include <algorithm>
#include <cctype>

namespace orvanta::interfaces {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool SameText(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

std::vector<std::string> Split(const std::string& text, const char* separators) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = text.find_first_of(separators, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

// "VID_0403" -> "0403"; empty unless the field is the tag and four hex digits.
std::string TaggedHex(const std::string& field, const char* tag) {
    if (field.size() != 8 || Upper(field.substr(0, 4)) != tag) return {};
    const std::string digits = Upper(field.substr(4));
    return digits.find_first_not_of("0123456789ABCDEF") == std::string::npos ? digits : std::string();
}

}  // namespace

UsbIdentity ParseUsbIdentity(const std::string& id) {
    const std::vector<std::string> parts = Split(id, "\\");
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (Upper(parts[i]).find("VID_") == std::string::npos) continue;
        UsbIdentity usb;
        std::string other;  // the first field that is neither vendor nor product
        for (const std::string& field : Split(parts[i], "&+")) {
            const std::string vendor = TaggedHex(field, "VID_"), product = TaggedHex(field, "PID_");
            if (!vendor.empty())
                usb.vendor = vendor;
            else if (!product.empty())
                usb.product = product;
            else if (other.empty())
                other = field;
        }
        if (usb.vendor.empty() || usb.product.empty()) return {};
        if (parts[i].find('+') != std::string::npos) {
            usb.serial = other;  // FTDI's bus writes the serial number into the id itself
        } else if (other.empty() && i + 1 < parts.size() && parts[i + 1].find('&') == std::string::npos) {
            usb.serial = parts[i + 1];  // REV_ and MI_ ids name a kind of device, not one device
        }
        return usb;
    }
    return {};
}

std::vector<PortDetails> MergePortDetails(const std::vector<std::string>& present_names,
                                          const std::vector<PortDeviceRecord>& records) {
    std::vector<PortDetails> ports;
    for (const std::string& name : present_names) {
        PortDetails port;
        port.name = name;
        const auto record = std::find_if(records.begin(), records.end(),
                                         [&](const PortDeviceRecord& r) { return SameText(r.port_name, name); });
        if (record != records.end()) {
            port.friendly_name = record->friendly_name;
            port.hardware_ids = record->hardware_ids;
            port.device_id = record->instance_id;
            if (port.device_id.empty() && !port.hardware_ids.empty()) port.device_id = port.hardware_ids.front();
            port.usb = ParseUsbIdentity(port.device_id);
            for (const std::string& id : port.hardware_ids) {
                if (!port.usb.vendor.empty()) break;
                port.usb = ParseUsbIdentity(id);
            }
        }
        ports.push_back(std::move(port));
    }
    return ports;
}

bool LooksLikeDeviceId(const std::string& wanted) {
    if (wanted.compare(0, 2, "\\\\") == 0) return false;  // "\\.\COM12", a device path
    return wanted.find('\\') != std::string::npos || Upper(wanted).find("VID_") != std::string::npos;
}

std::string PortForDeviceId(const std::string& wanted, const std::vector<PortDetails>& ports) {
    if (!LooksLikeDeviceId(wanted)) return {};
    for (const PortDetails& port : ports) {
        const bool named = (!port.device_id.empty() && SameText(port.device_id, wanted)) ||
                           std::any_of(port.hardware_ids.begin(), port.hardware_ids.end(),
                                       [&](const std::string& id) { return SameText(id, wanted); });
        if (named) return port.name;
    }
    const UsbIdentity usb = ParseUsbIdentity(wanted);
    if (usb.vendor.empty()) return {};
    for (const PortDetails& port : ports) {
        if (port.usb.vendor == usb.vendor && port.usb.product == usb.product &&
            (usb.serial.empty() || SameText(port.usb.serial, usb.serial)))
            return port.name;
    }
    return {};
}

std::string NameToOpen(const std::string& wanted, const std::function<std::vector<std::string>()>& present_names,
                       DeviceInformation& info) {
    if (!LooksLikeDeviceId(wanted)) return wanted;
    const std::string port = PortForDeviceId(wanted, MergePortDetails(present_names(), info.PresentPorts()));
    return port.empty() ? wanted : port;
}

std::string PortDetailsRow(const PortDetails& port) {
    std::string row;
    for (const std::string* field : {&port.name, &port.friendly_name, &port.device_id, &port.usb.vendor,
                                     &port.usb.product, &port.usb.serial}) {
        if (field != &port.name) row += '\t';
        for (char c : *field) row += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;  // a field holds no tab
    }
    return row;
}

std::vector<std::string> PortDetailsRows(const std::vector<std::string>& present_names, DeviceInformation& info) {
    std::vector<std::string> rows;
    for (const PortDetails& port : MergePortDetails(present_names, info.PresentPorts()))
        rows.push_back(PortDetailsRow(port));
    return rows;
}

}  // namespace orvanta::interfaces
