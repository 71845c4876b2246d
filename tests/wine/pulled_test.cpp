// The cable pulled while a write pends and the scan task waits: both end
// within their bounds, nothing crashes, and the control can be closed and
// used again. Run alone by tests/wine/run.sh, which pulls the cable (ends
// the pty pair) once this test has made the file cable.ready.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "tests/wine/host.h"
#include "testkit/peer.h"

namespace orvanta::testing {
namespace {

TEST(CablePulled, APendingWriteAndAWaitingTaskEndWhenThePeerGoes) {
    if (!std::getenv("ORVANTA_PULL_CABLE")) GTEST_SKIP() << "run by tests/wine/run.sh, which pulls the cable";
    std::string own, peer_name;
    ASSERT_TRUE(PeerPorts(own, peer_name));
    Win32DeviceHost host;
    auto ctrl = std::make_unique<OrvantaControl>(host.Get());
    DialogWatcher watcher;
    ASSERT_TRUE(ctrl->OpenDevice(own));
    ASSERT_TRUE(ctrl->channel().SetCOMSettings("baud=9600 parity=N data=8 stop=1"));
    ctrl->settings().timeout = 0;  // 9 s for any write
    ASSERT_NE(ctrl->session().ActivateScanTask(), 0);

    std::int32_t written = -1;
    Elapsed elapsed;
    std::thread writer([&] { written = ctrl->channel().Write(std::string(4 << 20, 'p')); });
    Sleep(300);  // the write pends: nobody reads the far end
    std::ofstream("cable.ready") << "pull\n";
    writer.join();
    EXPECT_EQ(written, 0);
    EXPECT_LT(elapsed.ms(), 15000u);
    EXPECT_TRUE(watcher.WaitUntilNoneOpen(kBound));
    EXPECT_FALSE(watcher.Boxes().empty());  // the write's failure was told

    Elapsed stopping;
    ctrl->session().DeactivateScanTask(0);
    EXPECT_LT(stopping.ms(), 2000u);
    ctrl->CloseDevice();
    EXPECT_FALSE(ctrl->OpenDevice(own));  // the port is gone now
    ASSERT_TRUE(ctrl->OpenDevice("NUL"));
    EXPECT_EQ(ctrl->channel().Write("after"), 5);
    ctrl.reset();
    EXPECT_TRUE(watcher.WaitUntilNoneOpen(kBound));
    DeleteFileA("cable.ready");
}

}  // namespace
}  // namespace orvanta::testing
