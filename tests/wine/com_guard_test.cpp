// The control base with a derived control whose hooks throw: every COM
// method that calls one answers with an HRESULT, and nothing unwinds into
// the host.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <new>
#include <stdexcept>

#include "control/orvanta_members.h"
#include "orvanta.h"
#include "framework/control_base.h"
#include "framework/persist_state.h"
#include "testkit/dispatch_sink.h"
#include "testkit/peer.h"

namespace orvanta::testing {
namespace {

constexpr std::uint32_t kVersion = 0x00010000;

const framework::ControlClass kThrowingClass = {
    &CLSID_Orvanta, &DIID__DOrvanta, &DIID__DOrvantaEvents, &LIBID_ORVANTALib, 1, 0,
    nullptr,        0,               0,                     &OrvantaMembers(),  kVersion,
    L"OrvantaControlWindow",
};

class ThrowingControl final : public framework::ControlBase {
public:
    ThrowingControl() : ControlBase(kThrowingClass) {}
    using ControlBase::Events;

private:
    void OnDraw(HDC, const RECT&, const RECT&) override { throw std::runtime_error("draw"); }
    void DoPropExchange(framework::PropExchange&) override { throw std::bad_alloc(); }
    DWORD GetMiscStatusBits() const override { return 0; }
    bool IsModified() const override { return false; }
    void SetModifiedFlag(bool) override {}
    void Dispatch(const framework::AutoMember&, Action, framework::DispatchArgs&, framework::DispatchResult&) override {}
};

TEST(ControlBaseGuard, HooksThatThrowBecomeHResultsAtTheComBoundary) {
    auto* control = new ThrowingControl();  // one reference, released below
    framework::ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(control->QueryInterface(IID_IPersistStreamInit, persist.put_void()), S_OK);
    framework::ComPtr<IViewObject2> view;
    ASSERT_EQ(control->QueryInterface(IID_IViewObject2, view.put_void()), S_OK);
    control->Release();

    EXPECT_EQ(persist->InitNew(), E_OUTOFMEMORY);

    framework::ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    EXPECT_EQ(persist->Save(stream.get(), TRUE), E_OUTOFMEMORY);

    // A whole, valid record, so the load reaches the exchange.
    unsigned char record[framework::kRecordSize];
    framework::Encode(framework::ControlState{kVersion, 100, 100, 0}, record);
    ULONG written = 0;
    ASSERT_EQ(stream->Write(record, sizeof record, &written), S_OK);
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(persist->Load(stream.get()), E_OUTOFMEMORY);

    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    const RECTL bounds = {0, 0, 40, 20};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
              E_UNEXPECTED);
    DeleteDC(dc);
}

// Each event as "dispid:arguments," in the host's order (the first is rgvarg's last).
struct Recorder final : DispatchSink {
    std::vector<std::string> seen;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
        std::string s = std::to_string(id) + ":";
        const VARIANT* a = p->rgvarg;
        for (UINT i = p->cArgs; i-- > 0;)
            s += (V_VT(&a[i]) == VT_BSTR ? Narrow(V_BSTR(&a[i])) : std::to_string(V_I4(&a[i]))) + ",";
        seen.push_back(s);
        return S_OK;
    }
};

// A frozen host gets nothing until it thaws, then all in order; a queue
// nobody takes from holds kLongest, and the closing event still comes past it.
TEST(ControlBaseGuard, FrozenEventsWaitTheQueueStopsAtItsCapAndTheLastStillComes) {
    Recorder sink;
    auto control = framework::ComPtr<ThrowingControl>::Attach(new ThrowingControl());
    framework::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(control->FindConnectionPoint(DIID__DOrvantaEvents, point.put()), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    ASSERT_EQ(control->FreezeEvents(TRUE), S_OK);
    const framework::EventArg two[] = {{framework::AutoType::kBstr, 0, "A1"}, {framework::AutoType::kI4, 7, ""}};
    EXPECT_TRUE(control->Events().Post(1, two, 2));
    for (std::size_t i = 1; i < framework::EventQueue::kLongest; ++i)
        ASSERT_TRUE(control->Events().Post(1, two + 1, 1));
    EXPECT_FALSE(control->Events().Post(1, two + 1, 1));
    EXPECT_TRUE(control->Events().Post(2, two + 1, 1, true));
    EXPECT_FALSE(PumpUntil([&] { return !sink.seen.empty(); }, 200));
    ASSERT_EQ(control->FreezeEvents(FALSE), S_OK);
    EXPECT_TRUE(PumpUntil([&] { return sink.seen.size() == framework::EventQueue::kLongest + 1; }));
    EXPECT_EQ(sink.seen.front(), "1:A1,7,");
    EXPECT_EQ(sink.seen.back(), "2:7,");
}

}  // namespace
}  // namespace orvanta::testing
