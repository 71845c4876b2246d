#include <winsock2.h>
#include <ws2tcpip.h>

#include "bench/bench.h"
#include "testkit/loopback.h"

namespace bench {

// 8. Bulk output over loopback TCP: SendFile to a socket:// port against a
// raw Winsock writer of 4000-byte pieces with echo, into the same printer.

namespace {

constexpr int kPiece = 4000;

// A printer on the loopback address that takes everything: a thread reads
// one connection and notes when its last byte came.
class LoopbackPrinter : public orvanta::testing::LoopbackListener {
public:
    void Expect(std::uint64_t size) {
        reader_ = std::thread([this, size] {
            const SOCKET peer = accept(listener, nullptr, nullptr);
            static char buffer[1 << 16];
            got_ = 0;
            for (int n = 1; got_ < size && n > 0;) {
                n = recv(peer, buffer, sizeof buffer, 0);
                if (n > 0) got_ += static_cast<std::uint64_t>(n);
            }
            end_ = Ticks();
            closesocket(peer);
        });
    }
    // When the last byte came; 0 when not all did.
    LONGLONG Done(std::uint64_t size) {
        reader_.join();
        return got_ == size ? end_ : 0;
    }

private:
    std::thread reader_;
    std::uint64_t got_ = 0;
    LONGLONG end_ = 0;
};

SOCKET RawConnect(std::uint16_t port) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(port);
    BOOL on = TRUE;  // as the control's connections
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    if (connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

// The raw route: the file in 4000-byte pieces, each sent whole, then echoed.
bool RawSendFile(SOCKET s, const std::string& source) {
    framework::UniqueFile echo(CreateFileA("RAWPROT.PRT", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           0, nullptr));
    framework::UniqueFile src(CreateFileA(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!echo || !src) return false;
    static char buffer[kPiece];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(src.get(), buffer, kPiece, &got, nullptr) || got == 0) return true;
        for (DWORD sent = 0; sent < got;) {
            const int n = send(s, buffer + sent, static_cast<int>(got - sent), 0);
            if (n <= 0) return false;
            sent += static_cast<DWORD>(n);
        }
        DWORD echoed = 0;
        WriteFile(echo.get(), buffer, got, &echoed, nullptr);
    }
}

}  // namespace

void TcpOutput(BenchHost& host) {
    Section("8. bulk output over loopback TCP (SendFile)");
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        Problem("no Winsock: bulk output over TCP left out");
        return;
    }
    const std::string source = WorkFile("tcp-source.bin");
    const std::uint64_t size = static_cast<std::uint64_t>(g_opt.bulk_mib) * 1024 * 1024;
    {
        framework::UniqueFile f(CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        std::vector<char> block(65536);
        std::uint32_t x = 4711;  // 0xFF bytes among them, as binary print data has
        for (char& c : block) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
        for (std::uint64_t left = size; left > 0; left -= std::min<std::uint64_t>(left, block.size())) {
            DWORD written = 0;
            WriteFile(f.get(), block.data(), static_cast<DWORD>(std::min<std::uint64_t>(left, block.size())),
                      &written, nullptr);
        }
    }
    const double mib = static_cast<double>(size) / (1024.0 * 1024.0);
    std::vector<double> speed[2];  // 0 raw, 1 control
    for (int rep = 0; rep < g_opt.reps; ++rep) {
        Rotated(rep, 2, [&](size_t route) {
            LoopbackPrinter printer;
            // Connecting is not timed, on either route.
            std::unique_ptr<OrvantaControl> ctrl;
            SOCKET raw = INVALID_SOCKET;
            if (route == 1) {
                ctrl = std::make_unique<OrvantaControl>(host.Get());
                if (!ctrl->OpenDevice("socket://127.0.0.1:" + std::to_string(printer.port))) {
                    Problem("the control cannot open the loopback printer");
                    return;
                }
            } else if ((raw = RawConnect(printer.port)) == INVALID_SOCKET) {
                Problem("the raw writer cannot connect to the loopback printer");
                return;
            }
            printer.Expect(size);
            const LONGLONG start = Ticks();
            const bool ok = route == 1 ? static_cast<std::uint64_t>(ctrl->channel().SendFile(source)) == size
                                       : RawSendFile(raw, source);
            const LONGLONG end = printer.Done(size);
            ctrl.reset();
            if (raw != INVALID_SOCKET) closesocket(raw);
            if (!ok || !end) {
                Problem(std::string("bulk output over TCP") + (route ? " (control)" : " (raw)") +
                        " did not deliver every byte");
                return;
            }
            speed[route].push_back(mib / Seconds(start, end));
        });
    }
    const std::string bench = "8 bulk " + std::to_string(g_opt.bulk_mib) + " MiB -> loopback TCP";
    CompareRow(bench, "raw Winsock", "throughput", "MiB/s", speed[0], speed[0], "", nullptr);
    CompareRow(bench, "control SendFile", "throughput", "MiB/s", speed[1], speed[0], "ratio >= 0.95",
               [](const Row& r) { return YesNo(r.ratio.valid && r.ratio.median >= 0.95); });
    DeleteFileA(source.c_str());
    WSACleanup();
}

}  // namespace bench
