#include "framework/persist_state.h"

#include <cstring>

namespace framework {

namespace {

constexpr unsigned char kMagic[4] = {'O', 'V', 'C', 'S'};

void Put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t Get32(const unsigned char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

}  // namespace

void Encode(const ControlState& state, unsigned char (&out)[kRecordSize]) {
    std::memcpy(out, kMagic, sizeof kMagic);
    Put32(out + 4, static_cast<std::uint32_t>(kBodySize));
    Put32(out + 8, state.version);
    Put32(out + 12, static_cast<std::uint32_t>(state.extent_x));
    Put32(out + 16, static_cast<std::uint32_t>(state.extent_y));
    Put32(out + 20, state.stock_props);
}

Status CheckHeader(const unsigned char* data, std::size_t size) {
    if (!data || size < kHeaderSize) return Status::kTruncated;
    if (std::memcmp(data, kMagic, sizeof kMagic) != 0) return Status::kBadMagic;
    if (Get32(data + 4) != kBodySize) return Status::kBadSize;
    return Status::kOk;
}

Status Validate(const ControlState& state, std::uint32_t expected_version) {
    if ((state.version >> 16) != (expected_version >> 16) || state.version > expected_version)
        return Status::kBadVersion;
    // Any size SetExtent takes loads again; the stock word is kept but means
    // nothing to a control without stock properties.
    if (state.extent_x < 0 || state.extent_y < 0) return Status::kBadValue;
    return Status::kOk;
}

Status Decode(const unsigned char* data, std::size_t size, std::uint32_t expected_version,
              ControlState& out) {
    const Status header = CheckHeader(data, size);
    if (header != Status::kOk) return header;
    if (size < kRecordSize) return Status::kTruncated;
    if (size > kRecordSize) return Status::kBadSize;
    ControlState state;
    state.version = Get32(data + 8);
    state.extent_x = static_cast<std::int32_t>(Get32(data + 12));
    state.extent_y = static_cast<std::int32_t>(Get32(data + 16));
    state.stock_props = Get32(data + 20);
    const Status values = Validate(state, expected_version);
    if (values == Status::kOk) out = state;
    return values;
}

}  // namespace framework
