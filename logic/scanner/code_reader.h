// Reading one scanned code: the channel hands over the bytes up to the
// suffix, the reader makes them the code.
#pragma once

#include <string>

#include "logic/device/channel.h"
#include "interfaces/port.h"
#include "interfaces/threads.h"

namespace orvanta::logic {

class CodeReader {
public:
    CodeReader(DeviceChannel& channel, interfaces::Ports& ports) : channel_(channel), ports_(ports) {}

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
    DeviceChannel& channel_;
    interfaces::Ports& ports_;
};

}  // namespace orvanta::logic
