// A scripted port for the native unit tests: it records every platform call
// in one shared log (with the user interface's calls woven in), keeps files in
// memory, and plays a device whose input is one byte stream the test feeds,
// whose writes end as the test's script says, and whose calls fail where the
// test names them.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "logic/network/network_port.h"
#include "tests/fakes/fake_platform.h"

namespace orvanta::fakes {

using End = interfaces::WriteEnd;

// Everything the fake device and ports know, shared with the test.
struct PortState {
    std::mutex mutex;
    template <typename F>
    auto Locked(F f) {
        std::lock_guard<std::mutex> lock(mutex);
        return f();
    }
    std::vector<std::string> calls;
    std::map<std::string, std::string> files;
    std::set<std::string> open_files, missing_devices;
    std::set<std::string> locked_files;  // held by "another program"

    // The device's calls that fail, by their names in the log: "flush",
    // "get state", "apply", "signal", "clear errors", "wait char" (reads
    // then end too) and "ready" (it is not ready for writes).
    std::set<std::string> failing;
    // How writes end, one per write; the last stays (none: written). A
    // kStopped write ends once the stop is set.
    std::deque<End> ends;
    std::uint32_t start_code = 0;   // the platform's code each write reports
    std::uint32_t short_count = 0;  // nonzero: a write takes this count
    std::uint32_t write_ms = 0;     // how long a write takes
    bool stuck = false;             // a write that does not end holds the device
    std::string device_bytes;       // every byte a write was given
    std::vector<std::string> writes;
    std::vector<std::uint32_t> limits;  // each write's time limit
    bool writing = false;
    int overlaps = 0;  // writes started while another was running

    interfaces::LineSettings line;
    std::uint32_t error_mask = 0;
    std::deque<char> input;  // what the line gives, oldest first
    std::condition_variable input_cv;

    int devices_alive = 0;
    // Unplugged: every device opened before fails its waits and writes for
    // good with this error, and the name opens nothing until it is back.
    std::uint32_t gone_error = 0;
    int unplugs = 0;
    void Unplug(const std::string& name, std::uint32_t error) {
        Locked([&] { gone_error = error, ++unplugs, missing_devices.insert(name); });
    }
    void Replug(const std::string& name) { Locked([&] { missing_devices.erase(name); }); }

    // Logs `call`; true when the test made the call named `name` fail.
    bool Log(const std::string& call, const char* name = "") {
        return Locked([&] { return calls.push_back(call), failing.count(name) != 0; });
    }
    std::vector<std::string> Calls() { return Locked([&] { return calls; }); }
    std::multiset<std::string> CallSet() {
        return Locked([&] { return std::multiset<std::string>(calls.begin(), calls.end()); });
    }
    void ClearCalls() { Locked([&] { calls.clear(); }); }
    long Count(const std::string& call) {
        return Locked([&] { return std::count(calls.begin(), calls.end(), call); });
    }
    long CountStarting(const std::string& prefix) {
        const std::vector<std::string> got = Calls();
        return std::count_if(got.begin(), got.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }
    // The calls a test names, in this order; others may come between.
    bool InOrder(const std::vector<std::string>& wanted) {
        const std::vector<std::string> got = Calls();
        auto at = got.begin();
        for (const std::string& w : wanted)
            if ((at = std::find(at, got.end(), w)) == got.end()) return false; else ++at;
        return true;
    }
    void Feed(const std::string& bytes) {
        Locked([&] { input.insert(input.end(), bytes.begin(), bytes.end()); });
        input_cv.notify_all();
    }
    std::string File(const std::string& name) { return Locked([&] { return files[name]; }); }
};

class FakeFile : public interfaces::File {
public:
    FakeFile(std::shared_ptr<PortState> state, std::string name) : state_(std::move(state)), name_(std::move(name)) {}
    ~FakeFile() override {
        state_->Locked([&] { state_->open_files.erase(name_); });
        state_->Log("close file " + name_);
    }
    void Write(const void* data, std::uint32_t length) override {
        state_->Locked([&] { state_->files[name_].append(static_cast<const char*>(data), length); });
    }
    int Read(void* buffer, std::uint32_t length) override {
        const std::string part = state_->Locked([&] { return state_->files[name_].substr(offset_, length); });
        part.copy(static_cast<char*>(buffer), part.size());
        offset_ += part.size();
        state_->Log("read file " + std::to_string(part.size()));
        return static_cast<int>(part.size());
    }

private:
    std::shared_ptr<PortState> state_;
    std::string name_;
    std::size_t offset_ = 0;
};

class FakeDevice : public interfaces::Device {
public:
    FakeDevice(std::shared_ptr<PortState> state, std::string name) : state_(std::move(state)), name_(std::move(name)) {
        born_ = state_->Locked([&] { return ++state_->devices_alive, state_->unplugs; });
    }
    ~FakeDevice() override {
        FakeDevice::Close();
        state_->Locked([&] { --state_->devices_alive; });
    }
    void Close() override {
        if (!closed_) state_->Log("close " + name_);
        closed_ = true;
    }

    bool ReadyForWrites() const override { return !state_->failing.count("ready"); }
    interfaces::WriteResult Write(const void* data, std::uint32_t length, std::uint32_t limit_ms,
                                  interfaces::StopSignal* stop) override {
        interfaces::WriteResult r;
        state_->Locked([&] {
            state_->calls.push_back("write " + std::to_string(length));
            state_->limits.push_back(limit_ms);
            state_->overlaps += state_->writing ? 1 : 0;
            state_->writing = true;
            r.end = GoneLocked() ? End::kFailed : state_->ends.empty() ? End::kWritten : state_->ends.front();
            if (state_->ends.size() > 1) state_->ends.pop_front();
            r.start_code = r.end == End::kRefused ? 5 : state_->start_code;
            if (r.end == End::kRefused) return;
            state_->device_bytes.append(static_cast<const char*>(data), length);
            state_->writes.emplace_back(static_cast<const char*>(data), length);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(state_->write_ms));
        while (r.end == End::kStopped && !(stop && stop->WaitFor(5))) {}
        return state_->Locked([&] {
            state_->writing = false;
            if (r.end == End::kWritten) r.written = state_->short_count ? state_->short_count : length;
            else r.stuck = state_->stuck;
            return r;
        });
    }
    bool EndAbandonedWrite() override {
        state_->Log("end write");
        return state_->Locked([&] { return state_->writing = false, !state_->stuck; });
    }
    bool EndAbandonedRead() override { return !state_->Log("end read"); }
    bool Flush() override { return !state_->Log("flush", "flush"); }

    bool ReadLineSettings(interfaces::LineSettings& settings) override {
        if (state_->Log("get state", "get state")) return false;
        settings = state_->Locked([&] { return state_->line; });
        return true;
    }
    // The mode as the network ports read it; an unknown key or value fails.
    bool ApplyLineSettings(const interfaces::LineChange& change) override {
        const std::string evt = std::to_string(static_cast<unsigned char>(change.event_char));
        if (state_->Log("apply " + change.mode + " evt=" + evt, "apply")) return false;
        return state_->Locked([&] {
            interfaces::LineSettings line = state_->line;
            line.event_char = change.event_char;
            return logic::ParseLineMode(change.mode, line) && (state_->line = line, true);
        });
    }
    bool SetSignal(interfaces::LineSignal signal) override {
        return !state_->Log("signal " + std::to_string(static_cast<int>(signal)), "signal");
    }
    bool ClearErrors(std::uint32_t& errors) override {
        errors = state_->error_mask;
        return !state_->Log("clear errors", "clear errors");
    }

    // The input stream as it stands: the wait, until the event character is
    // in it; the reads, up to `count` bytes, or through the byte `last` once
    // what has come is taken.
    bool WaitEventChar(interfaces::StopSignal* stop) override {
        state_->Log("wait char");
        return Stream(stop, nullptr, 0, -1) != 0;
    }
    std::uint32_t Read(void* buffer, std::uint32_t count, interfaces::StopSignal* stop) override {
        state_->Log("read " + std::to_string(count));
        return Stream(stop, static_cast<char*>(buffer), count, -1);
    }
    std::uint32_t ReadThrough(char last, void* buffer, std::uint32_t count, interfaces::StopSignal* stop) override {
        const std::uint32_t n = Stream(stop, static_cast<char*>(buffer), count, static_cast<unsigned char>(last));
        state_->Log("read " + std::to_string(n));
        return n;
    }
    bool WaitEventCharThenRead(char last, void* buffer, std::uint32_t count, std::uint32_t& taken,
                               interfaces::StopSignal* stop) override {
        taken = 0;
        if (!WaitEventChar(stop)) return false;
        if (!(stop && stop->IsSet())) taken = ReadThrough(last, buffer, count, stop);
        return true;
    }
    std::uint32_t LostError() const override {
        return state_->Locked([&] { return GoneLocked() ? state_->gone_error : 0; });
    }

private:
    bool GoneLocked() const { return state_->unplugs > born_; }
    // A failed wait also ends reads; only waits and writes see a device gone.
    std::uint32_t Stream(interfaces::StopSignal* stop, char* out, std::uint32_t count, int last) {
        std::unique_lock<std::mutex> lock(state_->mutex);
        std::deque<char>& in = state_->input;
        for (std::uint32_t done = 0;; state_->input_cv.wait_for(lock, std::chrono::milliseconds(5))) {
            const bool failed = state_->failing.count("wait char") != 0;
            if (!out && (failed || GoneLocked())) return 0;
            if (!out && std::find(in.begin(), in.end(), state_->line.event_char) != in.end()) return 1;
            for (; done < count && !in.empty(); in.pop_front())
                if (static_cast<unsigned char>(out[done++] = in.front()) == last) return in.pop_front(), done;
            if (done == count && out) return done;
            if ((last >= 0 && done > 0) || failed || (stop && stop->IsSet())) return done;
        }
    }

    std::shared_ptr<PortState> state_;
    std::string name_;
    bool closed_ = false;
    int born_ = 0;
};

class FakePorts : public interfaces::Ports {
public:
    FakePorts(std::shared_ptr<PortState> state, FakeUserInterface& ui) : state_(std::move(state)), ui_(ui) {}

    std::unique_ptr<interfaces::Device> OpenDevice(const char* name, const char16_t*) override {
        state_->Log(std::string("open ") + name);
        if (!state_->Locked([&] { return state_->missing_devices.count(name); }))
            return std::make_unique<FakeDevice>(state_, name);
        ui_.last_error = 2;  // as the platform leaves it after a failed open
        return nullptr;
    }
    std::unique_ptr<interfaces::File> CreateNewFile(const char* name) override {
        return Open("create ", name, [&] { return state_->files[name].clear(), true; });
    }
    std::unique_ptr<interfaces::File> OpenFileForRead(const char* name, const char16_t*) override {
        auto file = Open("open file ", name, [&] { return state_->files.count(name) != 0; });
        if (!file) ui_.last_error = 2;
        return file;
    }
    void Sleep(std::uint32_t ms) override { state_->Log("sleep " + std::to_string(ms)); }
    std::vector<std::string> SerialPortNames() override { return serial_port_names; }
    interfaces::Network* TcpNetwork() override { return network; }
    std::vector<std::string> serial_port_names;
    interfaces::Network* network = nullptr;

private:
    // A file opens unshared, unless another program holds it, and when `may` says so.
    template <typename May>
    std::unique_ptr<interfaces::File> Open(const char* verb, const std::string& name, May may) {
        const bool opened = state_->Locked([&] {
            state_->calls.push_back(verb + name);
            if (state_->locked_files.count(name) || state_->open_files.count(name) || !may()) return false;
            return state_->open_files.insert(name), true;
        });
        return opened ? std::make_unique<FakeFile>(state_, name) : nullptr;
    }

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
