// The portable value types beside the interfaces: line settings against a
// DCB-shaped record, the look-ahead of the port's reader, and the list of
// port names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interfaces/line_settings.h"
#include "interfaces/look_ahead.h"
#include "interfaces/port_names.h"

namespace orvanta::interfaces {
namespace {

DcbRecord PortRecord() {
    DcbRecord r;
    r.DCBlength = 28;
    r.BaudRate = 9600;
    r.fBinary = 1;
    r.fOutX = 1;
    r.fDtrControl = 2;
    r.fRtsControl = 3;
    r.XonLim = 2048;
    r.XoffLim = 512;
    r.ByteSize = 8;
    r.Parity = 2;
    r.StopBits = 1;
    r.XonChar = 0x11;
    r.XoffChar = 0x13;
    r.EofChar = 0x1A;
    r.EvtChar = 0x0D;
    return r;
}

TEST(LineSettings, ReadModifyWriteKeepsEveryFieldTheControlDoesNotName) {
    const DcbRecord port = PortRecord();
    LineSettings s = LineSettings::FromDcb(port);
    EXPECT_TRUE(s.has_record);
    EXPECT_EQ(s.BaudRate, 9600u);
    EXPECT_EQ(s.ByteSize, 8);
    EXPECT_EQ(s.Parity, 2);
    EXPECT_EQ(s.StopBits, 1);
    EXPECT_EQ(s.EvtChar, 0x0D);
    EXPECT_TRUE(s.ToDcb(DcbRecord{}) == port);  // unchanged: the same record

    // The five fields changed by hand outrank the record; nothing else moves.
    s.BaudRate = 19200;
    s.ByteSize = 7;
    s.Parity = 0;
    s.StopBits = 2;
    s.EvtChar = 0x03;
    DcbRecord expected = port;
    expected.BaudRate = 19200;
    expected.ByteSize = 7;
    expected.Parity = 0;
    expected.StopBits = 2;
    expected.EvtChar = 0x03;
    const DcbRecord written = s.ToDcb(DcbRecord{});
    EXPECT_TRUE(written == expected);
    EXPECT_FALSE(written == port);
    EXPECT_TRUE(LineSettings::FromDcb(written).ToDcb(DcbRecord{}) == written);
}

TEST(LineSettings, WithoutARecordThePortsCurrentOneIsTheBase) {
    LineSettings never_read;
    EXPECT_FALSE(never_read.has_record);
    never_read.BaudRate = 2400;
    never_read.ByteSize = 8;
    const DcbRecord port = PortRecord();
    const DcbRecord written = never_read.ToDcb(port);
    EXPECT_EQ(written.BaudRate, 2400u);
    EXPECT_EQ(written.ByteSize, 8);
    EXPECT_EQ(written.Parity, 0);
    EXPECT_EQ(written.EvtChar, 0);
    EXPECT_EQ(written.XonLim, port.XonLim);
    EXPECT_EQ(written.fRtsControl, port.fRtsControl);
    EXPECT_EQ(written.EofChar, port.EofChar);
    // A kept record wins over the port's.
    LineSettings read = LineSettings::FromDcb(DcbRecord{});
    EXPECT_EQ(read.ToDcb(port).XonLim, 0);
}

std::string TakeAll(LookAhead& buffer) {
    std::vector<unsigned char> out(buffer.Size() + 1);
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
    EXPECT_EQ(buffer.Size(), 4u);
    EXPECT_EQ(buffer.At(0), 'c');
    // Fill to the brim so the ring wraps, then read it back in order.
    std::string fill(LookAhead::kCapacity - 4, '\0');
    for (std::size_t i = 0; i < fill.size(); ++i) fill[i] = static_cast<char>('A' + i % 26);
    EXPECT_EQ(buffer.Append(reinterpret_cast<const unsigned char*>(fill.data()), fill.size()), 0u);
    EXPECT_EQ(buffer.Size(), LookAhead::kCapacity);
    EXPECT_EQ(TakeAll(buffer), "cdef" + fill);
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(buffer.Take(two, 2), 0u);
}

TEST(LookAhead, FindsEachEventCharacterOnceWhetherOrNotItWasReadYet) {
    static LookAhead buffer;
    buffer.Append(reinterpret_cast<const unsigned char*>("A\x03" "B\x03"), 4);
    EXPECT_TRUE(buffer.FindNew(3));
    EXPECT_TRUE(buffer.FindNew(3));
    EXPECT_FALSE(buffer.FindNew(3));  // both reported: the next wait waits
    unsigned char two[2];
    buffer.Take(two, 2);
    EXPECT_FALSE(buffer.FindNew(3));  // "B\x03" is still unread but was reported
    buffer.Append(reinterpret_cast<const unsigned char*>("C\x03"), 2);
    EXPECT_TRUE(buffer.FindNew(3));
    EXPECT_TRUE(buffer.FindNew('B'));  // another character: searched afresh
    TakeAll(buffer);
}

TEST(LookAhead, WhenFullTheOldestBytesGiveWayAndAreCounted) {
    static LookAhead buffer;
    std::string first(LookAhead::kCapacity - 1, 'x');
    first[0] = 'o';
    EXPECT_EQ(buffer.Append(reinterpret_cast<const unsigned char*>(first.data()), first.size()), 0u);
    EXPECT_EQ(buffer.Append(reinterpret_cast<const unsigned char*>("123"), 3), 2u);
    EXPECT_EQ(buffer.Size(), LookAhead::kCapacity);
    EXPECT_EQ(buffer.At(0), 'x');  // the 'o' went first
    EXPECT_EQ(buffer.At(LookAhead::kCapacity - 1), '3');

    // More than the whole capacity at once: only its newest bytes stay.
    std::string flood(LookAhead::kCapacity + 10, 'f');
    flood.back() = 'z';
    EXPECT_EQ(buffer.Append(reinterpret_cast<const unsigned char*>(flood.data()), flood.size()),
              LookAhead::kCapacity + 10);
    EXPECT_EQ(buffer.Size(), LookAhead::kCapacity);
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
