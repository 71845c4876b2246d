#include "logic/scanner/code_reader.h"

#include "logic/reporting/texts.h"

namespace orvanta::logic {

CodeReader::CodeRead CodeReader::Read(interfaces::StopSignal* stop) {
    CodeRead result;
    const DeviceChannel::CodeBytes read = channel_.ReadCode(stop);
    switch (read.wait) {
    case DeviceChannel::ReadWait::kNoDevice:
        result.no_device = true;
        return result;
    case DeviceChannel::ReadWait::kFailed:
        result.code = texts::kCodeError;
        result.wait_failed = true;
        return result;
    case DeviceChannel::ReadWait::kArrived:
        break;
    }
    // The text ends at its first zero byte.
    result.code = read.bytes.substr(0, read.bytes.find('\0'));
    result.taken = read.taken;
    // Other threads get the processor between codes.
    ports_.Sleep(0);
    return result;
}

}  // namespace orvanta::logic
