#include "interfaces/look_ahead.h"

#include <algorithm>

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

std::size_t LookAhead::Take(unsigned char* out, std::size_t count) {
    const std::size_t n = std::min(count, size_);
    for (std::size_t i = 0; i < n; ++i) out[i] = data_[(head_ + i) % kCapacity];
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
