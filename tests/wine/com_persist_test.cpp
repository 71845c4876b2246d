// Saving and reloading the control through the three persistence
// interfaces hosts use, and loading damaged data: an error, a usable control.
#include "tests/wine/com_host.h"

#include <map>
#include <random>
#include <vector>

#include "control/orvanta_ids.h"

namespace orvanta::testing {
namespace {

// A host's property bag: named variants in a map.
class Bag final : public IPropertyBag {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        *ppv = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IPropertyBag)) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override {
        auto it = values.find(name);
        if (it == values.end()) return E_INVALIDARG;
        return VariantCopy(v, &it->second);
    }
    STDMETHODIMP Write(LPCOLESTR name, VARIANT* v) override {
        VARIANT copy;
        VariantInit(&copy);
        VariantCopy(&copy, v);
        values[name] = copy;
        return S_OK;
    }
    ~Bag() {
        for (auto& kv : values) VariantClear(&kv.second);
    }
    LONG Long(const wchar_t* name) {
        auto it = values.find(name);
        return it != values.end() && V_VT(&it->second) == VT_I4 ? V_I4(&it->second) : -999;
    }
    void SetLong(const wchar_t* name, LONG v) {
        VARIANT x;
        VariantInit(&x);
        V_VT(&x) = VT_I4;
        V_I4(&x) = v;
        Write(name, &x);
    }
    std::map<std::wstring, VARIANT> values;
    ULONG refs = 1;
};

struct Persist : ComTest {
    void SetUp() override {
        ComTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(ocx->CreateControl(IID_IDispatch, saved.put_void()), S_OK);
        ASSERT_EQ(ocx->CreateControl(IID_IDispatch, loaded.put_void()), S_OK);
    }
    void TearDown() override {
        saved.reset();
        loaded.reset();
        ComTest::TearDown();
    }
    // A control with an extent of its own and every property changed.
    void Prepare() {
        Ptr<IPersistStreamInit> init;
        ASSERT_EQ(saved->QueryInterface(IID_IPersistStreamInit, init.put_void()), S_OK);
        ASSERT_EQ(init->InitNew(), S_OK);
        Ptr<IOleObject> ole;
        ASSERT_EQ(saved->QueryInterface(IID_IOleObject, ole.put_void()), S_OK);
        SIZEL size = {5000, 2500};
        ASSERT_EQ(ole->SetExtent(DVASPECT_CONTENT, &size), S_OK);
        for (DISPID id = kDispidwithACKN; id <= kDispidchartooem; ++id) {
            if (id == kDispiddefaultComSettings || id == kDispiddebugModus) continue;
            VARIANT v;
            VariantInit(&v);
            V_VT(&v) = VT_I4;
            V_I4(&v) = 1;
            ASSERT_EQ(PutProperty(saved.p, id, v), S_OK) << id;
        }
    }
    SIZEL Extent(IDispatch* d) {
        Ptr<IOleObject> ole;
        SIZEL size = {-1, -1};
        if (d->QueryInterface(IID_IOleObject, ole.put_void()) == S_OK) ole->GetExtent(DVASPECT_CONTENT, &size);
        return size;
    }
    void ExpectDefaults(IDispatch* d) {
        const LONG want[] = {0, 0, 3, 0, 0, 23456, 0, 10, 0};
        for (DISPID id = kDispidwithACKN; id <= kDispidchartooem; ++id) {
            ScopedVariant v;
            ASSERT_EQ(CallDispatch(d, id, DISPATCH_PROPERTYGET, nullptr, 0, &v.v), S_OK);
            if (id == kDispiddefaultComSettings) {
                EXPECT_EQ(Narrow(V_BSTR(&v.v)), "baud=9600 parity=N data=7 stop=2");
                continue;
            }
            ScopedVariant l;
            ASSERT_EQ(VariantChangeType(&l.v, &v.v, 0, VT_I4), S_OK);
            EXPECT_EQ(V_I4(&l.v), want[id - kDispidwithACKN]) << id;
        }
    }
    Ptr<IDispatch> saved, loaded;
};

TEST_F(Persist, StreamRoundTripKeepsVersionAndExtentNotProperties) {
    Prepare();
    Ptr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    Ptr<IPersistStreamInit> out, in;
    ASSERT_EQ(saved->QueryInterface(IID_IPersistStreamInit, out.put_void()), S_OK);
    EXPECT_EQ(out->IsDirty(), S_OK);
    ULARGE_INTEGER max = {};
    ASSERT_EQ(out->GetSizeMax(&max), S_OK);
    ASSERT_EQ(out->Save(stream.p, TRUE), S_OK);
    EXPECT_EQ(out->IsDirty(), S_FALSE);
    STATSTG st = {};
    ASSERT_EQ(stream->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.cbSize.QuadPart, max.QuadPart);
    // The version word of our record.
    LARGE_INTEGER at = {};
    at.QuadPart = 8;
    ASSERT_EQ(stream->Seek(at, STREAM_SEEK_SET, nullptr), S_OK);
    DWORD version = 0;
    ASSERT_EQ(stream->Read(&version, 4, nullptr), S_OK);
    EXPECT_EQ(version, 0x00010000u);

    at.QuadPart = 0;
    ASSERT_EQ(stream->Seek(at, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(loaded->QueryInterface(IID_IPersistStreamInit, in.put_void()), S_OK);
    ASSERT_EQ(in->Load(stream.p), S_OK);
    EXPECT_EQ(Extent(loaded.p).cx, 5000);
    EXPECT_EQ(Extent(loaded.p).cy, 2500);
    ExpectDefaults(loaded.p);
    EXPECT_EQ(in->IsDirty(), S_FALSE);
}

TEST_F(Persist, StorageRoundTrip) {
    Prepare();
    Ptr<ILockBytes> bytes;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()), S_OK);
    Ptr<IStorage> storage;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes.p, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           storage.put()),
              S_OK);
    Ptr<IPersistStorage> out, in;
    ASSERT_EQ(saved->QueryInterface(IID_IPersistStorage, out.put_void()), S_OK);
    ASSERT_EQ(out->Save(storage.p, FALSE), S_OK);
    ASSERT_EQ(out->SaveCompleted(nullptr), S_OK);
    ASSERT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
    ASSERT_EQ(loaded->QueryInterface(IID_IPersistStorage, in.put_void()), S_OK);
    ASSERT_EQ(in->Load(storage.p), S_OK);
    EXPECT_EQ(Extent(loaded.p).cx, 5000);
    EXPECT_EQ(Extent(loaded.p).cy, 2500);
    ExpectDefaults(loaded.p);
    // An empty storage holds no control.
    Ptr<ILockBytes> empty_bytes;
    Ptr<IStorage> empty;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, empty_bytes.put()), S_OK);
    ASSERT_EQ(StgCreateDocfileOnILockBytes(empty_bytes.p, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           empty.put()),
              S_OK);
    EXPECT_TRUE(FAILED(in->Load(empty.p)));
}

TEST_F(Persist, PropertyBagRoundTripUsesTheFrameworkNames) {
    Prepare();
    Bag bag;
    Ptr<IPersistPropertyBag> out, in;
    ASSERT_EQ(saved->QueryInterface(IID_IPersistPropertyBag, out.put_void()), S_OK);
    ASSERT_EQ(out->Save(&bag, TRUE, TRUE), S_OK);
    EXPECT_EQ(bag.Long(L"_Version"), 0x00010000);
    EXPECT_EQ(bag.Long(L"_ExtentX"), 5000);
    EXPECT_EQ(bag.Long(L"_ExtentY"), 2500);
    EXPECT_EQ(bag.Long(L"_StockProps"), 0);
    EXPECT_EQ(bag.values.size(), 4u) << "none of the nine properties is stored";
    ASSERT_EQ(loaded->QueryInterface(IID_IPersistPropertyBag, in.put_void()), S_OK);
    ASSERT_EQ(in->Load(&bag, nullptr), S_OK);
    EXPECT_EQ(Extent(loaded.p).cx, 5000);
    ExpectDefaults(loaded.p);

    Bag newer;
    newer.SetLong(L"_Version", 0x00020000);
    newer.SetLong(L"_ExtentX", 10);
    EXPECT_TRUE(FAILED(in->Load(&newer, nullptr)));
    EXPECT_EQ(Extent(loaded.p).cx, 5000) << "a refused load changes nothing";
}

TEST_F(Persist, DamagedStreamsFailAndLeaveTheControlUsable) {
    Prepare();
    Ptr<IStream> good;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, good.put()), S_OK);
    Ptr<IPersistStreamInit> out, in;
    ASSERT_EQ(saved->QueryInterface(IID_IPersistStreamInit, out.put_void()), S_OK);
    ASSERT_EQ(out->Save(good.p, FALSE), S_OK);
    HGLOBAL memory = nullptr;
    ASSERT_EQ(GetHGlobalFromStream(good.p, &memory), S_OK);
    const auto* base = static_cast<const BYTE*>(GlobalLock(memory));
    const std::vector<BYTE> record(base, base + 24);
    GlobalUnlock(memory);

    auto patched = [&](size_t at, DWORD value) {
        std::vector<BYTE> b = record;
        memcpy(&b[at], &value, 4);
        return b;
    };
    std::mt19937 rng(7);
    std::vector<BYTE> noise(300);
    for (auto& b : noise) b = static_cast<BYTE>(rng());
    struct Case {
        const char* what;
        std::vector<BYTE> bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"truncated header", {record.begin(), record.begin() + 5}},
        {"truncated body", {record.begin(), record.begin() + 20}},
        {"oversized claim", patched(4, 0x40000000)},
        {"wrong version", patched(8, 0x00030000)},
        {"negative extent", patched(12, 0x80000000)},
        {"random bytes", noise},
    };
    ASSERT_EQ(loaded->QueryInterface(IID_IPersistStreamInit, in.put_void()), S_OK);
    ASSERT_EQ(in->InitNew(), S_OK);
    const SIZEL before = Extent(loaded.p);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Ptr<IStream> s;
        ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, s.put()), S_OK);
        if (!c.bytes.empty()) {
            ASSERT_EQ(s->Write(c.bytes.data(), static_cast<ULONG>(c.bytes.size()), nullptr), S_OK);
        }
        LARGE_INTEGER zero = {};
        s->Seek(zero, STREAM_SEEK_SET, nullptr);
        EXPECT_TRUE(FAILED(in->Load(s.p)));
        ULARGE_INTEGER pos = {};
        s->Seek(zero, STREAM_SEEK_CUR, &pos);
        EXPECT_LE(pos.QuadPart, 24u) << "read no further than one record";
        EXPECT_EQ(Extent(loaded.p).cx, before.cx);
        EXPECT_EQ(Extent(loaded.p).cy, before.cy);
    }
    ExpectDefaults(loaded.p);
    // Still loads good data afterwards.
    LARGE_INTEGER zero = {};
    good->Seek(zero, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(in->Load(good.p), S_OK);
    EXPECT_EQ(Extent(loaded.p).cx, 5000);
}

}  // namespace
}  // namespace orvanta::testing
