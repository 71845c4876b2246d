// What the hostile host (host_fuzz.cpp) found, each reduced to the few steps
// that show it.
#include "tests/wine/com_host.h"
#include "tests/wine/handles.h"
#include "testkit/peer.h"

namespace orvanta::testing {
namespace {

// A host that frees unused libraries (CoFreeUnusedLibraries) unloads the
// module between uses of the control and loads it again later. Each load
// once left a handle to the creating thread and an event behind (+2 handles
// per cycle): the runtime's record of a host thread that reached a guarded
// local or a thread id, which nothing frees when the module goes. Found by
// host_fuzz with ORVANTA_HOST_FUZZ_SEED=8.
TEST(HostFuzzFound, LoadingAndUnloadingTheModuleLeavesNoHandles) {
    ASSERT_FALSE(OcxPath().empty()) << "pass --ocx=<path of ORVANTA.OCX>";
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    const auto cycle = [] {
        Ocx ocx;
        ASSERT_TRUE(ocx.Loaded());
        Ptr<IDispatch> control;
        ASSERT_EQ(ocx.CreateControl(IID_IDispatch, control.put_void()), S_OK);
        control.reset();
        EXPECT_EQ(ocx.CanUnloadNow(), S_OK);
    };
    ExpectCyclesLeaveNothing(3, 20, cycle);
    OleUninitialize();
}

}  // namespace
}  // namespace orvanta::testing
