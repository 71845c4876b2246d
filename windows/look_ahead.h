// Bytes read from a port ahead of the reader, oldest first. Fixed in size, so
// a peer that never sends the event character cannot make it grow: once it is
// full the oldest bytes give way, as on a driver's full input queue.
#pragma once

#include <cstddef>

namespace orvanta::windows {

class LookAhead {
public:
    static constexpr std::size_t kCapacity = 64 * 1024;

    bool Empty() const { return size_ == 0; }
    unsigned char At(std::size_t index) const { return data_[(head_ + index) % kCapacity]; }
    // Appends; when full, the oldest bytes make room. Returns how many went.
    std::size_t Append(const unsigned char* bytes, std::size_t count);
    // Moves up to `count` of the oldest bytes out; returns how many.
    std::size_t Take(unsigned char* out, std::size_t count);
    // Moves up to `count` of the oldest bytes out, up to and with the first
    // `last`; returns how many. Where FindNew found that byte already, it is
    // not searched for again.
    std::size_t TakeThrough(unsigned char last, unsigned char* out, std::size_t count);
    // Finds the next `target` byte that no earlier call found, so a caller
    // that waits for the event character again waits for a new arrival
    // even while an earlier one is still unread. Once found, up to `count`
    // bytes are taken as TakeThrough takes them; `taken` gets how many.
    bool FindNew(unsigned char target, unsigned char last, unsigned char* out, std::size_t count,
                 std::size_t& taken);

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    // Lets the `n` oldest bytes go.
    void Drop(std::size_t n);

    unsigned char data_[kCapacity] = {};
    std::size_t head_ = 0;
    std::size_t size_ = 0;
    std::size_t searched_ = 0;  // front bytes FindNew has looked at
    int searched_for_ = -1;     // the target they were searched for
    std::size_t first_ = kNone; // the first target among them
};

}  // namespace orvanta::windows
