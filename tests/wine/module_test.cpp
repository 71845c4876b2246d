// The built module as a host loads it: what its exports answer. Its export
// and import tables are read from both builds' files (tests/static/pe_image_test.cpp).
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include "tests/wine/host.h"

namespace orvanta::testing {
namespace {

struct Module : ::testing::Test {
    void SetUp() override {
        ASSERT_FALSE(OcxPath().empty()) << "pass --ocx=<path of ORVANTA.OCX>";
        module = LoadLibraryA(OcxPath().c_str());
        ASSERT_NE(module, nullptr) << "cannot load " << OcxPath() << ", error " << GetLastError();
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
    }
    HMODULE module = nullptr;
};

// Straight after loading: an unknown class is refused, and with no object,
// lock or class-object reference the module may go.
TEST_F(Module, RefusesAnUnknownClassAndMayUnloadWhileUnused) {
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    auto can_unload = reinterpret_cast<CanUnload>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(get, nullptr);
    ASSERT_NE(can_unload, nullptr);
    const CLSID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    void* out = reinterpret_cast<void*>(static_cast<uintptr_t>(0xdeadbeef));
    EXPECT_EQ(get(other, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(can_unload(), S_OK);
}

}  // namespace
}  // namespace orvanta::testing
