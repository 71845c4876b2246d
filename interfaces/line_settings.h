// A serial line's settings as values: what the control shows of them, what it
// asks to change, and the signals it sets.
#pragma once

#include <cstdint>
#include <string>

namespace orvanta::interfaces {

struct LineSettings {
    std::uint32_t baud_rate = 0;
    std::uint8_t data_bits = 0;
    std::uint8_t parity = 0;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t stop_bits = 0;  // 0 one, 1 one and a half, 2 two
    char event_char = 0;         // the byte the line watches for
};

// A change of the line: a mode in the words the platform reads ("baud=9600
// parity=N data=7 stop=2"), and the event character.
struct LineChange {
    std::string mode;
    char event_char = 0;
};

// The signals, in the order of SetSignalOnCOM's codes 1 to 8.
enum class LineSignal : std::uint8_t {
    kSetRts, kClearRts, kSetDtr, kClearDtr, kSetXoff, kSetXon, kSetBreak, kClearBreak,
};

}  // namespace orvanta::interfaces
