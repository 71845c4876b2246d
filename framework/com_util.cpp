#include "framework/com_util.h"

namespace framework {

std::string ToAnsi(const wchar_t* text, UINT length) {
    if (!text || length == 0) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

BSTR AnsiToBstr(const std::string& text) {
    const int length = static_cast<int>(text.size());
    const int n = length ? MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0) : 0;
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(n));
    if (out && n) MultiByteToWideChar(CP_ACP, 0, text.data(), length, out, n);
    return out;
}

std::wstring ToWide(const char* text) {
    if (!text || !*text) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n);
    return out;
}

LPOLESTR CoTaskString(const std::wstring& text) {
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (out) CopyMemory(out, text.c_str(), bytes);
    return out;
}

HRESULT QueryFromTable(void* self, const InterfaceEntry* table, std::size_t count, REFIID iid,
                       void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        if (IsEqualIID(iid, *table[i].iid) || (i == 0 && IsEqualIID(iid, IID_IUnknown))) {
            auto* found = reinterpret_cast<IUnknown*>(static_cast<char*>(self) + table[i].offset);
            found->AddRef();
            *ppv = found;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

}  // namespace framework
