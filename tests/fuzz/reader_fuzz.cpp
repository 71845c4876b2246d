// The channel's code reads fed any port bytes, with reads that may come short
// and waits that may fail: every code comes back, none past its suffix,
// none longer than the reader keeps, none holding a zero byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/fakes/fake_port.h"

namespace {

// A device whose input is the fuzzer's bytes; the script says for each read
// whether it comes short and how much of what is left counts as come, and
// the wait fails once no suffix is left.
class ScriptedDevice : public orvanta::fakes::FakeDevice {
public:
    ScriptedDevice(std::shared_ptr<orvanta::fakes::PortState> state, std::string input, std::string reads)
        : FakeDevice(state, "COM1"), input_(std::move(input)), reads_(std::move(reads)) {}
    bool WaitEventChar(orvanta::interfaces::StopSignal*) override {
        return input_.find(evt_, at_) != std::string::npos;
    }
    bool ApplyLineSettings(const orvanta::interfaces::LineChange& change) override {
        evt_ = change.event_char;
        return true;
    }
    std::uint32_t Read(void* buffer, std::uint32_t count, orvanta::interfaces::StopSignal*) override {
        // A read that comes short is a read of nothing, as on a port's time-out.
        if (count > 0 && !reads_.empty() && (reads_[read_++ % reads_.size()] & 0x0F) == 0) return 0;
        std::uint32_t n = 0;
        for (; n < count && at_ < input_.size(); ++n) static_cast<char*>(buffer)[n] = input_[at_++];
        return n;
    }
    // Some of what is left counts as come, as much as the script's next step
    // says (none: one byte is read instead).
    std::uint32_t ReadThrough(char last, void* buffer, std::uint32_t count, orvanta::interfaces::StopSignal* stop) override {
        const std::size_t step = reads_.empty() ? 0xFF : static_cast<unsigned char>(reads_[peek_++ % reads_.size()]);
        std::size_t n = std::min<std::size_t>({count, input_.size() - at_, (step >> 4) * 97});
        if (n == 0) return count ? Read(buffer, 1, stop) : 0;
        const std::size_t found = input_.find(last, at_);
        if (found != std::string::npos && found < at_ + n) n = found - at_ + 1;
        input_.copy(static_cast<char*>(buffer), n, at_);
        at_ += n;
        return static_cast<std::uint32_t>(n);
    }
    std::size_t Consumed() const { return at_; }

private:
    std::string input_, reads_;
    std::size_t at_ = 0, read_ = 0, peek_ = 0;
    char evt_ = 0;
};

class ScriptedPorts : public orvanta::fakes::FakePorts {
public:
    using FakePorts::FakePorts;
    std::unique_ptr<orvanta::interfaces::Device> OpenDevice(const char*, const char16_t*) override {
        auto device = std::make_unique<ScriptedDevice>(state, input, reads);
        last = device.get();
        return device;
    }
    std::shared_ptr<orvanta::fakes::PortState> state;
    std::string input, reads;
    ScriptedDevice* last = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const char suffix = static_cast<char>(data[0]);
    const std::size_t split = data[1] % 16;
    if (size < 2 + split) return 0;
    auto state = std::make_shared<orvanta::fakes::PortState>();
    orvanta::fakes::FakeUserInterface ui;
    ScriptedPorts ports(state, ui);
    ports.state = state;
    ports.reads.assign(reinterpret_cast<const char*>(data) + 2, split);
    ports.input.assign(reinterpret_cast<const char*>(data) + 2 + split, size - 2 - split);
    orvanta::fakes::FakeInput input;
    orvanta::fakes::FakeThreads threads;
    orvanta::OrvantaControl ctrl(orvanta::interfaces::Platform{ui, ports, input, threads});
    ctrl.settings().ScannerSuffixChar = static_cast<std::int16_t>(static_cast<signed char>(suffix));
    if (!ctrl.OpenDevice("COM1") || !ctrl.channel().SetCOMSettings("")) std::abort();

    for (int idle = 0; idle < 64;) {
        const std::size_t before = ports.last->Consumed();
        const std::string code = ctrl.channel().ScanCodeFromCOM();
        if (code.size() > 65535 || code.find('\0') != std::string::npos) std::abort();
        // (A failed wait's "ERROR" may hold the suffix letter.)
        if (code != "ERROR" && code.find(suffix) != std::string::npos) std::abort();
        if (ports.last->Consumed() > before) idle = 0;
        else if (code == "ERROR") break;  // no suffix left: the wait failed
        else ++idle;                      // a short read ended the code early
    }
    return 0;
}
