// Self-registration against the registry table, written out here entry by
// entry: in-process through the exports, and (ORVANTA_REGSVR32=registered or
// =unregistered) after wine regsvr32 has run.
#include "tests/wine/com_host.h"

#include "control/orvanta_ids.h"
#include "framework/handle.h"

#include <cstdlib>
#include <map>
#include <set>
#include <vector>

namespace orvanta::testing {
namespace {

const char kControl[] = "{1C3B2484-A973-4F1E-8A7C-3A51ED70F978}";
const char kPage[] = "{1C3B2485-A973-4F1E-8A7C-3A51ED70F978}";
const char kLib[] = "{1C3B2481-A973-4F1E-8A7C-3A51ED70F978}";
const char kProgId[] = "ORVANTA.OrvantaCtrl.1";

framework::UniqueRegKey OpenClassesKey(const std::string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return {};
    return framework::UniqueRegKey(h);
}

bool Exists(const std::string& key) { return static_cast<bool>(OpenClassesKey(key)); }

// The value's data, or "<missing>"; "<type N>" for anything but REG_SZ.
std::string Read(const std::string& key, const char* name) {
    const framework::UniqueRegKey h = OpenClassesKey(key);
    if (!h) return "<missing>";
    char data[1024] = {};
    DWORD size = sizeof data - 1, type = 0;
    if (RegQueryValueExA(h.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return "<missing>";
    if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
    return data;
}

// The names a registry enumeration gives under a key (values: "" for the
// default one, or subkeys).
template <typename Enumerate>
std::set<std::string> Names(const std::string& key, Enumerate enumerate) {
    std::set<std::string> names;
    const framework::UniqueRegKey h = OpenClassesKey(key);
    for (DWORD i = 0; h; ++i) {
        char name[256];
        DWORD length = sizeof name;
        if (enumerate(h.get(), i, name, &length) != ERROR_SUCCESS) break;
        names.insert(name);
    }
    return names;
}

std::set<std::string> ValueNames(const std::string& key) {
    return Names(key, [](HKEY h, DWORD i, char* name, DWORD* length) {
        return RegEnumValueA(h, i, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

std::set<std::string> SubKeys(const std::string& key) {
    return Names(key, [](HKEY h, DWORD i, char* name, DWORD* length) {
        return RegEnumKeyExA(h, i, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

std::string ShortPath(const std::string& path) {
    char out[MAX_PATH] = {};
    const DWORD n = GetShortPathNameA(path.c_str(), out, sizeof out);
    return n && n < sizeof out ? std::string(out) : path;
}

struct Entry {
    std::string key;
    const char* name;  // null: default value
    std::string data;
};

std::vector<Entry> Table(const std::string& module) {
    const std::string c = std::string("CLSID\\") + kControl;
    const std::string p = std::string("CLSID\\") + kPage;
    return {
        {kProgId, nullptr, "Orvanta Control"},
        {std::string(kProgId) + "\\CLSID", nullptr, kControl},
        {std::string(kProgId) + "\\Insertable", nullptr, ""},
        {c, nullptr, "Orvanta Control"},
        {c + "\\ProgID", nullptr, kProgId},
        {c + "\\InprocServer32", nullptr, module},
        {c + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {c + "\\ToolboxBitmap32", nullptr, module + ", 1"},
        {c + "\\MiscStatus", nullptr, "0"},
        {c + "\\MiscStatus\\1", nullptr, "132241"},
        {c + "\\Control", nullptr, ""},
        {c + "\\TypeLib", nullptr, kLib},
        {c + "\\Version", nullptr, "1.0"},
        {c + "\\Insertable", nullptr, ""},
        {p, nullptr, "Orvanta Property Page"},
        {p + "\\InprocServer32", nullptr, module},
    };
}

// Every entry of the table, nothing else under the two classes and the
// ProgID, and the type library's key.
void ExpectRegistered(const std::string& module_path) {
    const std::string module = ShortPath(module_path);
    std::map<std::string, std::set<std::string>> names;
    for (const Entry& e : Table(module)) {
        SCOPED_TRACE(e.key + (e.name ? std::string(" : ") + e.name : std::string()));
        EXPECT_EQ(Read(e.key, e.name), e.data);
        names[e.key].insert(e.name ? e.name : "");
    }
    for (const auto& [key, expected] : names) {
        std::set<std::string> got = ValueNames(key);
        got.insert("");  // an empty default value may be stored or not
        std::set<std::string> want = expected;
        want.insert("");
        EXPECT_EQ(got, want) << key;
    }
    const std::string c = std::string("CLSID\\") + kControl;
    EXPECT_EQ(SubKeys(c), (std::set<std::string>{"Control", "InprocServer32", "Insertable", "MiscStatus",
                                                 "ProgID", "ToolboxBitmap32", "TypeLib", "Version"}));
    EXPECT_EQ(SubKeys(std::string("CLSID\\") + kPage), (std::set<std::string>{"InprocServer32"}));
    EXPECT_EQ(SubKeys(kProgId), (std::set<std::string>{"CLSID", "Insertable"}));
    EXPECT_FALSE(Exists("ORVANTA.OrvantaPropPage.1")) << "the page has no ProgID key";
    EXPECT_TRUE(Exists(std::string("TypeLib\\") + kLib + "\\1.0"));
    EXPECT_TRUE(Exists(std::string("Interface\\{1C3B2482-A973-4F1E-8A7C-3A51ED70F978}")));
}

void ExpectUnregistered() {
    EXPECT_FALSE(Exists(std::string("CLSID\\") + kControl));
    EXPECT_FALSE(Exists(std::string("CLSID\\") + kPage));
    EXPECT_FALSE(Exists(kProgId));
    EXPECT_FALSE(Exists(std::string("TypeLib\\") + kLib));
    EXPECT_FALSE(Exists("Interface\\{1C3B2482-A973-4F1E-8A7C-3A51ED70F978}"));
    EXPECT_FALSE(Exists("Interface\\{1C3B2483-A973-4F1E-8A7C-3A51ED70F978}"));
}

struct Registration : ComTest {
    void TearDown() override {
        if (ocx) ocx->Unregister();
        ComTest::TearDown();
    }
};

TEST_F(Registration, WritesExactlyTheTableTwiceAlikeAndRemovesIt) {
    ASSERT_EQ(ocx->Register(), S_OK);
    ExpectRegistered(OcxPath());
    ASSERT_EQ(ocx->Register(), S_OK);
    ExpectRegistered(OcxPath());
    ASSERT_EQ(ocx->Unregister(), S_OK);
    ExpectUnregistered();
    EXPECT_EQ(ocx->Unregister(), S_OK) << "removing what is not there succeeds";
    ExpectUnregistered();
}

// One locale key holds every platform's entry: unregistering this build must
// leave a 16-bit registration and the other build's (installed side by side
// in a 64-bit system) registered.
TEST_F(Registration, OtherPlatformsRegistrationsOfTheLibrarySurvive) {
#ifdef _WIN64
    const char *own = "win64", *other = "win32";
#else
    const char *own = "win32", *other = "win64";
#endif
    const std::string locale = std::string("TypeLib\\") + kLib + "\\1.0\\0";
    for (const char* kept : {"win16", other}) {
        SCOPED_TRACE(kept);
        ASSERT_EQ(ocx->Register(), S_OK);
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (locale + "\\" + kept).c_str(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("ORVANTA.TLB"), 12);
        RegCloseKey(h);
        ASSERT_EQ(ocx->Unregister(), S_OK);
        EXPECT_EQ(Read(locale + "\\" + kept, nullptr), "ORVANTA.TLB");
        EXPECT_FALSE(Exists(locale + "\\" + own));
        EXPECT_FALSE(Exists(std::string("CLSID\\") + kControl));
        RegDeleteKeyA(HKEY_CLASSES_ROOT, (locale + "\\" + kept).c_str());
        RegDeleteKeyA(HKEY_CLASSES_ROOT, locale.c_str());
        RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("TypeLib\\") + kLib + "\\1.0").c_str());
        RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("TypeLib\\") + kLib).c_str());
    }
}

// The ProgID key is one for both registry views on Windows (7 and later);
// Wine may keep one per view. So the rule is held, not Wine's key sharing:
// while the other view has the class (the other build, side by side), this
// build's removal leaves the ProgID; once it has not, the ProgID goes.
TEST_F(Registration, TheProgIdStaysWhileTheOtherViewHasTheClass) {
#ifdef _WIN64
    const REGSAM other_view = KEY_WOW64_32KEY;
#else
    const REGSAM other_view = KEY_WOW64_64KEY;
#endif
    const std::string server = std::string("CLSID\\") + kControl + "\\InprocServer32";
    ASSERT_EQ(ocx->Register(), S_OK);
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, server.c_str(), 0, nullptr, 0, KEY_WRITE | other_view, nullptr, &h,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("OTHER.OCX"), 10);
    RegCloseKey(h);
    const auto remove_other = [&] {
        RegDeleteKeyExA(HKEY_CLASSES_ROOT, server.c_str(), other_view, 0);
        RegDeleteKeyExA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kControl).c_str(), other_view, 0);
    };
    if (Read(server, nullptr) == "OTHER.OCX") {
        remove_other();
        GTEST_SKIP() << "this prefix has one registry view";
    }
    ASSERT_EQ(ocx->Unregister(), S_OK);
    EXPECT_FALSE(Exists(std::string("CLSID\\") + kControl));
    EXPECT_EQ(Read(std::string(kProgId) + "\\CLSID", nullptr), kControl) << "the other build's hosts need it";
    remove_other();
    ASSERT_EQ(ocx->Unregister(), S_OK);
    EXPECT_FALSE(Exists(kProgId)) << "with no build left the ProgID goes";
}

TEST_F(Registration, ASixteenBitServerKeepsItsClassKey) {
    const std::string c = std::string("CLSID\\") + kControl;
    ASSERT_EQ(ocx->Register(), S_OK);
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (c + "\\InprocServer").c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_EQ(ocx->Unregister(), S_OK);
    EXPECT_TRUE(Exists(c + "\\InprocServer"));
    EXPECT_TRUE(Exists(c + "\\ProgID"));
    EXPECT_FALSE(Exists(c + "\\InprocServer32"));
    EXPECT_FALSE(Exists(c + "\\ToolboxBitmap32"));
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (c + "\\InprocServer").c_str());
}

TEST_F(RegisteredTest, TypeInformationComesFromTheRegisteredLibrary) {
    Ptr<ITypeLib> lib;
    ASSERT_EQ(LoadRegTypeLib(LIBID_ORVANTALib, 1, 0, 0, lib.put()), S_OK);
    TLIBATTR* a = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&a), S_OK);
    EXPECT_EQ(a->wMajorVerNum, 1);
    EXPECT_EQ(a->wMinorVerNum, 0);
    EXPECT_EQ(a->lcid, 0u);
    EXPECT_TRUE(a->wLibFlags & LIBFLAG_FCONTROL);
    lib->ReleaseTLibAttr(a);

    Ptr<IDispatch> disp;
    ASSERT_EQ(ocx->CreateControl(IID_IDispatch, disp.put_void()), S_OK);
    Ptr<ITypeInfo> info;
    ASSERT_EQ(disp->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()), S_OK);
    TYPEATTR* t = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&t), S_OK);
    EXPECT_TRUE(IsEqualGUID(t->guid, DIID__DOrvanta));
    EXPECT_EQ(t->typekind, TKIND_DISPATCH);
    EXPECT_EQ(t->cFuncs, kMethodCount);
    EXPECT_EQ(t->cVars, kPropertyCount);
    info->ReleaseTypeAttr(t);
    // The host's own name lookup through the type information agrees with ours.
    LPOLESTR name[] = {const_cast<LPOLESTR>(L"scanwindowhandle")};
    MEMBERID id = 0;
    EXPECT_EQ(info->GetIDsOfNames(name, 1, &id), S_OK);
    EXPECT_EQ(id, 24);

    Ptr<IProvideClassInfo2> pci;
    ASSERT_EQ(disp->QueryInterface(IID_IProvideClassInfo2, pci.put_void()), S_OK);
    Ptr<ITypeInfo> coclass;
    ASSERT_EQ(pci->GetClassInfo(coclass.put()), S_OK);
    ASSERT_EQ(coclass->GetTypeAttr(&t), S_OK);
    EXPECT_TRUE(IsEqualGUID(t->guid, CLSID_Orvanta));
    EXPECT_EQ(t->typekind, TKIND_COCLASS);
    coclass->ReleaseTypeAttr(t);

    CLSID by_progid = GUID_NULL;
    EXPECT_EQ(CLSIDFromProgID(L"ORVANTA.OrvantaCtrl.1", &by_progid), S_OK);
    EXPECT_TRUE(IsEqualGUID(by_progid, CLSID_Orvanta));
}

// After wine regsvr32 (run.sh sets the state it left).
TEST(Regsvr32, LeftTheRegistryAsTheTableSays) {
    const char* state = std::getenv("ORVANTA_REGSVR32");
    if (!state) GTEST_SKIP() << "run by tests/wine/run.sh after regsvr32";
    ASSERT_FALSE(OcxPath().empty());
    if (std::string(state) == "registered") {
        ExpectRegistered(OcxPath());
    } else {
        ExpectUnregistered();
    }
}

// Run by tests/wine/run.sh in a 64-bit prefix after both builds were
// registered and the other one removed again.
TEST(SideBySide, ThisBuildsTypeLibraryAndProgIdStay) {
    if (!std::getenv("ORVANTA_SIDE_BY_SIDE")) GTEST_SKIP() << "run by tests/wine/run.sh with both builds";
    ITypeLib* lib = nullptr;
    ASSERT_EQ(LoadRegTypeLib(LIBID_ORVANTALib, 1, 0, 0, &lib), S_OK);
    lib->Release();
    BSTR path = nullptr;
    ASSERT_EQ(QueryPathOfRegTypeLib(LIBID_ORVANTALib, 1, 0, 0, &path), S_OK);
    char narrow[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, sizeof narrow, nullptr, nullptr);
    SysFreeString(path);
    EXPECT_EQ(lstrcmpiA(narrow, OcxPath().c_str()), 0) << narrow;
    CLSID by_progid = GUID_NULL;
    EXPECT_EQ(CLSIDFromProgID(L"ORVANTA.OrvantaCtrl.1", &by_progid), S_OK) << "the ProgID went with the other build";
}

}  // namespace
}  // namespace orvanta::testing
