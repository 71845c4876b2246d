// The built module as a host's loader sees it: its exports, its imports, and
// what the exports answer.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "tests/wine/host.h"

namespace orvanta::testing {
namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

struct Module : ::testing::Test {
    void SetUp() override {
        ASSERT_FALSE(OcxPath().empty()) << "pass --ocx=<path of ORVANTA.OCX>";
        module = LoadLibraryA(OcxPath().c_str());
        ASSERT_NE(module, nullptr) << "cannot load " << OcxPath() << ", error " << GetLastError();
        base = reinterpret_cast<const BYTE*>(module);
        auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
    }
    const IMAGE_DATA_DIRECTORY& Directory(int index) const {
        return nt->OptionalHeader.DataDirectory[index];
    }

    HMODULE module = nullptr;
    const BYTE* base = nullptr;
    const IMAGE_NT_HEADERS* nt = nullptr;
};

// The four server functions and DllInstall (per-user registration).
TEST_F(Module, ExportsExactlyTheServerFunctionsAndDllInstallUnderItsName) {
    const auto& dir = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    ASSERT_NE(dir.VirtualAddress, 0u);
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    EXPECT_STREQ(reinterpret_cast<const char*>(base + exports->Name), "ORVANTA.OCX");
    auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::set<std::string> found;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        found.insert(reinterpret_cast<const char*>(base + names[i]));
    EXPECT_EQ(found, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllInstall",
                                            "DllRegisterServer", "DllUnregisterServer"}));
    EXPECT_EQ(exports->NumberOfFunctions, 5u);
}

TEST_F(Module, NeedsNothingButSystemLibraries) {
    const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll",
                                          "advapi32.dll", "ole32.dll",  "oleaut32.dll",
                                          "msvcrt.dll",   "comctl32.dll", "shlwapi.dll"};
    const auto& dir = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    ASSERT_NE(dir.VirtualAddress, 0u);
    auto desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    int count = 0;
    for (; desc->Name; ++desc, ++count) {
        const std::string name = Lower(reinterpret_cast<const char*>(base + desc->Name));
        EXPECT_TRUE(system.count(name)) << "imports " << name;
    }
    EXPECT_GT(count, 0);
}

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
