// The Win32 port against a real far end: the device on one end of a virtual
// null-modem cable (ORVANTA_PEER_PORTS, "COM5:COM6"), the test on the other,
// and plain files and NUL, which need no cable.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "windows/win32_ports.h"
#include "windows/win32_threads.h"
#include "tests/wine/handles.h"
#include "testkit/peer.h"

namespace orvanta::testing {
namespace {

using interfaces::WriteEnd;
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    return bytes;
}


std::uint32_t Size(const std::string& bytes) { return static_cast<std::uint32_t>(bytes.size()); }

// The count that went, 0 on a failure.
std::uint32_t WriteAll(interfaces::Device& device, const std::string& bytes) {
    const auto r = device.Write(bytes.data(), Size(bytes), kBound, nullptr);
    return r.end == WriteEnd::kWritten ? r.written : 0;
}

// A write the peer does not take, within `limit_ms` or `stop`.
interfaces::WriteResult WriteBig(interfaces::Device& device, std::uint32_t limit_ms,
                                 interfaces::StopSignal* stop = nullptr) {
    static const std::string big = Pattern(1 << 20);
    return Bounded("Write", [&] { return device.Write(big.data(), Size(big), limit_ms, stop); });
}

// Baud/data bits/parity/stop bits/event character.
std::string Show(const interfaces::LineSettings& s) {
    char text[64];
    std::snprintf(text, sizeof text, "%u/%u/%u/%u/%d", static_cast<unsigned>(s.baud_rate), s.data_bits,
                  s.parity, s.stop_bits, s.event_char);
    return text;
}

struct PeerPort : ::testing::Test {
    void SetUp() override {
        const char* pair = std::getenv("ORVANTA_PEER_PORTS");
        const char* colon = pair ? std::strchr(pair, ':') : nullptr;
        if (!colon) GTEST_SKIP() << "ORVANTA_PEER_PORTS does not name two linked ports (COM5:COM6)";
        own.assign(pair, colon);
        {  // What earlier tests left travelling the other way.
            Peer stale(own);
            ASSERT_TRUE(stale.IsOpen()) << "cannot open " << own << ", error " << GetLastError();
            stale.Drain();
        }
        peer = std::make_unique<Peer>(colon + 1);
        ASSERT_TRUE(peer->IsOpen()) << "cannot open " << colon + 1 << ", error " << GetLastError();
        peer->Drain();
        device = ports.OpenDevice(own.c_str());
        ASSERT_TRUE(device) << "cannot open " << own << ", error " << GetLastError();
        ASSERT_TRUE(device->ReadyForWrites());
    }
    bool UseEventChar(char c) { return device->ApplyLineSettings({"baud=9600 parity=N data=8 stop=1", c}); }
    // True when the character came; false also when the watchdog had to stop it.
    bool WaitForEventChar() {
        StopAfter watchdog(stop, kBound - 1000);
        const bool came = Bounded("WaitEventChar", [&] { return device->WaitEventChar(&stop); });
        EXPECT_FALSE(stop.IsSet()) << "WaitEventChar was ended by the watchdog";
        stop.Reset();
        return came;
    }
    std::string Read(std::uint32_t count, interfaces::StopSignal* with = nullptr) {
        std::string bytes(count, '\0');
        bytes.resize(Bounded("Read", [&] { return device->Read(&bytes[0], count, with); }));
        return bytes;
    }

    std::string own;
    windows::Win32Ports ports;
    windows::Win32StopSignal stop;
    std::unique_ptr<Peer> peer;
    std::unique_ptr<interfaces::Device> device;
};

TEST_F(PeerPort, BytesCrossExactlyBothWays) {
    const std::string all = Pattern(251) + std::string("\0\x80\xFF\0", 4);
    EXPECT_EQ(WriteAll(*device, all), Size(all));
    const auto nothing = device->Write("", 0, kBound, nullptr);
    EXPECT_EQ(nothing.end, WriteEnd::kWritten);
    EXPECT_EQ(nothing.written, 0u);
    EXPECT_EQ(peer->Receive(all.size(), kBound), all);
    EXPECT_EQ(peer->Drain(), "");

    ASSERT_TRUE(peer->Send(all));
    EXPECT_EQ(Read(0), "");
    EXPECT_EQ(Read(Size(all)), all);
}

TEST_F(PeerPort, AWriteThePeerDoesNotTakeTimesOutEndsAndLeavesThePortUsable) {
    Elapsed waited;
    const auto r = WriteBig(*device, 300);
    EXPECT_EQ(r.end, WriteEnd::kTimedOut);
    EXPECT_FALSE(r.stuck);
    EXPECT_EQ(r.start_code, static_cast<std::uint32_t>(ERROR_IO_PENDING));
    EXPECT_GE(waited.ms(), 250u);
    EXPECT_LT(waited.ms(), kBound);

    const std::string arrived = peer->Drain();
    EXPECT_GT(arrived.size(), 0u);
    EXPECT_LT(arrived.size(), 1u << 20);
    EXPECT_TRUE(arrived == Pattern(arrived.size())) << "not the write's first bytes";
    EXPECT_EQ(WriteAll(*device, "danach"), 6u);
    EXPECT_EQ(peer->Receive(6, kBound), "danach");
}

TEST_F(PeerPort, NotReadyForWritesAPendingWriteFailsInsteadOfWaitingForEver) {
    device.reset();
    HANDLE raw = CreateFileA(own.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(raw, INVALID_HANDLE_VALUE);
    windows::Win32Device bare(framework::UniqueFile(raw), framework::UniqueEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
                              framework::UniqueEvent());
    EXPECT_FALSE(bare.ReadyForWrites());
    EXPECT_EQ(WriteBig(bare, INFINITE).end, WriteEnd::kWaitFailed);
}

TEST_F(PeerPort, AStopFromAnotherThreadEndsEveryWaitPromptly) {
    {
        StopAfter later(stop, 200);
        Elapsed e;
        EXPECT_EQ(WriteBig(*device, INFINITE, &stop).end, WriteEnd::kStopped);
        EXPECT_GE(e.ms(), 150u) << "returned before the stop";  // Bounded catches a hang
    }
    stop.Reset();
    peer->Drain();

    // Stopped waits and reads keep every byte that came, in order.
    ASSERT_TRUE(UseEventChar(3));
    ASSERT_TRUE(peer->Send("12"));
    {
        StopAfter later(stop, 300);
        Elapsed e;
        EXPECT_FALSE(Bounded("WaitEventChar", [&] { return device->WaitEventChar(&stop); }));
        EXPECT_GE(e.ms(), 150u) << "returned before the stop";  // Bounded catches a hang
    }
    stop.Reset();
    ASSERT_TRUE(peer->Send("34"));
    {
        StopAfter later(stop, 300);
        Elapsed e;
        EXPECT_EQ(Read(8, &stop), "1234");
        EXPECT_GE(e.ms(), 150u) << "returned before the stop";  // Bounded catches a hang
    }
}

TEST_F(PeerPort, WaitEventCharReturnsOnceTheCharacterIsInAndLeavesTheBytesToRead) {
    ASSERT_TRUE(UseEventChar(3));
    ASSERT_TRUE(peer->Send("4711\x03"));
    EXPECT_TRUE(WaitForEventChar());
    for (const char expected : std::string("4711\x03")) EXPECT_EQ(Read(1), std::string(1, expected));

    // In pieces: the wait lasts until the character is there.
    std::thread sender([&] {
        peer->Send("ab");
        Sleep(150);
        peer->Send("cd");
        Sleep(150);
        peer->Send("\x03" "ef");
    });
    Elapsed e;
    EXPECT_TRUE(WaitForEventChar());
    EXPECT_GE(e.ms(), 250u) << "returned before the event character came";
    sender.join();
    EXPECT_EQ(Read(7), "abcd\x03" "ef");

    // Two messages read ahead at once: the second wait needs no new byte.
    ASSERT_TRUE(peer->Send("gh\x03ij\x03"));
    Sleep(200);
    EXPECT_TRUE(WaitForEventChar());
    EXPECT_EQ(Read(3), "gh\x03");
    EXPECT_TRUE(WaitForEventChar());
    EXPECT_EQ(Read(3), "ij\x03");
}

// Read time-outs another program left on the port, or set under the open
// device, neither end the wait nor make it spin; and a character already
// reported is not reported again while it waits to be read.
TEST_F(PeerPort, ReadTimeOutsOnThePortDoNotEndTheWaitAndEachArrivalIsReportedOnce) {
    device.reset();
    HANDLE raw = CreateFileA(own.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(raw, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS returns_at_once = {MAXDWORD, 0, 1, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(raw, &returns_at_once));
    HANDLE same = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), raw, GetCurrentProcess(), &same, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    framework::UniqueFile keep(same);
    device = std::make_unique<windows::Win32Device>(framework::UniqueFile(raw),
                                                  framework::UniqueEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
                                                  framework::UniqueEvent(CreateEventA(nullptr, FALSE, TRUE, nullptr)));
    COMMTIMEOUTS now = {};
    ASSERT_TRUE(GetCommTimeouts(same, &now));
    EXPECT_EQ(now.ReadIntervalTimeout + now.ReadTotalTimeoutMultiplier + now.ReadTotalTimeoutConstant, 0u);
    ASSERT_TRUE(UseEventChar(3));
    ASSERT_TRUE(SetCommTimeouts(same, &returns_at_once));  // and changed again under it

    for (const char* code : {"x\x03", "y\x03"}) {
        std::atomic<int> came{-1};
        std::thread waiter([&] { came = device->WaitEventChar(&stop) ? 1 : 0; });
        Sleep(300);
        EXPECT_EQ(came.load(), -1) << "the wait ended before " << code[0] << " was sent";
        ASSERT_TRUE(peer->Send(code));
        for (int i = 0; i < 100 && came.load() < 0; ++i) Sleep(20);
        if (came.load() < 0) stop.Set();
        waiter.join();
        stop.Reset();
        EXPECT_EQ(came.load(), 1) << "no report of " << code[0];
    }
    EXPECT_EQ(Read(4), "x\x03y\x03");
}

TEST_F(PeerPort, AFloodWithoutTheCharacterKeepsTheNewestBytesAndReportsAnOverrun) {
    ASSERT_TRUE(UseEventChar(3));
    std::uint32_t errors = 0xdeadbeef;
    ASSERT_TRUE(device->ClearErrors(errors));
    EXPECT_EQ(errors, 0u);
    std::string flood(windows::LookAhead::kCapacity + 10000, '\0');
    for (size_t i = 0; i < flood.size(); ++i) flood[i] = static_cast<char>('a' + i % 26);
    flood += '\x03';
    std::thread sender([&] { peer->Send(flood); });
    EXPECT_TRUE(WaitForEventChar());
    sender.join();
    ASSERT_TRUE(device->ClearErrors(errors));
    EXPECT_EQ(errors & CE_RXOVER, static_cast<std::uint32_t>(CE_RXOVER));
    const std::string kept = Read(windows::LookAhead::kCapacity);
    EXPECT_TRUE(kept == flood.substr(flood.size() - kept.size())) << "not the newest bytes in order";
    ASSERT_TRUE(device->ClearErrors(errors));
    EXPECT_EQ(errors, 0u);
}

TEST_F(PeerPort, LineSettingsReachThePortAndComeBack) {
    // A Linux pty always runs 8 data bits: the kernel resets CSIZE.
    const char* seven_bits = OnWine() ? "9600/8/0/2/3" : "9600/7/0/2/3";
    interfaces::LineSettings now;
    for (const auto& [mode, evt, read_back] :
         {std::tuple<const char*, char, const char*>{"baud=19200 parity=N data=8 stop=1", 13, "19200/8/0/0/13"},
          {"baud=9600 parity=N data=7 stop=2", 3, seven_bits},
          // What the mode does not name stays, but stop bits it takes as one.
          {"baud=4800", 3, OnWine() ? "4800/8/0/0/3" : "4800/7/0/0/3"}}) {
        ASSERT_TRUE(device->ApplyLineSettings({mode, evt})) << mode;
        ASSERT_TRUE(device->ReadLineSettings(now));
        EXPECT_EQ(Show(now), read_back) << mode;
    }
    // A mode that does not parse changes nothing.
    EXPECT_FALSE(device->ApplyLineSettings({"baud=quatsch", 5}));
    EXPECT_FALSE(device->ApplyLineSettings({"unsinn", 5}));
    ASSERT_TRUE(device->ReadLineSettings(now));
    EXPECT_EQ(Show(now), OnWine() ? "4800/8/0/0/3" : "4800/7/0/0/3");

    EXPECT_TRUE(device->SetSignal(interfaces::LineSignal::kSetBreak));
    EXPECT_TRUE(device->SetSignal(interfaces::LineSignal::kClearBreak));
    EXPECT_TRUE(device->Flush());
}

TEST_F(PeerPort, DevicesClosedRightAfterAWriteLeaveNoHandleBehind) {
    device.reset();
    // Closed at once after a write that ended by its limit: the cancel meets
    // the write mid-way.
    ExpectCyclesLeaveNothing(1, 40, [&] {
        auto d = ports.OpenDevice(own.c_str());
        ASSERT_TRUE(d && d->ReadyForWrites());
        EXPECT_NE(WriteBig(*d, 1).end, WriteEnd::kWritten);
        Bounded("closing", [&] { d.reset(); return 0; });
        peer->Drain(30);
    });
}

struct Files : ::testing::Test {
    std::string Made(const char* leaf) {
        char dir[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, dir);
        made.push_back(std::string(dir) + "orvanta_port_" + leaf);
        DeleteFileA(made.back().c_str());
        return made.back();
    }
    void TearDown() override {
        for (const auto& path : made) DeleteFileA(path.c_str());
    }
    std::string ReadAll(const std::string& path) {
        auto file = ports.OpenFileForRead(path.c_str());
        if (!file) return "<cannot open>";
        std::string all;
        char chunk[1000];
        int got = 0;
        while ((got = file->Read(chunk, sizeof chunk)) > 0) all.append(chunk, got);
        EXPECT_EQ(got, 0) << "the end must read as 0";
        return all;
    }
    windows::Win32Ports ports;
    std::vector<std::string> made;
};

TEST_F(Files, WhatIsWrittenReadsBackAndANewFileStartsEmpty) {
    const std::string path = Made("data.bin"), content = Pattern(10000) + '\0';
    {
        auto file = ports.CreateNewFile(path.c_str());
        ASSERT_TRUE(file);
        file->Write(content.data(), 6000);
        file->Write(content.data() + 6000, Size(content) - 6000);
    }
    EXPECT_TRUE(ReadAll(path) == content);
    {
        auto file = ports.CreateNewFile(path.c_str());
        ASSERT_TRUE(file);
        file->Write("neu", 3);
    }
    EXPECT_EQ(ReadAll(path), "neu");
}

TEST_F(Files, AnOpenFileIsNotShared) {
    const std::string path = Made("locked.txt");
    auto writer = ports.CreateNewFile(path.c_str());
    ASSERT_TRUE(writer);
    EXPECT_FALSE(ports.OpenFileForRead(path.c_str()));
    EXPECT_FALSE(ports.CreateNewFile(path.c_str()));
    EXPECT_FALSE(ports.OpenDevice(path.c_str()));
    writer.reset();
    auto reader = ports.OpenFileForRead(path.c_str());
    ASSERT_TRUE(reader);
    EXPECT_FALSE(ports.OpenFileForRead(path.c_str()));
}

TEST_F(Files, OpeningAMissingNameFailsWithTheOpensOwnError) {
    const std::string missing_dir = Made("nowhere") + "\\lpt.txt";
    for (const std::string& name : {std::string("\\\\.\\COM99"), missing_dir}) {
        SetLastError(0);
        auto device = ports.OpenDevice(name.c_str());
        const DWORD error = GetLastError();
        EXPECT_FALSE(device) << name;
        framework::UniqueFile raw(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        const DWORD raw_error = GetLastError();
        EXPECT_NE(error, 0u) << name;
        EXPECT_EQ(error, raw_error) << name;
    }
    EXPECT_FALSE(ports.OpenFileForRead(missing_dir.c_str()));
    EXPECT_FALSE(ports.CreateNewFile(missing_dir.c_str()));
}

TEST_F(Files, AFileOpenedAsADeviceTakesWritesInOrder) {
    const std::string path = Made("lpt.prn");
    ASSERT_TRUE(ports.CreateNewFile(path.c_str()));
    for (const char* name : {"NUL", path.c_str()}) {
        auto device = ports.OpenDevice(name);
        ASSERT_TRUE(device && device->ReadyForWrites()) << name;
        EXPECT_EQ(WriteAll(*device, "Zeile 1\r\n"), 9u) << name;
        EXPECT_EQ(WriteAll(*device, "Zeile 2\r\n"), 9u) << name;
        interfaces::LineSettings s;
        EXPECT_FALSE(device->ReadLineSettings(s)) << name << " has no line";
        EXPECT_FALSE(device->WaitEventChar(nullptr)) << name;
    }
    EXPECT_EQ(ReadAll(path), "Zeile 1\r\nZeile 2\r\n");
}

TEST_F(Files, AHundredCyclesLeaveTheHandleCountAsItWas) {
    const std::string path = Made("cycle.txt");
    const auto cycle = [&] {
        auto device = ports.OpenDevice("NUL");
        if (!device || WriteAll(*device, "x") != 1) return false;
        auto file = ports.CreateNewFile(path.c_str());
        if (!file) return false;
        file->Write("y", 1);
        file.reset();
        char c = 0;
        auto again = ports.OpenFileForRead(path.c_str());
        return again && again->Read(&c, 1) == 1 && c == 'y';
    };
    int round = 0;
    ExpectCyclesLeaveNothing(1, 100, [&] { ASSERT_TRUE(cycle()) << "cycle " << round++; });
}

}  // namespace
}  // namespace orvanta::testing
