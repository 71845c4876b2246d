// Serial line settings as a value: the five fields the control reads and
// changes, and the port's whole record behind them, so that a settings
// read-modify-write keeps every field the control never names. The record
// has the shape of Win32's DCB, field for field, without needing Windows:
// the conversions here are pure and tested on any machine.
#pragma once

#include <cstdint>

namespace orvanta::interfaces {

// The fields of a DCB, in its order: type, name and, for the flag bits,
// their width as a mask (0: a whole field). The record, its comparison and
// the Win32 conversions are all made from this one list.
#define ORVANTA_DCB_FIELDS(X) \
    X(std::uint32_t, DCBlength, 0) \
    X(std::uint32_t, BaudRate, 0) \
    X(std::uint8_t, fBinary, 1) \
    X(std::uint8_t, fParity, 1) \
    X(std::uint8_t, fOutxCtsFlow, 1) \
    X(std::uint8_t, fOutxDsrFlow, 1) \
    X(std::uint8_t, fDtrControl, 3) \
    X(std::uint8_t, fDsrSensitivity, 1) \
    X(std::uint8_t, fTXContinueOnXoff, 1) \
    X(std::uint8_t, fOutX, 1) \
    X(std::uint8_t, fInX, 1) \
    X(std::uint8_t, fErrorChar, 1) \
    X(std::uint8_t, fNull, 1) \
    X(std::uint8_t, fRtsControl, 3) \
    X(std::uint8_t, fAbortOnError, 1) \
    X(std::uint16_t, XonLim, 0) \
    X(std::uint16_t, XoffLim, 0) \
    X(std::uint8_t, ByteSize, 0) \
    X(std::uint8_t, Parity, 0) \
    X(std::uint8_t, StopBits, 0) \
    X(char, XonChar, 0) \
    X(char, XoffChar, 0) \
    X(char, ErrorChar, 0) \
    X(char, EofChar, 0) \
    X(char, EvtChar, 0)

// One member per field (the flag bits as 0 or 1).
struct DcbRecord {
#define ORVANTA_DCB_MEMBER(type, name, bits) type name = 0;
    ORVANTA_DCB_FIELDS(ORVANTA_DCB_MEMBER)
#undef ORVANTA_DCB_MEMBER

    bool operator==(const DcbRecord& other) const;
    bool operator!=(const DcbRecord& other) const { return !(*this == other); }
};

struct LineSettings {
    std::uint32_t BaudRate = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    char EvtChar = 0;

    // The port's record these settings came from; none until they were read
    // from a port or parsed onto one.
    bool has_record = false;
    DcbRecord record;

    // The five fields of `dcb`, with `dcb` kept as the record behind them.
    static LineSettings FromDcb(const DcbRecord& dcb);
    // The record to write back: the kept one, or `port_now` when none is
    // kept, with the five fields laid over it (a field changed by hand
    // outranks the record).
    DcbRecord ToDcb(const DcbRecord& port_now) const;
};

}  // namespace orvanta::interfaces
