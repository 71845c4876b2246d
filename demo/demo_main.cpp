// The demo's eyes and hands on the Windows desktop, for demo/run_demo.sh. It
// does not link the control: the demo reaches the control only through COM,
// from a script host, as a user's program does.
//
//   orvanta_demo boxes COUNT SECONDS [--watch]
//                                      answer COUNT boxes of any program (each
//                                      left up a moment), printing what each
//                                      showed; --watch leaves the pressing to a person
//   orvanta_demo focus CLASS           wait for the top-level window of class
//                                      CLASS and bring it to the foreground
//   orvanta_demo text CLASS            print the text of the edit field of the
//                                      top-level window of class CLASS
//   orvanta_demo shot CLASS FILE.bmp   save a picture of that window
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Text(HWND hwnd) {
    char text[2048] = {};
    SendMessageA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

BOOL CALLBACK CollectBox(HWND hwnd, LPARAM param) {
    if (IsWindowVisible(hwnd) && ClassOf(hwnd) == "#32770")
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    // A picture item reports its resource number as its text: skip it.
    const LONG type = GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK;
    if (ClassOf(child) == "Static" && (type == SS_ICON || type == SS_BITMAP)) return TRUE;
    const std::string text = Text(child);
    if (!text.empty() && ClassOf(child) != "Button") std::printf("      %s\n", text.c_str());
    return TRUE;
}

int AnswerBoxes(int count, int seconds, bool press) {
    std::set<HWND> answered;
    const DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    while (static_cast<int>(answered.size()) < count && GetTickCount() < end) {
        std::vector<HWND> boxes;
        EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&boxes));
        for (HWND box : boxes) {
            if (answered.count(box)) continue;
            if (press) Sleep(700);  // as long as a person takes to read it
            std::printf("    box \"%s\":\n", Text(box).c_str());
            EnumChildWindows(box, PrintChild, 0);
            std::fflush(stdout);
            if (press) {
                SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            } else {
                while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() < end) Sleep(100);
            }
            answered.insert(box);
        }
        Sleep(50);
    }
    return static_cast<int>(answered.size()) == count ? 0 : 1;
}

HWND FindTop(const char* cls) {
    for (int i = 0; i < 100; ++i) {
        if (HWND hwnd = FindWindowA(cls, nullptr)) return hwnd;
        Sleep(100);
    }
    return nullptr;
}

int Focus(const char* cls) {
    HWND top = FindTop(cls);
    if (!top) return 1;
    SetForegroundWindow(top);
    for (int i = 0; i < 50 && GetForegroundWindow() != top; ++i) Sleep(100);
    return GetForegroundWindow() == top ? 0 : 1;
}

int PrintEditText(const char* cls) {
    HWND top = FindTop(cls);
    HWND edit = top ? FindWindowExA(top, nullptr, "Edit", nullptr) : nullptr;
    if (!edit) {
        std::fprintf(stderr, "no window of class %s with an edit field\n", cls);
        return 1;
    }
    std::printf("%s", Text(edit).c_str());
    return 0;
}

// A 24-bit bottom-up BMP of the window as it is on the screen.
int Screenshot(const char* cls, const char* file) {
    HWND top = FindTop(cls);
    if (!top) return 1;
    SetForegroundWindow(top);
    RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(300);
    RECT r = {};
    GetWindowRect(top, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return 1;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD row = static_cast<DWORD>((w * 3 + 3) & ~3), size = row * static_cast<DWORD>(h);
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + size;
    int rc = 1;
    if (FILE* out = std::fopen(file, "wb")) {
        std::fwrite(&fh, sizeof fh, 1, out);
        std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, out);
        std::fwrite(bits, size, 1, out);
        std::fclose(out);
        rc = 0;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "boxes" && (argc == 4 || argc == 5))
        return AnswerBoxes(std::atoi(argv[2]), std::atoi(argv[3]), argc == 4);
    if (command == "focus" && argc == 3) return Focus(argv[2]);
    if (command == "text" && argc == 3) return PrintEditText(argv[2]);
    if (command == "shot" && argc == 4) return Screenshot(argv[2], argv[3]);
    std::fprintf(stderr, "usage: orvanta_demo boxes COUNT SECONDS [--watch] | focus CLASS | text CLASS | shot CLASS FILE.bmp\n");
    return 2;
}
