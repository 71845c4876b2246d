// TCP connections on Winsock.
//
// Bounds, as documented for the network ports:
// - connecting: the caller's limit over all the host's addresses (a name is
//   first resolved by the system's resolver, which keeps its own time-outs;
//   an address needs no resolving);
// - a silently dead peer: keep-alive probes after 5 s without traffic, one a
//   second; Windows gives up after 10 unanswered probes (Wine on Linux after
//   the system's 9), so within 15 s the connection reads as Reset (the
//   keep-alive's WSAETIMEDOUT or WSAENETRESET) to the next wait or send;
// - writes: the caller's limit; a full send buffer is waited for in steps of
//   at most 20 ms, the stop signal looked at between them;
// - reads: the caller's limit; the socket's event and the stop signal's are
//   waited for together, so a stop ends the wait at once.
#pragma once

#include "interfaces/network.h"

namespace orvanta::windows {

class Win32Network : public interfaces::Network {
public:
    std::unique_ptr<interfaces::TcpConnection> Connect(const std::string& host, std::uint16_t port,
                                                       std::uint32_t limit_ms, interfaces::StopSignal* stop,
                                                       interfaces::NetResult& result, std::uint32_t& error) override;
};

}  // namespace orvanta::windows
