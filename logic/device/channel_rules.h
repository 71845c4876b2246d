// Small rules of the device channel, kept apart so they can be tested and
// fuzzed on their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvanta::logic {

// The wait for one write: `timeout` milliseconds per byte plus 9000 ms. A
// negative `timeout` counts as 0; the sum never overflows and never reaches the
// platform's "wait for ever" value.
std::uint32_t WriteTimeLimit(std::int16_t timeout, std::uint32_t length);

// The name handed to the platform: "COM10" and above (and "LPT10" and above)
// open only as "\\.\COM10"; every other name goes unchanged.
std::string PlatformDeviceName(const std::string& name);

// The escape parameters: tokens separated by blanks only; runs of blanks give
// no empty tokens.
std::vector<std::string> SplitEscParams(const std::string& params);

// A token read as a decimal number: optional leading white space and sign,
// digits up to the first non-digit, 0 without digits; values beyond the 32-bit
// range stop at its ends.
std::int32_t ReadDecimal(const std::string& token);

}  // namespace orvanta::logic
