// A soak of a fixed number of steps from a printed seed: a scanner sends
// codes at random intervals while the host writes, reopens the device and
// stops and starts the task at random. Every code reaches the window whole or
// not at all, every write reaches the far end contiguous, and no handle or
// thread is left behind. ORVANTA_SOAK_SEED and ORVANTA_SOAK_STEPS repeat a
// run or make a long one.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "tests/wine/handles.h"
#include "tests/wine/host.h"
#include "testkit/peer.h"

namespace orvanta::testing {
namespace {

std::string g_received;  // the characters the target window got

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CHAR) {
        g_received += static_cast<char>(wparam);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

TEST(Soak, CodesWritesReopensAndStopsAtRandom) {
    std::string own, far_name;
    if (!PeerPorts(own, far_name)) GTEST_SKIP() << "ORVANTA_PEER_PORTS names no cable";
    const char* seed_env = std::getenv("ORVANTA_SOAK_SEED");
    const char* steps_env = std::getenv("ORVANTA_SOAK_STEPS");
    const unsigned seed = seed_env ? static_cast<unsigned>(std::strtoul(seed_env, nullptr, 10)) : 1;
    const int steps = steps_env ? std::atoi(steps_env) : 2000;
    std::printf("soak: seed %u, %d steps (ORVANTA_SOAK_SEED=%u ORVANTA_SOAK_STEPS=%d repeat it)\n", seed, steps,
                seed, steps);

    WNDCLASSA cls = {};
    cls.lpfnWndProc = TargetProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "OrvantaSoakTarget";
    RegisterClassA(&cls);
    HWND target = CreateWindowExA(0, cls.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, cls.hInstance, nullptr);
    ASSERT_NE(target, nullptr);

    Win32DeviceHost host;
    host.ports.pause = false;  // many reopens
    std::unique_ptr<OrvantaControl> ctrl;
    DialogWatcher watcher;  // any box would be a failure: none is expected
    Peer far_end(far_name);
    ASSERT_TRUE(far_end.IsOpen());
    far_end.Drain(100);

    auto start = [&] {
        if (!ctrl->channel().IsOpen()) {
            ASSERT_TRUE(ctrl->OpenDevice(own));
            ASSERT_TRUE(ctrl->channel().SetCOMSettings("baud=9600 parity=N data=8 stop=1"));
        }
        ctrl->settings().withACKN = true;
        ctrl->settings().onlyWorkwithCurrentWindow = true;
        ctrl->settings().scanWindowHandle = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(target));
        ASSERT_NE(ctrl->session().ActivateScanTask(), 0);
    };
    std::set<std::string> sent;
    std::string from_host;
    int lines = 0, reopens = 0, restarts = 0;
    ExpectNothingLeftBehind(
        [&] {
            ctrl = std::make_unique<OrvantaControl>(host.Get());
            start();
            ctrl->channel().Writeln("H");
            ctrl.reset();
            far_end.Drain(100);
        },
        [&] {
            // The control's whole life is counted: what its locks make on
            // first use lives as long as they do.
            ctrl = std::make_unique<OrvantaControl>(host.Get());
            start();
            std::atomic<bool> done{false};
            std::thread scanner([&] {
                std::mt19937 random(seed * 2 + 1);
                for (int n = 0; !done; ++n) {
                    const std::string code = "S" + std::to_string(n) + ";";
                    sent.insert(code);
                    far_end.Send(code + "\x03");
                    Sleep(random() % 15);
                }
            });
            std::thread reader([&] {
                while (!done) from_host += far_end.Receive(4096, 50);
                from_host += far_end.Drain(200);
            });

            std::mt19937 random(seed);
            for (int step = 0; step < steps; ++step) {
                const unsigned action = random() % 20;
                if (action < 14) {
                    char line[32];
                    std::snprintf(line, sizeof line, "H%06d", lines++);
                    if (ctrl->channel().IsOpen()) ctrl->channel().Writeln(line);
                } else if (action < 16) {
                    ctrl->CloseDevice();
                    ++reopens;
                    start();
                } else if (action < 18) {
                    ctrl->session().DeactivateScanTask(0);
                    ++restarts;
                    start();
                }
                PumpUntil([] { return false; }, random() % 10);
            }
            done = true;
            scanner.join();
            ctrl.reset();
            reader.join();
            PumpUntil([] { return false; }, 100);
        },
        10000);

    // The window got whole codes, each sent, none twice, in order. Closing
    // the device drops what it had read of a code on its way in, so the rest
    // of that one code may follow the reopen: at most one per reopen.
    size_t delivered = 0, cut = 0;
    int last = -1;
    for (size_t at = 0; at < g_received.size();) {
        const size_t end = g_received.find(';', at);
        ASSERT_NE(end, std::string::npos) << "a code without its end at " << at;
        const std::string code = g_received.substr(at, end + 1 - at);
        at = end + 1;
        if (code[0] != 'S') {
            ++cut;
            continue;
        }
        ASSERT_EQ(sent.count(code), 1u) << "not a code that was sent: " << code;
        const int n = std::atoi(code.c_str() + 1);
        EXPECT_GT(n, last) << code;
        last = n;
        ++delivered;
    }
    EXPECT_LE(cut, static_cast<size_t>(reopens));
    // The far end got the host's writes whole between the answers.
    // A stop with a code read and nothing of it handed over answers it 0x0F:
    // at most one per stop.
    size_t at = 0, refused = 0;
    int next_line = 0;
    while (at < from_host.size()) {
        if (from_host[at] == '\x06') { ++at; continue; }
        if (from_host[at] == '\x0F') { ++at, ++refused; continue; }
        if (from_host.compare(at, 2, "\r\n") == 0) { at += 2; continue; }
        ASSERT_EQ(from_host[at], 'H') << "at byte " << at;
        const int n = std::atoi(from_host.c_str() + at + 1);
        EXPECT_GE(n, next_line);
        next_line = n + 1;
        ASSERT_GE(from_host.size(), at + 7);
        for (size_t i = 1; i < 7; ++i) ASSERT_TRUE(isdigit(static_cast<unsigned char>(from_host[at + i])));
        at += 7;
    }
    std::printf("soak: %d steps, %zu codes sent, %zu delivered (%zu cut by a reopen), %d lines, %d reopens, "
                "%d restarts\n", steps, sent.size(), delivered, cut, lines, reopens,
                restarts);
    EXPECT_GT(delivered, 0u);
    EXPECT_LE(refused, static_cast<size_t>(reopens + restarts));

    EXPECT_TRUE(watcher.Boxes().empty());
    DestroyWindow(target);
}

}  // namespace
}  // namespace orvanta::testing
