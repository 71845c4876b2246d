// A listener on the loopback address for the tests and the bench, on plain
// Winsock: it shares no code with the control's connections.
#pragma once

#include <winsock2.h>

#include <cstdint>

namespace orvanta::testing {

struct LoopbackListener {
    LoopbackListener() {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof at;
        bind(listener, reinterpret_cast<sockaddr*>(&at), length);
        listen(listener, 4);
        getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length);
        port = ntohs(at.sin_port);
    }
    ~LoopbackListener() {
        closesocket(listener);
        if (started) WSACleanup();
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool started = false;
    SOCKET listener = INVALID_SOCKET;  // closed and set to INVALID_SOCKET, connects are refused
    std::uint16_t port = 0;
};

}  // namespace orvanta::testing
