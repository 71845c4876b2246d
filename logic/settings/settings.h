// The nine properties of the control, named as the automation interface
// names them, with their defaults. The device channel and the scan session
// read them at each use, so a change the host makes takes effect at the next
// one. Fields that the scan task reads while the host writes them are atomic
// words, never torn.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace orvanta::logic {

inline constexpr char kDefaultComSettings[] = "baud=9600 parity=N data=7 stop=2";

struct Settings {
    std::atomic<std::int32_t> withACKN{0};
    std::string defaultComSettings{kDefaultComSettings};  // host thread only
    std::atomic<std::int16_t> ScannerSuffixChar{3};
    std::atomic<std::int32_t> onlyWorkwithCurrentWindow{0};
    std::atomic<std::int32_t> debugModus{0};
    std::atomic<std::int32_t> ThreadId{23456};
    std::atomic<std::int32_t> scanWindowHandle{0};
    std::atomic<std::int16_t> timeout{10};
    std::atomic<std::int16_t> chartooem{0};

    bool Debug() const { return debugModus.load() != 0; }
    bool Acknowledge() const { return withACKN.load() != 0; }
    // The byte that ends a scanned code, which is also the byte the line
    // watches for as its event character: its low 8 bits, read here only.
    char SuffixByte() const { return static_cast<char>(ScannerSuffixChar.load() & 0xFF); }

    static_assert(std::atomic<std::int16_t>::is_always_lock_free &&
                      std::atomic<std::int32_t>::is_always_lock_free,
                  "property words must be read and written whole without a lock");
};

}  // namespace orvanta::logic
