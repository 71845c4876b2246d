// Events for an object's own apartment: posted from any thread into a queue,
// fired in order to the sinks of its connection point on the thread that made
// the queue, from a hidden window's message, so a host gets them when it
// pumps messages and never from a worker. A firing is never nested in
// another: events that come while a sink runs a message loop of its own wait
// until that sink returns.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "framework/connection_point.h"
#include "framework/host_events.h"

namespace framework {

class EventQueue final : public HostEvents {
public:
    // `owner` is kept alive while events fire to `point`.
    EventQueue(IUnknown& owner, ConnectionPoint& point);
    ~EventQueue();
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;

    // False when the event cannot be queued (no sink listens, no window, the
    // queue is full because the host has not pumped for a long time, or the
    // wake-up cannot be posted). `last` is queued past the limit and, should
    // no wake-up go, stays for the next one.
    bool Post(std::int32_t dispid, const EventArg* args, std::size_t count, bool last = false) override;
    // Held while frozen, fired once thawed.
    void Freeze(bool freeze);

    static constexpr std::size_t kLongest = 10000;

private:
    struct Event {
        DISPID dispid;
        std::vector<framework::EventArg> args;
        std::uint64_t number = 0;  // the queue's own count, set by Post
    };
    static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
    bool Wake();
    // Posts the wake-up the queue owes; false when it could not.
    bool WakeOwed();
    void Drain();
    void FireEvent(const Event& event);

    IUnknown& owner_;
    ConnectionPoint& point_;
    HWND window_ = nullptr;
    DWORD thread_ = 0;
    std::mutex mutex_;  // guards events_
    std::deque<Event> events_;
    std::uint64_t posted_ = 0;  // guarded, as is awake_
    bool awake_ = false;        // a wake-up is on its way: the drain takes what comes meanwhile
    bool draining_ = false;  // this thread only, as is frozen_
    int frozen_ = 0;
};

}  // namespace framework
