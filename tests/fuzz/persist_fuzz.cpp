// The control's saved state as any bytes: the loader accepts only what the
// encoder could have written, reads nothing past the data, and what it
// accepts survives a round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "framework/persist_state.h"

using namespace framework;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact copy, so a read past it is caught by the sanitizer.
    std::vector<unsigned char> bytes(data, data + size);
    CheckHeader(bytes.data(), bytes.size());
    ControlState state;
    const Status status = Decode(bytes.data(), bytes.size(), 0x00010000, state);
    if (status != Status::kOk) return 0;
    if (Validate(state, 0x00010000) != Status::kOk) std::abort();
    // What was accepted survives its own record unchanged.
    unsigned char again[kRecordSize];
    Encode(state, again);
    ControlState back;
    if (Decode(again, kRecordSize, 0x00010000, back) != Status::kOk) std::abort();
    if (back.version != state.version || back.extent_x != state.extent_x ||
        back.extent_y != state.extent_y || back.stock_props != state.stock_props)
        std::abort();
    return 0;
}
