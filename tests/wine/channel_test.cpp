// The device channel through the control on real Win32 services: a print job
// over the virtual cable, the protocol file, the line settings read back from
// the port, the notices as the watcher sees them, files as devices, and no
// handle left behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/wine/handles.h"
#include "tests/wine/host.h"
#include "testkit/peer.h"

namespace orvanta::testing {
namespace {

std::string ReadWholeFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Channel : ::testing::Test {
    Win32DeviceHost host;
    std::unique_ptr<OrvantaControl> ctrl = std::make_unique<OrvantaControl>(host.Get());
    DialogWatcher watcher;
    std::string own, peer_name;
    std::unique_ptr<Peer> peer;

    void SetUp() override {
        if (!PeerPorts(own, peer_name)) GTEST_SKIP() << "ORVANTA_PEER_PORTS names no cable";
        { Peer stale(own); stale.Drain(100); }
        peer = std::make_unique<Peer>(peer_name);
        ASSERT_TRUE(peer->IsOpen()) << "cannot open " << peer_name << ", error " << GetLastError();
        peer->Drain(100);
    }
    void TearDown() override {
        ctrl.reset();
        EXPECT_TRUE(watcher.WaitUntilNoneOpen(kBound));
    }
};

TEST_F(Channel, APrintJobArrivesByteForByteAndIsEchoedIntoTheProtocolFile) {
    ASSERT_TRUE(ctrl->OpenDevice(own));
    EXPECT_EQ(ReadWholeFile("OCXPROT.PRT"), "");  // emptied by the open, and held
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("OCXPROT.PRT", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, 0, nullptr));

    std::string file(9000, '\0');
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 13 % 256);
    WriteWholeFile("job.bin", file);

    EXPECT_EQ(ctrl->channel().Writeln("abc"), 5);
    EXPECT_EQ(ctrl->channel().SendEscCommand("E", "27 10"), 4);
    ctrl->channel().FormFeed();
    EXPECT_EQ(ctrl->channel().SendByte(0), 1);
    EXPECT_EQ(ctrl->channel().SendFile("job.bin"), 9000);
    const std::string expected = std::string("abc\r\n\x1B" "E\x1B\n\x0C", 10) + std::string(1, '\0') + file;
    EXPECT_EQ(peer->ReceiveAll(expected.size()), expected);

    ctrl->CloseDevice();
    // The echo leaves out the zero byte sent alone, and has every byte of the file.
    EXPECT_EQ(ReadWholeFile("OCXPROT.PRT"), std::string("abc\r\n\x1B" "E\x1B\n\x0C", 10) + file);
    EXPECT_TRUE(watcher.Boxes().empty());
    DeleteFileA("job.bin");
}

// A host window whose message the box's own loop delivers: the host calls
// back into the control while the box is up.
OrvantaControl* g_reentered = nullptr;
std::string g_reentry_port;
std::atomic<int> g_reentry{0};  // 1: reopened, 2: the reopen failed
LRESULT CALLBACK ReenterProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg != WM_APP) return DefWindowProcA(window, msg, wparam, lparam);
    g_reentered->CloseDevice();
    g_reentry = g_reentered->OpenDevice(g_reentry_port) ? 1 : 2;
    return 0;
}

TEST_F(Channel, AHostThatReopensThePortFromInsideABoxGetsItAndTheBoxsCallEnds) {
    ASSERT_TRUE(ctrl->OpenDevice(own));
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ReenterProc;
    wc.lpszClassName = "OrvantaReenter";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    g_reentered = ctrl.get();
    g_reentry_port = own;
    g_reentry = 0;
    std::atomic<bool> posted{false};
    watcher.SetAnswer([&](const BoxRecord& box) {
        if (box.caption != "COrvantaCtrl Debugmodus: Parameterstring") return IDOK;
        if (!posted.exchange(true)) PostMessageA(window, WM_APP, 0, 0);
        return g_reentry != 0 ? IDOK : 0;  // up until the host has called in
    });
    ctrl->settings().debugModus = true;
    EXPECT_FALSE(ctrl->channel().SetCOMSettings("baud=9600 parity=N data=8 stop=1"));  // its device went
    ctrl->settings().debugModus = false;
    EXPECT_EQ(g_reentry.load(), 1);
    EXPECT_EQ(ctrl->channel().Writeln("after"), 7);
    EXPECT_EQ(peer->ReceiveAll(7), "after\r\n");
    DestroyWindow(window);
}

TEST_F(Channel, EmptyModeStringAppliesTheDefaultsReadBackFromThePort) {
    ASSERT_TRUE(ctrl->OpenDevice(own));
    ctrl->settings().debugModus = true;
    EXPECT_TRUE(ctrl->channel().SetCOMSettings(""));
    // A pty keeps 8 data bits whatever it is told; a real port keeps 7.
    const int data_bits = OnWine() ? 8 : 7;
    interfaces::LineSettings line;
    ASSERT_TRUE(host.ports.last->ReadLineSettings(line));
    EXPECT_EQ(line.baud_rate, 9600u);
    EXPECT_EQ(line.data_bits, data_bits);
    EXPECT_EQ(line.parity, NOPARITY);
    EXPECT_EQ(line.stop_bits, TWOSTOPBITS);
    EXPECT_EQ(line.event_char, 3);

    ASSERT_TRUE(watcher.WaitUntilNoneOpen(kBound));
    const auto boxes = watcher.Boxes();
    // OpenDevice's traces came before debug mode: the three of the settings.
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2].Text(), "Baud=9600 parity=0  data=" + std::to_string(data_bits) + "   stop=2");
    for (const auto& box : boxes) {
        EXPECT_EQ(box.icon, "information");
        EXPECT_EQ(box.owner, nullptr);
    }

    watcher.Clear();
    ctrl->settings().debugModus = false;
    EXPECT_FALSE(ctrl->channel().SetCOMSettings("baud=fast"));
    ASSERT_TRUE(host.ports.last->ReadLineSettings(line));
    EXPECT_EQ(line.baud_rate, 9600u);  // unchanged
    EXPECT_TRUE(ctrl->channel().SetCOMSettings("baud=19200 parity=E data=8 stop=1"));
    ASSERT_TRUE(host.ports.last->ReadLineSettings(line));
    EXPECT_EQ(line.baud_rate, 19200u);
    EXPECT_EQ(line.parity, OnWine() ? NOPARITY : EVENPARITY);  // a pty has no parity either
    EXPECT_EQ(line.data_bits, 8);
    EXPECT_EQ(line.stop_bits, ONESTOPBIT);
}

TEST_F(Channel, SignalsAndTheErrorMask) {
    ASSERT_TRUE(ctrl->OpenDevice(own));
    EXPECT_FALSE(ctrl->channel().SetSignalOnCOM(0));
    EXPECT_FALSE(ctrl->channel().SetSignalOnCOM(9));
    // XOFF, XON and break work on any line; RTS and DTR need modem lines,
    // which a pty has not: the answer is the port's own.
    for (std::int16_t s = 5; s <= 8; ++s) EXPECT_TRUE(ctrl->channel().SetSignalOnCOM(s)) << s;
    for (std::int16_t s = 1; s <= 4; ++s) ctrl->channel().SetSignalOnCOM(s);
    EXPECT_EQ(ctrl->channel().ClearCOMError(), 0);
    EXPECT_TRUE(watcher.Boxes().empty());
}

TEST_F(Channel, WaitAndRawReadTakeWhatThePeerSent) {
    ASSERT_TRUE(ctrl->OpenDevice(own));
    ASSERT_TRUE(ctrl->channel().SetCOMSettings(""));
    ASSERT_TRUE(peer->Send("12"));
    std::thread later([&] { Sleep(100); peer->Send(std::string("34\x03" "56", 5)); });
    EXPECT_NE(ctrl->channel().WaitCOMSignal(0), 0);
    later.join();
    EXPECT_EQ(ctrl->channel().ReadBytes("xxxxx", 5, 5), 5);
    EXPECT_EQ(ctrl->channel().ReadBytes("xx", 2, 3), 0);
    EXPECT_EQ(ctrl->channel().ReadBytes("x", 100, 50), 2);  // the copy holds one letter and its zero
}

TEST_F(Channel, APeerThatStopsReadingTimesOutWithFourNoticesAndTheNextWriteWorks) {
    ASSERT_TRUE(ctrl->OpenDevice(own));
    ctrl->settings().timeout = 0;  // 9 s for any length
    const std::string big(4 << 20, 'x');
    Elapsed elapsed;
    EXPECT_EQ(ctrl->channel().Write(big), 0);
    EXPECT_GE(elapsed.ms(), 8500u);
    EXPECT_LT(elapsed.ms(), 20000u);
    ASSERT_TRUE(watcher.WaitUntilNoneOpen(kBound));
    const auto boxes = watcher.Boxes();
    EXPECT_EQ(boxes.size(), 4u);  // their texts are the channel's unit test

    // The cancelled write is over: what went out is drained, the next goes whole.
    const std::string drained = peer->Drain(300);
    EXPECT_LT(drained.size(), big.size());
    EXPECT_EQ(drained.find_first_not_of('x'), std::string::npos);
    EXPECT_EQ(ctrl->channel().Write("after"), 5);
    EXPECT_EQ(peer->ReceiveAll(5), "after");
}

TEST_F(Channel, AFileOrNulServesAsTheDevice) {
    WriteWholeFile("lpt.out", "");
    ASSERT_TRUE(ctrl->OpenDevice("lpt.out"));
    EXPECT_EQ(ctrl->channel().Writeln("Zeile 1"), 9);
    EXPECT_EQ(ctrl->channel().SendEscCommand("@", ""), 2);
    EXPECT_FALSE(ctrl->channel().SetCOMSettings(""));  // a file has no line
    ctrl->CloseDevice();
    EXPECT_EQ(ReadWholeFile("lpt.out"), "Zeile 1\r\n\x1B@");
    DeleteFileA("lpt.out");

    ASSERT_TRUE(ctrl->OpenDevice("NUL"));
    EXPECT_EQ(ctrl->channel().Write(std::string(1 << 20, 'n')), 1 << 20);
}

TEST_F(Channel, DevicesThatCannotBeOpenedAreNamedInTheNotice) {
    EXPECT_FALSE(ctrl->OpenDevice("COM42"));
    const std::string long_name = "COM" + std::string(3997, '7');
    EXPECT_FALSE(ctrl->OpenDevice(long_name));
    ASSERT_TRUE(ctrl->OpenDevice(own));
    EXPECT_FALSE(ctrl->OpenDevice("\\\\.\\NOSUCHDEVICE"));
    EXPECT_FALSE(ctrl->channel().IsOpen());  // the open one was closed first
    EXPECT_EQ(ctrl->channel().SendFile("no such file.prn"), 0);  // no device: nothing shown
    ASSERT_TRUE(ctrl->OpenDevice(own));
    EXPECT_EQ(ctrl->channel().SendFile("no such file.prn"), 0);
    ASSERT_TRUE(watcher.WaitUntilNoneOpen(kBound));
    const auto boxes = watcher.Boxes();
    EXPECT_EQ(boxes.size(), 4u);  // their texts are the channel's unit test
}

TEST_F(Channel, AHundredOpenWriteCloseCyclesLeaveNoHandle) {
    host.ports.pause = false;
    auto cycle = [&] {
        ASSERT_TRUE(ctrl->OpenDevice(own));
        ASSERT_EQ(ctrl->channel().Write("c"), 1);
        ctrl->CloseDevice();
    };
    ExpectNothingLeftBehind(
        [&] {
            for (int i = 0; i < 5; ++i) cycle();
            peer->Drain(50);
        },
        [&] {
            for (int i = 0; i < 100; ++i) cycle();
            peer->Drain(1);
        });
    EXPECT_TRUE(watcher.Boxes().empty());
}

}  // namespace
}  // namespace orvanta::testing
