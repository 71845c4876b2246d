// The telnet client's decoder fed any server bytes: the stream split where the
// first byte says decodes as the whole does, the data is never longer than
// the input, and no reply is sent that no request asked for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "logic/network/telnet.h"

using orvanta::logic::Decoded;
using orvanta::logic::TelnetClient;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t step = data[0] % 17 + 1;
    ++data;
    --size;
    TelnetClient whole, pieces;
    whole.Open();
    pieces.Open();
    Decoded a, b;
    whole.Feed(data, size, a);
    for (std::size_t at = 0; at < size; at += step) pieces.Feed(data + at, size - at < step ? size - at : step, b);
    if (a.data != b.data || a.replies != b.replies || !(a.events == b.events)) std::abort();
    if (a.data.size() > size || a.replies.size() > size || whole.Dropped() != pieces.Dropped()) std::abort();
    return 0;
}
