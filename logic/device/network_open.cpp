// Network port names, and what a device has to say in debug mode.
#include "interfaces/port_names.h"
#include "logic/device/channel.h"
#include "logic/network/network_port.h"
#include "logic/reporting/reporting.h"

namespace orvanta::logic {

std::unique_ptr<interfaces::Device> DeviceChannel::OpenNetworkDevice(const std::string& device_name,
                                                                   bool& handled, Reopener& reopen) {
    interfaces::NetworkPortName name;
    handled = interfaces::ParseNetworkPortName(device_name, name);
    interfaces::Network* network = handled ? platform_.ports.TcpNetwork() : nullptr;
    // A platform without connections cannot open it: as a device that is not there.
    if (!network) return nullptr;
    interfaces::Threads& threads = platform_.threads;
    // A connection that dropped comes back as a new one to the same host and
    // port, negotiated again; the connect may wait, so only the looker makes it.
    reopen.open = [network, name, &threads](interfaces::StopSignal* stop) -> std::unique_ptr<interfaces::Device> {
        return OpenNetworkPort(*network, name, [&threads] { return threads.TickMs(); }, stop);
    };
    reopen.slow = true;
    return reopen.open(nullptr);
}

void DeviceChannel::ReportDeviceNotes(const std::shared_ptr<interfaces::Device>& device, const char* function) {
    if (!device) return;
    // Taken also outside debug mode, so they do not pile up.
    for (const std::string& note : device->TakeNotes()) report_.DbgMsg(note.c_str(), function);
}

}  // namespace orvanta::logic
