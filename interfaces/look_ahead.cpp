#include "interfaces/look_ahead.h"

#include <algorithm>
#include <cstring>

namespace orvanta::interfaces {

std::size_t LookAhead::Append(const unsigned char* bytes, std::size_t count) {
    std::size_t dropped = 0;
    if (count > kCapacity) {
        dropped = count - kCapacity;
        bytes += dropped;
        count = kCapacity;
    }
    const std::size_t room = kCapacity - size_;
    if (count > room) {
        const std::size_t drop = count - room;
        head_ = (head_ + drop) % kCapacity;
        size_ -= drop;
        dropped += drop;
        searched_ -= std::min(searched_, drop);
    }
    for (std::size_t i = 0; i < count; ++i) data_[(head_ + size_ + i) % kCapacity] = bytes[i];
    size_ += count;
    return dropped;
}

std::size_t LookAhead::Peek(unsigned char* out, std::size_t count) const {
    const std::size_t n = std::min(count, size_);
    // At most two runs: up to the end of the ring, then from its start.
    const std::size_t first = std::min(n, kCapacity - head_);
    std::memcpy(out, data_ + head_, first);
    std::memcpy(out + first, data_, n - first);
    return n;
}

std::size_t LookAhead::Take(unsigned char* out, std::size_t count) {
    const std::size_t n = Peek(out, count);
    head_ = (head_ + n) % kCapacity;
    size_ -= n;
    searched_ -= std::min(searched_, n);
    return n;
}

bool LookAhead::FindNew(unsigned char target) {
    if (searched_for_ != target) {
        searched_for_ = target;
        searched_ = 0;
    }
    while (searched_ < size_)
        if (At(searched_++) == target) return true;
    return false;
}

}  // namespace orvanta::interfaces
