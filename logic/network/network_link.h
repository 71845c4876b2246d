// One device on the network, as a port needs it: bytes out within a bound,
// bytes in as they come, and on a serial device server (RFC 2217) the line
// settings, signals and purges sent, the line's errors and signals read back,
// and what the server confirmed. On raw TCP the serial calls do nothing and
// succeed: a printer on port 9100 has no line to set.
//
// The reader (Poll, Wait) runs on one thread at a time, the writer on one
// thread at a time; the two may run at once. Sends are serialized, so the
// reader's answers to the server never split an escape of the writer's. The
// send lock is held only while the system takes bytes without waiting, never
// across a wait: a thread ended inside a send (terminated while the peer
// stalls) leaves nothing held, and what it left of an escape or a request
// goes first with the next send.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/network.h"
#include "logic/network/com_port_ledger.h"
#include "logic/network/telnet.h"

namespace orvanta::logic {

class NetworkLink {
public:
    // The bound for a control request or an answer to the server.
    static constexpr std::uint32_t kRequestLimitMs = 2000;
    // How long Start waits for a server to agree to COM-port control.
    static constexpr std::uint32_t kStartLimitMs = 1000;
    // A request unanswered this long is reported as such.
    static constexpr std::uint32_t kUnansweredMs = 2000;

    // `clock`: milliseconds from an arbitrary start, wrapping (the system's tick count).
    NetworkLink(std::unique_ptr<interfaces::TcpConnection> connection, bool rfc2217,
                std::function<std::uint32_t()> clock);

    // On RFC 2217 sends the opening and waits up to `limit_ms` for the
    // server to agree to COM-port control; a server that does not is no
    // failure (ComPortAgreed says so), a connection that ends is.
    interfaces::NetResult Start(std::uint32_t limit_ms, interfaces::StopSignal* stop);

    // `written` counts the caller's bytes that went out whole.
    interfaces::NetResult Write(const void* data, std::uint32_t length, std::uint32_t limit_ms,
                                interfaces::StopSignal* stop, std::uint32_t& written);
    // Takes what has come without waiting: the device's bytes are appended
    // to `data` (also those that came before an end it reports), the
    // server's events recorded, its requests answered.
    interfaces::NetResult Poll(std::string& data);
    // Waits up to `limit_ms` until Poll has something.
    interfaces::NetResult Wait(std::uint32_t limit_ms, interfaces::StopSignal* stop) {
        return connection_->WaitReadable(limit_ms, stop);
    }

    // RFC 2217 requests; on raw TCP nothing is sent and Ok returned.
    interfaces::NetResult SendLineSettings(std::uint32_t baud, std::uint8_t data_bits, Parity parity,
                                           StopSize stop_size);
    interfaces::NetResult SendControl(Control control);
    interfaces::NetResult SendPurge(Purge what);

    bool IsRfc2217() const { return rfc2217_; }
    bool ComPortAgreed() const { return agreed_; }
    // The error bits of NOTIFY-LINESTATE seen since the last call.
    std::uint8_t TakeLineErrors();
    std::uint8_t ModemState() const { return modem_state_.load(); }
    // The server asked the client to stop sending (FLOWCONTROL-SUSPEND).
    bool Suspended() const { return suspended_.load(); }
    // Requests settled since the last call: answered as asked, answered with
    // another value, or unanswered for `unanswered_ms` (for the debug report).
    std::vector<Settled> TakeSettled(std::uint32_t unanswered_ms);
    std::uint32_t LastError() const { return connection_->LastError(); }
    // Requests sent and not yet settled.
    std::size_t Pending() {
        std::lock_guard<std::mutex> lock(state_mutex_);
        return ledger_.Pending();
    }

private:
    // Queues `bytes` (whole telnet units) after what must go first and sends
    // all that is queued within `limit_ms`; what is left goes with the next send.
    interfaces::NetResult SendWhole(const std::string& bytes, std::uint32_t limit_ms, interfaces::StopSignal* stop);
    // Under the send lock: sends what is queued without waiting; true when all went.
    bool DrainLocked(interfaces::NetResult& result);
    // Waits for room until `limit_ms` from `start` has passed: Ok to send again.
    interfaces::NetResult AwaitRoom(std::uint32_t start, std::uint32_t limit_ms, interfaces::StopSignal* stop);
    interfaces::NetResult Request(ComPortCommand command, std::vector<std::uint8_t> value);
    void Record(const std::vector<ServerEvent>& events);

    std::unique_ptr<interfaces::TcpConnection> connection_;
    const bool rfc2217_;
    std::function<std::uint32_t()> clock_;
    TelnetClient telnet_;  // the reader's
    std::atomic<bool> sends_binary_{false}, agreed_{false};
    std::string early_;  // the device's bytes that came while Start waited
    std::mutex send_mutex_;  // one sender at a time, never held across a wait
    // Bytes that must go before any other: the rest of an escape a write
    // left cut, requests and answers the system had no room for yet.
    std::string queued_;
    std::mutex state_mutex_;  // the ledger and what the server reported
    ComPortLedger ledger_;
    std::vector<Settled> settled_;
    std::uint8_t line_errors_ = 0;
    std::atomic<std::uint8_t> modem_state_{0};
    std::atomic<bool> suspended_{false}, com_port_refused_{false};
};

}  // namespace orvanta::logic
