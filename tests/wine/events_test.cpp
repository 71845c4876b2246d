// The control's events through COM, as a host connects to them, with the
// test playing the scanner on the far end of the cable. (The port list is
// checked from VBScript, tests/scripts/channel.vbs.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "control/orvanta_ids.h"
#include "tests/wine/com_host.h"
#include "testkit/dispatch_sink.h"
#include "testkit/peer.h"

namespace orvanta::testing {
namespace {

// Records each event ("code,", "endN", "lostN," or "back,"), "!" for one off the creating
// thread; `inside` runs within the call.
struct Sink final : DispatchSink {
    std::string seen;
    int count = 0;
    std::function<void(const std::string&)> inside;
    HRESULT answer = S_OK;
    ULONG refs = 0;  // lives on the test's side, never deleted by a release
    const DWORD creator = GetCurrentThreadId();
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO* e, UINT*) override {
        VARIANT& a = p->rgvarg[0];
        const std::string event = id == kDispidCodeScanned ? Narrow(V_BSTR(&a)) + ","
                                  : id == kDispidDeviceBack ? "back,"
                                  : (id == kDispidScanEnded ? "end" : "lost") + std::to_string(V_I4(&a)) +
                                        (id == kDispidScanEnded ? "" : ",");
        seen += event + (GetCurrentThreadId() == creator ? "" : "!");
        ++count;
        VariantClear(&a);  // rude: the next sink still gets its own copy
        if (inside) inside(event);
        if (answer == DISP_E_EXCEPTION) e->bstrDescription = SysAllocString(L"handler failed");
        return answer;
    }
};

// "P0,P1,..." as the sink sees the codes; with 0x03 for "," as the scanner sends them.
std::string Codes(const char* prefix, int count, char end = ',') {
    std::string all;
    for (int i = 0; i < count; ++i) all += prefix + std::to_string(i) + end;
    return all;
}

struct Events : ComTest {
    Sink a, b;  // outlive the control, which holds them while connected
    Ptr<IDispatch> ctrl;
    Ptr<IConnectionPoint> point;
    DialogWatcher watcher;  // presses the closing messages of "ENDSCAN"
    std::string own, peer_name;
    std::unique_ptr<Peer> scanner;

    void SetUp() override {
        ComTest::SetUp();
        if (HasFatalFailure()) return;
        if (!PeerPorts(own, peer_name)) GTEST_SKIP() << "ORVANTA_PEER_PORTS names no cable";
        { Peer stale(own); stale.Drain(100); }
        scanner = std::make_unique<Peer>(peer_name);
        ASSERT_EQ(ocx->CreateControl(IID_IDispatch, ctrl.put_void()), S_OK);
        Ptr<IConnectionPointContainer> cpc;
        ASSERT_EQ(ctrl->QueryInterface(IID_IConnectionPointContainer, cpc.put_void()), S_OK);
        ASSERT_EQ(cpc->FindConnectionPoint(DIID__DOrvantaEvents, point.put()), S_OK);
        Put(kDispidwithACKN, -1);
        Put(kDispidonlyWorkwithCurrentWindow, -1);
    }
    void TearDown() override {
        point.reset();
        ctrl.reset();
        EXPECT_TRUE(watcher.WaitUntilNoneOpen(kBound));
        ComTest::TearDown();
    }
    void Call(DISPID id, std::vector<VARIANT> args = {}) {
        ScopedVariant result;
        EXPECT_EQ(CallDispatch(ctrl.p, id, DISPATCH_METHOD, args.data(), static_cast<UINT>(args.size()), &result.v), S_OK);
        for (VARIANT& v : args) VariantClear(&v);
    }
    void Put(DISPID id, LONG value) { EXPECT_EQ(PutProperty(ctrl.p, id, Arg(value)), S_OK); }
    DWORD Connect(Sink& sink) {
        DWORD cookie = 0;
        EXPECT_EQ(point->Advise(&sink, &cookie), S_OK);
        return cookie;
    }
    // Events only: -1 names no window, so none is taken from the focus.
    void Start() {
        Call(kDispidOpenDevice, {Arg(own)});
        Call(kDispidSetCOMSettings, {Arg("baud=9600 parity=N data=8 stop=1")});
        Put(kDispidscanWindowHandle, -1);
        Call(kDispidActivateScanTask);
        ASSERT_EQ(scanner->ReceiveAll(1), "\x06");
    }
};

TEST_F(Events, TwoSinksSeeEveryCodeOnceInOrderOnTheCreatingThreadAlsoWhenTheHostPumpsLate) {
    Start();
    ASSERT_TRUE(scanner->Send("N0\x03"));
    EXPECT_EQ(scanner->ReceiveAll(1), "\x0F") << "no window and no sink: as before events";
    Connect(a);
    Connect(b);
    b.answer = DISP_E_EXCEPTION;  // a failing handler changes nothing for the other
    ASSERT_TRUE(scanner->Send(Codes("C", 40, '\x03') + "ERROR\x03" "ENDSCAN\x03"));
    EXPECT_EQ(scanner->ReceiveAll(42), std::string(40, '\x06') + "\x0F\x06") << "answered while queued";
    EXPECT_EQ(a.seen, "") << "nothing fires before the host pumps";
    EXPECT_TRUE(PumpUntil([&] { return b.count == 41; }));
    EXPECT_EQ(a.seen, Codes("C", 40) + "end0");
    EXPECT_EQ(b.seen, a.seen);
}

TEST_F(Events, ASinkThatStopsTheTaskOrClosesTheDeviceInsideTheEventLosesNothing) {
    for (const DISPID stop : {kDispidDeactivateScanTask, kDispidCloseDevice}) {
        SCOPED_TRACE(stop);
        Sink leaving, first, second;
        const DWORD leaving_cookie = Connect(leaving);  // called first, gone before its second event
        Connect(first);
        Connect(second);
        first.inside = [&](const std::string& event) {
            if (event != "S0,") return;
            point->Unadvise(leaving_cookie);
            if (stop == kDispidCloseDevice) Call(stop);
            else Call(stop, {Arg(0)});
        };
        Start();
        ASSERT_TRUE(scanner->Send(Codes("S", 2, '\x03')));
        ASSERT_EQ(scanner->ReceiveAll(2), "\x06\x06");  // both read and queued before anyone pumps
        EXPECT_TRUE(PumpUntil([&] { return second.count == 3; }));
        PumpUntil([] { return false; }, 200);
        EXPECT_EQ(first.seen, Codes("S", 2) + (stop == kDispidCloseDevice ? "end2" : "end1")) << "one end, last";
        EXPECT_EQ(second.seen, first.seen);
        EXPECT_EQ(leaving.seen, "S0,");
        point->Unadvise(2);
        point->Unadvise(3);
        EXPECT_EQ(first.refs + second.refs + leaving.refs, 0u) << "every sink released once disconnected";
    }
}

// Run by tests/wine/run.sh's own step, which pulls the cable once cable.ready
// is there, plugs it back under the same names 2 s later and makes cable.back.
TEST_F(Events, ASessionOutlivesItsCableReplugged) {
    if (!std::getenv("ORVANTA_REPLUG_CABLE")) GTEST_SKIP() << "run by tests/wine/run.sh, which replugs the cable";
    Connect(a);
    Start();
    scanner.reset();
    std::ofstream("cable.ready") << "pull\n";
    EXPECT_TRUE(PumpUntil([&] { return a.count == 1; }));
    ScopedVariant written;
    VARIANT text = Arg("lost");
    Elapsed writing;
    EXPECT_EQ(CallDispatch(ctrl.p, kDispidWrite, DISPATCH_METHOD, &text, 1, &written.v), S_OK);
    VariantClear(&text);
    EXPECT_EQ(V_I4(&written.v), 0);
    EXPECT_LT(writing.ms(), 3000u) << "no time limit waited on a device that is gone";
    const auto cpu_ms = [] {
        FILETIME t[4];
        GetProcessTimes(GetCurrentProcess(), &t[0], &t[1], &t[2], &t[3]);
        const auto ms = [](const FILETIME& f) { return (ULONGLONG{f.dwHighDateTime} << 32 | f.dwLowDateTime) / 10000; };
        return ms(t[2]) + ms(t[3]);
    };
    const ULONGLONG cpu = cpu_ms();
    Sleep(1000);
    EXPECT_LT(cpu_ms() - cpu, 200u) << "nothing runs between the looks";
    EXPECT_TRUE(PumpUntil([] { return GetFileAttributesA("cable.back") != INVALID_FILE_ATTRIBUTES; }, 30000));
    scanner = std::make_unique<Peer>(peer_name);
    EXPECT_TRUE(PumpUntil([&] { return a.count == 2; }));
    ASSERT_TRUE(scanner->Send("N1\x03"));
    EXPECT_EQ(scanner->ReceiveAll(1), "\x06");
    EXPECT_TRUE(PumpUntil([&] { return a.count == 3; }));
    // Wine ends the reads of a port whose pty went with ERROR_BROKEN_PIPE.
    EXPECT_EQ(a.seen, "lost109,back,N1,");
    DeleteFileA("cable.ready");
    DeleteFileA("cable.back");
}

// A host whose text box's handler takes and drops a reference to the control
// on the task's messages while the control, released for the last time, stops.
IDispatch* g_touched = nullptr;
WNDPROC g_box_proc = nullptr;
LRESULT CALLBACK TouchingBox(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    if ((msg == WM_CHAR || msg == WM_NULL) && g_touched) {
        g_touched->AddRef();
        g_touched->Release();
    }
    return CallWindowProcA(g_box_proc, window, msg, wparam, lparam);
}

TEST_F(Events, AHandlerTouchingTheControlDuringItsDestructionDeletesItOnce) {
    HWND box = CreateWindowExA(0, "EDIT", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 30, nullptr, nullptr, nullptr, nullptr);
    g_box_proc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TouchingBox)));
    Start();
    Put(kDispidscanWindowHandle, static_cast<LONG>(reinterpret_cast<LONG_PTR>(box)));
    ASSERT_TRUE(scanner->Send("AB\x03"));
    Sleep(300);  // the task waits for this thread now; the release's stop takes it in
    g_touched = ctrl.p;
    point.reset();
    ctrl.reset();
    g_touched = nullptr;
    EXPECT_EQ(ocx->CanUnloadNow(), S_OK) << "the object is gone, once";
    DestroyWindow(box);
}

}  // namespace
}  // namespace orvanta::testing
