// The version resource of ORVANTA.OCX as installers and Explorer read it:
// GetFileVersionInfo on the built file, not on the resource script.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/wine/host.h"
#include "version.h"

namespace orvanta::testing {
namespace {

struct VersionBlock {
    std::vector<BYTE> data;
    explicit VersionBlock(const std::string& path) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size == 0) return;
        data.assign(size, 0xCD);
        if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) data.clear();
    }
    // The string's bytes, or "<missing>".
    std::string String(const std::string& block, const char* name) {
        const std::string sub = "\\StringFileInfo\\" + block + "\\" + name;
        char* text = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(data.data(), sub.c_str(), reinterpret_cast<void**>(&text), &length)) return "<missing>";
        return length ? std::string(text) : std::string();
    }
};

TEST(VersionResource, InstallersReadTheFileAndProductVersionAndTheTexts) {
    ASSERT_FALSE(OcxPath().empty()) << "pass --ocx=<path of ORVANTA.OCX>";
    VersionBlock info(OcxPath());
    ASSERT_FALSE(info.data.empty()) << "no version resource in " << OcxPath() << ", error " << GetLastError();

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD ms = MAKELONG(ORVANTA_VERSION_MINOR, ORVANTA_VERSION_MAJOR);
    const DWORD ls = MAKELONG(ORVANTA_VERSION_BUILD, ORVANTA_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, ms);
    EXPECT_EQ(fixed->dwFileVersionLS, ls);
    EXPECT_EQ(fixed->dwProductVersionMS, ms);
    EXPECT_EQ(fixed->dwProductVersionLS, ls);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask & (VS_FF_DEBUG | VS_FF_PRERELEASE), 0u);

    // The one translation names the block the strings live in.
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0407);
    EXPECT_EQ(translation[1], 1252);
    const std::string block = "040704E4";

    EXPECT_EQ(info.String(block, "FileVersion"), ORVANTA_VERSION_TEXT);
    EXPECT_EQ(info.String(block, "ProductVersion"), ORVANTA_VERSION_TEXT);
    EXPECT_EQ(info.String(block, "OriginalFilename"), "ORVANTA.OCX");
    EXPECT_EQ(info.String(block, "ProductName"), "Orvanta Control");
    EXPECT_EQ(info.String(block, "FileDescription"), "orvanta ActiveX-Steuerelement-Modul");
    EXPECT_EQ(info.String(block, "CompanyName"), "Orvanta Projektgruppe Schnittstellen");
    // Present, even empty: installers look for the name alone.
    EXPECT_EQ(info.String(block, "OLESelfRegister"), "");
    EXPECT_EQ(info.String(block, "NoSuchValue"), "<missing>");
}

}  // namespace
}  // namespace orvanta::testing
