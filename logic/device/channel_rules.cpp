#include "logic/device/channel_rules.h"

#include <cctype>
#include <cstdint>

namespace orvanta::logic {

std::uint32_t WriteTimeLimit(std::int16_t timeout, std::uint32_t length) {
    const std::uint64_t per_byte = timeout > 0 ? static_cast<std::uint64_t>(timeout) : 0;
    const std::uint64_t limit = per_byte * length + 9000;
    constexpr std::uint64_t kLongest = 0xFFFFFFFEu;  // 0xFFFFFFFF would mean no limit
    return static_cast<std::uint32_t>(limit < kLongest ? limit : kLongest);
}

std::string PlatformDeviceName(const std::string& name) {
    if (name.size() < 5) return name;
    const auto upper = [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
    const std::string head{upper(name[0]), upper(name[1]), upper(name[2])};
    if (head != "COM" && head != "LPT") return name;
    std::uint32_t number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return name;
        if (number < 1000000) number = number * 10 + static_cast<std::uint32_t>(name[i] - '0');
    }
    return number >= 10 ? "\\\\.\\" + name : name;
}

std::vector<std::string> SplitEscParams(const std::string& params) {
    std::vector<std::string> tokens;
    std::size_t i = 0;
    while (i < params.size()) {
        while (i < params.size() && params[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < params.size() && params[i] != ' ') ++i;
        if (i > start) tokens.push_back(params.substr(start, i - start));
    }
    return tokens;
}

std::int32_t ReadDecimal(const std::string& token) {
    std::size_t i = 0;
    while (i < token.size() && std::isspace(static_cast<unsigned char>(token[i]))) ++i;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
    std::int64_t value = 0;
    for (; i < token.size() && std::isdigit(static_cast<unsigned char>(token[i])); ++i) {
        value = value * 10 + (token[i] - '0');
        if (value > INT64_C(0x80000000)) value = INT64_C(0x80000000);  // past either end already
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    return static_cast<std::int32_t>(value);
}

}  // namespace orvanta::logic
