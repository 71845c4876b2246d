// Network ports through the control against the run's servers on the loopback
// address (tests/net/servers.sh): ORVANTA_NET_DIR holds raw/ (the printer on
// raw TCP: port, received, stall, drop) and ser/ (ser2net's RFC 2217 port; a
// file "check" there has the run write the pty's settings to "stty"); COM7 is
// the far end of ser2net's pty.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "tests/wine/host.h"
#include "testkit/peer.h"

namespace orvanta::testing {
namespace {

std::string Slurp(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Touch(const std::string& name) { std::ofstream(name, std::ios::binary) << ""; }

struct CodeSink : logic::ScanListener {  // as a host's connected sink
    bool OnCodeScanned(const std::string& code) override {
        std::lock_guard<std::mutex> lock(mutex);
        codes.push_back(code);
        return true;
    }
    void OnScanEnded(logic::ScanEnd) override {}
    std::vector<std::string> Codes() {
        std::lock_guard<std::mutex> lock(mutex);
        return codes;
    }
    std::mutex mutex;
    std::vector<std::string> codes;
};

struct Heard : logic::DeviceWatcher {  // a loss without its error counts 100
    std::atomic<int> lost{0}, back{0};
    void OnDeviceLost(const std::string&, std::uint32_t error) override { lost += error ? 1 : 100; }
    void OnDeviceBack(const std::string&) override { ++back; }
};

struct NetPort : ::testing::Test {
    Win32DeviceHost host;
    std::unique_ptr<OrvantaControl> ctrl = std::make_unique<OrvantaControl>(host.Get());
    DialogWatcher watcher;
    std::string dir;

    void SetUp() override {
        const char* d = std::getenv("ORVANTA_NET_DIR");
        if (!d) GTEST_SKIP() << "ORVANTA_NET_DIR names no servers";
        dir = d;
    }
    void TearDown() override {
        if (ctrl) Bounded("destroying the control", [&] { ctrl.reset(); return 0; });
        EXPECT_TRUE(watcher.WaitUntilNoneOpen(kBound));
    }
    std::string Name(const char* scheme, const char* server, const char* host = "127.0.0.1") {
        std::string port = Slurp(dir + "\\" + server + "\\port");
        return std::string(scheme) + "://" + host + ":" + port.substr(0, port.find_first_of("\r\n"));
    }
};

TEST_F(NetPort, ARefusedOneIsNotOpenAStalledOneTimesOutWithFourNoticesAndADroppedOneComesBack) {
    EXPECT_FALSE(ctrl->OpenDevice("socket://127.0.0.1:1"));  // nothing listens there
    ASSERT_TRUE(watcher.WaitUntilNoneOpen(kBound));
    EXPECT_EQ(watcher.Boxes().size(), 1u);
    watcher.Clear();
    // A host name, the scheme in capitals: each of its addresses is tried.
    ASSERT_TRUE(ctrl->OpenDevice(Name("SOCKET", "raw", "localhost")));
    ctrl->settings().timeout = 0;  // 9 s for any length
    Touch(dir + "\\raw\\stall");
    Elapsed elapsed;
    EXPECT_EQ(ctrl->channel().Write(std::string(64 << 20, 'x')), 0);
    EXPECT_GE(elapsed.ms(), 8500u);
    EXPECT_LT(elapsed.ms(), 30000u);
    ASSERT_TRUE(watcher.WaitUntilNoneOpen(kBound));
    EXPECT_EQ(watcher.Boxes().size(), 4u);
    DeleteFileA((dir + "\\raw\\stall").c_str());

    watcher.Clear();
    Heard heard;
    ctrl->channel().SetDeviceWatcher(&heard);
    std::ofstream(dir + "\\raw\\drop", std::ios::binary) << "reset\n";
    // The reset may take a write or two to be seen; then the port is lost
    // once, and the control connects again, as the printer accepts again.
    bool failed = false;
    for (Elapsed e; !failed && e.ms() < kBound; Sleep(50)) failed = ctrl->channel().Write("after") == 0;
    EXPECT_TRUE(failed);
    EXPECT_TRUE(watcher.WaitForBoxes(1, kBound));
    for (Elapsed e; !heard.back && e.ms() < kBound;) Sleep(20);
    EXPECT_EQ(heard.lost + 10 * heard.back, 11);
    EXPECT_EQ(ctrl->channel().Write("again"), 5);
    std::string got;
    for (Elapsed e; got.rfind("again") == std::string::npos && e.ms() < kBound; Sleep(50))
        got = Slurp(dir + "\\raw\\received");
    EXPECT_NE(got.rfind("again"), std::string::npos);
    Bounded("closing a port that came back", [&] { ctrl->channel().Close(); return 0; });
    ctrl->channel().SetDeviceWatcher(nullptr);
}

TEST_F(NetPort, ASerialServerTakesTheLineSettingsAndAScanSessionIsAnsweredCodeByCode) {
    Peer scanner("COM7");
    ASSERT_TRUE(scanner.IsOpen());
    scanner.Drain(100);
    ASSERT_TRUE(ctrl->OpenDevice(Name("rfc2217", "ser")));
    ASSERT_TRUE(ctrl->channel().SetCOMSettings("baud=19200 parity=E data=8 stop=1"));
    Touch(dir + "\\ser\\check");
    std::string stty;
    for (Elapsed e; stty.empty() && e.ms() < kBound; Sleep(50)) stty = Slurp(dir + "\\ser\\stty");
    EXPECT_NE(stty.find("speed 19200 baud"), std::string::npos) << stty;
    EXPECT_NE(stty.find("-cstopb"), std::string::npos) << stty;
    EXPECT_NE(stty.find("-parodd"), std::string::npos) << stty;

    ctrl->settings().withACKN = true;
    ctrl->settings().onlyWorkwithCurrentWindow = true;
    ctrl->settings().scanWindowHandle = -1;
    CodeSink sink;
    ctrl->session().SetListener(&sink);
    const std::int32_t task = ctrl->session().ActivateScanTask();
    ASSERT_GT(task, 0);
    EXPECT_EQ(scanner.ReceiveAll(1, kBound), "\x06");
    ASSERT_TRUE(scanner.Send("A1\x03" "\xFF" "B2\x03"));
    EXPECT_EQ(scanner.ReceiveAll(2, kBound), "\x06\x06");
    EXPECT_EQ(sink.Codes(), (std::vector<std::string>{"A1", "\xFF" "B2"}));
    Elapsed stop;
    ctrl->session().DeactivateScanTask(task);
    EXPECT_LT(stop.ms(), kBound);
    ctrl->session().SetListener(nullptr);
}

}  // namespace
}  // namespace orvanta::testing
