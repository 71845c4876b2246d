// Registration for the current user (DllInstall "user", regsvr32 /n /i:user):
// the machine-wide entries, under HKCU\Software\Classes and nowhere else, and
// a control created by following them the way COM on Windows looks a class
// up for the user. Wine's own COM reads only the machine's classes, so the
// lookup is walked here, key by key, rather than left to CoCreateInstance.
#include "tests/wine/com_host.h"

#include "framework/handle.h"

#include <cstdlib>
#include <map>
#include <string>

namespace orvanta::testing {
namespace {

const char* const kOurKeys[] = {
    "CLSID\\{1C3B2484-A973-4F1E-8A7C-3A51ED70F978}",  "CLSID\\{1C3B2485-A973-4F1E-8A7C-3A51ED70F978}",
    "ORVANTA.OrvantaCtrl.1",                          "TypeLib\\{1C3B2481-A973-4F1E-8A7C-3A51ED70F978}",
    "Interface\\{1C3B2482-A973-4F1E-8A7C-3A51ED70F978}", "Interface\\{1C3B2483-A973-4F1E-8A7C-3A51ED70F978}",
};

#ifdef _WIN64
const char kPlatform[] = "win64";
#else
const char kPlatform[] = "win32";
#endif

framework::UniqueRegKey Open(HKEY root, const std::string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return {};
    return framework::UniqueRegKey(h);
}

// Every value under `key`, as "path : name" -> data.
void Collect(HKEY root, const std::string& key, std::map<std::string, std::string>& out) {
    const framework::UniqueRegKey h = Open(root, key);
    if (!h) return;
    out[key];  // the key itself, even without values
    for (DWORD i = 0;; ++i) {
        char name[256], data[1024] = {};
        DWORD name_length = sizeof name, size = sizeof data - 1, type = 0;
        if (RegEnumValueA(h.get(), i, name, &name_length, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS)
            break;
        out[key + " : " + name] = type == REG_SZ ? std::string(data) : "<type " + std::to_string(type) + ">";
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(h.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        Collect(root, key + "\\" + name, out);
    }
}

// What the control has under one scope's classes key.
std::map<std::string, std::string> Ours(HKEY scope) {
    std::map<std::string, std::string> out;
    const framework::UniqueRegKey classes = Open(scope, "Software\\Classes");
    if (!classes) return out;
    for (const char* key : kOurKeys) Collect(classes.get(), key, out);
    return out;
}

std::map<std::string, std::string> Machine() { return Ours(HKEY_LOCAL_MACHINE); }
std::map<std::string, std::string> User() { return Ours(HKEY_CURRENT_USER); }

std::string UserValue(const std::string& key, const char* name = nullptr) {
    const framework::UniqueRegKey h = Open(HKEY_CURRENT_USER, "Software\\Classes\\" + key);
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    if (!h || RegQueryValueExA(h.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return {};
    return data;
}

struct Library {
    HMODULE h = nullptr;
    ~Library() {
        if (h) FreeLibrary(h);
    }
};

// ProgID -> CLSID -> InprocServer32 -> class object -> control; the type
// library from its per-user key; one property read by name through it.
void CreateThroughTheUsersClasses() {
    const std::string clsid_text = UserValue("ORVANTA.OrvantaCtrl.1\\CLSID");
    ASSERT_EQ(clsid_text, GuidString(CLSID_Orvanta));
    const std::string server = UserValue("CLSID\\" + clsid_text + "\\InprocServer32");
    ASSERT_FALSE(server.empty());
    EXPECT_EQ(UserValue("CLSID\\" + clsid_text + "\\InprocServer32", "ThreadingModel"), "Apartment");
    Library module;
    module.h = LoadLibraryA(server.c_str());
    ASSERT_NE(module.h, nullptr) << server;
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto get = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module.h, "DllGetClassObject")));
    ASSERT_NE(get, nullptr);
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromString(Wide(clsid_text).c_str(), &clsid), NOERROR);
    Ptr<IClassFactory> factory;
    ASSERT_EQ(get(clsid, IID_IClassFactory, factory.put_void()), S_OK);
    Ptr<IDispatch> control;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, control.put_void()), S_OK);

    const std::string libid = UserValue("CLSID\\" + clsid_text + "\\TypeLib");
    const std::string lib_path = UserValue("TypeLib\\" + libid + "\\1.0\\0\\" + kPlatform);
    ASSERT_FALSE(lib_path.empty()) << "no per-user type library for " << kPlatform;
    Ptr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(Wide(lib_path).c_str(), REGKIND_NONE, lib.put()), S_OK);
    Ptr<ITypeInfo> info;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(DIID__DOrvanta, info.put()), S_OK);
    LPOLESTR name[] = {const_cast<LPOLESTR>(L"defaultComSettings")};
    MEMBERID id = 0;
    ASSERT_EQ(info->GetIDsOfNames(name, 1, &id), S_OK);
    ScopedVariant value;
    ASSERT_EQ(CallDispatch(control.p, id, DISPATCH_PROPERTYGET, nullptr, 0, &value.v), S_OK);
    ASSERT_EQ(value.v.vt, VT_BSTR);
    EXPECT_EQ(Narrow(value.v.bstrVal), "baud=9600 parity=N data=7 stop=2");
}

struct PerUser : ComTest {
    using InstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
    void SetUp() override {
        ComTest::SetUp();
        if (HasFatalFailure()) return;
        module = GetModuleHandleA(OcxPath().c_str());
        ASSERT_NE(module, nullptr);
        install = reinterpret_cast<InstallFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllInstall")));
        ASSERT_NE(install, nullptr);
        ASSERT_TRUE(Machine().empty()) << "not a fresh state: registered machine-wide";
        ASSERT_TRUE(User().empty()) << "not a fresh state: registered for the user";
    }
    void TearDown() override {
        if (install) install(FALSE, L"user");
        if (ocx) ocx->Unregister();
        ComTest::TearDown();
    }
    HMODULE module = nullptr;
    InstallFn install = nullptr;
};

TEST_F(PerUser, WritesTheMachineWideEntriesUnderTheUsersClassesOnlyAndRemovesThem) {
    ASSERT_EQ(ocx->Register(), S_OK);
    const auto machine = Machine();
    ASSERT_EQ(ocx->Unregister(), S_OK);
    ASSERT_EQ(Machine(), (std::map<std::string, std::string>{}));

    ASSERT_EQ(install(TRUE, L"user"), S_OK);
    EXPECT_TRUE(Machine().empty()) << "per-user registration wrote machine-wide";
    EXPECT_EQ(User(), machine);
    CreateThroughTheUsersClasses();
    ASSERT_EQ(install(TRUE, L" User "), S_OK) << "twice alike";
    EXPECT_EQ(User(), machine);

    ASSERT_EQ(install(FALSE, L"user"), S_OK);
    EXPECT_TRUE(User().empty());
    EXPECT_TRUE(Machine().empty());
    EXPECT_EQ(install(FALSE, L"user"), S_OK) << "removing what is not there succeeds";
}

TEST_F(PerUser, AnEmptyCommandLineIsTheMachineWideRegistrationAnyOtherIsRefused) {
    EXPECT_EQ(install(TRUE, L"machine"), E_INVALIDARG);
    EXPECT_EQ(install(TRUE, L"user:all"), E_INVALIDARG);
    EXPECT_TRUE(Machine().empty());
    EXPECT_TRUE(User().empty());
    ASSERT_EQ(install(TRUE, nullptr), S_OK);
    EXPECT_FALSE(Machine().empty());
    EXPECT_TRUE(User().empty());
    ASSERT_EQ(install(FALSE, L""), S_OK);
    EXPECT_TRUE(Machine().empty());
}

// After regsvr32 /n /i:user and /u /n /i:user (run.sh sets the state).
TEST(PerUserRegsvr32, LeftTheUsersClassesAndNothingMachineWide) {
    const char* state = std::getenv("ORVANTA_PER_USER");
    if (!state) GTEST_SKIP() << "run by tests/wine/run.sh after regsvr32 /n /i:user";
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    EXPECT_TRUE(Machine().empty());
    if (std::string(state) == "registered") {
        EXPECT_EQ(User().count("TypeLib\\{1C3B2481-A973-4F1E-8A7C-3A51ED70F978}\\1.0\\0\\" + std::string(kPlatform) +
                               " : "),
                  1u);
        CreateThroughTheUsersClasses();
    } else {
        EXPECT_TRUE(User().empty());
    }
    OleUninitialize();
}

}  // namespace
}  // namespace orvanta::testing
