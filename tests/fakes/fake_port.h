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

// Everything the fake device and ports know, shared with the test.
struct PortState {
    std::mutex mutex;
    std::vector<std::string> calls;
    std::map<std::string, std::string> files;
    std::set<std::string> open_files;
    std::set<std::string> locked_files;  // held by "another program"
    std::set<std::string> missing_devices;

    // Device script: how each write ends (kStopped: once the stop is set).
    bool ready = true;
    interfaces::WriteEnd write_end = interfaces::WriteEnd::kWritten;
    std::deque<interfaces::WriteEnd> next_writes;  // consumed first, one per write
    std::uint32_t start_code = 0;       // the platform's code each write reports
    std::uint32_t short_count = 0;      // nonzero: a write takes this count
    std::uint32_t write_ms = 0;         // how long a write takes
    bool stuck = false;                 // a write that does not end holds the device
    std::string device_bytes;           // every byte a write was given
    std::vector<std::string> writes;    // each write's bytes
    std::vector<std::uint32_t> limits;  // each write's time limit
    bool writing = false;
    int overlaps = 0;  // writes started while another was running
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
    // Unplugged: every device opened before fails for good with this error,
    // and the name opens nothing until it is plugged back.
    std::uint32_t gone_error = 0;
    int unplugs = 0;
    void Unplug(const std::string& name, std::uint32_t error) {
        std::lock_guard<std::mutex> lock(mutex);
        gone_error = error;
        ++unplugs;
        missing_devices.insert(name);
    }
    void Replug(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex);
        missing_devices.erase(name);
    }

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
        born_ = state_->unplugs;
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

    bool ReadyForWrites() const override { return state_->ready; }
    interfaces::WriteResult Write(const void* data, std::uint32_t length, std::uint32_t limit_ms,
                                  interfaces::StopSignal* stop) override {
        interfaces::WriteResult r;
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            state_->calls.push_back("write " + std::to_string(length));
            state_->limits.push_back(limit_ms);
            if (state_->writing) ++state_->overlaps;
            state_->writing = true;
            r.end = state_->write_end;
            if (!state_->next_writes.empty()) {
                r.end = state_->next_writes.front();
                state_->next_writes.pop_front();
            }
            if (GoneLocked()) r.end = interfaces::WriteEnd::kFailed;
            r.start_code = r.end == interfaces::WriteEnd::kRefused ? 5 : state_->start_code;
            if (r.end != interfaces::WriteEnd::kRefused) {
                state_->device_bytes.append(static_cast<const char*>(data), length);
                state_->writes.emplace_back(static_cast<const char*>(data), length);
            }
        }
        if (state_->write_ms) std::this_thread::sleep_for(std::chrono::milliseconds(state_->write_ms));
        if (r.end == interfaces::WriteEnd::kStopped)
            while (!(stop && stop->WaitFor(5))) {}
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->writing = false;
        if (r.end == interfaces::WriteEnd::kWritten) r.written = state_->short_count ? state_->short_count : length;
        else r.stuck = state_->stuck;
        return r;
    }
    bool EndAbandonedWrite() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->calls.push_back("end write");
        state_->writing = false;
        return !state_->stuck;
    }
    bool EndAbandonedRead() override {
        state_->Log("end read");
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
    // The mode keys the tests use; an unknown key or value fails.
    bool ApplyLineSettings(const interfaces::LineChange& change) override {
        state_->Log("apply " + change.mode + " evt=" + std::to_string(static_cast<unsigned char>(change.event_char)));
        std::lock_guard<std::mutex> lock(state_->mutex);
        interfaces::LineSettings line = state_->line;
        std::istringstream words(change.mode);
        for (std::string word; words >> word;) {
            const std::size_t eq = word.find('=');
            const std::string key = word.substr(0, eq), value = eq == std::string::npos ? "" : word.substr(eq + 1);
            const std::size_t parity = std::string("NOEMS").find(value);
            if (key == "baud") line.baud_rate = static_cast<std::uint32_t>(std::atoi(value.c_str()));
            else if (key == "data") line.data_bits = static_cast<std::uint8_t>(std::atoi(value.c_str()));
            else if (key == "stop") line.stop_bits = value == "1" ? 0 : value == "2" ? 2 : 1;
            else if (key == "parity" && value.size() == 1 && parity != std::string::npos)
                line.parity = static_cast<std::uint8_t>(parity);
            else return false;
        }
        line.event_char = change.event_char;
        if (state_->apply_ok) state_->line = line;
        return state_->apply_ok;
    }
    bool SetSignal(interfaces::LineSignal signal) override {
        state_->Log("signal " + std::to_string(static_cast<int>(signal)));
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
            if (!state_->wait_ok || GoneLocked()) return false;
            if (std::find(state_->input.begin(), state_->input.end(), state_->line.event_char) != state_->input.end())
                return true;
            if (stop && stop->IsSet()) return false;
            state_->input_cv.wait_for(lock, std::chrono::milliseconds(5));
        }
    }
    std::uint32_t Read(void* buffer, std::uint32_t count, interfaces::StopSignal* stop) override {
        state_->Log("read " + std::to_string(count));
        return Take(static_cast<char*>(buffer), count, stop, [](char) { return false; });
    }
    // Everything fed counts as come.
    std::uint32_t ReadThrough(char last, void* buffer, std::uint32_t count, interfaces::StopSignal* stop) override {
        const std::uint32_t n = Take(static_cast<char*>(buffer), count, stop, [last](char c) { return c == last; }, true);
        state_->Log("read " + std::to_string(n));
        return n;
    }

    std::uint32_t LostError() const override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        return GoneLocked() ? state_->gone_error : 0;
    }

private:
    bool GoneLocked() const { return state_->unplugs > born_; }  // its waits and writes fail
    // Moves bytes out until `count`, a byte `ends` says is the last, or (with
    // `some`) what has come is gone once one byte was taken.
    template <typename Ends>
    std::uint32_t Take(char* out, std::uint32_t count, interfaces::StopSignal* stop, Ends ends, bool some = false) {
        std::unique_lock<std::mutex> lock(state_->mutex);
        std::uint32_t done = 0;
        while (done < count) {
            if (!state_->input.empty()) {
                out[done++] = state_->input.front();
                state_->input.pop_front();
                if (ends(out[done - 1])) break;
                continue;
            }
            if ((some && done > 0) || !state_->wait_ok || (stop && stop->IsSet())) break;
            state_->input_cv.wait_for(lock, std::chrono::milliseconds(5));
        }
        return done;
    }

    std::shared_ptr<PortState> state_;
    std::string name_;
    bool closed_ = false;
    int born_ = 0;
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
    std::vector<std::string> SerialPortNames() override { return serial_port_names; }
    interfaces::Network* TcpNetwork() override { return network; }
    std::vector<std::string> serial_port_names;
    interfaces::Network* network = nullptr;

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
