// Reading one scanned code from the device channel: wait for the suffix,
// then take the bytes in front of it one at a time.
#pragma once

#include <string>

#include "logic/settings/reporter.h"
#include "logic/settings/settings.h"
#include "logic/device/channel.h"
#include "interfaces/port.h"
#include "interfaces/threads.h"

namespace orvanta::logic {

class CodeReader {
public:
    CodeReader(DeviceChannel& channel, const Settings& settings, Reporter& report,
                interfaces::Ports& ports)
        : m_channel(channel), m_settings(settings), m_report(report), m_ports(ports) {}

    // One code as the reader got it; `wait_failed` tells a failed wait from a
    // scanned "ERROR".
    struct CodeRead {
        std::string code;
        bool wait_failed = false;
    };
    // `stop`, when given, is the scan task's stop signal.
    CodeRead Read(interfaces::StopSignal* stop);
    std::string ScanCodeFromCOM() { return Read(nullptr).code; }

private:
    DeviceChannel& m_channel;
    const Settings& m_settings;
    Reporter& m_report;
    interfaces::Ports& m_ports;
};

}  // namespace orvanta::logic
