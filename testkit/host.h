// The control on the Win32 platform as the Windows tests, the demo and the
// bench host it: stand-ins for the services a run does not exercise, the
// real ports with the device opened last in reach, and the dialog watcher.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "control/orvanta_ctrl.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_port.h"
#include "platform/win32/win32_threads.h"
#include "platform/win32/win32_ui.h"
#include "testkit/watcher.h"

namespace orvanta::testing {

// Stand-ins for the services a test does not exercise.
class NoPorts : public platform::Ports {
public:
    std::unique_ptr<platform::Device> OpenDevice(const char*, const char16_t*) override { return nullptr; }
    std::unique_ptr<platform::File> CreateNewFile(const char*) override { return nullptr; }
    std::unique_ptr<platform::File> OpenFileForRead(const char*, const char16_t*) override { return nullptr; }
    void ToOem(char*) override {}
    void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
};

class NoInput : public platform::Input {
public:
    platform::WindowId GetFocus() override { return 0; }
    platform::CharSent SendChar(platform::WindowId, std::uint32_t, std::intptr_t, std::uint32_t) override {
        return platform::CharSent::Gone;
    }
    std::uint32_t TypeChar(unsigned char) override { return 0; }
    platform::WindowId KeyboardTarget() override { return 0; }
    bool AwaitInputTaken(platform::WindowId, std::uint32_t, std::uint32_t, platform::StopSignal*) override {
        return false;
    }
};

struct Win32Host {
    win32::Win32UserInterface ui;
    NoPorts ports;
    NoInput input;
    win32::Win32Threads threads;
    Platform Get() { return Platform{ui, ports, input, threads}; }
};

// The Win32 ports, remembering the device opened last so a test can read the
// line back; the pause before an open can be left out where a test opens a
// thousand times.
class WatchedPorts : public platform::Ports {
public:
    std::unique_ptr<platform::Device> OpenDevice(const char* name, const char16_t* wide) override {
        auto device = real.OpenDevice(name, wide);
        last = device.get();
        return device;
    }
    std::unique_ptr<platform::File> CreateNewFile(const char* name) override { return real.CreateNewFile(name); }
    std::unique_ptr<platform::File> OpenFileForRead(const char* name, const char16_t* wide) override {
        return real.OpenFileForRead(name, wide);
    }
    void ToOem(char* text) override { real.ToOem(text); }
    void Sleep(std::uint32_t ms) override {
        if (pause) real.Sleep(ms);
    }

    win32::Win32Ports real;
    platform::Device* last = nullptr;  // owned by the control
    bool pause = true;
};

// A control on every real Win32 service.
struct Win32DeviceHost {
    win32::Win32UserInterface ui;
    WatchedPorts ports;
    win32::Win32Input input;
    win32::Win32Threads threads;
    Platform Get() { return Platform{ui, ports, input, threads}; }
};

}  // namespace orvanta::testing
