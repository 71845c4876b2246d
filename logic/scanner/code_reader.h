// Reading one scanned code through the device channel's read path: wait for
// the suffix, then take the bytes up to it.
#pragma once

#include <string>

#include "logic/reporting/reporter.h"
#include "logic/settings/settings.h"
#include "logic/device/channel.h"
#include "interfaces/port.h"
#include "interfaces/threads.h"

namespace orvanta::logic {

class CodeReader {
public:
    CodeReader(DeviceChannel& channel, const Settings& settings, Reporter& report,
                interfaces::Ports& ports)
        : channel_(channel), settings_(settings), report_(report), ports_(ports) {}

    // One code as the reader got it; `wait_failed` tells a failed wait from a
    // scanned "ERROR"; `taken`: bytes came from the port and were taken up to
    // the suffix or the end of what the line gave (not cut short by a stop),
    // so the scanner awaits its answer; `no_device`: none is open.
    struct CodeRead {
        std::string code;
        bool wait_failed = false;
        bool taken = false;
        bool no_device = false;
    };
    // `stop`, when given, is the scan task's stop signal.
    CodeRead Read(interfaces::StopSignal* stop);
    std::string ScanCodeFromCOM() { return Read(nullptr).code; }

private:
    // Takes the bytes up to and with the suffix from `device` into `code`.
    // False when a stop cut it short.
    bool TakeCode(interfaces::Device& device, interfaces::StopSignal* stop, std::string& code);

    DeviceChannel& channel_;
    const Settings& settings_;
    Reporter& report_;
    interfaces::Ports& ports_;
};

}  // namespace orvanta::logic
