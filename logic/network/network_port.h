// A device on the network as a port: a printer on raw TCP or a serial device
// server (RFC 2217), behind the same Device the local ports implement.
//
// On raw TCP the line calls do nothing and succeed (a printer on port 9100
// has no line). On RFC 2217 they go to the server; what it confirms, refuses
// or leaves unanswered comes back as notes for debug mode (TakeNotes), never
// as a failure: servers differ in what they answer.
//
// One reader at a time (as the control holds it); the writer may run beside
// it. The host's line calls take what has come only when no reader is in.
//
// A connection that ends (the peer closed or reset it, keep-alive found it
// dead, a send failed) is a device that is lost: LostError says so, with the
// platform's code or kPeerClosedError, and only a new connection reaches the
// device again.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/network.h"
#include "interfaces/port.h"
#include "interfaces/port_names.h"
#include "logic/network/network_link.h"

namespace orvanta::logic {

// Parses a mode in the words SetCOMSettings takes ("baud=19200 parity=E
// data=8 stop=1", or "19200,e,8,1") over `settings`: what it does not name
// keeps its value. False, and `settings` unchanged, when it does not parse.
bool ParseLineMode(const std::string& mode, interfaces::LineSettings& settings);

class NetworkPort : public interfaces::Device {
public:
    // Bytes read ahead of the reader at most; past it the oldest give way and
    // ClearErrors reports an overrun, as a full driver queue does.
    static constexpr std::size_t kReadAheadLimit = 64 * 1024;
    // The error bits ClearErrors reports: the serial port's own, so a host
    // reads them as it reads a local port's. The line's are the server's
    // NOTIFY-LINESTATE bits, which have the same values.
    static constexpr std::uint32_t kReadAheadOverrun = 0x0001;

    // A write after this long without one first looks whether the peer has
    // ended, so a job is not sent into a connection the peer closed.
    static constexpr std::uint32_t kIdleLookMs = 100;

    // `give_up`, when given, ends the waits for the server's answers early
    // (the owner is closing); it must outlive the port.
    NetworkPort(std::unique_ptr<NetworkLink> link, std::function<std::uint32_t()> clock,
                interfaces::StopSignal* give_up = nullptr);

    bool ReadyForWrites() const override { return true; }
    interfaces::WriteResult Write(const void* data, std::uint32_t length, std::uint32_t limit_ms,
                                  interfaces::StopSignal* stop) override;
    bool Flush() override { return !closed_; }  // the stack has the bytes once a write ends
    void Close() override;

    bool ReadLineSettings(interfaces::LineSettings& settings) override;
    bool ApplyLineSettings(const interfaces::LineChange& change) override;
    bool SetSignal(interfaces::LineSignal signal) override;
    bool ClearErrors(std::uint32_t& errors) override;

    bool WaitEventChar(interfaces::StopSignal* stop) override;
    std::uint32_t Read(void* buffer, std::uint32_t count, interfaces::StopSignal* stop) override;
    bool WaitEventCharThenRead(char last, void* buffer, std::uint32_t count, std::uint32_t& taken,
                               interfaces::StopSignal* stop) override;
    std::uint32_t ReadThrough(char last, void* buffer, std::uint32_t count,
                              interfaces::StopSignal* stop) override;

    // Nothing of the system's stays outstanding, and the link holds no lock
    // across a wait: a write whose thread was ended leaves nothing to end.
    bool EndAbandonedWrite() override {
        writing_ = false;
        return true;
    }
    // A thread ended inside a read may have left the port's own lock held:
    // reads are then given up.
    bool EndAbandonedRead() override {
        if (reading_.load()) reads_refused_ = true;  // its lock may be held for good
        return !reads_refused_.load();
    }

    std::uint32_t LostError() const override { return lost_error_.load(); }
    std::vector<std::string> TakeNotes() override;
    // Notes of the open (the server did not agree to COM-port control).
    void Note(std::string note);

private:
    // Waits up to `limit_ms` for bytes and takes them: false when the
    // connection ended, failed or `stop` came (the bytes that came stay).
    bool Fetch(std::uint32_t limit_ms, interfaces::StopSignal* stop);
    // Takes what has come without waiting, when no reader is in.
    void FetchIfIdle();
    void Append(const std::string& bytes);
    std::uint32_t Take(void* buffer, std::size_t count);
    // The server's answers, settled since the last call, as notes.
    void NoteSettled();
    // The connection ended with `result`: for good, and the device is lost.
    void End(interfaces::NetResult result);

    std::unique_ptr<NetworkLink> link_;
    std::function<std::uint32_t()> clock_;
    interfaces::StopSignal* const give_up_;
    std::atomic<bool> closed_{false}, writing_{false}, reading_{false};
    // A connection that ended stays ended: reads and writes fail at once.
    std::atomic<bool> ended_{false};
    std::atomic<std::uint32_t> lost_error_{0};
    std::atomic<std::uint32_t> last_write_{0};  // when the last write ended
    std::atomic<bool> reads_refused_{false};

    std::mutex read_mutex_;  // the reader's: the buffer below and the link's Poll
    std::string ahead_;      // bytes come and not yet taken
    std::size_t searched_ = 0;  // front bytes the wait for the event character has looked at
    std::atomic<std::uint32_t> held_errors_{0};

    // The settings as last applied: what a server confirmed is in the notes.
    interfaces::LineSettings settings_{9600, 8, 0, 0, 0};
    std::atomic<int> event_char_{0};

    std::mutex notes_mutex_;
    std::vector<std::string> notes_;
};

// Connects and, on RFC 2217, asks for COM-port control (within
// NetworkLink::kStartLimitMs: a server that does not agree is a note, not a
// failure). Null when the connection cannot be made or ends at once.
// `stop` ends the connect and the negotiation early, and is the port's `give_up`.
std::unique_ptr<NetworkPort> OpenNetworkPort(interfaces::Network& network, const interfaces::NetworkPortName& name,
                                             std::function<std::uint32_t()> clock,
                                             interfaces::StopSignal* stop = nullptr);

}  // namespace orvanta::logic
