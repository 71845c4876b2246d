// Registration-free use: with ORVANTA.OCX unregistered, an activation context
// built from an application manifest that names the ORVANTA assembly (the
// ORVANTA.manifest beside the OCX) creates the control by CLSID and ProgID,
// with its type information; outside the context nothing is found.
#include "tests/wine/com_host.h"
#include "testkit/peer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <fstream>
#include <string>

namespace orvanta::testing {
namespace {

#ifdef _WIN64
const char kArch[] = "amd64";
#else
const char kArch[] = "x86";
#endif

std::string Directory(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Whether the component manifest's comClass for `clsid` carries the ProgID.
bool ManifestNamesProgIdForClass(const std::string& manifest, const std::string& clsid) {
    std::ifstream in(manifest);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string wanted = "CLSID=\"" + clsid + "\"";
    for (std::string* t : {&text, &wanted})
        std::transform(t->begin(), t->end(), t->begin(),
                       [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    for (std::size_t at = text.find("<COMCLASS"); at != std::string::npos; at = text.find("<COMCLASS", at + 1)) {
        const std::string element = text.substr(at, text.find('>', at) - at);
        if (element.find(wanted) != std::string::npos &&
            element.find("PROGID=\"ORVANTA.ORVANTACTRL.1\"") != std::string::npos)
            return true;
    }
    return false;
}

// The version the component manifest declares, read from it: the
// application asks for exactly that one.
std::string ManifestVersion(const std::string& manifest) {
    std::ifstream in(manifest);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string key = "name=\"ORVANTA\" version=\"";
    const auto at = text.find(key);
    if (at == std::string::npos) return {};
    return text.substr(at + key.size(), text.find('"', at + key.size()) - at - key.size());
}

class ActivationContext {
public:
    ActivationContext(const std::string& app_manifest, const std::string& assembly_dir) {
        ACTCTXA ctx = {};
        ctx.cbSize = sizeof ctx;
        ctx.dwFlags = ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
        ctx.lpSource = app_manifest.c_str();
        ctx.lpAssemblyDirectory = assembly_dir.c_str();
        handle_ = CreateActCtxA(&ctx);
        if (handle_ == INVALID_HANDLE_VALUE) error_ = GetLastError();
    }
    ~ActivationContext() {
        Deactivate();
        if (handle_ != INVALID_HANDLE_VALUE) ReleaseActCtx(handle_);
    }
    ActivationContext(const ActivationContext&) = delete;
    ActivationContext& operator=(const ActivationContext&) = delete;
    bool Ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    DWORD Error() const { return error_; }
    bool Activate() { return ActivateActCtx(handle_, &cookie_) != FALSE; }
    void Deactivate() {
        if (cookie_) DeactivateActCtx(0, cookie_);
        cookie_ = 0;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie_ = 0;
    DWORD error_ = 0;
};

void ExpectNotRegistered() {
    CLSID clsid = GUID_NULL;
    EXPECT_TRUE(FAILED(CLSIDFromProgID(L"ORVANTA.OrvantaCtrl.1", &clsid)));
    Ptr<IUnknown> unknown;
    EXPECT_EQ(CoCreateInstance(CLSID_Orvanta, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, unknown.put_void()),
              REGDB_E_CLASSNOTREG);
}

TEST(RegistrationFree, TheManifestBesideTheOcxCreatesTheControlWithoutRegistration) {
    ASSERT_FALSE(OcxPath().empty()) << "pass --ocx=<path of ORVANTA.OCX>";
    const std::string dir = Directory(OcxPath());
    const std::string version = ManifestVersion(dir + "\\ORVANTA.manifest");
    ASSERT_FALSE(version.empty()) << "no ORVANTA.manifest beside " << OcxPath();
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ExpectNotRegistered();

    // The application's manifest, as a user writes it for their program.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string app = std::string(temp) + "orvanta_regfree_host.manifest";
    {
        std::ofstream out(app, std::ios::trunc);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
               "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
               "  <assemblyIdentity type=\"win32\" name=\"Orvanta.RegFreeHost\" version=\"1.0.0.0\"/>\n"
               "  <dependency><dependentAssembly>\n"
               "    <assemblyIdentity type=\"win32\" name=\"ORVANTA\" version=\""
            << version << "\" processorArchitecture=\"" << kArch
            << "\"/>\n"
               "  </dependentAssembly></dependency>\n"
               "</assembly>\n";
    }
    {
        ActivationContext context(app, dir);
        ASSERT_TRUE(context.Ok()) << "CreateActCtx failed, error " << context.Error();
        ASSERT_TRUE(context.Activate());

        // The ProgID is in the context's ProgID section, as script hosts need it.
        ACTCTX_SECTION_KEYED_DATA found = {};
        found.cbSize = sizeof found;
        EXPECT_TRUE(FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_COM_PROGID_REDIRECTION,
                                             L"ORVANTA.OrvantaCtrl.1", &found));
        CLSID clsid = GUID_NULL;
        EXPECT_EQ(CLSIDFromProgID(L"ORVANTA.OrvantaCtrl.1", &clsid), S_OK);
        if (!OnWine()) {
            EXPECT_TRUE(IsEqualGUID(clsid, CLSID_Orvanta)) << GuidString(clsid);
        } else {
            // Wine 8 answers S_OK with a CLSID read from the wrong place of
            // that section (a different one each run): what it should find is
            // checked where it comes from, the component manifest.
            EXPECT_TRUE(ManifestNamesProgIdForClass(dir + "\\ORVANTA.manifest", GuidString(CLSID_Orvanta)))
                << "ORVANTA.manifest does not give ORVANTA.OrvantaCtrl.1 to " << GuidString(CLSID_Orvanta);
        }
        Ptr<IDispatch> control;
        ASSERT_EQ(CoCreateInstance(CLSID_Orvanta, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, control.put_void()),
                  S_OK);
        // Names and type information come from the library the manifest names.
        LPOLESTR name[] = {const_cast<LPOLESTR>(L"defaultComSettings")};
        DISPID id = 0;
        ASSERT_EQ(control->GetIDsOfNames(IID_NULL, name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        EXPECT_EQ(id, 19);
        ScopedVariant value;
        ASSERT_EQ(CallDispatch(control.p, id, DISPATCH_PROPERTYGET, nullptr, 0, &value.v), S_OK);
        ASSERT_EQ(value.v.vt, VT_BSTR);
        EXPECT_EQ(Narrow(value.v.bstrVal), "baud=9600 parity=N data=7 stop=2");
        Ptr<ITypeInfo> info;
        EXPECT_EQ(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()), S_OK);
        control.reset();
        info.reset();
        context.Deactivate();
        ExpectNotRegistered();
    }
    DeleteFileA(app.c_str());
    // Nothing was written to the registry on the way.
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{1C3B2484-A973-4F1E-8A7C-3A51ED70F978}", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    if (key) RegCloseKey(key);
    OleUninitialize();
}

}  // namespace
}  // namespace orvanta::testing
