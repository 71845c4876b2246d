// The control object as hosts know it, below its COM face: the nine
// properties with the modified flag, the design-time picture, opening and
// closing the device (which touches the channel and the scan task alike), the
// port list, the scan task's events as the host's, and the parts that do the
// work. The automation members call those parts directly (orvanta_members.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/host_events.h"
#include "interfaces/services.h"
#include "interfaces/types.h"
#include "interfaces/user_interface.h"
#include "logic/device/channel.h"
#include "logic/scanner/scan_session.h"
#include "logic/reporting/reporter.h"
#include "logic/settings/settings.h"

namespace orvanta {

class OrvantaControl : private logic::ScanListener, private logic::DeviceWatcher {
public:
    // `events`: the host's, where the control has a host that takes them.
    explicit OrvantaControl(const interfaces::Platform& platform, framework::HostEvents* events = nullptr);
    ~OrvantaControl();
    OrvantaControl(const OrvantaControl&) = delete;
    OrvantaControl& operator=(const OrvantaControl&) = delete;

    // The nine properties. A host's put goes through the dispatch table,
    // which stores the value and then calls OnPropertyChanged.
    logic::Settings& settings() { return settings_; }
    const logic::Settings& settings() const { return settings_; }

    // The shared change notification: marks the persistent state changed.
    void OnPropertyChanged() { SetModifiedFlag(true); }
    void SetModifiedFlag(bool modified) { modified_.store(modified); }
    bool IsModified() const { return modified_.load(); }

    // The parts.
    logic::DeviceChannel& channel() { return channel_; }
    logic::ScanSession& session() { return session_; }

    // Design-time picture: a white rectangle with an inscribed ellipse.
    void OnDraw(interfaces::Canvas& canvas, const interfaces::Rect& bounds, const interfaces::Rect& invalid);

    // Opening closes first, and closing stops the scan task first. `wide`: the
    // name as the caller wrote it in Unicode, which files open by. Called
    // from a handler a stop runs (the task's messages to the host's windows),
    // OpenDevice opens nothing and returns false, and CloseDevice closes the
    // device once the stop has ended, since the task may still use it.
    bool OpenDevice(const std::string& name, const std::u16string& wide = {}) {
        if (session_.StopInProgress()) return false;
        CloseDevice();
        // A device id opens the present port it names, by that port's name.
        const std::string port = interfaces::NameToOpen(
            name, [this] { return ports_.SerialPortNames(); }, device_information_);
        return port == name ? channel_.Open(name, wide) : channel_.Open(port);
    }
    void CloseDevice() {
        if (session_.StopInProgress()) {
            session_.CloseDeviceAfterStop();
            return;
        }
        session_.DeactivateScanTask(0, logic::ScanEnd::kDeviceClosed);
        channel_.Close();
    }

    // The machine's serial ports by name.
    std::vector<std::string> GetCOMPorts() { return ports_.SerialPortNames(); }
    // The same ports, each with what the system's device information says of it.
    std::vector<std::string> GetCOMPortDetails() {
        return interfaces::PortDetailsRows(ports_.SerialPortNames(), device_information_);
    }

    // The About box belongs to the COM face, which hands it in here.
    void SetAboutBox(void (*show)()) { about_box_ = show; }
    void AboutBox() {
        if (about_box_) about_box_();
    }

private:
    // The scan task's events, raised to the host.
    bool OnCodeScanned(const std::string& code) override;
    void OnScanEnded(logic::ScanEnd why) override;
    // The device's losses and returns, raised to the host.
    void OnDeviceLost(const std::string& name, std::uint32_t error) override;
    void OnDeviceBack(const std::string& name) override;

    interfaces::Ports& ports_;
    interfaces::NoDeviceInformation no_device_information_;
    interfaces::DeviceInformation& device_information_;
    framework::HostEvents* events_;
    void (*about_box_)() = nullptr;
    std::atomic<bool> modified_{false};
    logic::Settings settings_;
    logic::Reporter report_;
    logic::DeviceChannel channel_;
    logic::ScanSession session_;
};

}  // namespace orvanta
