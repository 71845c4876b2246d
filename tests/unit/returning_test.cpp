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
    struct Case {
        std::uint32_t error;
        bool cancel_asked, gone;
    };
    const Case cases[] = {{2, false, true},     {5, false, true},   {22, false, true},  {31, false, true},
                          {109, false, true},    {433, false, true}, {1167, false, true}, {1617, false, true},
                          {995, false, true},   {995, true, false}, {0, false, false},   {87, false, false},
                          {121, false, false},  {1117, false, false}, {6, false, false}};
    for (const Case& c : cases) EXPECT_EQ(windows::MeansDeviceGone(c.error, c.cancel_asked), c.gone) << c.error;
}

// Hears losses, returns, codes and ends, as the host's events would.
struct Told : DeviceWatcher, ScanListener {
    std::mutex mutex;
    std::vector<std::string> what;
    void Add(std::string t) {
        std::lock_guard<std::mutex> lock(mutex);
        what.push_back(std::move(t));
    }
    std::vector<std::string> All() {
        std::lock_guard<std::mutex> lock(mutex);
        return what;
    }
    void OnDeviceLost(const std::string& name, std::uint32_t error) override {
        Add("lost " + name + " " + std::to_string(error));
    }
    void OnDeviceBack(const std::string& name) override { Add("back " + name); }
    bool OnCodeScanned(const std::string& code) override {
        Add("code " + code);
        return true;
    }
    void OnScanEnded(ScanEnd why) override { Add("ended " + std::to_string(static_cast<int>(why))); }
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
    bool ToldCount(std::size_t n) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (told.All().size() < n && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return told.All().size() >= n;
    }
};

TEST_F(Returning, ASessionWaitsForItsPortAndReadsOnWithItsSettings) {
    ctrl.settings().withACKN = true;
    ctrl.settings().onlyWorkwithCurrentWindow = true;
    ctrl.settings().scanWindowHandle = -1;  // events only
    ASSERT_NE(ctrl.session().ActivateScanTask(), 0);
    p.port->Unplug("COM5", 1167);
    ASSERT_TRUE(ToldCount(1));
    EXPECT_FALSE(ctrl.channel().DevicePresent());
    EXPECT_EQ(ctrl.channel().Write("x"), 0);  // refused by the lost device, not sent
    p.port->ClearCalls();
    p.port->Replug("COM5");
    ASSERT_TRUE(ToldCount(2));
    EXPECT_TRUE(p.port->InOrder({"open COM5", "apply baud=19200 parity=N data=8 stop=1 evt=3", "signal 2"}));
    p.port->Feed("4711\x03");
    ASSERT_TRUE(ToldCount(3));
    ctrl.session().DeactivateScanTask(0);
    EXPECT_EQ(told.All(), (std::vector<std::string>{"lost COM5 1167", "back COM5", "code 4711", "ended 1"}));
    std::lock_guard<std::mutex> lock(p.port->mutex);
    EXPECT_EQ(p.port->writes.back(), "\x06");
}

TEST_F(Returning, ClosingALostDeviceReturnsAtOnceAndEndsTheLooks) {
    ASSERT_NE(ctrl.session().ActivateScanTask(), 0);
    p.port->Unplug("COM5", 995);
    ASSERT_TRUE(ToldCount(1));
    const auto start = std::chrono::steady_clock::now();
    ctrl.CloseDevice();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));  // the stop, not a termination
    EXPECT_EQ(p.threads.terminations, 0);
    const long looks = p.port->Count("open COM5");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(p.port->Count("open COM5"), looks);
}

TEST_F(Returning, APrintJobWithoutASessionFindsThePortBackOnItsNextWrite) {
    p.port->Unplug("COM5", 31);
    EXPECT_EQ(ctrl.channel().Write("lost"), 0);
    EXPECT_EQ(ctrl.channel().Write("still"), 0);  // at once: one look, the port not there
    p.port->Replug("COM5");
    std::this_thread::sleep_for(std::chrono::milliseconds(kLookIntervalMs + 50));
    EXPECT_EQ(ctrl.channel().Write("again"), 5);
    EXPECT_TRUE(ctrl.channel().DevicePresent());
    EXPECT_EQ(told.All(), (std::vector<std::string>{"lost COM5 31", "back COM5"}));
}

}  // namespace
}  // namespace orvanta::logic
