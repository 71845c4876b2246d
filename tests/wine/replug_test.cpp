// The cable's far end taken away and brought back under the same name while a
// session runs, with a sink connected: one lost and one back event, a write
// while lost that returns at once, little CPU while away, and the next code
// delivered and answered 0x06. Run alone by tests/wine/run.sh, which pulls the
// cable once this test has made cable.ready and makes cable.back once the
// pair is there again.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "control/orvanta_ids.h"
#include "tests/wine/com_host.h"
#include "testkit/dispatch_sink.h"
#include "testkit/peer.h"

namespace orvanta::testing {
namespace {

// "lost", "back", "code,", each with its first argument; Error is printed.
struct ReplugSink final : DispatchSink {
    std::string seen;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
        VARIANT& first = p->rgvarg[p->cArgs - 1];
        const std::string text = V_VT(&first) == VT_BSTR ? Narrow(V_BSTR(&first)) : std::to_string(V_I4(&first));
        if (id == kDispidDeviceLost) {
            std::printf("lost: %s, error %ld\n", text.c_str(), static_cast<long>(V_I4(&p->rgvarg[0])));
            seen += "lost " + text + ",";
        } else if (id == kDispidDeviceBack) {
            seen += "back " + text + ",";
        } else if (id == kDispidCodeScanned) {
            seen += text + ",";
        }
        return S_OK;
    }
};

ULONGLONG CpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME& t) { return (ULONGLONG{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 10000; };
    return ms(kernel) + ms(user);
}

struct CableReplugged : ComTest {};

TEST_F(CableReplugged, TheSessionGoesOnWithOneLostAndOneBackEvent) {
    if (!std::getenv("ORVANTA_REPLUG_CABLE")) GTEST_SKIP() << "run by tests/wine/run.sh, which replugs the cable";
    std::string own, peer_name;
    ASSERT_TRUE(PeerPorts(own, peer_name));
    DialogWatcher watcher;  // presses the lost write's notice
    ReplugSink sink;
    Ptr<IDispatch> ctrl;
    Ptr<IConnectionPoint> point;
    ASSERT_EQ(ocx->CreateControl(IID_IDispatch, ctrl.put_void()), S_OK);
    Ptr<IConnectionPointContainer> cpc;
    ASSERT_EQ(ctrl->QueryInterface(IID_IConnectionPointContainer, cpc.put_void()), S_OK);
    ASSERT_EQ(cpc->FindConnectionPoint(DIID__DOrvantaEvents, point.put()), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    const auto call = [&](DISPID id, VARIANT* args, UINT count, WORD flags = DISPATCH_METHOD) {
        ScopedVariant result;
        EXPECT_EQ(CallDispatch(ctrl.p, id, flags, args, count, &result.v), S_OK);
        for (UINT i = 0; i < count; ++i) VariantClear(&args[i]);
        return V_VT(&result.v) == VT_BOOL ? LONG{V_BOOL(&result.v)} : V_I4(&result.v);
    };
    EXPECT_EQ(PutProperty(ctrl.p, kDispidwithACKN, Arg(-1)), S_OK);
    EXPECT_EQ(PutProperty(ctrl.p, kDispidonlyWorkwithCurrentWindow, Arg(-1)), S_OK);
    EXPECT_EQ(PutProperty(ctrl.p, kDispidscanWindowHandle, Arg(-1)), S_OK);
    auto scanner = std::make_unique<Peer>(peer_name);
    VARIANT name = Arg(own), mode = Arg("baud=9600 parity=N data=8 stop=1");
    ASSERT_TRUE(call(kDispidOpenDevice, &name, 1));
    ASSERT_TRUE(call(kDispidSetCOMSettings, &mode, 1));
    ASSERT_NE(call(kDispidActivateScanTask, nullptr, 0), 0);
    ASSERT_EQ(scanner->ReceiveAll(1), "\x06");

    scanner.reset();
    std::ofstream("cable.ready") << "pull\n";
    EXPECT_TRUE(PumpUntil([&] { return sink.seen.find("lost") != std::string::npos; }));
    EXPECT_FALSE(call(kDispidDevicePresent, nullptr, 0, DISPATCH_PROPERTYGET));
    Elapsed writing;
    VARIANT text = Arg("lost");
    EXPECT_EQ(call(kDispidWrite, &text, 1), 0);
    EXPECT_LT(writing.ms(), 3000u) << "no time limit waited on a device that is gone";
    const ULONGLONG cpu = CpuMs();
    Sleep(1000);
    EXPECT_LT(CpuMs() - cpu, 200u) << "the looks cost next to nothing";

    EXPECT_TRUE(PumpUntil([] { return GetFileAttributesA("cable.back") != INVALID_FILE_ATTRIBUTES; }, 30000));
    scanner = std::make_unique<Peer>(peer_name);
    EXPECT_TRUE(PumpUntil([&] { return sink.seen.find("back") != std::string::npos; }));
    ASSERT_TRUE(scanner->Send("N1\x03"));
    EXPECT_EQ(scanner->ReceiveAll(1), "\x06");
    EXPECT_TRUE(PumpUntil([&] { return sink.seen.find("N1,") != std::string::npos; }));
    EXPECT_EQ(sink.seen, "lost " + own + ",back " + own + ",N1,");
    EXPECT_TRUE(call(kDispidDevicePresent, nullptr, 0, DISPATCH_PROPERTYGET));
    VARIANT print = Arg("P1");
    EXPECT_EQ(call(kDispidWrite, &print, 1), 2);  // prints go on too
    EXPECT_EQ(scanner->ReceiveAll(2), "P1");

    call(kDispidCloseDevice, nullptr, 0);
    point->Unadvise(cookie);
    point.reset();
    cpc.reset();
    ctrl.reset();
    EXPECT_TRUE(watcher.WaitUntilNoneOpen(kBound));
    DeleteFileA("cable.ready");
    DeleteFileA("cable.back");
}

}  // namespace
}  // namespace orvanta::testing
