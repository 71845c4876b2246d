// Recording fakes of the platform interfaces for the native unit tests.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "control/orvanta_control.h"

namespace orvanta::fakes {

// One call that reached the user interface, in order.
struct UiEvent {
    enum Kind { Notice, Box } kind;
    std::string text;
    std::string caption;
    interfaces::WindowId owner = 0;
    std::uint32_t style = 0;
    std::uint32_t thread = 0;
};

class FakeUserInterface : public interfaces::UserInterface {
public:
    int RunNotice(const char* message, const char* caption) override {
        Record({UiEvent::Notice, message, caption, 0, 0, CurrentThread()});
        return notice_result;
    }
    void ShowMessageBox(interfaces::WindowId owner, const char* text, const char* caption,
                        std::uint32_t style) override {
        Record({UiEvent::Box, text, caption, owner, style, CurrentThread()});
    }
    interfaces::WindowId ForegroundWindow() override { return foreground; }
    // A few letters of the Western code pages: ä ö ü ß é to their OEM bytes.
    void ToOem(char* text) override {
        static const std::map<unsigned char, unsigned char> kOem = {
            {0xE4, 0x84}, {0xF6, 0x94}, {0xFC, 0x81}, {0xDF, 0xE1}, {0xE9, 0x82}};
        for (char* p = text; *p; ++p) {
            const auto it = kOem.find(static_cast<unsigned char>(*p));
            if (it != kOem.end()) *p = static_cast<char>(it->second);
        }
    }
    std::uint32_t LastError() override {
        std::lock_guard<std::mutex> lock(mutex);
        ++last_error_reads;
        reads_before_first_event = events.empty() ? last_error_reads : reads_before_first_event;
        return last_error;
    }
    void DismissThread(std::uint32_t thread_id) override {
        std::lock_guard<std::mutex> lock(mutex);
        dismissed.push_back(thread_id);
        dismissing.insert(thread_id);
        dismissed_cv.notify_all();
    }
    void ReleaseThread(std::uint32_t thread_id) override {
        std::lock_guard<std::mutex> lock(mutex);
        dismissing.erase(thread_id);
    }

    std::vector<UiEvent> Events() {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }

    int notice_result = interfaces::kIdOk;
    interfaces::WindowId foreground = 0;
    std::uint32_t last_error = 0;
    int last_error_reads = 0;
    int reads_before_first_event = 0;
    std::vector<std::uint32_t> dismissed;
    std::function<void(const UiEvent&)> on_event;  // runs on the showing thread
    // Boxes stay up until their thread is dismissed, as a person would leave them.
    std::atomic<bool> hold_boxes{false};

private:
    static std::uint32_t CurrentThread() {
        return static_cast<std::uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
    }
    void Record(const UiEvent& e) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            events.push_back(e);
        }
        if (on_event) on_event(e);
        if (!hold_boxes) return;
        std::unique_lock<std::mutex> lock(mutex);
        dismissed_cv.wait_for(lock, std::chrono::seconds(10),
                              [&] { return dismissing.count(e.thread) != 0; });
    }
    std::mutex mutex;
    std::condition_variable dismissed_cv;
    std::set<std::uint32_t> dismissing;
    std::vector<UiEvent> events;
};

class FakeCanvas : public interfaces::Canvas {
public:
    void FillWhite(const interfaces::Rect& r) override { calls.push_back({"fill", r}); }
    void Ellipse(const interfaces::Rect& r) override { calls.push_back({"ellipse", r}); }
    struct Call { std::string what; interfaces::Rect rect; };
    std::vector<Call> calls;
};

// Real time; or, with `tick_us` set, Windows' clock as modelled: a sleep of
// 1 ms or more lasts to the next tick, and a call costs what its fake spends.
struct FakeClock {
    std::atomic<std::uint64_t> now_us{0};
    std::uint64_t tick_us = 0;
    std::uint32_t Ms() const {
        using namespace std::chrono;
        return static_cast<std::uint32_t>(
            tick_us ? now_us / 1000 : duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    void Spend(std::uint64_t us) { now_us += tick_us ? us : 0; }
    void Sleep(std::uint32_t ms) { now_us = tick_us && ms ? (now_us + ms * 1000 + tick_us - 1) / tick_us * tick_us : now_us.load(); }
};

class FakeInput : public interfaces::Input {
public:
    interfaces::WindowId GetFocus() override { return focus; }
    interfaces::CharSent SendChar(interfaces::WindowId window, std::uint32_t wparam, std::intptr_t lparam,
                                std::uint32_t bound_ms) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (window_gone) return interfaces::CharSent::Gone;
        chars.push_back({window, wparam, lparam, false});
        last_bound_ms = bound_ms;
        return chars_answered ? interfaces::CharSent::Taken : interfaces::CharSent::NotAnswered;
    }
    bool HandChar(interfaces::WindowId window, std::uint32_t wparam, std::intptr_t lparam) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (!window_gone) chars.push_back({window, wparam, lparam, true});
        return !window_gone;
    }
    // A window that keeps up answers in 50 µs; one that does not costs the bound.
    interfaces::CharSent Ping(interfaces::WindowId, std::uint32_t bound_ms) override {
        bool answers = !not_answering;
        if (answers && answers_left >= 0) answers = answers_left > 0 && answers_left-- > 0;
        if (clock) clock->Spend(answers ? 50 : bound_ms * 1000);
        return window_gone ? interfaces::CharSent::Gone : answers ? interfaces::CharSent::Taken : interfaces::CharSent::NotAnswered;
    }
    interfaces::WindowId KeyboardTarget() override { return front; }
    void PrepareTyping(interfaces::WindowId) override {}
    std::uint32_t TypeChar(unsigned char c) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (blocked) return 0;
        typed.push_back(static_cast<char>(c));
        if (on_typed) on_typed(typed.size());
        return messages_per_char;
    }
    std::string Typed() {
        std::lock_guard<std::mutex> lock(mutex);
        return typed;
    }
    std::string Delivered() {  // the characters sent as messages
        std::lock_guard<std::mutex> lock(mutex);
        std::string s;
        for (const auto& c : chars) s += static_cast<char>(c.wparam);
        return s;
    }

    struct Char { interfaces::WindowId window; std::uint32_t wparam; std::intptr_t lparam; bool posted; };
    std::string Posted() {  // of the characters handed over, 's'ent or 'p'osted, in order
        std::lock_guard<std::mutex> lock(mutex);
        std::string s;
        for (const auto& c : chars) s += c.posted ? 'p' : 's';
        return s;
    }
    std::atomic<bool> window_gone{false};
    std::atomic<bool> not_answering{false};  // its thread takes no messages
    std::atomic<bool> chars_answered{true};  // false: it answers pings, not characters
    std::atomic<int> answers_left{-1};       // pings it answers before it stops (-1: all)
    std::atomic<bool> blocked{false};        // the system takes no typed keys
    std::function<void(std::size_t typed)> on_typed;
    std::uint32_t messages_per_char = 3;
    FakeClock* clock = nullptr;
    std::uint32_t last_bound_ms = 0;
    interfaces::WindowId focus = 0;      // of the calling thread
    interfaces::WindowId front = 0x100;  // where keys go
    std::vector<Char> chars;
    std::string typed;

private:
    std::mutex mutex;
};

class FakeStopSignal : public interfaces::StopSignal {
public:
    using OnWait = std::function<bool(std::uint32_t ms)>;  // true: the wait does not last
    explicit FakeStopSignal(std::atomic<int>* sets = nullptr, const OnWait* on_wait = nullptr)
        : sets_(sets), on_wait_(on_wait) {}
    void Set() override {
        if (sets_) ++*sets_;
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = true;
        cv_.notify_all();
    }
    void Reset() override {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = false;
    }
    bool IsSet() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return set_;
    }
    bool WaitFor(std::uint32_t ms) override {
        if (on_wait_ && *on_wait_ && (*on_wait_)(ms)) ms = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return set_; });
    }

private:
    std::atomic<int>* sets_;
    const OnWait* on_wait_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool set_ = false;
};

class FakeWorker : public interfaces::Worker {
public:
    explicit FakeWorker(std::function<void()> body) {
        thread_ = std::thread([this, body = std::move(body)] {
            body();
            std::lock_guard<std::mutex> lock(mutex_);
            ended_ = true;
            cv_.notify_all();
        });
    }
    ~FakeWorker() override {
        if (thread_.joinable()) thread_.join();
    }
    bool Join(std::uint32_t ms) override {
        if (on_join) on_join();  // the messages the real one takes in meanwhile
        if (held) return false;  // inside what the platform cannot interrupt
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ended_; });
    }
    bool HasEnded() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return ended_;
    }
    void Terminate() override { ++*terminations; }
    std::uint32_t ThreadId() const override {
        return static_cast<std::uint32_t>(std::hash<std::thread::id>{}(thread_.get_id()));
    }
    bool held = false;
    int* terminations = nullptr;  // counted by the threads, which outlive the worker
    std::function<void()> on_join;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool ended_ = false;
    std::thread thread_;
};

class FakeThreads : public interfaces::Threads {
public:
    std::unique_ptr<interfaces::StopSignal> CreateStopSignal() override {
        return std::make_unique<FakeStopSignal>(&signals_set, &on_wait);
    }
    std::unique_ptr<interfaces::Worker> Start(std::function<void()> body) override {
        if (fail_start) return nullptr;
        ++started;
        auto worker = std::make_unique<FakeWorker>(std::move(body));
        worker->on_join = on_join;
        worker->held = workers_held;
        worker->terminations = &terminations;
        return worker;
    }
    std::uint32_t CurrentThreadId() override {
        return static_cast<std::uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
    }
    void Sleep(std::uint32_t ms) override {
        if (ms) sleeps.push_back(ms);  // Sleep(0) only yields
        clock.Sleep(ms);
    }
    std::uint32_t TickMs() override { return clock.Ms(); }

    FakeClock clock;
    std::function<void()> on_join;  // a stop's wait runs the host's handlers
    bool fail_start = false;
    bool workers_held = false;     // no Join ends: only the last resort stops them
    int terminations = 0;
    int started = 0;
    std::atomic<int> signals_set{0};  // Set calls on every signal made here
    FakeStopSignal::OnWait on_wait;   // sees every timed wait of those signals
    std::vector<std::uint32_t> sleeps;
};

// Ports that open nothing; device tests use the scripted port instead.
class NullPorts : public interfaces::Ports {
public:
    std::unique_ptr<interfaces::Device> OpenDevice(const char*, const char16_t*) override { return nullptr; }
    std::unique_ptr<interfaces::File> CreateNewFile(const char*) override { return nullptr; }
    std::unique_ptr<interfaces::File> OpenFileForRead(const char*, const char16_t*) override { return nullptr; }
    void Sleep(std::uint32_t) override {}
};

// A control wired to fakes.
struct FakePlatform {
    FakeUserInterface ui;
    NullPorts ports;
    FakeInput input;
    FakeThreads threads;
    interfaces::Platform Get() { return interfaces::Platform{ui, ports, input, threads}; }
};

}  // namespace orvanta::fakes
