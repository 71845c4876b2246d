// Finds the dialogs and message boxes this process shows, records what a
// person would see in each, and presses a button.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace orvanta::testing {

struct ChildRecord {
    std::string cls;
    int id = 0;
    std::string text;
    DWORD style = 0;
    bool visible = false;
};

struct BoxRecord {
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    DWORD thread = 0;
    std::string caption;
    DWORD style = 0;
    DWORD ex_style = 0;
    bool topmost = false;
    // "information", "error", "warning", "question" or "" for a message box icon.
    std::string icon;
    std::vector<ChildRecord> children;
    // Size of the bitmap in a picture item, 0 when there is none.
    int bitmap_width = 0, bitmap_height = 0;
    int pressed = 0;  // the button id pressed

    // The text of the first static item that is not a picture.
    std::string Text() const;
    const ChildRecord* Child(int id) const;
};

class DialogWatcher {
public:
    // Answers a box with the id of the button to press, or 0 to leave it up for now
    // (it is asked again on each poll).
    using Answer = std::function<int(const BoxRecord&)>;

    DialogWatcher();
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    void SetAnswer(Answer answer);
    // Waits until `count` boxes have been seen; false on time-out.
    bool WaitForBoxes(size_t count, DWORD timeout_ms);
    // Waits until exactly `count` boxes are open; false on time-out.
    bool WaitForOpenCount(size_t count, DWORD timeout_ms);
    bool WaitUntilNoneOpen(DWORD timeout_ms) { return WaitForOpenCount(0, timeout_ms); }
    std::vector<BoxRecord> Boxes();
    size_t OpenCount();
    void Clear();

private:
    void Run();
    void Poll();
    BoxRecord Read(HWND hwnd);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<BoxRecord> boxes_;
    std::set<HWND> seen_;
    std::vector<HWND> open_;
    Answer answer_;
    bool stop_ = false;
    std::thread thread_;
};

// Default answer: press OK (or the only button there is).
int PressOk(const BoxRecord&);

}  // namespace orvanta::testing
