// The machine's serial port names as one list, from whatever sources the
// platform reads them: portable, so the rules have a table test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvanta::interfaces {

// "COM" and a number, in any case ("com5" as Wine's links are named).
bool IsComPortName(const std::string& name);

// The names of all sources merged: upper case, COM ports by their number
// (COM9 before COM10), any other name after them by name, each once.
std::vector<std::string> MergePortNames(std::vector<std::string> names);

// A device on the network: "socket://HOST:PORT" (raw TCP) or
// "rfc2217://HOST:PORT" (telnet with COM-port control), the scheme in any
// case; HOST an IPv4 address, an IPv6 address in brackets or a host name,
// PORT 1 to 65535.
struct NetworkPortName {
    enum class Kind { RawTcp, Rfc2217 };
    Kind kind = Kind::RawTcp;
    std::string host;  // without the brackets
    std::uint16_t port = 0;
};

// False for every other name, which opens as a local device does.
bool ParseNetworkPortName(const std::string& name, NetworkPortName& parsed);

}  // namespace orvanta::interfaces
