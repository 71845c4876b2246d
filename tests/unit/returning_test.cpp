// Devices that go and come back: the errors that mean a port is gone, and the
// channel and scan task that wait for it under its name.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "control/orvanta_control.h"
#include "tests/fakes/fake_port.h"
#include "windows/device_loss.h"

namespace orvanta::logic {
namespace {

TEST(DeviceLoss, TheErrorsThatMeanAPortIsGone) {
    for (const std::uint32_t gone : {2u, 5u, 22u, 31u, 109u, 433u, 995u, 1167u, 1617u})
        EXPECT_TRUE(windows::MeansDeviceGone(gone)) << gone;
    for (const std::uint32_t other : {0u, 6u, 87u, 121u, 1117u}) EXPECT_FALSE(windows::MeansDeviceGone(other)) << other;
    EXPECT_FALSE(windows::MeansDeviceGone(995, /*cancel_asked=*/true));
}

// What the host would hear, in order.
struct Told : DeviceWatcher, ScanListener {
    std::mutex mutex;
    std::vector<std::string> what;
    void Add(const std::string& t) {
        std::lock_guard<std::mutex> lock(mutex);
        what.push_back(t);
    }
    std::vector<std::string> All() {
        std::lock_guard<std::mutex> lock(mutex);
        return what;
    }
    void OnDeviceLost(const std::string& name, std::uint32_t e) override { Add("lost " + name + " " + std::to_string(e)); }
    void OnDeviceBack(const std::string& name) override { Add("back " + name); }
    bool OnCodeScanned(const std::string& code) override { return Add("code " + code), true; }
    void OnScanEnded(ScanEnd why) override { Add("ended " + std::to_string(static_cast<int>(why))); }
    bool Count(std::size_t n) {
        for (int i = 0; i < 1000 && All().size() < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return All().size() >= n;
    }
};

struct Returning : ::testing::Test {
    fakes::DevicePlatform p;
    OrvantaControl ctrl{p.Get()};
    Told told;
    void SetUp() override {
        ctrl.channel().SetDeviceWatcher(&told);
        ctrl.session().SetListener(&told);
        ASSERT_TRUE(ctrl.OpenDevice("COM5"));
        ASSERT_TRUE(ctrl.channel().SetCOMSettings("baud=19200 parity=N data=8 stop=1"));
        ASSERT_TRUE(ctrl.channel().SetSignalOnCOM(3));  // DTR on
    }
    void TearDown() override { ctrl.session().SetListener(nullptr); }
};

TEST_F(Returning, ASessionWaitsForItsPortAndReadsOnWithItsSettings) {
    ctrl.settings().withACKN = true;
    ctrl.settings().onlyWorkwithCurrentWindow = true;
    ctrl.settings().scanWindowHandle = -1;  // events only
    ASSERT_NE(ctrl.session().ActivateScanTask(), 0);
    p.port->Unplug("COM5", 1167);
    ASSERT_TRUE(told.Count(1));
    EXPECT_FALSE(ctrl.channel().DevicePresent());
    p.port->ClearCalls();
    p.port->Replug("COM5");
    ASSERT_TRUE(told.Count(2));
    EXPECT_TRUE(p.port->InOrder({"open COM5", "apply baud=19200 parity=N data=8 stop=1 evt=3", "signal 2"}));
    p.port->Feed("4711\x03");
    ASSERT_TRUE(told.Count(3));
    ctrl.session().DeactivateScanTask(0);
    EXPECT_EQ(told.All(), (std::vector<std::string>{"lost COM5 1167", "back COM5", "code 4711", "ended 1"}));
    EXPECT_EQ(p.port->writes.back(), "\x06");
}

TEST_F(Returning, ClosingALostDeviceReturnsAtOnceAndEndsTheLooks) {
    ASSERT_NE(ctrl.session().ActivateScanTask(), 0);
    p.port->Unplug("COM5", 995);
    ASSERT_TRUE(told.Count(1));
    const auto start = std::chrono::steady_clock::now();
    ctrl.CloseDevice();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));  // the stop, not a termination
    const long looks = p.port->Count("open COM5");
    std::this_thread::sleep_for(std::chrono::milliseconds(kLookIntervalMs + 200));
    EXPECT_EQ(p.port->Count("open COM5"), looks);
}

TEST_F(Returning, APrintJobWithoutASessionHearsOfThePortsReturn) {
    p.port->Unplug("COM5", 31);
    EXPECT_EQ(ctrl.channel().Write("lost"), 0);
    EXPECT_EQ(ctrl.channel().Write("still"), 0);  // refused at once
    p.port->Replug("COM5");
    ASSERT_TRUE(told.Count(2));  // looked for with nobody writing
    EXPECT_EQ(ctrl.channel().Write("again"), 5);
    EXPECT_EQ(told.All(), (std::vector<std::string>{"lost COM5 31", "back COM5"}));
}

}  // namespace
}  // namespace orvanta::logic
