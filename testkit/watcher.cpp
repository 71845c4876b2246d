#include "testkit/watcher.h"

#include <algorithm>
#include <chrono>

namespace orvanta::testing {

namespace {

std::string WindowText(HWND hwnd) {
    // Through WM_GETTEXT, answered by the box's own thread while it runs its loop.
    char buffer[8192] = {};
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 2000, &result);
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

std::string ClassOf(HWND hwnd) {
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    return cls;
}

std::string IconKind(HICON icon) {
    if (!icon) return "";
    struct Known { LPCSTR id; const char* name; };
    const Known known[] = {{IDI_ASTERISK, "information"}, {IDI_HAND, "error"},
                           {IDI_EXCLAMATION, "warning"}, {IDI_QUESTION, "question"}};
    for (const Known& k : known) {
        if (LoadIconA(nullptr, k.id) == icon) return k.name;
    }
    return "other";
}

struct Found {
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && ClassOf(hwnd) == "#32770")
        reinterpret_cast<Found*>(param)->windows.push_back(hwnd);
    return TRUE;
}

}  // namespace

const ChildRecord* BoxRecord::Child(int id) const {
    for (const ChildRecord& c : children) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

std::string BoxRecord::Text() const {
    for (const ChildRecord& c : children) {
        const DWORD type = c.style & SS_TYPEMASK;
        if (c.cls == "Static" && type != SS_ICON && type != SS_BITMAP) return c.text;
    }
    return "";
}

int PressOk(const BoxRecord& box) {
    for (const ChildRecord& c : box.children) {
        if (c.cls == "Button" && (c.id == IDOK || c.text == "OK")) return c.id;
    }
    return IDOK;
}

DialogWatcher::DialogWatcher() : answer_(PressOk) { thread_ = std::thread([this] { Run(); }); }

DialogWatcher::~DialogWatcher() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void DialogWatcher::SetAnswer(Answer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answer_ = answer ? std::move(answer) : Answer(PressOk);
}

void DialogWatcher::Run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (changed_.wait_for(lock, std::chrono::milliseconds(10), [this] { return stop_; }))
                return;
        }
        Poll();
    }
}

BoxRecord DialogWatcher::Read(HWND hwnd) {
    BoxRecord box;
    box.hwnd = hwnd;
    box.owner = GetWindow(hwnd, GW_OWNER);
    box.thread = GetWindowThreadProcessId(hwnd, nullptr);
    box.caption = WindowText(hwnd);
    box.style = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
    box.ex_style = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE));
    box.topmost = (box.ex_style & WS_EX_TOPMOST) != 0;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        ChildRecord c;
        c.cls = ClassOf(child);
        c.id = GetDlgCtrlID(child);
        c.style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
        c.visible = (c.style & WS_VISIBLE) != 0;
        const DWORD type = c.style & SS_TYPEMASK;
        if (c.cls == "Static" && type == SS_ICON) {
            box.icon = IconKind(reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0)));
        } else if (c.cls == "Static" && type == SS_BITMAP) {
            auto bitmap = reinterpret_cast<HBITMAP>(SendMessageA(child, STM_GETIMAGE, IMAGE_BITMAP, 0));
            BITMAP info = {};
            if (bitmap && GetObjectA(bitmap, sizeof info, &info)) {
                box.bitmap_width = info.bmWidth;
                box.bitmap_height = info.bmHeight;
            }
        } else {
            c.text = WindowText(child);
        }
        box.children.push_back(c);
    }
    return box;
}

void DialogWatcher::Poll() {
    Found found;
    EnumWindows(&CollectDialog, reinterpret_cast<LPARAM>(&found));

    for (HWND hwnd : found.windows) {
        bool fresh;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            fresh = seen_.insert(hwnd).second;
        }
        if (!fresh) continue;
        BoxRecord box = Read(hwnd);
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back(box);
        open_.push_back(hwnd);
        changed_.notify_all();
    }

    // Answer what is open; forget what has closed.
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = open_.begin(); it != open_.end();) {
        HWND hwnd = *it;
        auto record = std::find_if(boxes_.begin(), boxes_.end(),
                                   [hwnd](const BoxRecord& b) { return b.hwnd == hwnd; });
        if (!IsWindow(hwnd) || !IsWindowVisible(hwnd)) {
            seen_.erase(hwnd);  // a handle may be reused by the next box
            it = open_.erase(it);
            changed_.notify_all();
            continue;
        }
        if (record != boxes_.end() && record->pressed == 0) {
            const int id = answer_(*record);
            if (id != 0) {
                record->pressed = id;
                PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(hwnd, id)));
            }
        }
        ++it;
    }
}

bool DialogWatcher::WaitForBoxes(size_t count, DWORD timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [&] { return boxes_.size() >= count; });
}

bool DialogWatcher::WaitForOpenCount(size_t count, DWORD timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [&] { return open_.size() == count; });
}

std::vector<BoxRecord> DialogWatcher::Boxes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

size_t DialogWatcher::OpenCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_.size();
}

void DialogWatcher::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.clear();
}

}  // namespace orvanta::testing
