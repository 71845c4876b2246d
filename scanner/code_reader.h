// Reading one scanned code from the device channel: wait for the suffix,
// then take the bytes in front of it one at a time.
#pragma once

#include <string>

#include "core/reporter.h"
#include "core/settings.h"
#include "device/channel.h"
#include "platform/port.h"
#include "platform/threads.h"

namespace orvanta {

class CCodeReader {
public:
    CCodeReader(CDeviceChannel& channel, const Settings& settings, Reporter& report,
                platform::Ports& ports)
        : m_channel(channel), m_settings(settings), m_report(report), m_ports(ports) {}

    // One code as the reader got it; `wait_failed` tells a failed wait from a
    // scanned "ERROR".
    struct CodeRead {
        std::string code;
        bool wait_failed = false;
    };
    // `stop`, when given, is the scan task's stop signal.
    CodeRead Read(platform::StopSignal* stop);
    std::string ScanCodeFromCOM() { return Read(nullptr).code; }

private:
    CDeviceChannel& m_channel;
    const Settings& m_settings;
    Reporter& m_report;
    platform::Ports& m_ports;
};

}  // namespace orvanta
