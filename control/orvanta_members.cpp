#include "control/orvanta_members.h"

#include "control/orvanta_ids.h"

namespace orvanta {

namespace {

using platform::AutoMember;
using T = platform::AutoType;

constexpr AutoMember kMembers[] = {
    {"Write", kDispidWrite, false, T::kI4, 1, {T::kBstr}},
    {"CloseDevice", kDispidCloseDevice, false, T::kVoid, 0, {}},
    {"Writeln", kDispidWriteln, false, T::kI4, 1, {T::kBstr}},
    {"FormFeed", kDispidFormFeed, false, T::kVoid, 0, {}},
    {"OpenDevice", kDispidOpenDevice, false, T::kBool, 1, {T::kBstr}},
    {"Flush", kDispidFlush, false, T::kI4, 0, {}},
    {"SendByte", kDispidSendByte, false, T::kI2, 1, {T::kI2}},
    {"SendEscCommand", kDispidSendEscCommand, false, T::kI2, 2, {T::kBstr, T::kBstr}},
    {"SendFile", kDispidSendFile, false, T::kI4, 1, {T::kBstr}},
    {"SetSignalOnCOM", kDispidSetSignalOnCOM, false, T::kBool, 1, {T::kI2}},
    {"ClearCOMError", kDispidClearCOMError, false, T::kI4, 0, {}},
    {"SetCOMSettings", kDispidSetCOMSettings, false, T::kBool, 1, {T::kBstr}},
    {"WaitCOMSignal", kDispidWaitCOMSignal, false, T::kI2, 1, {T::kI2}},
    {"ScanCodeFromCOM", kDispidScanCodeFromCOM, false, T::kBstr, 0, {}},
    {"DeactivateScanTask", kDispidDeactivateScanTask, false, T::kI4, 1, {T::kI4}},
    {"ActivateScanTask", kDispidActivateScanTask, false, T::kI4, 0, {}},
    {"ReadBytes", kDispidReadBytes, false, T::kI4, 3, {T::kBstr, T::kI4, T::kI4}},
    {"withACKN", kDispidwithACKN, true, T::kBool, 0, {}},
    {"defaultComSettings", kDispiddefaultComSettings, true, T::kBstr, 0, {}},
    {"ScannerSuffixChar", kDispidScannerSuffixChar, true, T::kI2, 0, {}},
    {"onlyWorkwithCurrentWindow", kDispidonlyWorkwithCurrentWindow, true, T::kBool, 0, {}},
    {"debugModus", kDispiddebugModus, true, T::kBool, 0, {}},
    {"ThreadId", kDispidThreadId, true, T::kI4, 0, {}},
    {"scanWindowHandle", kDispidscanWindowHandle, true, T::kI4, 0, {}},
    {"timeout", kDispidtimeout, true, T::kI2, 0, {}},
    {"chartooem", kDispidchartooem, true, T::kI2, 0, {}},
    {"AboutBox", kDispidAboutBox, false, T::kVoid, 0, {}},
};

constexpr platform::AutoTable kTable{kMembers, sizeof kMembers / sizeof kMembers[0]};

}  // namespace

const platform::AutoTable& OrvantaMembers() { return kTable; }

}  // namespace orvanta
