// What the COM tests share: the module under test loaded as a host loads it,
// its four exports, and small owning wrappers.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "orvanta.h"
#include "testkit/text.h"
#include "tests/wine/host.h"

namespace orvanta::testing {

template <typename I>
struct Ptr {
    I* p = nullptr;
    Ptr() = default;
    Ptr(const Ptr&) = delete;
    Ptr& operator=(const Ptr&) = delete;
    ~Ptr() { reset(); }
    void reset() {
        if (p) p->Release();
        p = nullptr;
    }
    I** put() {
        reset();
        return &p;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    I* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

struct ScopedVariant {
    VARIANT v;
    ScopedVariant() { VariantInit(&v); }
    ~ScopedVariant() { VariantClear(&v); }
};

// The module, loaded once per test and freed after it.
class Ocx {
public:
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using NoArgFn = HRESULT(STDAPICALLTYPE*)();

    Ocx();
    ~Ocx();
    bool Loaded() const { return module_ != nullptr; }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) { return get_(clsid, iid, out); }
    HRESULT CanUnloadNow() { return can_unload_(); }
    HRESULT Register() { return register_(); }
    HRESULT Unregister() { return unregister_(); }
    // A new control through its class object.
    HRESULT CreateControl(REFIID iid, void** out);

private:
    HMODULE module_ = nullptr;
    GetClassObjectFn get_ = nullptr;
    NoArgFn can_unload_ = nullptr, register_ = nullptr, unregister_ = nullptr;
};

// COM on this thread for the fixture's life, and the module loaded.
struct ComTest : ::testing::Test {
    void SetUp() override {
        ASSERT_FALSE(OcxPath().empty()) << "pass --ocx=<path of ORVANTA.OCX>";
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ocx = std::make_unique<Ocx>();
        ASSERT_TRUE(ocx->Loaded()) << "cannot load " << OcxPath();
    }
    void TearDown() override {
        ocx.reset();
        OleUninitialize();
    }
    std::unique_ptr<Ocx> ocx;
};

// The same, with the module registered for the test (type information and
// ProgIDs need it) and unregistered after it.
struct RegisteredTest : ComTest {
    void SetUp() override {
        ComTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(ocx->Register(), S_OK);
    }
    void TearDown() override {
        if (ocx) {
            EXPECT_EQ(ocx->Unregister(), S_OK);
        }
        ComTest::TearDown();
    }
};

// A top-down 32-bit bitmap to draw into, every pixel `poison` at first, with
// the stock black pen and white brush selected.
class Canvas {
public:
    Canvas(int width, int height, COLORREF poison);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    bool Ok() const { return bits_ != nullptr; }
    HDC Dc() const { return dc_; }
    COLORREF Pixel(int x, int y) const;
    int Count(COLORREF colour) const;

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    DWORD* bits_ = nullptr;
};

// Calls by DISPID, as a script host does.
HRESULT CallDispatch(IDispatch* d, DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result,
                     UINT* arg_error = nullptr);
HRESULT PutProperty(IDispatch* d, DISPID id, VARIANT value);

}  // namespace orvanta::testing
