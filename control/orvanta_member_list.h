// The members of the automation interface _DOrvanta and of its event
// interface _DOrvantaEvents, written down once. The DISPIDs (orvanta_ids.h),
// the dispatch table (orvanta_members.cpp), the switches of the COM object
// (orvanta_com.cpp) and the events the control raises (orvanta_ctrl.cpp) are
// generated from these lists; a unit test checks them against
// control/orvanta.idl, from which the type library is built.
//
//   METHOD(name, dispid, result type, parameter count, (parameter types))
//   PROPERTY(name, dispid, value type)
//   EVENT(name, dispid, parameter count, (parameter types))
//
// Types are framework::AutoType names. 1 to 26 are the positions in the
// dispatch table: the methods, then the nine properties; members added later
// take the next numbers, fixed once. AboutBox has the stock id hosts call it by.
#pragma once

#define ORVANTA_MEMBERS(METHOD, PROPERTY)                          \
    METHOD(Write, 1, kI4, 1, (kBstr))                              \
    METHOD(CloseDevice, 2, kVoid, 0, ())                           \
    METHOD(Writeln, 3, kI4, 1, (kBstr))                            \
    METHOD(FormFeed, 4, kVoid, 0, ())                              \
    METHOD(OpenDevice, 5, kBool, 1, (kBstr))                       \
    METHOD(Flush, 6, kI4, 0, ())                                   \
    METHOD(SendByte, 7, kI2, 1, (kI2))                             \
    METHOD(SendEscCommand, 8, kI2, 2, (kBstr, kBstr))              \
    METHOD(SendFile, 9, kI4, 1, (kBstr))                           \
    METHOD(SetSignalOnCOM, 10, kBool, 1, (kI2))                    \
    METHOD(ClearCOMError, 11, kI4, 0, ())                          \
    METHOD(SetCOMSettings, 12, kBool, 1, (kBstr))                  \
    METHOD(WaitCOMSignal, 13, kI2, 1, (kI2))                       \
    METHOD(ScanCodeFromCOM, 14, kBstr, 0, ())                      \
    METHOD(DeactivateScanTask, 15, kI4, 1, (kI4))                  \
    METHOD(ActivateScanTask, 16, kI4, 0, ())                       \
    METHOD(ReadBytes, 17, kI4, 3, (kBstr, kI4, kI4))               \
    PROPERTY(withACKN, 18, kBool)                                  \
    PROPERTY(defaultComSettings, 19, kBstr)                        \
    PROPERTY(ScannerSuffixChar, 20, kI2)                           \
    PROPERTY(onlyWorkwithCurrentWindow, 21, kBool)                 \
    PROPERTY(debugModus, 22, kBool)                                \
    PROPERTY(ThreadId, 23, kI4)                                    \
    PROPERTY(scanWindowHandle, 24, kI4)                            \
    PROPERTY(timeout, 25, kI2)                                     \
    PROPERTY(chartooem, 26, kI2)                                   \
    METHOD(GetCOMPorts, 27, kVariant, 0, ())                       \
    METHOD(AboutBox, -552, kVoid, 0, ())

// Raised on the host's thread (the control's apartment).
#define ORVANTA_EVENTS(EVENT)                                      \
    EVENT(CodeScanned, 1, 1, (kBstr))                              \
    EVENT(ScanEnded, 2, 1, (kI4))
