// Texts between the tests and Windows: a window's text, wide strings and
// GUIDs, as Windows-1252 bytes, the control's own code page.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

namespace orvanta::testing {

inline std::string WindowText(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

inline std::wstring Wide(const std::string& s) {
    if (s.empty()) return {};
    std::wstring w(s.size(), L'\0');
    w.resize(MultiByteToWideChar(1252, 0, s.data(), static_cast<int>(s.size()), &w[0], static_cast<int>(w.size())));
    return w;
}

inline std::string Narrow(const wchar_t* w) {
    if (!w || !*w) return {};
    const int n = WideCharToMultiByte(1252, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    WideCharToMultiByte(1252, 0, w, -1, &s[0], n, nullptr, nullptr);
    return s;
}

inline std::string GuidString(const GUID& g) {
    wchar_t text[40] = {};
    return StringFromGUID2(g, text, 40) ? Narrow(text) : std::string();
}

}  // namespace orvanta::testing
