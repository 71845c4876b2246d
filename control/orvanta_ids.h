// The DISPIDs of the automation interface _DOrvanta, for code that binds
// calls to the control without the Windows headers. They must match
// control/orvanta.idl, the type library hosts read them from; the GUIDs live
// only there (C++ gets them from the generated orvanta.h).
#pragma once

#include <cstdint>

namespace orvanta {

// 1 to 26 are the positions in the dispatch table: the methods, then the
// nine properties. AboutBox has the stock id hosts call it by.
enum Dispid : std::int32_t {
    kDispidWrite = 1,
    kDispidCloseDevice = 2,
    kDispidWriteln = 3,
    kDispidFormFeed = 4,
    kDispidOpenDevice = 5,
    kDispidFlush = 6,
    kDispidSendByte = 7,
    kDispidSendEscCommand = 8,
    kDispidSendFile = 9,
    kDispidSetSignalOnCOM = 10,
    kDispidClearCOMError = 11,
    kDispidSetCOMSettings = 12,
    kDispidWaitCOMSignal = 13,
    kDispidScanCodeFromCOM = 14,
    kDispidDeactivateScanTask = 15,
    kDispidActivateScanTask = 16,
    kDispidReadBytes = 17,
    kDispidwithACKN = 18,
    kDispiddefaultComSettings = 19,
    kDispidScannerSuffixChar = 20,
    kDispidonlyWorkwithCurrentWindow = 21,
    kDispiddebugModus = 22,
    kDispidThreadId = 23,
    kDispidscanWindowHandle = 24,
    kDispidtimeout = 25,
    kDispidchartooem = 26,
    kDispidAboutBox = -552,
};

inline constexpr int kMethodCount = 18;    // with AboutBox
inline constexpr int kPropertyCount = 9;

}  // namespace orvanta
