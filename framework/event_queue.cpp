#include "framework/event_queue.h"

#include <utility>

#include "framework/com_util.h"
#include "framework/dispatch.h"

namespace framework {

namespace {
// Private to our window; it only says that events wait.
constexpr UINT kEventsWaiting = WM_APP + 0x4F1;
// A wake-up the thread's message queue had no room for: a timer needs none.
constexpr UINT_PTR kWakeTimer = 0x4F1;
constexpr UINT kWakeRetryMs = 10;
constexpr int kWakeTries = 50;
}  // namespace

EventQueue::EventQueue(IUnknown& owner, ConnectionPoint& point)
    : owner_(owner),
      point_(point),
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

bool EventQueue::Post(std::int32_t dispid, const EventArg* args, std::size_t count, bool last) {
    // Nobody listens: nothing is queued and the caller knows it.
    if (!window_ || !point_.HasSinks()) return false;
    std::uint64_t number = 0;
    try {
        Event event{dispid, std::vector<EventArg>(args, args + count)};
        std::lock_guard<std::mutex> lock(mutex_);
        if (!last && events_.size() >= kLongest) return false;
        event.number = number = ++posted_;
        events_.push_back(std::move(event));
    } catch (...) {
        return false;
    }
    // One message wakes the queue; the drain takes everything that waits.
    if (WakeOwed()) return true;
    if (GetCurrentThreadId() == thread_ && SetTimer(window_, kWakeTimer, kWakeRetryMs, nullptr)) return true;
    // Another thread: the host's thread empties its message queue when it pumps.
    for (int i = 0; i < kWakeTries; ++i) {
        Sleep(kWakeRetryMs);
        if (WakeOwed()) return true;
    }
    if (last) return true;  // waits for the next wake-up: a later event, a thaw
    // Nothing would fire it: taken back, and the poster told.
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = events_.begin(); it != events_.end(); ++it) {
        if (it->number != number) continue;
        events_.erase(it);
        break;
    }
    return false;
}

bool EventQueue::Wake() { return PostMessageW(window_, kEventsWaiting, 0, 0) != FALSE; }

bool EventQueue::WakeOwed() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (awake_ || events_.empty()) return true;
        awake_ = true;
    }
    if (Wake()) return true;
    std::lock_guard<std::mutex> lock(mutex_);
    awake_ = false;
    return false;
}

void EventQueue::Freeze(bool freeze) {
    frozen_ += freeze ? 1 : (frozen_ > 0 ? -1 : 0);
    if (frozen_ == 0 && !WakeOwed()) SetTimer(window_, kWakeTimer, kWakeRetryMs, nullptr);
}

void EventQueue::Drain() {
    {
        // Whatever is posted from now on needs a wake-up of its own.
        std::lock_guard<std::mutex> lock(mutex_);
        awake_ = false;
    }
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
            FireEvent(event);
        } catch (...) {
            // Out of memory for one event: it is dropped, the rest still come.
        }
    }
    draining_ = false;
}

void EventQueue::FireEvent(const Event& event) {
    std::vector<Variant> values(event.args.size());
    std::vector<VARIANT> args(event.args.size());
    for (std::size_t i = 0; i < event.args.size(); ++i) {
        const EventArg& a = event.args[i];
        VARIANT* v = values[i].get();
        // Out of memory: better no event than a wrong one.
        if (FAILED(ToVariant(a.type, a.number, a.text, {}, v))) return;
        args[i] = *v;  // a shallow view; the point copies for each sink
    }
    point_.Fire(event.dispid, args.data(), static_cast<UINT>(args.size()));
}

LRESULT CALLBACK EventQueue::WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<EventQueue*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (msg == kEventsWaiting || (msg == WM_TIMER && wparam == kWakeTimer)) {
        if (msg == WM_TIMER) KillTimer(window, kWakeTimer);
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
