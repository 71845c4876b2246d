// The escape parameters as a host may write them: any bytes. The tokens
// never hold a blank and are never empty, the numbers are what a decimal
// reading gives, and the command sends one byte per token.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "logic/device/channel_rules.h"
#include "tests/fakes/fake_port.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string params(reinterpret_cast<const char*>(data), size);
    std::size_t token_bytes = 0;
    const auto tokens = orvanta::logic::SplitEscParams(params);
    for (const std::string& token : tokens) {
        if (token.empty() || token.find(' ') != std::string::npos) std::abort();
        token_bytes += token.size();
        const std::int32_t value = orvanta::logic::ReadDecimal(token);
        // Where strtol does not overflow, both agree.
        errno = 0;
        const long expected = std::strtol(token.c_str(), nullptr, 10);
        if (errno == 0 && token.find('\0') == std::string::npos && expected >= INT32_MIN &&
            expected <= INT32_MAX && value != expected)
            std::abort();
    }
    if (token_bytes > params.size()) std::abort();

    orvanta::fakes::DevicePlatform p;
    orvanta::OrvantaControl ctrl(p.Get());
    if (!ctrl.OpenDevice("COM1")) std::abort();
    const std::string command = params.substr(0, size / 3);
    const auto count = ctrl.channel().SendEscCommand(command, params);
    std::lock_guard<std::mutex> lock(p.port->mutex);
    // ESC and the command up to its first zero byte, then one byte per token.
    if (p.port->writes.size() != tokens.size() + 1) std::abort();
    if (p.port->writes[0] != "\x1B" + std::string(command.c_str())) std::abort();
    if (static_cast<std::uint16_t>(count) !=
        static_cast<std::uint16_t>(p.port->writes[0].size() + tokens.size()))
        std::abort();
    return 0;
}
