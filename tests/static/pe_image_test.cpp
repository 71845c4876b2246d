// Both builds of ORVANTA.OCX read as files, natively, so they are checked on
// every machine, also where Wine cannot run one of them: the image kind, the
// exports, the imports and the type library each build embeds.
//
//   orvanta_pe_tests --i686=PATH --x86_64=PATH
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

std::map<std::string, std::string> g_paths;  // "i686"/"x86_64" -> path

// A PE image read from disk; every read is bounds-checked, a damaged file
// fails the test instead of the program.
class PeFile {
public:
    explicit PeFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (bytes_.size() < 0x40 || U16(0) != 0x5A4D) return;
        nt_ = U32(0x3C);
        if (U32(nt_) != 0x4550) return;
        machine_ = U16(nt_ + 4);
        const uint32_t sections = U16(nt_ + 6), opt_size = U16(nt_ + 20);
        characteristics_ = U16(nt_ + 22);
        opt_ = nt_ + 24;
        magic_ = U16(opt_);
        const uint32_t first = opt_ + opt_size;
        for (uint32_t i = 0; i < sections; ++i) {
            const uint32_t s = first + i * 40;
            sections_.push_back({U32(s + 12), std::max(U32(s + 8), U32(s + 16)), U32(s + 20)});
        }
        ok_ = true;
    }

    bool ok() const { return ok_; }
    uint16_t machine() const { return machine_; }
    uint16_t magic() const { return magic_; }
    bool is_dll() const { return (characteristics_ & 0x2000) != 0; }

    // Data directory N: {rva, size}.
    std::pair<uint32_t, uint32_t> Directory(int n) const {
        const uint32_t dirs = opt_ + (magic_ == 0x20B ? 112 : 96);
        return {U32(dirs + 8 * n), U32(dirs + 8 * n + 4)};
    }
    uint32_t Offset(uint32_t rva) const {
        for (const auto& s : sections_)
            if (rva >= s.rva && rva - s.rva < s.size) return rva - s.rva + s.raw;
        return UINT32_MAX;
    }
    std::string StringAt(uint32_t offset) const {
        std::string s;
        while (offset < bytes_.size() && bytes_[offset] && s.size() < 256) s += bytes_[offset++];
        return s;
    }
    uint16_t U16(uint64_t o) const { return o + 2 <= bytes_.size() ? uint16_t(B(o) | B(o + 1) << 8) : 0; }
    uint32_t U32(uint64_t o) const { return o + 4 <= bytes_.size() ? uint32_t(U16(o) | U16(o + 2) << 16) : 0; }
    size_t size() const { return bytes_.size(); }

    std::set<std::string> ExportNames(std::string* module) const {
        std::set<std::string> names;
        const uint32_t dir = Offset(Directory(0).first);
        if (dir == UINT32_MAX) return names;
        *module = StringAt(Offset(U32(dir + 12)));
        const uint32_t count = U32(dir + 24), table = Offset(U32(dir + 32));
        for (uint32_t i = 0; i < count && i < 64; ++i) names.insert(StringAt(Offset(U32(table + 4 * i))));
        return names;
    }
    // Named or not: an export by ordinal only counts here.
    uint32_t ExportedFunctions() const {
        const uint32_t dir = Offset(Directory(0).first);
        return dir == UINT32_MAX ? 0 : U32(dir + 20);
    }
    std::vector<std::string> ImportModules() const {
        std::vector<std::string> names;
        uint32_t d = Offset(Directory(1).first);
        for (; d != UINT32_MAX && d + 20 <= bytes_.size() && U32(d + 12); d += 20) names.push_back(StringAt(Offset(U32(d + 12))));
        return names;
    }
    // Offset of the first data of resource TYPE (a name) / ID, or UINT32_MAX.
    uint32_t Resource(const std::u16string& type, uint32_t id) const {
        const uint32_t root = Offset(Directory(2).first);
        if (root == UINT32_MAX) return root;
        uint32_t dir = Entry(root, root, &type, 0);
        if (dir == UINT32_MAX || !(dir & 0x80000000u)) return UINT32_MAX;
        dir = Entry(root, root + (dir & 0x7FFFFFFFu), nullptr, id);
        if (dir == UINT32_MAX || !(dir & 0x80000000u)) return UINT32_MAX;
        const uint32_t lang = root + (dir & 0x7FFFFFFFu);  // first language
        if (U16(lang + 12) + U16(lang + 14) == 0) return UINT32_MAX;
        const uint32_t leaf = U32(lang + 20);
        if (leaf & 0x80000000u) return UINT32_MAX;
        return Offset(U32(root + leaf));
    }

private:
    struct Section { uint32_t rva, size, raw; };
    uint8_t B(uint64_t o) const { return static_cast<uint8_t>(bytes_[o]); }

    uint32_t Entry(uint32_t root, uint32_t dir, const std::u16string* name, uint32_t id) const {
        const uint32_t named = U16(dir + 12), ids = U16(dir + 14);
        for (uint32_t i = 0; i < named + ids; ++i) {
            const uint32_t e = dir + 16 + 8 * i, key = U32(e);
            bool match = false;
            if (name && (key & 0x80000000u)) {
                const uint32_t s = root + (key & 0x7FFFFFFFu);
                std::u16string got;
                for (uint32_t k = 0, n = U16(s); k < n && k < 64; ++k) got += char16_t(U16(s + 2 + 2 * k));
                match = got == *name;
            } else if (!name && !(key & 0x80000000u)) {
                match = key == id;
            }
            if (match) return U32(e + 4);
        }
        return UINT32_MAX;
    }

    std::vector<char> bytes_;
    std::vector<Section> sections_;
    uint32_t nt_ = 0, opt_ = 0;
    uint16_t machine_ = 0, magic_ = 0, characteristics_ = 0;
    bool ok_ = false;
};

struct Build {
    const char* arch;
    uint16_t machine, magic;
    uint32_t syskind;  // SYS_WIN32 = 1, SYS_WIN64 = 3
};

class OcxImage : public ::testing::TestWithParam<Build> {
protected:
    void SetUp() override {
        const auto it = g_paths.find(GetParam().arch);
        ASSERT_TRUE(it != g_paths.end()) << "pass --" << GetParam().arch << "=<path of ORVANTA.OCX>";
        pe_ = std::make_unique<PeFile>(it->second);
        ASSERT_TRUE(pe_->ok()) << it->second << " is no PE image";
    }
    std::unique_ptr<PeFile> pe_;
};

TEST_P(OcxImage, IsADllOfItsArchitecture) {
    EXPECT_EQ(pe_->machine(), GetParam().machine);
    EXPECT_EQ(pe_->magic(), GetParam().magic);  // PE32 or PE32+
    EXPECT_TRUE(pe_->is_dll());
}

TEST_P(OcxImage, ExportsTheServerFunctionsOnlyAndImportsOnlySystemLibraries) {
    std::string module;
    // The four server functions and DllInstall (per-user registration).
    EXPECT_EQ(pe_->ExportNames(&module),
              (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllInstall", "DllRegisterServer",
                                     "DllUnregisterServer"}));
    EXPECT_EQ(module, "ORVANTA.OCX");
    EXPECT_EQ(pe_->ExportedFunctions(), 5u);
    const std::set<std::string> system = {"kernel32.dll", "user32.dll",   "gdi32.dll",
                                          "advapi32.dll", "ole32.dll",    "oleaut32.dll",
                                          "msvcrt.dll",   "comctl32.dll", "shlwapi.dll",
                                          "setupapi.dll", "ws2_32.dll"};
    const auto imports = pe_->ImportModules();
    EXPECT_FALSE(imports.empty());
    for (auto name : imports) {
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        EXPECT_TRUE(system.count(name)) << "imports " << name;
    }
}

TEST_P(OcxImage, EmbedsTheTypeLibraryBuiltForItsArchitecture) {
    const uint32_t tlb = pe_->Resource(u"TYPELIB", 1);
    ASSERT_NE(tlb, UINT32_MAX) << "no TYPELIB 1 resource";
    EXPECT_EQ(pe_->U32(tlb), 0x5446534Du);  // "MSFT"
    EXPECT_EQ(pe_->U32(tlb + 0x14) & 0xFu, GetParam().syskind);
}

INSTANTIATE_TEST_SUITE_P(Builds, OcxImage,
                         ::testing::Values(Build{"i686", 0x14C, 0x10B, 1}, Build{"x86_64", 0x8664, 0x20B, 3}),
                         [](const auto& info) { return std::string(info.param.arch); });

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto eq = a.find('=');
        if (a.rfind("--", 0) == 0 && eq != std::string::npos) g_paths[a.substr(2, eq - 2)] = a.substr(eq + 1);
    }
    return RUN_ALL_TESTS();
}
