#include "framework/event_queue.h"

#include <utility>

#include "framework/com_util.h"

namespace framework {

namespace {
// Private to our window; it only says that events wait.
constexpr UINT kEventsWaiting = WM_APP + 0x4F1;
}  // namespace

EventQueue::EventQueue(IUnknown& owner, Fire fire)
    : owner_(owner),
      fire_(std::move(fire)),
      // A message-only window of a system class needs no class of ours, so
      // nothing of this module stays registered after it unloads.
      window_(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)),
      thread_(GetCurrentThreadId()) {
    if (!window_) return;
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EventQueue::WindowProc));
}

EventQueue::~EventQueue() {
    if (!window_) return;
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    // Only its own thread can destroy the window; a host that releases us
    // elsewhere has it closed there.
    if (GetCurrentThreadId() == thread_)
        DestroyWindow(window_);
    else
        PostMessageW(window_, WM_CLOSE, 0, 0);
}

bool EventQueue::Post(Event event) {
    if (!window_) return false;
    bool first = false;
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        if (events_.size() >= kLongest) return false;
        first = events_.empty();
        events_.push_back(std::move(event));
    } catch (...) {
        return false;
    }
    // One message wakes the queue; the drain takes everything that waits.
    if (first) Wake();
    return true;
}

void EventQueue::Wake() { PostMessageW(window_, kEventsWaiting, 0, 0); }

void EventQueue::Freeze(bool freeze) {
    frozen_ += freeze ? 1 : (frozen_ > 0 ? -1 : 0);
    if (frozen_ == 0) Wake();
}

void EventQueue::Drain() {
    if (draining_ || frozen_ > 0) return;  // the running drain or the thaw takes them
    // A sink may release the host's last reference to the owner.
    ComPtr<IUnknown> keep = ComPtr<IUnknown>::Copy(&owner_);
    draining_ = true;
    for (;;) {
        Event event;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (events_.empty() || frozen_ > 0) break;
            event = std::move(events_.front());
            events_.pop_front();
        }
        try {
            fire_(event);
        } catch (...) {
            // Out of memory for one event: it is dropped, the rest still come.
        }
    }
    draining_ = false;
}

LRESULT CALLBACK EventQueue::WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<EventQueue*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (msg == kEventsWaiting) {
        if (self) self->Drain();
        return 0;
    }
    if (msg == WM_CLOSE && !self) {
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcW(window, msg, wparam, lparam);
}

}  // namespace framework
