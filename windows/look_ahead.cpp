#include "windows/look_ahead.h"

#include <algorithm>
#include <cstring>

namespace orvanta::windows {

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
        Drop(drop);
        dropped += drop;
    }
    for (std::size_t i = 0; i < count; ++i) data_[(head_ + size_ + i) % kCapacity] = bytes[i];
    size_ += count;
    return dropped;
}

std::size_t LookAhead::Take(unsigned char* out, std::size_t count) {
    const std::size_t n = std::min(count, size_);
    // At most two runs: up to the end of the ring, then from its start.
    const std::size_t first = std::min(n, kCapacity - head_);
    std::memcpy(out, data_ + head_, first);
    std::memcpy(out + first, data_, n - first);
    Drop(n);
    return n;
}

void LookAhead::Drop(std::size_t n) {
    head_ = (head_ + n) % kCapacity;
    size_ -= n;
    searched_ -= std::min(searched_, n);
    if (first_ == kNone) return;
    if (first_ >= n) {
        first_ -= n;
        return;
    }
    // The found one went; an earlier wait may have found another behind it.
    first_ = kNone;
    for (std::size_t i = 0; i < searched_ && first_ == kNone; ++i)
        if (At(i) == searched_for_) first_ = i;
}

std::size_t LookAhead::TakeThrough(unsigned char last, unsigned char* out, std::size_t count) {
    std::size_t span = std::min(count, size_);
    std::size_t from = 0;
    if (searched_for_ == last) {
        if (first_ != kNone) span = std::min(span, first_ + 1);
        from = searched_;  // looked at already, and the first is known
    }
    for (std::size_t i = from; i < span; ++i)
        if (At(i) == last) span = i + 1;
    return Take(out, span);
}

bool LookAhead::FindNew(unsigned char target, unsigned char last, unsigned char* out, std::size_t count,
                        std::size_t& taken) {
    taken = 0;
    if (searched_for_ != target) {
        searched_for_ = target;
        searched_ = 0;
        first_ = kNone;
    }
    while (searched_ < size_) {
        if (At(searched_++) != target) continue;
        if (first_ == kNone) first_ = searched_ - 1;
        if (count) taken = TakeThrough(last, out, count);
        return true;
    }
    return false;
}

}  // namespace orvanta::windows
