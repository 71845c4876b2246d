// The members of the automation interface _DOrvanta and of its event
// interface _DOrvantaEvents, written down once. Everything else is made from
// these lists: the DISPIDs and counts (orvanta_ids.h), the dispatch table with
// each member's call (orvanta_members.cpp), the events' arguments
// (orvanta_control.cpp), the two dispinterfaces of the type library
// (control/member_list.py writes them into control/orvanta.idl.in at build
// time), and what the reference check and the host fuzzer know of them.
//
//   METHOD(name, dispid, result type, part, timing, (parameter types), (parameter names))
//   PROPERTY(name, dispid, value type)
//   STATE(name, dispid, value type, part)
//   EVENT(name, dispid, (parameter types), (parameter names))
//
// Types are framework::AutoType names. The part is the one that implements the
// method, under the method's own name: the device channel, the scan session,
// or the control object itself. The timing is `waits` for a method that may
// wait on the device for as long as its time-out allows (a host
// that calls it must be ready to be held), `prompt` otherwise. A property is
// the field of the same name in logic::Settings; a state is a read-only
// property whose value the part's member of its name gives. The parameter names are those
// of the type library. 1 to 26 are the positions in the dispatch table: the
// methods, then the nine properties; members added later take the next
// numbers, fixed once. GetCOMPorts returns an array of port names,
// GetCOMPortDetails one of tab-separated port details; AboutBox
// has the stock id hosts look for (DISPID_ABOUTBOX).
#pragma once

#define ORVANTA_MEMBERS(METHOD, PROPERTY, STATE)                                                            \
    METHOD(Write, 1, kI4, channel, prompt, (kBstr), (str_ToWrite))                                           \
    METHOD(CloseDevice, 2, kVoid, control, prompt, (), ())                                                   \
    METHOD(Writeln, 3, kI4, channel, prompt, (kBstr), (str_ToWrite))                                         \
    METHOD(FormFeed, 4, kVoid, channel, prompt, (), ())                                                      \
    METHOD(OpenDevice, 5, kBool, control, prompt, (kBstr), (str_Name))                                       \
    METHOD(Flush, 6, kI4, channel, prompt, (), ())                                                           \
    METHOD(SendByte, 7, kI2, channel, prompt, (kI2), (b_ToSend))                                             \
    METHOD(SendEscCommand, 8, kI2, channel, prompt, (kBstr, kBstr), (c_Command, params))                     \
    METHOD(SendFile, 9, kI4, channel, prompt, (kBstr), (str_FileToSend))                                     \
    METHOD(SetSignalOnCOM, 10, kBool, channel, prompt, (kI2), (b_Signal))                                    \
    METHOD(ClearCOMError, 11, kI4, channel, prompt, (), ())                                                  \
    METHOD(SetCOMSettings, 12, kBool, channel, prompt, (kBstr), (str_Params))                                \
    METHOD(WaitCOMSignal, 13, kI2, channel, waits, (kI2), (onsignal))                                        \
    METHOD(ScanCodeFromCOM, 14, kBstr, channel, waits, (), ())                                               \
    METHOD(DeactivateScanTask, 15, kI4, session, prompt, (kI4), (M_Task))                                    \
    METHOD(ActivateScanTask, 16, kI4, session, prompt, (), ())                                               \
    METHOD(ReadBytes, 17, kI4, channel, waits, (kBstr, kI4, kI4), (str_Buffer, m_bufferlen, m_bytestoread))  \
    PROPERTY(withACKN, 18, kBool)                                                                            \
    PROPERTY(defaultComSettings, 19, kBstr)                                                                  \
    PROPERTY(ScannerSuffixChar, 20, kI2)                                                                     \
    PROPERTY(onlyWorkwithCurrentWindow, 21, kBool)                                                           \
    PROPERTY(debugModus, 22, kBool)                                                                          \
    PROPERTY(ThreadId, 23, kI4)                                                                              \
    PROPERTY(scanWindowHandle, 24, kI4)                                                                      \
    PROPERTY(timeout, 25, kI2)                                                                               \
    PROPERTY(chartooem, 26, kI2)                                                                             \
    METHOD(GetCOMPorts, 27, kVariant, control, prompt, (), ())                                               \
    METHOD(GetCOMPortDetails, 28, kVariant, control, prompt, (), ())                                         \
    METHOD(AboutBox, -552, kVoid, control, prompt, (), ())                                                   \
    STATE(DevicePresent, 29, kBool, channel)

// Raised on the host's thread (the control's apartment).
#define ORVANTA_EVENTS(EVENT)                              \
    EVENT(CodeScanned, 1, (kBstr), (Code))                 \
    EVENT(ScanEnded, 2, (kI4), (Reason))                   \
    EVENT(DeviceLost, 3, (kBstr, kI4), (Name, Error))      \
    EVENT(DeviceBack, 4, (kBstr), (Name))
