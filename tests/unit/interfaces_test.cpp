// The portable parts beside the interfaces: the look-ahead of the Win32
// port's reader, and the list of port names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interfaces/port_names.h"
#include "windows/look_ahead.h"

namespace orvanta::interfaces {
namespace {

using windows::LookAhead;

bool FindNew(LookAhead& buffer, unsigned char target) {
    std::size_t none = 0;
    return buffer.FindNew(target, 0, nullptr, 0, none);
}

std::string TakeAll(LookAhead& buffer) {
    std::vector<unsigned char> out(LookAhead::kCapacity);
    const std::size_t n = buffer.Take(out.data(), out.size());
    return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
}

TEST(LookAhead, KeepsOrderAcrossTheWrapAndTakesNoMoreThanItHas) {
    static LookAhead buffer;  // 64 KiB: off the stack
    const auto* abc = reinterpret_cast<const unsigned char*>("abcdef");
    EXPECT_EQ(buffer.Append(abc, 6), 0u);
    unsigned char two[2];
    EXPECT_EQ(buffer.Take(two, 2), 2u);
    EXPECT_EQ(std::string(two, two + 2), "ab");
    EXPECT_EQ(buffer.At(0), 'c');
    // Fill to the brim so the ring wraps, then read it back in order.
    std::string fill(LookAhead::kCapacity - 4, '\0');
    for (std::size_t i = 0; i < fill.size(); ++i) fill[i] = static_cast<char>('A' + i % 26);
    EXPECT_EQ(buffer.Append(reinterpret_cast<const unsigned char*>(fill.data()), fill.size()), 0u);
    EXPECT_EQ(TakeAll(buffer), "cdef" + fill);
    EXPECT_TRUE(buffer.Empty());
    EXPECT_EQ(buffer.Take(two, 2), 0u);
}

TEST(LookAhead, FindsEachEventCharacterOnceWhetherOrNotItWasReadYet) {
    static LookAhead buffer;
    buffer.Append(reinterpret_cast<const unsigned char*>("A\x03" "B\x03"), 4);
    EXPECT_TRUE(FindNew(buffer, 3));
    EXPECT_TRUE(FindNew(buffer, 3));
    EXPECT_FALSE(FindNew(buffer, 3));  // both reported: the next wait waits
    unsigned char two[2];
    buffer.Take(two, 2);
    EXPECT_FALSE(FindNew(buffer, 3));  // "B\x03" is still unread but was reported
    buffer.Append(reinterpret_cast<const unsigned char*>("C\x03"), 2);
    EXPECT_TRUE(FindNew(buffer, 3));
    EXPECT_TRUE(FindNew(buffer, 'B'));  // another character: searched afresh
    TakeAll(buffer);

    // Taken through the first of a byte, found or not, and never past `count`.
    unsigned char out[8];
    buffer.Append(reinterpret_cast<const unsigned char*>("ab\x03" "cd\x03" "ef"), 8);
    std::size_t taken = 0;
    EXPECT_TRUE(buffer.FindNew(3, 3, out, 8, taken));
    EXPECT_EQ(taken, 3u);
    EXPECT_TRUE(FindNew(buffer, 3));
    EXPECT_EQ(buffer.TakeThrough(3, out, 2), 2u);
    EXPECT_EQ(buffer.TakeThrough(3, out, 8), 1u);
    EXPECT_EQ(buffer.TakeThrough('x', out, 8), 2u);
}

TEST(LookAhead, WhenFullTheOldestBytesGiveWayAndAreCounted) {
    static LookAhead buffer;
    std::string first(LookAhead::kCapacity - 1, 'x');
    first[0] = 'o';
    EXPECT_EQ(buffer.Append(reinterpret_cast<const unsigned char*>(first.data()), first.size()), 0u);
    EXPECT_EQ(buffer.Append(reinterpret_cast<const unsigned char*>("123"), 3), 2u);
    EXPECT_EQ(buffer.At(0), 'x');  // the 'o' went first
    EXPECT_EQ(buffer.At(LookAhead::kCapacity - 1), '3');

    // More than the whole capacity at once: only its newest bytes stay.
    std::string flood(LookAhead::kCapacity + 10, 'f');
    flood.back() = 'z';
    EXPECT_EQ(buffer.Append(reinterpret_cast<const unsigned char*>(flood.data()), flood.size()),
              LookAhead::kCapacity + 10);
    EXPECT_EQ(buffer.At(LookAhead::kCapacity - 1), 'z');
}

TEST(PortNames, MergedInUpperCaseByNumberThenByNameEachOnce) {
    using Names = std::vector<std::string>;
    const struct {
        Names sources, merged;
    } rows[] = {
        {{"COM10", "COM9", "COM1"}, {"COM1", "COM9", "COM10"}},
        {{"com5", "COM5", "COM6", "com6"}, {"COM5", "COM6"}},             // the map, the DOS names, Wine's links
        {{"CNCA0", "COM3", "", "bt1", "COM2"}, {"COM2", "COM3", "BT1", "CNCA0"}},  // others after, by name
        {{"COMX", "COM12A", "COM", "COM7"}, {"COM7", "COM", "COM12A", "COMX"}},  // only "COM" and a number
        {{}, {}},
    };
    for (const auto& row : rows) EXPECT_EQ(MergePortNames(row.sources), row.merged);
    for (const char* name : {"COM1", "com22", "Com3"}) EXPECT_TRUE(IsComPortName(name)) << name;
    for (const char* name : {"COM", "COMX", "COM1A", "LPT1", " COM1"}) EXPECT_FALSE(IsComPortName(name)) << name;
}

}  // namespace
}  // namespace orvanta::interfaces
