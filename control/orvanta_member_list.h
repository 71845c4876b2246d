// The members of the automation interface _DOrvanta and of its event
// interface _DOrvantaEvents, written down once. The DISPIDs (orvanta_ids.h)
// and the dispatch table with each member's call (orvanta_members.cpp) are
// made from these lists; the unit tests check them against control/orvanta.idl,
// from which the type library is built, and the host fuzzer reads the members
// back from that library.
//
//   METHOD(name, dispid, result type, part, (parameter types), (parameter names))
//   PROPERTY(name, dispid, value type)
//   EVENT(name, dispid, (parameter types))
//
// Types are framework::AutoType names. The part is the one that implements the
// method, under the method's own name: the device channel, the code reader,
// the scan session, or the control object itself. A property is the field of
// the same name in logic::Settings. The parameter names are those of the type
// library. 1 to 26 are the positions in the dispatch table: the methods, then
// the nine properties; members added later take the next numbers, fixed once.
// AboutBox has the stock id hosts call it by.
#pragma once

#define ORVANTA_MEMBERS(METHOD, PROPERTY)                                                         \
    METHOD(Write, 1, kI4, channel, (kBstr), (str_ToWrite))                                         \
    METHOD(CloseDevice, 2, kVoid, control, (), ())                                                 \
    METHOD(Writeln, 3, kI4, channel, (kBstr), (str_ToWrite))                                       \
    METHOD(FormFeed, 4, kVoid, channel, (), ())                                                    \
    METHOD(OpenDevice, 5, kBool, control, (kBstr), (str_Name))                                     \
    METHOD(Flush, 6, kI4, channel, (), ())                                                         \
    METHOD(SendByte, 7, kI2, channel, (kI2), (b_ToSend))                                           \
    METHOD(SendEscCommand, 8, kI2, channel, (kBstr, kBstr), (c_Command, params))                   \
    METHOD(SendFile, 9, kI4, channel, (kBstr), (str_FileToSend))                                   \
    METHOD(SetSignalOnCOM, 10, kBool, channel, (kI2), (b_Signal))                                  \
    METHOD(ClearCOMError, 11, kI4, channel, (), ())                                                \
    METHOD(SetCOMSettings, 12, kBool, channel, (kBstr), (str_Params))                              \
    METHOD(WaitCOMSignal, 13, kI2, channel, (kI2), (onsignal))                                     \
    METHOD(ScanCodeFromCOM, 14, kBstr, reader, (), ())                                             \
    METHOD(DeactivateScanTask, 15, kI4, session, (kI4), (M_Task))                                  \
    METHOD(ActivateScanTask, 16, kI4, session, (), ())                                             \
    METHOD(ReadBytes, 17, kI4, channel, (kBstr, kI4, kI4), (str_Buffer, m_bufferlen, m_bytestoread)) \
    PROPERTY(withACKN, 18, kBool)                                                                  \
    PROPERTY(defaultComSettings, 19, kBstr)                                                        \
    PROPERTY(ScannerSuffixChar, 20, kI2)                                                           \
    PROPERTY(onlyWorkwithCurrentWindow, 21, kBool)                                                 \
    PROPERTY(debugModus, 22, kBool)                                                                \
    PROPERTY(ThreadId, 23, kI4)                                                                    \
    PROPERTY(scanWindowHandle, 24, kI4)                                                            \
    PROPERTY(timeout, 25, kI2)                                                                     \
    PROPERTY(chartooem, 26, kI2)                                                                   \
    METHOD(GetCOMPorts, 27, kVariant, control, (), ())                                             \
    METHOD(AboutBox, -552, kVoid, control, (), ())

// Raised on the host's thread (the control's apartment).
#define ORVANTA_EVENTS(EVENT)                                                                     \
    EVENT(CodeScanned, 1, (kBstr))                                                                 \
    EVENT(ScanEnded, 2, (kI4))
