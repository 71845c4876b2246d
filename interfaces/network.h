// TCP connections to devices on the network (printers on raw TCP, serial
// device servers), for the network ports. Every call that may wait has a
// bound and a stop signal; none blocks past them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace orvanta::interfaces {

class StopSignal;

enum class NetResult {
    Ok,
    TimedOut,  // the bound passed first
    Stopped,   // the stop signal was set first
    Closed,    // the peer ended the connection in order
    Reset,     // the peer reset it, or it died (keep-alive, retransmissions)
    Failed,    // anything else; the platform's code is in LastError
};

// The network ports' bound for connecting, over all of a host's addresses.
constexpr std::uint32_t kConnectLimitMs = 5000;

// The errors a network port is lost with where the platform gave none:
// the peer ended the connection in order (Winsock's code for a graceful
// shutdown), or it broke without a code.
constexpr std::uint32_t kPeerClosedError = 10101;
constexpr std::uint32_t kConnectionBrokenError = 10054;

class TcpConnection {
public:
    virtual ~TcpConnection() = default;
    // Sends all `length` bytes within `limit_ms`; `sent` gets how many went.
    // With a limit of 0 it sends what the system takes now, TimedOut for the rest.
    virtual NetResult Send(const void* data, std::uint32_t length, std::uint32_t limit_ms, StopSignal* stop,
                           std::uint32_t& sent) = 0;
    // Waits up to `limit_ms` until Send can take bytes again (or would fail): Ok then.
    virtual NetResult WaitWritable(std::uint32_t limit_ms, StopSignal* stop) = 0;
    // Copies up to `capacity` of the bytes that have come; never waits (Ok
    // with 0 when none have). Closed once the peer has ended and all is read.
    virtual NetResult Receive(void* buffer, std::uint32_t capacity, std::uint32_t& received) = 0;
    // Waits up to `limit_ms` until Receive has something to say (bytes, the
    // end, a failure): Ok then.
    virtual NetResult WaitReadable(std::uint32_t limit_ms, StopSignal* stop) = 0;
    // The platform's error code of the last call that did not succeed.
    virtual std::uint32_t LastError() const = 0;
};

class Network {
public:
    virtual ~Network() = default;
    // Connects to `host` (an address or a name) on `port`, trying each of its
    // addresses within `limit_ms` in all; null on failure, with `result` and
    // the platform's code in `error`.
    virtual std::unique_ptr<TcpConnection> Connect(const std::string& host, std::uint16_t port,
                                                   std::uint32_t limit_ms, StopSignal* stop, NetResult& result,
                                                   std::uint32_t& error) = 0;
};

}  // namespace orvanta::interfaces
