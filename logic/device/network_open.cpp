// Network port names, and what a device has to say in debug mode.
#include "interfaces/port_names.h"
#include "logic/device/channel.h"
#include "logic/network/network_port.h"
#include "logic/reporting/reporting.h"

namespace orvanta::logic {

std::unique_ptr<interfaces::Device> DeviceChannel::OpenNetworkDevice(const std::string& device_name,
                                                                   bool& handled) {
    interfaces::NetworkPortName name;
    handled = interfaces::ParseNetworkPortName(device_name, name);
    interfaces::Network* network = handled ? platform_.ports.TcpNetwork() : nullptr;
    // A platform without connections cannot open it: as a device that is not there.
    if (!network) return nullptr;
    interfaces::Threads& threads = platform_.threads;
    return OpenNetworkPort(*network, name, [&threads] { return threads.TickMs(); });
}

void DeviceChannel::ReportDeviceNotes(const std::shared_ptr<interfaces::Device>& device, const char* function) {
    if (!device) return;
    // Taken also outside debug mode, so they do not pile up.
    for (const std::string& note : device->TakeNotes()) report_.DbgMsg(note.c_str(), function);
}

}  // namespace orvanta::logic
