// The control as an automation client sees it: names and DISPIDs against the
// type library, argument and result conversions, the standard rejections,
// the nine properties, and the module's object and lock accounting.
#include "tests/wine/com_host.h"

#include <oleauto.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "control/orvanta_ids.h"
#include "framework/dispatch.h"

namespace orvanta::testing {
namespace {

struct Dispatch : ComTest {
    void SetUp() override {
        ComTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(ocx->CreateControl(IID_IDispatch, disp.put_void()), S_OK);
    }
    void TearDown() override {
        disp.reset();
        ComTest::TearDown();
    }
    ScopedVariant Get(DISPID id) {
        ScopedVariant out;
        EXPECT_EQ(CallDispatch(disp.p, id, DISPATCH_PROPERTYGET, nullptr, 0, &out.v), S_OK) << id;
        return out;
    }
    Ptr<IDispatch> disp;
};

TEST_F(Dispatch, NameLookupRejectsOtherInterfacesAndNamedParameters) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"wRITE"), const_cast<LPOLESTR>(L"str_ToWrite")};
    DISPID ids[2] = {7, 7};
    EXPECT_EQ(disp->GetIDsOfNames(IID_IUnknown, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(disp->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
}

// Each property takes the values hosts send it: VBScript's by-reference
// variants, JScript's doubles, and booleans as -1 and 0.
TEST_F(Dispatch, EachPropertyStoresConvertedValuesAndReadsThemBack) {
    struct Row {
        DISPID id;
        VARIANT in;
        VARTYPE vt;
        LONG expected;
    };
    auto i4 = [](LONG v) { VARIANT x; VariantInit(&x); V_VT(&x) = VT_I4; V_I4(&x) = v; return x; };
    auto r8 = [](double v) { VARIANT x; VariantInit(&x); V_VT(&x) = VT_R8; V_R8(&x) = v; return x; };
    auto b = [](bool v) { VARIANT x; VariantInit(&x); V_VT(&x) = VT_BOOL; V_BOOL(&x) = v ? VARIANT_TRUE : VARIANT_FALSE; return x; };
    const Row rows[] = {
        {kDispidwithACKN, b(true), VT_BOOL, VARIANT_TRUE},
        {kDispidwithACKN, i4(7), VT_BOOL, VARIANT_TRUE},
        {kDispidScannerSuffixChar, r8(13.0), VT_I2, 13},
        {kDispidonlyWorkwithCurrentWindow, b(true), VT_BOOL, VARIANT_TRUE},
        {kDispiddebugModus, b(false), VT_BOOL, VARIANT_FALSE},
        {kDispidThreadId, i4(-5), VT_I4, -5},
        {kDispidscanWindowHandle, r8(65538.0), VT_I4, 65538},
        {kDispidtimeout, i4(-1), VT_I2, -1},
        {kDispidchartooem, i4(1), VT_I2, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        // Passed the way VBScript passes a variable.
        VARIANT inner = r.in;
        VARIANT byref;
        VariantInit(&byref);
        V_VT(&byref) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&byref) = &inner;
        ASSERT_EQ(PutProperty(disp.p, r.id, byref), S_OK);
        ScopedVariant v = Get(r.id);
        ASSERT_EQ(V_VT(&v.v), r.vt);
        const LONG got = r.vt == VT_I4 ? V_I4(&v.v) : (r.vt == VT_I2 ? V_I2(&v.v) : V_BOOL(&v.v));
        EXPECT_EQ(got, r.expected);
    }
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"baud=1200 parity=E data=8 stop=1");
    EXPECT_EQ(PutProperty(disp.p, kDispiddefaultComSettings, text), S_OK);
    VariantClear(&text);
    ScopedVariant s = Get(kDispiddefaultComSettings);
    EXPECT_EQ(Narrow(V_BSTR(&s.v)), "baud=1200 parity=E data=8 stop=1");
}

TEST_F(Dispatch, PropertyWritesMarkTheControlModified) {
    Ptr<IPersistStreamInit> persist;
    ASSERT_EQ(disp->QueryInterface(IID_IPersistStreamInit, persist.put_void()), S_OK);
    ASSERT_EQ(persist->InitNew(), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    VARIANT same;
    VariantInit(&same);
    V_VT(&same) = VT_I4;
    V_I4(&same) = 23456;  // the value it already holds
    ASSERT_EQ(PutProperty(disp.p, kDispidThreadId, same), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_OK);
}

TEST_F(Dispatch, FrameworkRejectionsUseTheStandardCodes) {
    VARIANT arg;
    VariantInit(&arg);
    ScopedVariant out;
    UINT arg_error = 99;
    EXPECT_EQ(CallDispatch(disp.p, 999, DISPATCH_METHOD, nullptr, 0, &out.v), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(CallDispatch(disp.p, kDispidFlush, DISPATCH_METHOD, &arg, 1, &out.v), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(CallDispatch(disp.p, kDispidWrite, DISPATCH_METHOD, nullptr, 0, &out.v), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(CallDispatch(disp.p, kDispidFlush, DISPATCH_PROPERTYPUT, &arg, 1, nullptr), DISP_E_MEMBERNOTFOUND);

    // ReadBytes(str, long, long): the third argument (rgvarg index 0) cannot become a long.
    VARIANT args[3];
    for (auto& a : args) VariantInit(&a);
    V_VT(&args[2]) = VT_BSTR;
    V_BSTR(&args[2]) = SysAllocString(L"buffer");
    V_VT(&args[1]) = VT_I4;
    V_I4(&args[1]) = 10;
    V_VT(&args[0]) = VT_BSTR;
    V_BSTR(&args[0]) = SysAllocString(L"not a number");
    EXPECT_EQ(CallDispatch(disp.p, kDispidReadBytes, DISPATCH_METHOD, args, 3, &out.v, &arg_error),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_error, 0u);
    for (auto& a : args) VariantClear(&a);

    // An object is no short.
    VARIANT obj;
    VariantInit(&obj);
    V_VT(&obj) = VT_DISPATCH;
    V_DISPATCH(&obj) = disp.p;
    arg_error = 99;
    EXPECT_EQ(CallDispatch(disp.p, kDispidSendByte, DISPATCH_METHOD, &obj, 1, &out.v, &arg_error),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_error, 0u);

    DISPPARAMS params = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(disp->Invoke(kDispidFlush, IID_IUnknown, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    // After all that the control still answers.
    ScopedVariant t = Get(kDispidThreadId);
    EXPECT_EQ(V_I4(&t.v), 23456);
}

TEST_F(Dispatch, MethodsRunTheirOperationsAndReturnTheirTypes) {
    // No device is open: every operation answers with its failure value.
    struct Row {
        DISPID id;
        VARTYPE vt;
        LONG value;
    };
    const Row rows[] = {
        {kDispidFlush, VT_I4, 0}, {kDispidClearCOMError, VT_I4, -1},
        {kDispidActivateScanTask, VT_I4, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        ScopedVariant out;
        ASSERT_EQ(CallDispatch(disp.p, r.id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, 0, &out.v), S_OK);
        EXPECT_EQ(V_VT(&out.v), r.vt);
        EXPECT_EQ(V_I4(&out.v), r.value);
    }
    VARIANT mode;
    VariantInit(&mode);
    V_VT(&mode) = VT_BSTR;
    V_BSTR(&mode) = SysAllocString(L"");
    ScopedVariant applied;
    ASSERT_EQ(CallDispatch(disp.p, kDispidSetCOMSettings, DISPATCH_METHOD, &mode, 1, &applied.v), S_OK);
    VariantClear(&mode);
    EXPECT_EQ(V_VT(&applied.v), VT_BOOL);
    EXPECT_EQ(V_BOOL(&applied.v), VARIANT_FALSE);
    ScopedVariant none;
    EXPECT_EQ(CallDispatch(disp.p, kDispidCloseDevice, DISPATCH_METHOD, nullptr, 0, &none.v), S_OK);
    EXPECT_EQ(V_VT(&none.v), VT_EMPTY);
}

TEST_F(Dispatch, StringArgumentsAreCopiesTheHostKeeps) {
    VARIANT chartooem;
    VariantInit(&chartooem);
    V_VT(&chartooem) = VT_I2;
    V_I2(&chartooem) = 1;
    ASSERT_EQ(PutProperty(disp.p, kDispidchartooem, chartooem), S_OK);
    const wchar_t original[] = L"Gr\x00FC\x00DF" L"e \x00C4rger";
    BSTR text = SysAllocString(original);
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = text;
    for (DISPID id : {kDispidWrite, kDispidWriteln, kDispidSendFile}) {
        ScopedVariant out;
        EXPECT_EQ(CallDispatch(disp.p, id, DISPATCH_METHOD, &arg, 1, &out.v), S_OK);
        EXPECT_EQ(V_BSTR(&arg), text);
        EXPECT_EQ(std::wcscmp(text, original), 0);
    }
    VARIANT read[3];
    for (auto& a : read) VariantInit(&a);
    V_VT(&read[2]) = VT_BSTR;
    V_BSTR(&read[2]) = text;
    V_VT(&read[1]) = VT_I4;
    V_I4(&read[1]) = 8;
    V_VT(&read[0]) = VT_I4;
    V_I4(&read[0]) = 4;
    ScopedVariant count;
    EXPECT_EQ(CallDispatch(disp.p, kDispidReadBytes, DISPATCH_METHOD, read, 3, &count.v), S_OK);
    EXPECT_EQ(std::wcscmp(text, original), 0);
    SysFreeString(text);
}

// Script hosts hand names over in Unicode; a name with characters outside
// the ANSI code page ("\u0141\u00F3d\u017A", Polish) still opens.
TEST_F(Dispatch, FileAndDeviceNamesOpenAsTheCallerWroteThem) {
    DialogWatcher watcher;  // a name that does not open shows a notice
    const std::wstring in = L"\x0141\x00F3d\x017A-in.prn", out = L"\x0141\x00F3d\x017A-out.prn";
    const auto put = [](const std::wstring& name, const std::string& bytes) {
        framework::UniqueFile f(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD n = 0;
        return f && WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    };
    ASSERT_TRUE(put(in, "label\r\n"));
    ASSERT_TRUE(put(out, ""));
    const auto call = [&](DISPID id, const std::wstring& name) {
        VARIANT arg;
        VariantInit(&arg);
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = SysAllocString(name.c_str());
        ScopedVariant result;
        EXPECT_EQ(CallDispatch(disp.p, id, DISPATCH_METHOD, &arg, 1, &result.v), S_OK);
        VariantClear(&arg);
        VariantChangeType(&result.v, &result.v, 0, VT_I4);
        return V_I4(&result.v);
    };
    EXPECT_NE(call(kDispidOpenDevice, out), 0);
    EXPECT_EQ(call(kDispidSendFile, in), 7);
    ScopedVariant none;
    CallDispatch(disp.p, kDispidCloseDevice, DISPATCH_METHOD, nullptr, 0, &none.v);
    framework::UniqueFile sent(CreateFileW(out.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    char bytes[16] = {};
    DWORD n = 0;
    EXPECT_TRUE(sent && ReadFile(sent.get(), bytes, sizeof bytes, &n, nullptr));
    EXPECT_EQ(std::string(bytes, n), "label\r\n");
    sent.reset();
    DeleteFileW(in.c_str());
    DeleteFileW(out.c_str());
    EXPECT_TRUE(watcher.Boxes().empty());
}

TEST_F(Dispatch, ScanCodeGivesAFreshStringOnEveryCall) {
    ScopedVariant a, b;
    ASSERT_EQ(CallDispatch(disp.p, kDispidScanCodeFromCOM, DISPATCH_METHOD, nullptr, 0, &a.v), S_OK);
    ASSERT_EQ(CallDispatch(disp.p, kDispidScanCodeFromCOM, DISPATCH_METHOD, nullptr, 0, &b.v), S_OK);
    ASSERT_EQ(V_VT(&a.v), VT_BSTR);
    ASSERT_EQ(V_VT(&b.v), VT_BSTR);
    ASSERT_NE(V_BSTR(&a.v), nullptr);
    EXPECT_NE(V_BSTR(&a.v), V_BSTR(&b.v));
    EXPECT_EQ(SysStringLen(V_BSTR(&a.v)), 0u);
}

TEST_F(Dispatch, InterfacesComeFromOneIdentityAndUnsafeClaimsAreAbsent) {
    const IID* offered[] = {&IID_IDispatch, &DIID__DOrvanta, &IID_IOleObject, &IID_IOleInPlaceObject,
                            &IID_IOleInPlaceObjectWindowless, &IID_IOleInPlaceActiveObject, &IID_IOleControl,
                            &IID_IViewObject, &IID_IViewObject2, &IID_IPersistStreamInit, &IID_IPersistStorage,
                            &IID_IPersistPropertyBag, &IID_IProvideClassInfo2, &IID_IConnectionPointContainer,
                            &IID_ISpecifyPropertyPages};
    Ptr<IUnknown> identity;
    ASSERT_EQ(disp->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
    for (const IID* iid : offered) {
        SCOPED_TRACE(GuidString(*iid));
        Ptr<IUnknown> i, back;
        ASSERT_EQ(disp->QueryInterface(*iid, i.put_void()), S_OK);
        ASSERT_EQ(i->QueryInterface(IID_IUnknown, back.put_void()), S_OK);
        EXPECT_EQ(back.p, identity.p);
    }
    // Never marked safe for scripting or initialisation.
    const IID IID_IObjectSafety_ = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
    void* out = reinterpret_cast<void*>(static_cast<uintptr_t>(0xdeadbeef));
    EXPECT_EQ(disp->QueryInterface(IID_IObjectSafety_, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(Dispatch, EventSourceAcceptsAndDropsASinkAndRefusesANonDispatchOne) {
    Ptr<IConnectionPointContainer> cpc;
    ASSERT_EQ(disp->QueryInterface(IID_IConnectionPointContainer, cpc.put_void()), S_OK);
    Ptr<IConnectionPoint> cp;
    EXPECT_EQ(cpc->FindConnectionPoint(IID_IPropertyNotifySink, cp.put()), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(cpc->FindConnectionPoint(DIID__DOrvantaEvents, cp.put()), S_OK);
    IID iid;
    ASSERT_EQ(cp->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, DIID__DOrvantaEvents));
    Ptr<IStream> not_a_sink;  // answers neither the event interface nor IDispatch
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, not_a_sink.put()), S_OK);
    DWORD cookie = 7;
    EXPECT_EQ(cp->Advise(not_a_sink.p, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    ASSERT_EQ(cp->Advise(disp.p, &cookie), S_OK);  // any IDispatch serves as a sink
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(cp->Unadvise(cookie), S_OK);
    EXPECT_EQ(cp->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    Ptr<IProvideClassInfo2> pci;
    ASSERT_EQ(disp->QueryInterface(IID_IProvideClassInfo2, pci.put_void()), S_OK);
    GUID source = GUID_NULL;
    ASSERT_EQ(pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_TRUE(IsEqualGUID(source, DIID__DOrvantaEvents));
}

TEST_F(Dispatch, ControlReportsItsFrameworkConstants) {
    Ptr<IOleObject> ole;
    ASSERT_EQ(disp->QueryInterface(IID_IOleObject, ole.put_void()), S_OK);
    DWORD misc = 0;
    ASSERT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
    EXPECT_EQ(misc, 0x00020491u);
    LPOLESTR type = nullptr;
    ASSERT_EQ(ole->GetUserType(USERCLASSTYPE_FULL, &type), S_OK);
    EXPECT_EQ(Narrow(type), "Orvanta Control");
    CoTaskMemFree(type);
    Ptr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(disp->QueryInterface(IID_ISpecifyPropertyPages, pages.put_void()), S_OK);
    CAUUID ids = {};
    ASSERT_EQ(pages->GetPages(&ids), S_OK);
    ASSERT_EQ(ids.cElems, 1u);
    EXPECT_TRUE(IsEqualGUID(ids.pElems[0], CLSID_OrvantaPropPage));
    CoTaskMemFree(ids.pElems);
    UINT count = 0;
    ASSERT_EQ(disp->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    Ptr<ITypeInfo> info;
    EXPECT_EQ(disp->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);
}

// The framework's result conversion on its own: no operation of the control
// returns anything but 0 or 1 for a BOOL, so a handler stands in for one that
// could.
struct FixedResult final : framework::DispatchHandler {
    std::int32_t number = 0;
    void Dispatch(const framework::AutoMember&, Action, framework::DispatchArgs&, framework::DispatchResult& r) override {
        r.number = number;
    }
};

TEST(ComDispatchResult, AnyNonZeroBoolIsTrueAndAShortKeepsItsLow16Bits) {
    using T = framework::AutoType;
    const framework::AutoMember members[] = {{"Yes", 1, false, T::kBool, 0, {}, nullptr, nullptr},
                                                {"Small", 2, false, T::kI2, 0, {}, nullptr, nullptr}};
    const framework::AutoTable table{members, 2};
    FixedResult handler;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    const struct {
        std::int32_t number;
        VARIANT_BOOL arrives;
    } rows[] = {{2, VARIANT_TRUE}, {1, VARIANT_TRUE}, {-1, VARIANT_TRUE}, {0x10000, VARIANT_TRUE},
                {INT32_MIN, VARIANT_TRUE}, {0, VARIANT_FALSE}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.number);
        handler.number = row.number;
        ScopedVariant out;
        ASSERT_EQ(framework::InvokeTable(table, handler, 1, DISPATCH_METHOD, &none, &out.v, nullptr), S_OK);
        ASSERT_EQ(V_VT(&out.v), VT_BOOL);
        EXPECT_EQ(V_BOOL(&out.v), row.arrives);
    }
    handler.number = 0x12345;
    ScopedVariant small;
    ASSERT_EQ(framework::InvokeTable(table, handler, 2, DISPATCH_METHOD, &none, &small.v, nullptr), S_OK);
    ASSERT_EQ(V_VT(&small.v), VT_I2);
    EXPECT_EQ(V_I2(&small.v), 0x2345);
}

// Module accounting: objects, locks and class-object references all count.
TEST_F(ComTest, ClassObjectsAndTheUnloadRule) {
    void* out = reinterpret_cast<void*>(static_cast<uintptr_t>(0xdeadbeef));
    const CLSID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(ocx->GetClassObject(other, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ocx->CanUnloadNow(), S_OK);

    Ptr<IClassFactory> factory;
    ASSERT_EQ(ocx->GetClassObject(CLSID_Orvanta, IID_IClassFactory, factory.put_void()), S_OK);
    EXPECT_EQ(ocx->CanUnloadNow(), S_FALSE) << "a class-object reference is held";
    Ptr<IUnknown> outer_probe;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.p), IID_IUnknown,
                                      outer_probe.put_void()),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(outer_probe.p, nullptr);
    out = reinterpret_cast<void*>(static_cast<uintptr_t>(0xdeadbeef));
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    Ptr<IDispatch> control;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, control.put_void()), S_OK);
    factory.reset();
    EXPECT_EQ(ocx->CanUnloadNow(), S_FALSE) << "a control is alive";
    control.reset();
    EXPECT_EQ(ocx->CanUnloadNow(), S_OK);

    ASSERT_EQ(ocx->GetClassObject(CLSID_OrvantaPropPage, IID_IClassFactory, factory.put_void()), S_OK);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(ocx->CanUnloadNow(), S_FALSE) << "a lock is held";
    ASSERT_EQ(ocx->GetClassObject(CLSID_OrvantaPropPage, IID_IClassFactory, factory.put_void()), S_OK);
    Ptr<IPropertyPage> page;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, page.put_void()), S_OK);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory.reset();
    EXPECT_EQ(ocx->CanUnloadNow(), S_FALSE) << "a page is alive";
    page.reset();
    EXPECT_EQ(ocx->CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace orvanta::testing
