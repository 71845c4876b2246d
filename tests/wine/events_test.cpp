// The control's events through COM, as a host connects to them, with the
// test playing the scanner on the far end of the cable; and the port list.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "control/orvanta_ids.h"
#include "tests/wine/com_host.h"
#include "testkit/peer.h"

namespace orvanta::testing {
namespace {

// A sink that records each event with the thread it came on; `inside` runs
// within the call, as a host's handler would.
class Sink final : public IDispatch {
public:
    struct Seen {
        DISPID id;
        std::string text;
        LONG number;
        DWORD thread;
    };
    std::vector<Seen> seen;
    std::function<void(const Seen&)> inside;
    HRESULT answer = S_OK;

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        *ppv = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
            !IsEqualIID(iid, DIID__DOrvantaEvents))
            return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }  // lives on the test's stack
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO* e, UINT*) override {
        const VARIANT& a = p->rgvarg[0];
        seen.push_back({id, V_VT(&a) == VT_BSTR ? Narrow(V_BSTR(&a)) : "", V_VT(&a) == VT_I4 ? V_I4(&a) : -1,
                        GetCurrentThreadId()});
        VariantClear(&p->rgvarg[0]);  // a rude sink: the next one still gets its own copy
        if (inside) inside(seen.back());
        if (answer == DISP_E_EXCEPTION) e->bstrDescription = SysAllocString(L"handler failed");
        return answer;
    }
    ULONG refs = 0;

    std::string Codes() const {
        std::string all;
        for (const Seen& s : seen) all += s.id == kDispidCodeScanned ? s.text + "," : "end" + std::to_string(s.number);
        return all;
    }
};

VARIANT Num(LONG n) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
    return v;
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
        ASSERT_TRUE(scanner->IsOpen());
        scanner->Drain(100);
        ASSERT_EQ(ocx->CreateControl(IID_IDispatch, ctrl.put_void()), S_OK);
        Ptr<IConnectionPointContainer> cpc;
        ASSERT_EQ(ctrl->QueryInterface(IID_IConnectionPointContainer, cpc.put_void()), S_OK);
        ASSERT_EQ(cpc->FindConnectionPoint(DIID__DOrvantaEvents, point.put()), S_OK);
        ASSERT_EQ(Call(kDispidOpenDevice, {Text(own)}), 1);
        Call(kDispidSetCOMSettings, {Text("baud=9600 parity=N data=8 stop=1")});
        Put(kDispidwithACKN, -1);
        Put(kDispidonlyWorkwithCurrentWindow, -1);
    }
    void TearDown() override {
        point.reset();
        ctrl.reset();
        EXPECT_TRUE(watcher.WaitUntilNoneOpen(kBound));
        ComTest::TearDown();
    }
    static VARIANT Text(const std::string& s) {
        VARIANT v;
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(Wide(s).c_str());
        return v;
    }
    LONG Call(DISPID id, std::vector<VARIANT> args = {}) {
        ScopedVariant result;
        EXPECT_EQ(CallDispatch(ctrl.p, id, DISPATCH_METHOD, args.data(), static_cast<UINT>(args.size()),
                               &result.v), S_OK);
        for (VARIANT& a : args) VariantClear(&a);
        return V_VT(&result.v) == VT_BOOL ? -V_BOOL(&result.v) : V_I4(&result.v);
    }
    void Put(DISPID id, LONG value) { EXPECT_EQ(PutProperty(ctrl.p, id, Num(value)), S_OK); }
    DWORD Connect(Sink& sink) {
        DWORD cookie = 0;
        EXPECT_EQ(point->Advise(&sink, &cookie), S_OK);
        return cookie;
    }
    // Events only: -1 names no window, so none is taken from the focus.
    LONG Activate() {
        Put(kDispidscanWindowHandle, -1);
        return Call(kDispidActivateScanTask);
    }
};

TEST_F(Events, TwoSinksSeeEveryCodeOnceInOrderOnTheCreatingThreadAndEachIsAnswered) {
    ASSERT_NE(Activate(), 0);
    ASSERT_EQ(scanner->ReceiveAll(1), "\x06");
    ASSERT_TRUE(scanner->Send("N0\x03"));
    EXPECT_EQ(scanner->ReceiveAll(1), "\x0F") << "no window and no sink: as before events";
    Connect(a);
    Connect(b);
    b.answer = DISP_E_EXCEPTION;  // a failing handler changes nothing for the other
    std::string codes, expected;
    for (int i = 1; i <= 30; ++i) codes += "C" + std::to_string(i) + "\x03", expected += "C" + std::to_string(i) + ",";
    ASSERT_TRUE(scanner->Send(codes + "ERROR\x03" "ENDSCAN\x03"));
    EXPECT_EQ(scanner->ReceiveAll(32), std::string(30, '\x06') + "\x0F\x06");
    EXPECT_TRUE(PumpUntil([&] { return a.seen.size() == 31 && b.seen.size() == 31; }));
    EXPECT_EQ(a.Codes(), expected + "end0");
    EXPECT_EQ(b.Codes(), a.Codes());
    for (const auto& s : a.seen) EXPECT_EQ(s.thread, GetCurrentThreadId());
}

TEST_F(Events, ASinkThatStopsTheTaskOrClosesTheDeviceInsideTheEventLosesNothing) {
    for (const DISPID stop : {kDispidDeactivateScanTask, kDispidCloseDevice}) {
        SCOPED_TRACE(stop);
        Sink leaving, first, second;
        const DWORD leaving_cookie = Connect(leaving);  // called first, gone before its second event
        Connect(first);
        Connect(second);
        first.inside = [&](const Sink::Seen& s) {
            if (s.id != kDispidCodeScanned || s.text != "S1") return;
            point->Unadvise(leaving_cookie);  // another sink leaves mid-event
            if (stop == kDispidCloseDevice) Call(stop);
            else Call(stop, {Num(0)});
        };
        ASSERT_NE(Activate(), 0);
        ASSERT_EQ(scanner->ReceiveAll(1), "\x06");
        ASSERT_TRUE(scanner->Send("S1\x03S2\x03"));
        ASSERT_EQ(scanner->ReceiveAll(2), "\x06\x06");  // both read and queued before anyone pumps
        Elapsed e;
        EXPECT_TRUE(PumpUntil([&] { return second.seen.size() == 3; }));
        EXPECT_LT(e.ms(), kBound);
        const std::string end = stop == kDispidCloseDevice ? "end2" : "end1";
        EXPECT_EQ(first.Codes(), "S1,S2," + end);
        EXPECT_EQ(second.Codes(), first.Codes());
        EXPECT_EQ(leaving.Codes(), "S1,");
        PumpUntil([] { return false; }, 200);
        EXPECT_EQ(first.seen.size(), 3u) << "one end, nothing after it";
        Call(kDispidOpenDevice, {Text(own)});
        Call(kDispidSetCOMSettings, {Text("baud=9600 parity=N data=8 stop=1")});
        point->Unadvise(2);
        point->Unadvise(3);
        EXPECT_EQ(first.refs + second.refs + leaving.refs, 0u) << "every sink released once disconnected";
    }
}

TEST_F(Events, AHostThatPumpsLateGetsEveryQueuedCode) {
    Connect(a);
    ASSERT_NE(Activate(), 0);
    ASSERT_EQ(scanner->ReceiveAll(1), "\x06");
    std::string codes, expected;
    for (int i = 0; i < 50; ++i) codes += "L" + std::to_string(i) + "\x03", expected += "L" + std::to_string(i) + ",";
    ASSERT_TRUE(scanner->Send(codes));
    EXPECT_EQ(scanner->ReceiveAll(50), std::string(50, '\x06'));  // answered while queued
    EXPECT_TRUE(a.seen.empty()) << "nothing fires before the host pumps";
    EXPECT_TRUE(PumpUntil([&] { return a.seen.size() == 50; }));
    EXPECT_EQ(a.Codes(), expected);
}

TEST_F(Events, ThePortListNamesTheCablesPortsAsAnArrayOfStrings) {
    ScopedVariant list;
    ASSERT_EQ(CallDispatch(ctrl.p, kDispidGetCOMPorts, DISPATCH_METHOD, nullptr, 0, &list.v), S_OK);
    ASSERT_EQ(V_VT(&list.v), VT_ARRAY | VT_VARIANT);
    LONG low = -1, high = -1;
    SafeArrayGetLBound(V_ARRAY(&list.v), 1, &low);
    SafeArrayGetUBound(V_ARRAY(&list.v), 1, &high);
    EXPECT_EQ(low, 0);
    std::string names;
    for (LONG i = low; i <= high; ++i) {
        ScopedVariant item;
        ASSERT_EQ(SafeArrayGetElement(V_ARRAY(&list.v), &i, &item.v), S_OK);
        ASSERT_EQ(V_VT(&item.v), VT_BSTR);
        names += Narrow(V_BSTR(&item.v)) + " ";
    }
    EXPECT_NE(names.find(own + " "), std::string::npos) << names;
    EXPECT_NE(names.find(peer_name + " "), std::string::npos) << names;
}

}  // namespace
}  // namespace orvanta::testing
