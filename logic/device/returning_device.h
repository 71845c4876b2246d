// The channel's device under the name it was opened by, which may go and come
// back (a USB adapter unplugged, a PC that slept). A call that meets the
// device gone marks it lost, once, and drops it at once: it is closed as soon
// as the calls still inside it have ended, so the name is free for its
// return. While it is lost every call fails at once, and a look (one open of
// the name, or for a network port one new connection) brings it back with the
// line settings, signals and event character it had. The looks come from a
// thread of the device's own, every half second while it is lost, and from
// its users now and then, unless a look may wait (a connect): then only the
// device's own thread looks, and a close stops the look under way.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/port.h"
#include "interfaces/threads.h"

namespace orvanta::logic {

// Told of a loss and a return, from whichever thread met it; it must only queue.
class DeviceWatcher {
public:
    virtual void OnDeviceLost(const std::string& name, std::uint32_t error) = 0;
    virtual void OnDeviceBack(const std::string& name) = 0;

protected:
    ~DeviceWatcher() = default;
};

// The pause between two looks for a lost device.
constexpr std::uint32_t kLookIntervalMs = 500;

// How a lost device is opened again.
struct Reopener {
    // One attempt; null when the device is not there. `stop` is set when the
    // device is closed meanwhile: an attempt that waits ends then.
    std::function<std::unique_ptr<interfaces::Device>(interfaces::StopSignal* stop)> open;
    // An attempt may wait long (a connect): no user's call makes it.
    bool slow = false;
};
// The device under `name` (and `wide`, as written) through the platform's ports.
Reopener ReopenByName(interfaces::Ports& ports, std::string name, std::u16string wide);

class ReturningDevice : public interfaces::Device {
public:
    // `name`: as the host gave it, for the watcher.
    ReturningDevice(interfaces::Threads& threads, std::string name, Reopener reopen,
                    std::unique_ptr<interfaces::Device> device, std::atomic<DeviceWatcher*>& watcher);
    ~ReturningDevice() override;

    bool IsLost() const { return lost_.load(); }
    // One look for the lost port: true when it is back (or was never lost).
    // `paced`: no look when the last was less than kLookIntervalMs ago; a
    // look under way on another thread is not waited for. A slow reopen is
    // left to the device's own thread: this only says whether it is back.
    bool LookForReturn(bool paced = false) {
        return lost_.load() && reopen_.slow && has_looker_.load() ? false : Look(paced);
    }

    bool ReadyForWrites() const override;
    interfaces::WriteResult Write(const void* data, std::uint32_t length, std::uint32_t limit_ms,
                                  interfaces::StopSignal* stop) override;
    bool Flush() override;
    void Close() override;
    bool ReadLineSettings(interfaces::LineSettings& settings) override;
    bool ApplyLineSettings(const interfaces::LineChange& change) override;
    bool SetSignal(interfaces::LineSignal signal) override;
    bool ClearErrors(std::uint32_t& errors) override;
    bool WaitEventChar(interfaces::StopSignal* stop) override;
    std::uint32_t Read(void* buffer, std::uint32_t count, interfaces::StopSignal* stop) override;
    std::uint32_t ReadThrough(char last, void* buffer, std::uint32_t count,
                              interfaces::StopSignal* stop) override;
    bool WaitEventCharThenRead(char last, void* buffer, std::uint32_t count, std::uint32_t& taken,
                               interfaces::StopSignal* stop) override;
    bool EndAbandonedWrite() override;
    bool EndAbandonedRead() override;
    std::uint32_t LostError() const override { return lost_error_.load(); }
    std::vector<std::string> TakeNotes() override;

private:
    // The device now; null while it is lost or after Close.
    std::shared_ptr<interfaces::Device> Current() const;
    // After a call of `device` failed: marks the loss when that was it.
    void Check(const std::shared_ptr<interfaces::Device>& device);
    // Gives a device that came back what the lost one had.
    void Restore(interfaces::Device& device);
    // The looks of a lost device whoever uses it or not: a thread of its own,
    // started at the first loss, that sleeps while the device is present.
    void StartLooker();
    void Looker();
    bool Look(bool paced);

    interfaces::Threads& threads_;
    const std::string name_;
    const Reopener reopen_;
    std::atomic<DeviceWatcher*>& watcher_;

    mutable std::mutex mutex_;  // the fields below
    std::shared_ptr<interfaces::Device> device_;
    bool closed_ = false;
    bool ready_ = false;
    // Each mode that took, the latest last, without repeats: laid over the
    // returning line in order, they give it every field the host set.
    std::vector<interfaces::LineChange> changes_;
    // The last signal of each pair (RTS, DTR, XON/XOFF, break); -1: never set.
    std::array<int, 4> signals_{{-1, -1, -1, -1}};

    std::atomic<bool> lost_{false};
    std::atomic<std::uint32_t> lost_error_{0};
    std::mutex look_mutex_;
    bool looked_ = false;
    std::uint32_t last_look_ = 0;

    std::mutex looker_mutex_;  // the looker's start and end
    std::atomic<bool> closing_{false}, has_looker_{false};
    // A loss or the close; set, it also ends a reopen under way.
    std::unique_ptr<interfaces::StopSignal> wake_;
    std::unique_ptr<interfaces::Worker> looker_;
};

}  // namespace orvanta::logic
