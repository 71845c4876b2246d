#include "logic/device/returning_device.h"

#include <algorithm>
#include <utility>

namespace orvanta::logic {

namespace {
// A host that keeps changing its mode must not grow the list without end.
constexpr std::size_t kKeptChanges = 16;
}  // namespace

Reopener ReopenByName(interfaces::Ports& ports, std::string name, std::u16string wide) {
    return {[&ports, name = std::move(name), wide = std::move(wide)](interfaces::StopSignal*) {
                return ports.OpenDevice(name.c_str(), wide.empty() ? nullptr : wide.c_str());
            },
            false};
}

ReturningDevice::ReturningDevice(interfaces::Threads& threads, std::string name, Reopener reopen,
                                 std::unique_ptr<interfaces::Device> device,
                                 std::atomic<DeviceWatcher*>& watcher)
    : threads_(threads),
      name_(std::move(name)),
      reopen_(std::move(reopen)),
      watcher_(watcher),
      device_(std::move(device)) {
    ready_ = device_->ReadyForWrites();
}

ReturningDevice::~ReturningDevice() { ReturningDevice::Close(); }

void ReturningDevice::StartLooker() {
    std::lock_guard<std::mutex> lock(looker_mutex_);
    if (closing_.load()) return;
    if (!wake_) wake_ = threads_.CreateStopSignal();
    if (!wake_) return;  // the users' looks remain
    wake_->Set();
    if (!looker_) looker_ = threads_.Start([this] { Looker(); });
    has_looker_.store(looker_ != nullptr);
}

void ReturningDevice::Looker() {
    constexpr std::uint32_t kUntilWoken = 0xFFFFFFFFu;
    for (;;) {
        wake_->WaitFor(lost_.load() ? kLookIntervalMs : kUntilWoken);
        wake_->Reset();  // the loss and the close are flags, set before the wake
        if (closing_.load()) return;
        if (lost_.load()) Look(/*paced=*/true);
    }
}

std::shared_ptr<interfaces::Device> ReturningDevice::Current() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_;
}

void ReturningDevice::Check(const std::shared_ptr<interfaces::Device>& device) {
    const std::uint32_t error = device->LostError();
    if (!error) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Only the device now in place: a call of one already dropped says nothing new.
        if (closed_ || device_ != device) return;
        device_.reset();  // the last call inside it closes it
        lost_error_.store(error);
        lost_.store(true);
    }
    if (DeviceWatcher* watcher = watcher_.load()) watcher->OnDeviceLost(name_, error);
    StartLooker();
}

bool ReturningDevice::Look(bool paced) {
    if (!lost_.load()) return true;
    std::unique_lock<std::mutex> looking(look_mutex_, std::try_to_lock);
    if (!looking.owns_lock()) return false;
    const std::uint32_t now = threads_.TickMs();
    if (paced && looked_ && now - last_look_ < kLookIntervalMs) return false;
    looked_ = true;
    last_look_ = now;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return false;
    }
    // The looker's wake is set by the close: it ends a connect under way.
    std::shared_ptr<interfaces::Device> device(reopen_.open(has_looker_.load() ? wake_.get() : nullptr));
    if (!device) return false;
    Restore(*device);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || closing_.load()) return false;  // closed meanwhile: the new one goes with this
        device_ = std::move(device);
        ready_ = device_->ReadyForWrites();
        lost_.store(false);
    }
    if (DeviceWatcher* watcher = watcher_.load()) watcher->OnDeviceBack(name_);
    return true;
}

void ReturningDevice::Restore(interfaces::Device& device) {
    std::vector<interfaces::LineChange> changes;
    std::array<int, 4> signals;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        changes = changes_;
        signals = signals_;
    }
    for (const interfaces::LineChange& change : changes)
        if (!closing_.load()) device.ApplyLineSettings(change);
    for (const int signal : signals)
        if (signal >= 0 && !closing_.load()) device.SetSignal(static_cast<interfaces::LineSignal>(signal));
}

bool ReturningDevice::ReadyForWrites() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ready_;
}

interfaces::WriteResult ReturningDevice::Write(const void* data, std::uint32_t length, std::uint32_t limit_ms,
                                               interfaces::StopSignal* stop) {
    const auto device = Current();
    if (!device) return interfaces::WriteResult{};  // refused at once
    const interfaces::WriteResult result = device->Write(data, length, limit_ms, stop);
    if (result.end != interfaces::WriteEnd::kWritten) Check(device);
    return result;
}

bool ReturningDevice::Flush() {
    const auto device = Current();
    if (!device) return false;
    if (device->Flush()) return true;
    Check(device);
    return false;
}

void ReturningDevice::Close() {
    {
        std::lock_guard<std::mutex> lock(looker_mutex_);
        closing_.store(true);
        if (wake_) wake_->Set();
    }
    // Outside the lock: the looker may be starting; it sees the close at once.
    if (looker_) looker_->Join(kLookIntervalMs * 4);
    looker_.reset();
    std::shared_ptr<interfaces::Device> device;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        device = std::move(device_);
    }
    if (device) device->Close();
}

bool ReturningDevice::ReadLineSettings(interfaces::LineSettings& settings) {
    const auto device = Current();
    if (!device) return false;
    if (device->ReadLineSettings(settings)) return true;
    Check(device);
    return false;
}

bool ReturningDevice::ApplyLineSettings(const interfaces::LineChange& change) {
    const auto device = Current();
    if (!device) return false;
    if (!device->ApplyLineSettings(change)) {
        Check(device);
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    changes_.erase(std::remove_if(changes_.begin(), changes_.end(),
                                  [&](const interfaces::LineChange& c) {
                                      return c.mode == change.mode && c.event_char == change.event_char;
                                  }),
                   changes_.end());
    if (changes_.size() == kKeptChanges) changes_.erase(changes_.begin());
    changes_.push_back(change);
    return true;
}

bool ReturningDevice::SetSignal(interfaces::LineSignal signal) {
    const auto device = Current();
    if (!device) return false;
    if (!device->SetSignal(signal)) {
        Check(device);
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    signals_[static_cast<std::size_t>(signal) / 2] = static_cast<int>(signal);
    return true;
}

bool ReturningDevice::ClearErrors(std::uint32_t& errors) {
    const auto device = Current();
    if (!device) return false;
    if (device->ClearErrors(errors)) return true;
    Check(device);
    return false;
}

bool ReturningDevice::WaitEventChar(interfaces::StopSignal* stop) {
    const auto device = Current();
    if (!device) return false;
    if (device->WaitEventChar(stop)) return true;
    Check(device);
    return false;
}

std::uint32_t ReturningDevice::Read(void* buffer, std::uint32_t count, interfaces::StopSignal* stop) {
    const auto device = Current();
    if (!device) return 0;
    const std::uint32_t got = device->Read(buffer, count, stop);
    if (got < count) Check(device);
    return got;
}

std::uint32_t ReturningDevice::ReadThrough(char last, void* buffer, std::uint32_t count,
                                           interfaces::StopSignal* stop) {
    const auto device = Current();
    if (!device) return 0;
    const std::uint32_t got = device->ReadThrough(last, buffer, count, stop);
    if (got == 0 && count > 0) Check(device);
    return got;
}

bool ReturningDevice::WaitEventCharThenRead(char last, void* buffer, std::uint32_t count, std::uint32_t& taken,
                                            interfaces::StopSignal* stop) {
    taken = 0;
    const auto device = Current();
    if (!device) return false;
    const bool came = device->WaitEventCharThenRead(last, buffer, count, taken, stop);
    if (!came || (taken == 0 && count > 0 && !(stop && stop->IsSet()))) Check(device);
    return came;
}

bool ReturningDevice::EndAbandonedWrite() {
    const auto device = Current();
    return !device || device->EndAbandonedWrite();
}

std::vector<std::string> ReturningDevice::TakeNotes() {
    const auto device = Current();
    return device ? device->TakeNotes() : std::vector<std::string>{};
}

bool ReturningDevice::EndAbandonedRead() {
    const auto device = Current();
    return !device || device->EndAbandonedRead();
}

}  // namespace orvanta::logic
