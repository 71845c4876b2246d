// The type library embedded in ORVANTA.OCX, read back through oleaut32 the way
// hosts and the registration read it: library, types, flags and every member.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
// After the system headers, so only the control's own GUIDs get defined here.
#include <initguid.h>
#include "orvanta.h"

#include <string>
#include <vector>

#include "control/orvanta_ids.h"
#include "control/orvanta_member_list.h"
#include "testkit/text.h"
#include "tests/wine/host.h"

namespace orvanta::testing {
namespace {

struct Bstr {
    BSTR b = nullptr;
    ~Bstr() { SysFreeString(b); }
};

struct Doc {
    std::string name, text, file;
    DWORD context = 0xFFFFFFFF;
};

template <class T>
Doc Documentation(T* owner, int index) {
    Bstr name, text, file;
    Doc d;
    EXPECT_EQ(owner->GetDocumentation(index, &name.b, &text.b, &d.context, &file.b), S_OK);
    d.name = Narrow(name.b);
    d.text = Narrow(text.b);
    d.file = Narrow(file.b);
    return d;
}

struct TypeLibrary : ::testing::Test {
    void SetUp() override {
        ASSERT_FALSE(OcxPath().empty()) << "pass --ocx=<path of ORVANTA.OCX>";
        const HRESULT hr = LoadTypeLibEx(Wide(OcxPath()).c_str(), REGKIND_NONE, &lib);
        ASSERT_EQ(hr, S_OK) << "no type library in " << OcxPath();
    }
    void TearDown() override {
        for (ITypeInfo* i : infos) i->Release();
        if (lib) lib->Release();
    }
    ITypeInfo* Keep(ITypeInfo* info) {
        if (info) infos.push_back(info);
        return info;
    }
    ITypeInfo* Info(UINT index) {
        ITypeInfo* info = nullptr;
        EXPECT_EQ(lib->GetTypeInfo(index, &info), S_OK);
        return Keep(info);
    }
    ITypeInfo* ImplType(ITypeInfo* info, UINT index, int* flags) {
        HREFTYPE ref = 0;
        ITypeInfo* impl = nullptr;
        EXPECT_EQ(info->GetImplTypeFlags(index, flags), S_OK);
        EXPECT_EQ(info->GetRefTypeOfImplType(index, &ref), S_OK);
        EXPECT_EQ(info->GetRefTypeInfo(ref, &impl), S_OK);
        return Keep(impl);
    }
    static TYPEATTR Attr(ITypeInfo* info) {
        TYPEATTR* a = nullptr;
        TYPEATTR copy{};
        if (info->GetTypeAttr(&a) == S_OK) {
            copy = *a;
            info->ReleaseTypeAttr(a);
        }
        return copy;
    }
    std::vector<std::string> Names(ITypeInfo* info, MEMBERID id) {
        BSTR names[8] = {};
        UINT count = 0;
        EXPECT_EQ(info->GetNames(id, names, 8, &count), S_OK);
        std::vector<std::string> out;
        for (UINT i = 0; i < count; ++i) {
            out.push_back(Narrow(names[i]));
            SysFreeString(names[i]);
        }
        return out;
    }

    ITypeLib* lib = nullptr;
    std::vector<ITypeInfo*> infos;
};

TEST_F(TypeLibrary, LibraryAttributesAndDocumentation) {
    TLIBATTR* a = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&a), S_OK);
    EXPECT_EQ(GuidString(a->guid), "{1C3B2481-A973-4F1E-8A7C-3A51ED70F978}");  // never changes
    EXPECT_EQ(a->wMajorVerNum, 1);
    EXPECT_EQ(a->wMinorVerNum, 0);
    EXPECT_EQ(a->lcid, 0u);
#ifdef _WIN64
    EXPECT_EQ(a->syskind, SYS_WIN64);
#else
    EXPECT_EQ(a->syskind, SYS_WIN32);
#endif
    EXPECT_TRUE(a->wLibFlags & LIBFLAG_FCONTROL);
    EXPECT_FALSE(a->wLibFlags & (LIBFLAG_FRESTRICTED | LIBFLAG_FHIDDEN));
    lib->ReleaseTLibAttr(a);

    const Doc d = Documentation(lib, -1);
    EXPECT_EQ(d.name, "ORVANTALib");
    EXPECT_EQ(d.text, "orvanta ActiveX-Steuerelement-Modul");
    EXPECT_EQ(d.file, "") << "no help file ships";
    EXPECT_EQ(d.context, 0u);
}

TEST_F(TypeLibrary, ThreeTypesInOrderWithTheirFlags) {
    struct Row {
        const char* name;
        const GUID* guid;
        TYPEKIND kind;
        WORD flags;
        const char* help;
        WORD funcs, vars, impls;
    };
    const Row rows[] = {
        {"_DOrvanta", &DIID__DOrvanta, TKIND_DISPATCH, TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FHIDDEN,
         "Dispatch-Schnittstelle f\xFC" "r Orvanta Control", kMethodCount, kPropertyCount, 1},
        {"_DOrvantaEvents", &DIID__DOrvantaEvents, TKIND_DISPATCH, TYPEFLAG_FDISPATCHABLE,
         "Ereignisschnittstelle f\xFC" "r Orvanta Control", kEventCount, 0, 1},
        {"Orvanta", &CLSID_Orvanta, TKIND_COCLASS, TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL,
         "Orvanta Control", 0, 0, 2},
    };
    ASSERT_EQ(lib->GetTypeInfoCount(), 3u);
    for (UINT i = 0; i < 3; ++i) {
        const Row& r = rows[i];
        SCOPED_TRACE(r.name);
        const Doc d = Documentation(lib, i);
        EXPECT_EQ(d.name, r.name);
        EXPECT_EQ(d.text, r.help);
        EXPECT_EQ(d.context, 0u);
        TYPEKIND kind = TKIND_MAX;
        EXPECT_EQ(lib->GetTypeInfoType(i, &kind), S_OK);
        EXPECT_EQ(kind, r.kind);
        const TYPEATTR a = Attr(Info(i));
        EXPECT_TRUE(IsEqualGUID(a.guid, *r.guid)) << GuidString(a.guid);
        EXPECT_EQ(a.wTypeFlags, r.flags);
        EXPECT_EQ(a.cFuncs, r.funcs);
        EXPECT_EQ(a.cVars, r.vars);
        EXPECT_EQ(a.cImplTypes, r.impls);
    }
    for (UINT i = 0; i < 2; ++i) {  // both dispinterfaces derive from IDispatch
        int flags = -1;
        EXPECT_TRUE(IsEqualGUID(Attr(ImplType(Info(i), 0, &flags)).guid, IID_IDispatch));
    }
}

TEST_F(TypeLibrary, CoclassDefaultInterfaceAndDefaultSource) {
    ITypeInfo* coclass = Info(2);
    int flags = -1;
    EXPECT_TRUE(IsEqualGUID(Attr(ImplType(coclass, 0, &flags)).guid, DIID__DOrvanta));
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    EXPECT_TRUE(IsEqualGUID(Attr(ImplType(coclass, 1, &flags)).guid, DIID__DOrvantaEvents));
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
}

struct Param {
    VARTYPE vt;
    std::string name;
};
struct Member {
    Dispid id;
    const char* name;
    bool property;
    VARTYPE type;  // a method's result, a property's value
    std::vector<Param> params;
    bool readonly = false;
};

// A method as the member list declares it; its parameter names come as the
// list writes them, "(a, b)".
Member Method(Dispid id, const char* name, VARTYPE result, std::vector<VARTYPE> types, std::string names) {
    Member m{id, name, false, result, {}};
    names = names.substr(1, names.size() - 2);
    for (VARTYPE vt : types) {
        const std::size_t comma = names.find(',');
        m.params.push_back({vt, names.substr(0, comma)});
        names = comma == std::string::npos ? "" : names.substr(names.find_first_not_of(' ', comma + 1));
    }
    return m;
}

// The type names as the member list writes them.
constexpr VARTYPE kVoid = VT_VOID, kBool = VT_BOOL, kBstr = VT_BSTR, kI2 = VT_I2, kI4 = VT_I4,
                  kVariant = VT_VARIANT;

#define ORVANTA_LIST(...) __VA_ARGS__
#define ORVANTA_METHOD(name, dispid, result, part, timing, types, names) \
    Method(kDispid##name, #name, result, {ORVANTA_LIST types}, #names),
#define ORVANTA_PROPERTY(name, dispid, type) Member{kDispid##name, #name, true, type, {}},
#define ORVANTA_STATE(name, dispid, type, part) Member{kDispid##name, #name, true, type, {}, true},
// Dispatch-table order: the methods, the nine properties, AboutBox, the later ones.
const std::vector<Member> kMembers = {ORVANTA_MEMBERS(ORVANTA_METHOD, ORVANTA_PROPERTY, ORVANTA_STATE)};
#undef ORVANTA_STATE
#undef ORVANTA_PROPERTY
#undef ORVANTA_METHOD
#undef ORVANTA_LIST

TEST_F(TypeLibrary, EveryMemberOfTheDispatchInterface) {
    ITypeInfo* disp = Info(0);
    UINT func = 0, var = 0;
    for (size_t i = 0; i < kMembers.size(); ++i) {
        const Member& m = kMembers[i];
        SCOPED_TRACE(m.name);
        // 1 to 26 are the table positions; AboutBox keeps the stock id, later members take higher ones.
        if (i < 26) EXPECT_EQ(m.id, static_cast<int>(i + 1));
        else if (std::string(m.name) == "AboutBox") EXPECT_EQ(m.id, -552);
        else EXPECT_GT(m.id, 26);

        std::vector<std::string> expected_names = {m.name};
        if (m.property) {
            VARDESC* v = nullptr;
            ASSERT_EQ(disp->GetVarDesc(var++, &v), S_OK);
            EXPECT_EQ(v->memid, m.id);
            EXPECT_EQ(v->varkind, VAR_DISPATCH);
            EXPECT_EQ(v->elemdescVar.tdesc.vt, m.type);
            EXPECT_EQ((v->wVarFlags & VARFLAG_FREADONLY) != 0, m.readonly);
            disp->ReleaseVarDesc(v);
        } else {
            FUNCDESC* f = nullptr;
            ASSERT_EQ(disp->GetFuncDesc(func++, &f), S_OK);
            EXPECT_EQ(f->memid, m.id);
            EXPECT_EQ(f->funckind, FUNC_DISPATCH);
            EXPECT_EQ(f->invkind, INVOKE_FUNC);
            EXPECT_EQ(f->elemdescFunc.tdesc.vt, m.type);
            EXPECT_EQ(f->cParamsOpt, 0);
            ASSERT_EQ(f->cParams, static_cast<SHORT>(m.params.size()));
            for (size_t p = 0; p < m.params.size(); ++p) {
                const ELEMDESC& e = f->lprgelemdescParam[p];
                EXPECT_EQ(e.tdesc.vt, m.params[p].vt) << m.params[p].name;
                EXPECT_FALSE(e.paramdesc.wParamFlags &
                             (PARAMFLAG_FOUT | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT | PARAMFLAG_FRETVAL))
                    << m.params[p].name;
                expected_names.push_back(m.params[p].name);
            }
            disp->ReleaseFuncDesc(f);
        }
        EXPECT_EQ(Names(disp, m.id), expected_names);
        const Doc d = Documentation(disp, m.id);
        EXPECT_EQ(d.name, m.name);
        EXPECT_EQ(d.text, "");
        EXPECT_EQ(d.context, 0u);
    }
    EXPECT_EQ(func, static_cast<UINT>(kMethodCount));
    EXPECT_EQ(var, static_cast<UINT>(kPropertyCount));
}

}  // namespace
}  // namespace orvanta::testing
