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

}  // namespace
}  // namespace orvanta::testing
