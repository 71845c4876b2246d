#include "interfaces/port_names.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace orvanta::interfaces {

namespace {
std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

bool IsComPortName(const std::string& name) {
    return name.size() > 3 && Upper(name.substr(0, 3)) == "COM" &&
           name.find_first_not_of("0123456789", 3) == std::string::npos;
}

std::vector<std::string> MergePortNames(std::vector<std::string> names) {
    for (std::string& name : names) name = Upper(std::move(name));
    names.erase(std::remove(names.begin(), names.end(), std::string()), names.end());
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const bool ca = IsComPortName(a), cb = IsComPortName(b);
        if (ca != cb) return ca;
        if (ca && a.size() != b.size()) return a.size() < b.size();
        return a < b;
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

bool ParseNetworkPortName(const std::string& name, NetworkPortName& parsed) {
    NetworkPortName out;
    std::string rest;
    const std::string upper = Upper(name);
    if (upper.rfind("SOCKET://", 0) == 0) {
        rest = name.substr(9);
    } else if (upper.rfind("RFC2217://", 0) == 0) {
        out.kind = NetworkPortName::Kind::Rfc2217;
        rest = name.substr(10);
    } else {
        return false;
    }
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos) return false;
    std::string host = rest.substr(0, colon);
    const std::string port = rest.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
    const unsigned long number = std::stoul(port);
    if (number < 1 || number > 65535) return false;
    if (!host.empty() && host.front() == '[') {
        // IPv6: hex groups and colons (a dotted quad may end it).
        if (host.size() < 4 || host.back() != ']') return false;
        host = host.substr(1, host.size() - 2);
        if (host.find(':') == std::string::npos ||
            host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos)
            return false;
    } else {
        // An IPv4 address or a host name: labels of letters, digits, '-' and '_'.
        if (host.empty() || host.size() > 253 || host.front() == '.' || host.find("..") != std::string::npos ||
            host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") !=
                std::string::npos)
            return false;
    }
    out.host = std::move(host);
    out.port = static_cast<std::uint16_t>(number);
    parsed = std::move(out);
    return true;
}

}  // namespace orvanta::interfaces
