#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

#include "windows/win32_tcp.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "framework/handle.h"
#include "windows/win32_threads.h"

namespace orvanta::windows {

using interfaces::NetResult;

namespace {

constexpr ULONG kKeepAliveIdleMs = 5000, kKeepAliveIntervalMs = 1000;
constexpr DWORD kSendStepMs = 20;
// One send call at most: large enough for bulk output, small enough that a
// stalled peer is seen within a step.
constexpr int kSendChunk = 64 * 1024;

struct SocketTraits {
    using Type = SOCKET;
    static Type Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(Type s) noexcept { closesocket(s); }
};
using UniqueSocket = framework::UniqueHandle<SocketTraits>;
// A WSAEVENT is an event handle (WSA_INVALID_EVENT is null), closed as any.
using UniqueWsaEvent = framework::UniqueEvent;

// Winsock is started per connection: the count is the system's, and the
// module then holds nothing of it between connections.
class WinsockSession {
public:
    WinsockSession() : error_(Start()) {}
    ~WinsockSession() {
        if (error_ == 0) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    DWORD Error() const { return error_; }

private:
    static DWORD Start() {
        WSADATA data;
        return static_cast<DWORD>(WSAStartup(MAKEWORD(2, 2), &data));
    }
    DWORD error_;
};

NetResult ResultOf(int error) {
    switch (error) {
        case WSAECONNRESET: case WSAECONNABORTED: case WSAENETRESET: case WSAETIMEDOUT:
            return NetResult::Reset;
        case WSAESHUTDOWN: case WSAEDISCON:
            return NetResult::Closed;
        default:
            return NetResult::Failed;
    }
}

DWORD Left(DWORD start, DWORD limit) {
    const DWORD spent = GetTickCount() - start;
    return spent >= limit ? 0 : limit - spent;
}

class Win32TcpConnection : public interfaces::TcpConnection {
public:
    Win32TcpConnection(std::unique_ptr<WinsockSession> session, UniqueSocket socket, UniqueWsaEvent event)
        : session_(std::move(session)), event_(std::move(event)), socket_(std::move(socket)) {}

    NetResult Send(const void* data, std::uint32_t length, std::uint32_t limit_ms, interfaces::StopSignal* stop,
                   std::uint32_t& sent) override {
        sent = 0;
        const auto* bytes = static_cast<const char*>(data);
        const DWORD start = GetTickCount();
        while (sent < length) {
            if (stop && stop->IsSet()) return NetResult::Stopped;
            const int n = send(socket_.get(), bytes + sent, static_cast<int>(std::min<std::uint32_t>(length - sent, kSendChunk)), 0);
            if (n > 0) {
                sent += static_cast<std::uint32_t>(n);
                continue;
            }
            const int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK) return Fail(error);
            const DWORD left = Left(start, limit_ms);
            if (left == 0) return NetResult::TimedOut;
            const NetResult waited = WaitWritable(std::min(left, kSendStepMs), stop);
            if (waited != NetResult::Ok && waited != NetResult::TimedOut) return waited;
        }
        return NetResult::Ok;
    }

    NetResult WaitWritable(std::uint32_t limit_ms, interfaces::StopSignal* stop) override {
        const DWORD start = GetTickCount();
        for (;;) {
            if (stop && stop->IsSet()) return NetResult::Stopped;
            // Writable is waited for by select: the socket's event is the
            // reader's, and taking its records here would rob it. In steps,
            // so the stop is looked at between them.
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(socket_.get(), &writable);
            FD_SET(socket_.get(), &failed);
            const DWORD step = std::min(Left(start, limit_ms), kSendStepMs);
            timeval wait{static_cast<long>(step / 1000), static_cast<long>((step % 1000) * 1000)};
            const int ready = select(0, nullptr, &writable, &failed, &wait);
            if (ready == SOCKET_ERROR) return Fail(WSAGetLastError());
            if (ready > 0) return NetResult::Ok;  // the next send says which
            if (Left(start, limit_ms) == 0) return NetResult::TimedOut;
        }
    }

    NetResult Receive(void* buffer, std::uint32_t capacity, std::uint32_t& received) override {
        received = 0;
        if (peeked_error_ != 0) return Fail(peeked_error_);
        if (capacity == 0) return NetResult::Ok;
        const int n = recv(socket_.get(), static_cast<char*>(buffer), static_cast<int>(std::min<std::uint32_t>(capacity, 1u << 30)), 0);
        if (n > 0) {
            received = static_cast<std::uint32_t>(n);
            return NetResult::Ok;
        }
        if (n == 0) return NetResult::Closed;
        const int error = WSAGetLastError();
        return error == WSAEWOULDBLOCK ? NetResult::Ok : Fail(error);
    }

    NetResult WaitReadable(std::uint32_t limit_ms, interfaces::StopSignal* stop) override {
        const DWORD start = GetTickCount();
        HANDLE waits[2] = {event_.get(), StopEventOf(stop)};
        const DWORD count = waits[1] ? 2 : 1;
        for (;;) {
            // What is there decides, not the event: a record another call
            // took, or one taken with the connection's first bytes, is not lost.
            char byte;
            const int n = recv(socket_.get(), &byte, 1, MSG_PEEK);
            if (n >= 0) return NetResult::Ok;
            const int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK) {
                // Reported once by some stacks (Wine on Linux): kept for Receive.
                peeked_error_ = error;
                return NetResult::Ok;
            }
            if (stop && stop->IsSet()) return NetResult::Stopped;
            const DWORD left = Left(start, limit_ms);
            if (left == 0) return NetResult::TimedOut;
            const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, left);
            if (woke == WAIT_OBJECT_0 + 1) return NetResult::Stopped;
            if (woke == WAIT_TIMEOUT) return NetResult::TimedOut;
            if (woke != WAIT_OBJECT_0) return Fail(static_cast<int>(GetLastError()));
            WSANETWORKEVENTS events;
            if (WSAEnumNetworkEvents(socket_.get(), event_.get(), &events) == SOCKET_ERROR)
                return Fail(WSAGetLastError());
        }
    }

    std::uint32_t LastError() const override { return error_; }

private:
    NetResult Fail(int error) {
        error_ = static_cast<std::uint32_t>(error);
        return ResultOf(error);
    }
    // Destroyed in reverse: the socket, its event, then Winsock.
    std::unique_ptr<WinsockSession> session_;
    UniqueWsaEvent event_;
    UniqueSocket socket_;
    std::atomic<std::uint32_t> error_{0};  // the reader's and the writer's
    int peeked_error_ = 0;
};

// One attempt on one address: a non-blocking connect, its completion waited
// for with the stop signal. 0 when connected, else the Winsock error.
int ConnectOne(const addrinfo& address, DWORD left, interfaces::StopSignal* stop, UniqueSocket& out,
               UniqueWsaEvent& event_out, NetResult& result) {
    UniqueSocket s(socket(address.ai_family, address.ai_socktype, address.ai_protocol));
    if (!s) return WSAGetLastError();
    UniqueWsaEvent event(WSACreateEvent());
    if (!event) return WSAGetLastError();
    // The event stays the reader's: FD_READ and FD_CLOSE wake a wait for bytes.
    if (WSAEventSelect(s.get(), event.get(), FD_CONNECT | FD_READ | FD_CLOSE) == SOCKET_ERROR)
        return WSAGetLastError();
    if (connect(s.get(), address.ai_addr, static_cast<int>(address.ai_addrlen)) == SOCKET_ERROR) {
        int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) return error;
        HANDLE waits[2] = {event.get(), StopEventOf(stop)};
        const DWORD start = GetTickCount();
        for (;;) {
            const DWORD woke = WaitForMultipleObjects(waits[1] ? 2 : 1, waits, FALSE, Left(start, left));
            if (woke == WAIT_OBJECT_0 + 1) {
                result = NetResult::Stopped;
                return WSAEINTR;
            }
            if (woke == WAIT_TIMEOUT) {
                result = NetResult::TimedOut;
                return WSAETIMEDOUT;
            }
            if (woke != WAIT_OBJECT_0) return static_cast<int>(GetLastError());
            WSANETWORKEVENTS events;
            if (WSAEnumNetworkEvents(s.get(), event.get(), &events) == SOCKET_ERROR) return WSAGetLastError();
            if (events.lNetworkEvents & FD_CONNECT) {
                error = events.iErrorCode[FD_CONNECT_BIT];
                if (error != 0) return error;
                break;
            }
        }
    }
    BOOL on = TRUE;
    setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    tcp_keepalive keepalive{1, kKeepAliveIdleMs, kKeepAliveIntervalMs};
    DWORD returned = 0;
    WSAIoctl(s.get(), SIO_KEEPALIVE_VALS, &keepalive, sizeof keepalive, nullptr, 0, &returned, nullptr, nullptr);
    out = std::move(s);
    event_out = std::move(event);
    return 0;
}

}  // namespace

std::unique_ptr<interfaces::TcpConnection> Win32Network::Connect(const std::string& host, std::uint16_t port,
                                                                 std::uint32_t limit_ms,
                                                                 interfaces::StopSignal* stop, NetResult& result,
                                                                 std::uint32_t& error) {
    result = NetResult::Failed;
    auto session = std::unique_ptr<WinsockSession>(new (std::nothrow) WinsockSession);
    if (!session || session->Error() != 0) {
        error = session ? session->Error() : ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int failed = getaddrinfo(host.c_str(), service.c_str(), &hints, &found)) {
        error = static_cast<std::uint32_t>(failed);
        SetLastError(error);
        return nullptr;
    }
    const DWORD start = GetTickCount();
    UniqueSocket socket;
    UniqueWsaEvent event;
    int last = WSAEHOSTUNREACH;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        result = NetResult::Failed;
        last = ConnectOne(*a, Left(start, limit_ms), stop, socket, event, result);
        if (last == 0 || result == NetResult::Stopped || Left(start, limit_ms) == 0) break;
    }
    freeaddrinfo(found);
    if (last != 0) {
        error = static_cast<std::uint32_t>(last);
        SetLastError(error);  // for the caller's trace, as a device that does not open leaves it
        return nullptr;
    }
    auto connection = std::unique_ptr<Win32TcpConnection>(
        new (std::nothrow) Win32TcpConnection(std::move(session), std::move(socket), std::move(event)));
    result = connection ? NetResult::Ok : NetResult::Failed;
    error = connection ? 0 : ERROR_NOT_ENOUGH_MEMORY;
    return connection;
}

}  // namespace orvanta::windows
