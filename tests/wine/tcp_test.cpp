// Winsock connections against a listener of the test's own on the loopback
// address: bytes exact both ways, a stalled reader, a stop, a peer that goes.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "testkit/loopback.h"
#include "windows/win32_tcp.h"
#include "windows/win32_threads.h"

namespace orvanta::testing {
namespace {

using interfaces::NetResult;

struct Loopback : LoopbackListener {
    ~Loopback() { closesocket(peer); }
    std::unique_ptr<interfaces::TcpConnection> Connect() {
        auto connection = network.Connect("127.0.0.1", port, 5000, nullptr, result, error);
        closesocket(peer);
        peer = accept(listener, nullptr, nullptr);
        return connection;
    }
    windows::Win32Network network;
    SOCKET peer = INVALID_SOCKET;
    NetResult result = NetResult::Failed;
    std::uint32_t error = 0;
};

TEST(Tcp, BytesPassExactlyBothWays) {
    Loopback loop;
    auto c = loop.Connect();
    ASSERT_TRUE(c);
    std::string all, arrived(4 * 256, '\0'), back;
    for (int i = 0; i < 4 * 256; ++i) all += static_cast<char>(i);
    std::uint32_t n = 0;
    ASSERT_EQ(c->Send(all.data(), static_cast<std::uint32_t>(all.size()), 5000, nullptr, n), NetResult::Ok);
    for (int at = 0, got = 1; at < 4 * 256 && got > 0; at += got) got = recv(loop.peer, &arrived[at], 4 * 256 - at, 0);
    EXPECT_EQ(arrived, all);
    send(loop.peer, all.data(), static_cast<int>(all.size()), 0);
    char buffer[4096];
    while (back.size() < all.size() && c->WaitReadable(5000, nullptr) == NetResult::Ok &&
           c->Receive(buffer, sizeof buffer, n) == NetResult::Ok && n > 0)
        back.append(buffer, n);
    EXPECT_EQ(back, all);
}

TEST(Tcp, AStalledReaderMakesASendTimeOutAndAStopEndsAnyWait) {
    Loopback loop;
    auto c = loop.Connect();
    ASSERT_TRUE(c);
    const std::string bulk(64 << 20, 'x');
    std::uint32_t sent = 0;
    const DWORD start = GetTickCount();
    EXPECT_EQ(c->Send(bulk.data(), static_cast<std::uint32_t>(bulk.size()), 300, nullptr, sent), NetResult::TimedOut);
    EXPECT_LT(sent, bulk.size());
    windows::Win32StopSignal stop;
    stop.Set();
    EXPECT_EQ(c->Send(bulk.data(), 1 << 20, 60000, &stop, sent), NetResult::Stopped);
    EXPECT_EQ(c->WaitReadable(60000, &stop), NetResult::Stopped);
    EXPECT_LT(GetTickCount() - start, 10000u);
}

TEST(Tcp, APeerThatClosesOrResetsOrIsNotThereIsReported) {
    Loopback loop;
    char byte;
    std::uint32_t n = 0;
    for (const bool reset : {false, true}) {
        auto c = loop.Connect();
        ASSERT_TRUE(c);
        const linger abort{1, 0};
        if (reset) setsockopt(loop.peer, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
        closesocket(loop.peer);
        loop.peer = INVALID_SOCKET;
        EXPECT_EQ(c->WaitReadable(5000, nullptr), NetResult::Ok);
        // Windows says reset; this Wine reads a reset as an orderly end (also
        // from a Linux peer). Either way the device is gone.
        const NetResult end = c->Receive(&byte, 1, n);
        EXPECT_TRUE(end == NetResult::Closed || (reset && end == NetResult::Reset)) << static_cast<int>(end);
    }
    closesocket(loop.listener);
    loop.listener = INVALID_SOCKET;
    EXPECT_FALSE(loop.Connect());
    EXPECT_EQ(loop.error, static_cast<std::uint32_t>(WSAECONNREFUSED));
}

}  // namespace
}  // namespace orvanta::testing
