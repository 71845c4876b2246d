// A scripted port for the native unit tests: it records every platform call
// in one shared log (with the user interface's calls woven in), keeps files in
// memory, and plays a device whose writes, line settings and input the test
// chooses.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/fakes/fake_platform.h"

namespace orvanta::fakes {

// How one write on the device behaves.
enum class WriteMode {
    AtOnce,            // finishes inside StartWrite
    Pending,           // pends, then WaitWrite completes
    PendingTimeout,    // pends, WaitWrite times out
    PendingFail,       // pends, WaitWrite fails
    PendingError,      // pends, then ends with an error
    FailAtOnce,        // fails without pending (error 5)
    PendingUntilStop,  // pends until the caller's stop signal is set
};

// Everything the fake device and ports know, shared with the test.
struct PortState {
    std::mutex mutex;
    std::vector<std::string> calls;
    std::map<std::string, std::string> files;
    std::set<std::string> open_files;
    std::set<std::string> locked_files;  // held by "another program"
    std::set<std::string> missing_devices;

    // Device script
    bool event_ok = true;
    WriteMode write_mode = WriteMode::AtOnce;
    std::deque<WriteMode> next_writes;  // consumed first, one per write
    std::uint32_t short_count = 0;      // nonzero: a pending write completes with this count
    std::uint32_t pending_ms = 0;       // how long a pending write takes
    std::string device_bytes;           // every byte the device took
    std::vector<std::string> writes;    // each write's bytes
    std::vector<std::uint32_t> limits;  // each wait's time limit
    bool outstanding = false;
    bool cancel_ends = true;  // false: a driver that never ends a cancelled write
    int overlaps = 0;  // writes started while another was outstanding
    bool flush_ok = true;

    interfaces::LineSettings line;
    bool read_ok = true;
    bool apply_ok = true;
    bool escape_ok = true;
    bool clear_ok = true;
    std::uint32_t error_mask = 0;

    std::deque<char> input;
    bool wait_ok = true;
    std::condition_variable input_cv;

    int devices_alive = 0;

    void Log(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(call);
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    void ClearCalls() {
        std::lock_guard<std::mutex> lock(mutex);
        calls.clear();
    }
    long Count(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex);
        return std::count(calls.begin(), calls.end(), call);
    }
    long CountStarting(const std::string& prefix) {
        std::lock_guard<std::mutex> lock(mutex);
        return std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }
    // The calls a test names, in this order; others may come between.
    bool InOrder(const std::vector<std::string>& wanted) {
        const std::vector<std::string> got = Calls();
        auto at = got.begin();
        for (const std::string& w : wanted)
            if ((at = std::find(at, got.end(), w)) == got.end()) return false; else ++at;
        return true;
    }
    std::multiset<std::string> CallSet() {
        const std::vector<std::string> got = Calls();
        return {got.begin(), got.end()};
    }
    void Feed(const std::string& bytes) {
        std::lock_guard<std::mutex> lock(mutex);
        input.insert(input.end(), bytes.begin(), bytes.end());
        input_cv.notify_all();
    }
    std::string File(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex);
        return files[name];
    }
};

class FakeFile : public interfaces::File {
public:
    FakeFile(std::shared_ptr<PortState> state, std::string name)
        : state_(std::move(state)), name_(std::move(name)) {}
    ~FakeFile() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->open_files.erase(name_);
        state_->calls.push_back("close file " + name_);
    }
    void Write(const void* data, std::uint32_t length) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->files[name_].append(static_cast<const char*>(data), length);
    }
    int Read(void* buffer, std::uint32_t length) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        const std::string& content = state_->files[name_];
        const std::size_t n = std::min<std::size_t>(length, content.size() - offset_);
        std::copy(content.begin() + static_cast<std::ptrdiff_t>(offset_),
                  content.begin() + static_cast<std::ptrdiff_t>(offset_ + n),
                  static_cast<char*>(buffer));
        offset_ += n;
        state_->calls.push_back("read file " + std::to_string(n));
        return static_cast<int>(n);
    }

private:
    std::shared_ptr<PortState> state_;
    std::string name_;
    std::size_t offset_ = 0;
};

class FakeDevice : public interfaces::Device {
public:
    FakeDevice(std::shared_ptr<PortState> state, std::string name)
        : state_(std::move(state)), name_(std::move(name)) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        ++state_->devices_alive;
    }
    ~FakeDevice() override {
        FakeDevice::Close();
        std::lock_guard<std::mutex> lock(state_->mutex);
        --state_->devices_alive;
    }
    void Close() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (closed_) return;
        closed_ = true;
        state_->calls.push_back("close " + name_);
    }
    bool closed_ = false;

    bool CreateWriteEvent() override {
        state_->Log("event");
        return state_->event_ok;
    }

    interfaces::WriteStart StartWrite(const void* data, std::uint32_t length) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        const std::string bytes(static_cast<const char*>(data), length);
        state_->calls.push_back("write " + std::to_string(length));
        if (state_->outstanding) ++state_->overlaps;
        mode_ = state_->write_mode;
        if (!state_->next_writes.empty()) {
            mode_ = state_->next_writes.front();
            state_->next_writes.pop_front();
        }
        length_ = length;
        interfaces::WriteStart start;
        switch (mode_) {
        case WriteMode::AtOnce:
            state_->device_bytes += bytes;
            state_->writes.push_back(bytes);
            start.completed = true;
            start.written = length;
            return start;
        case WriteMode::FailAtOnce:
            start.error = 5;
            return start;
        default:
            state_->device_bytes += bytes;
            state_->writes.push_back(bytes);
            state_->outstanding = true;
            start.error = interfaces::kErrorIoPending;
            return start;
        }
    }

    interfaces::WaitOutcome WaitWrite(std::uint32_t limit_ms, std::uint32_t& written,
                                    interfaces::StopSignal* stop) override {
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            state_->calls.push_back("wait " + std::to_string(limit_ms));
            state_->limits.push_back(limit_ms);
        }
        if (state_->pending_ms) std::this_thread::sleep_for(std::chrono::milliseconds(state_->pending_ms));
        switch (mode_) {
        case WriteMode::PendingTimeout:
            return interfaces::WaitOutcome::TimedOut;
        case WriteMode::PendingFail:
            return interfaces::WaitOutcome::Failed;
        case WriteMode::PendingError:
            return interfaces::WaitOutcome::WriteFailed;
        case WriteMode::PendingUntilStop:
            while (!(stop && stop->WaitFor(5))) {
                if (!stop) return interfaces::WaitOutcome::TimedOut;
            }
            return interfaces::WaitOutcome::Stopped;
        default: {
            std::lock_guard<std::mutex> lock(state_->mutex);
            state_->outstanding = false;
            written = state_->short_count ? state_->short_count : length_;
            return interfaces::WaitOutcome::Completed;
        }
        }
    }

    bool CancelWrite() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->calls.push_back("cancel");
        if (!state_->cancel_ends) return false;
        state_->outstanding = false;
        return true;
    }
    bool CancelRead() override {
        state_->Log("cancel read");
        return true;
    }
    bool Flush() override {
        state_->Log("flush");
        return state_->flush_ok;
    }

    bool ReadLineSettings(interfaces::LineSettings& settings) override {
        state_->Log("get state");
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->read_ok) settings = state_->line;
        return state_->read_ok;
    }
    // The mode-string keys the tests use; an unknown key or value fails.
    bool ParseMode(const char* mode, interfaces::LineSettings& settings) override {
        state_->Log(std::string("parse ") + mode);
        interfaces::LineSettings parsed = settings;
        std::istringstream words(mode);
        std::string word;
        while (words >> word) {
            const std::size_t eq = word.find('=');
            if (eq == std::string::npos) return false;
            const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
            if (key == "baud") parsed.BaudRate = static_cast<std::uint32_t>(std::atoi(value.c_str()));
            else if (key == "data") parsed.ByteSize = static_cast<std::uint8_t>(std::atoi(value.c_str()));
            else if (key == "stop") parsed.StopBits = value == "1" ? 0 : value == "2" ? 2 : 1;
            else if (key == "parity" && value.size() == 1 && std::string("NOEMS").find(value) != std::string::npos)
                parsed.Parity = static_cast<std::uint8_t>(std::string("NOEMS").find(value));
            else return false;
        }
        settings = parsed;
        return true;
    }
    bool ApplyLineSettings(const interfaces::LineSettings& settings) override {
        state_->Log("apply evt=" + std::to_string(static_cast<unsigned char>(settings.EvtChar)));
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->apply_ok) state_->line = settings;
        return state_->apply_ok;
    }
    bool Escape(std::uint32_t function) override {
        state_->Log("escape " + std::to_string(function));
        return state_->escape_ok;
    }
    bool ClearErrors(std::uint32_t& errors) override {
        state_->Log("clear errors");
        errors = state_->error_mask;
        return state_->clear_ok;
    }

    bool WaitEventChar(interfaces::StopSignal* stop) override {
        state_->Log("wait char");
        std::unique_lock<std::mutex> lock(state_->mutex);
        for (;;) {
            if (!state_->wait_ok) return false;
            for (char c : state_->input)
                if (c == state_->line.EvtChar) return true;
            if (stop && stop->IsSet()) return false;
            state_->input_cv.wait_for(lock, std::chrono::milliseconds(5));
        }
    }
    std::uint32_t Read(void* buffer, std::uint32_t count, interfaces::StopSignal* stop) override {
        state_->Log("read " + std::to_string(count));
        std::unique_lock<std::mutex> lock(state_->mutex);
        std::uint32_t done = 0;
        char* out = static_cast<char*>(buffer);
        while (done < count) {
            if (!state_->input.empty()) {
                out[done++] = state_->input.front();
                state_->input.pop_front();
                continue;
            }
            if (!state_->wait_ok || (stop && stop->IsSet())) break;
            state_->input_cv.wait_for(lock, std::chrono::milliseconds(5));
        }
        return done;
    }
    // Everything fed counts as come; unlogged, as it calls nothing below.
    std::uint32_t Peek(void* buffer, std::uint32_t count) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(count, state_->input.size()));
        std::copy(state_->input.begin(), state_->input.begin() + n, static_cast<char*>(buffer));
        return n;
    }

private:
    std::shared_ptr<PortState> state_;
    std::string name_;
    WriteMode mode_ = WriteMode::AtOnce;
    std::uint32_t length_ = 0;
};

class FakePorts : public interfaces::Ports {
public:
    FakePorts(std::shared_ptr<PortState> state, FakeUserInterface& ui)
        : state_(std::move(state)), ui_(ui) {}

    std::unique_ptr<interfaces::Device> OpenDevice(const char* name, const char16_t*) override {
        state_->Log(std::string("open ") + name);
        bool missing;
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            missing = state_->missing_devices.count(name) != 0;
        }
        if (missing) {
            ui_.last_error = 2;  // as the platform leaves it after a failed open
            return nullptr;
        }
        return std::make_unique<FakeDevice>(state_, name);
    }
    std::unique_ptr<interfaces::File> CreateNewFile(const char* name) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->calls.push_back(std::string("create ") + name);
        if (state_->locked_files.count(name) || state_->open_files.count(name)) return nullptr;
        state_->files[name].clear();
        state_->open_files.insert(name);
        return std::make_unique<FakeFile>(state_, name);
    }
    std::unique_ptr<interfaces::File> OpenFileForRead(const char* name, const char16_t*) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->calls.push_back(std::string("open file ") + name);
        if (!state_->files.count(name) || state_->locked_files.count(name) ||
            state_->open_files.count(name)) {
            ui_.last_error = 2;
            return nullptr;
        }
        state_->open_files.insert(name);
        return std::make_unique<FakeFile>(state_, name);
    }
    void Sleep(std::uint32_t ms) override { state_->Log("sleep " + std::to_string(ms)); }

private:
    std::shared_ptr<PortState> state_;
    FakeUserInterface& ui_;
};

// A control's platform with the scripted port; the user interface's notices
// and boxes also go into the port's log, so the order of both shows.
struct DevicePlatform {
    std::shared_ptr<PortState> port = std::make_shared<PortState>();
    FakeUserInterface ui;
    FakePorts ports{port, ui};
    FakeInput input;
    FakeThreads threads;

    DevicePlatform() {
        ui.on_event = [state = port](const UiEvent& e) {
            state->Log((e.kind == UiEvent::Notice ? "notice " : "box ") + e.text);
        };
    }
    interfaces::Platform Get() { return interfaces::Platform{ui, ports, input, threads}; }
};

}  // namespace orvanta::fakes
