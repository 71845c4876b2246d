// What a host's document keeps of a control: its version and extent, never
// one of the nine properties. The byte layout of the stream record is ours;
// it lives here, free of Windows, so it can be fed any bytes natively.
#pragma once

#include <cstddef>
#include <cstdint>

namespace framework {

struct ControlState {
    std::uint32_t version = 0;
    std::int32_t extent_x = 0;  // HIMETRIC
    std::int32_t extent_y = 0;
    std::uint32_t stock_props = 0;  // bit set of stock properties; none here
};

enum class Status {
    kOk,
    kTruncated,   // fewer bytes than the record needs
    kBadMagic,    // not one of our records
    kBadSize,     // the record claims a size we do not write
    kBadVersion,  // another major version
    kBadValue,    // an extent or stock-property word no control could have
};

// Record: "OVCS", u32 body size (16), then the body: u32 version,
// i32 extent x, i32 extent y, u32 stock properties; little-endian.
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kBodySize = 16;
inline constexpr std::size_t kRecordSize = kHeaderSize + kBodySize;

// Property-bag names of the same four values.
inline constexpr char kNameVersion[] = "_Version";
inline constexpr char kNameExtentX[] = "_ExtentX";
inline constexpr char kNameExtentY[] = "_ExtentY";
inline constexpr char kNameStockProps[] = "_StockProps";

void Encode(const ControlState& state, unsigned char (&out)[kRecordSize]);

// Checks the header alone, so a stream reader knows how much to read before
// it reads it.
Status CheckHeader(const unsigned char* data, std::size_t size);

// Decodes a whole record of `size` bytes and checks it; reads nothing past
// `size`. `out` is written only on kOk.
Status Decode(const unsigned char* data, std::size_t size, std::uint32_t expected_version,
              ControlState& out);

// The checks Decode applies to the values, for states that arrive by name.
// The major version (high 16 bits) must match; an older minor one converts.
Status Validate(const ControlState& state, std::uint32_t expected_version);

}  // namespace framework
