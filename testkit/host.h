// The control on the Win32 platform as the Windows tests, the demo and the
// bench host it: stand-ins for the services a run does not exercise, the
// real ports with the device opened last in reach, and the dialog watcher.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "control/orvanta_control.h"
#include "windows/win32_input.h"
#include "windows/win32_ports.h"
#include "windows/win32_threads.h"
#include "windows/win32_user_interface.h"
#include "testkit/watcher.h"

namespace orvanta::testing {

// Stand-ins for the services a test does not exercise.
class NoPorts : public interfaces::Ports {
public:
    std::unique_ptr<interfaces::Device> OpenDevice(const char*, const char16_t*) override { return nullptr; }
    std::unique_ptr<interfaces::File> CreateNewFile(const char*) override { return nullptr; }
    std::unique_ptr<interfaces::File> OpenFileForRead(const char*, const char16_t*) override { return nullptr; }
    void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
};

class NoInput : public interfaces::Input {
public:
    interfaces::WindowId GetFocus() override { return 0; }
    interfaces::CharSent SendChar(interfaces::WindowId, std::uint32_t, std::intptr_t, std::uint32_t) override {
        return interfaces::CharSent::Gone;
    }
    bool HandChar(interfaces::WindowId, std::uint32_t, std::intptr_t) override { return false; }
    interfaces::CharSent Ping(interfaces::WindowId, std::uint32_t) override { return interfaces::CharSent::Gone; }
    interfaces::WindowId KeyboardTarget() override { return 0; }
    void PrepareTyping(interfaces::WindowId) override {}
    std::uint32_t TypeChar(unsigned char) override { return 0; }
};

struct Win32Host {
    windows::Win32UserInterface ui;
    NoPorts ports;
    NoInput input;
    windows::Win32Threads threads;
    interfaces::Platform Get() { return interfaces::Platform{ui, ports, input, threads}; }
};

// The Win32 ports, remembering the device opened last so a test can read the
// line back; the pause before an open can be left out where a test opens a
// thousand times.
class WatchedPorts : public interfaces::Ports {
public:
    std::unique_ptr<interfaces::Device> OpenDevice(const char* name, const char16_t* wide) override {
        auto device = real.OpenDevice(name, wide);
        last = device.get();
        return device;
    }
    std::unique_ptr<interfaces::File> CreateNewFile(const char* name) override { return real.CreateNewFile(name); }
    std::unique_ptr<interfaces::File> OpenFileForRead(const char* name, const char16_t* wide) override {
        return real.OpenFileForRead(name, wide);
    }
    void Sleep(std::uint32_t ms) override {
        if (pause) real.Sleep(ms);
    }
    interfaces::Network* TcpNetwork() override { return real.TcpNetwork(); }

    windows::Win32Ports real;
    interfaces::Device* last = nullptr;  // owned by the control
    bool pause = true;
};

// A control on every real Win32 service.
struct Win32DeviceHost {
    windows::Win32UserInterface ui;
    WatchedPorts ports;
    windows::Win32Input input;
    windows::Win32Threads threads;
    interfaces::Platform Get() { return interfaces::Platform{ui, ports, input, threads}; }
};

}  // namespace orvanta::testing
