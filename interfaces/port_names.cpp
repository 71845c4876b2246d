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

}  // namespace orvanta::interfaces
