// Telnet with COM-port control (RFC 854, 855, 856, 858, 2217), as a client of
// a serial device server: what goes on the wire, and what comes off it as
// data bytes and the server's events. Plain bytes in, plain bytes out; the
// connection itself is the caller's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvanta::logic {

namespace telnet {
constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251;
constexpr std::uint8_t kSb = 250, kSe = 240;
constexpr std::uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
// A server's answer to a COM-port command carries the command's code plus this.
constexpr std::uint8_t kServerOffset = 100;
}  // namespace telnet

// COM-port commands, client to server.
enum class ComPortCommand : std::uint8_t {
    SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4, SetControl = 5,
    NotifyLineState = 6, NotifyModemState = 7, FlowControlSuspend = 8, FlowControlResume = 9,
    SetLineStateMask = 10, SetModemStateMask = 11, PurgeData = 12,
};

enum class Parity : std::uint8_t { None = 1, Odd = 2, Even = 3, Mark = 4, Space = 5 };
enum class StopSize : std::uint8_t { One = 1, Two = 2, OneAndHalf = 3 };
enum class Purge : std::uint8_t { Receive = 1, Transmit = 2, Both = 3 };

// SET-CONTROL values. 0, 4, 7, 10 and 13 ask for the state without changing it.
enum class Control : std::uint8_t {
    AskFlow = 0, FlowNone = 1, FlowXonXoff = 2, FlowHardware = 3,
    AskBreak = 4, BreakOn = 5, BreakOff = 6,
    AskDtr = 7, DtrOn = 8, DtrOff = 9,
    AskRts = 10, RtsOn = 11, RtsOff = 12,
    AskInFlow = 13, InFlowNone = 14, InFlowXonXoff = 15, InFlowHardware = 16,
    FlowDcd = 17, InFlowDtr = 18, FlowDsr = 19,
};

// NOTIFY-LINESTATE bits the line reports as errors.
constexpr std::uint8_t kLineOverrun = 0x02, kLineParity = 0x04, kLineFraming = 0x08, kLineBreak = 0x10;
// NOTIFY-MODEMSTATE bits of the signals' present state.
constexpr std::uint8_t kModemCts = 0x10, kModemDsr = 0x20, kModemRing = 0x40, kModemDcd = 0x80;

// Data for the wire: IAC doubled; without BINARY a bare CR goes as CR NUL.
std::string EncodeData(const void* data, std::size_t length, bool binary);
// How many bytes of the wire the byte at `at` takes: 1 or 2.
std::size_t EncodedLength(const std::uint8_t* bytes, std::size_t at, std::size_t length, bool binary);

// The client's opening: BINARY and SUPPRESS-GO-AHEAD both ways, and WILL
// COM-PORT-OPTION.
std::string ClientOpening();

// One COM-port subnegotiation, its value's IAC bytes doubled.
std::string ComPortRequest(ComPortCommand command, const std::vector<std::uint8_t>& value);
std::string SetBaudRate(std::uint32_t baud);  // 0 asks for the rate
std::string SetDataSize(std::uint8_t bits);   // 5 to 8; 0 asks
std::string SetParity(Parity parity);
std::string SetStopSize(StopSize size);
std::string SetControl(Control control);
std::string PurgeData(Purge what);
std::string SetLineStateMask(std::uint8_t mask);
std::string SetModemStateMask(std::uint8_t mask);

// Something the server said besides data.
struct ServerEvent {
    enum class Kind {
        Answer,       // to `command`, with the value it now holds
        LineState,    // NOTIFY-LINESTATE: value[0]
        ModemState,   // NOTIFY-MODEMSTATE: value[0]
        FlowSuspend,  // stop sending until FlowResume
        FlowResume,
        Refused,      // the server refused `option` (ours: DONT, its own: we said DONT)
        Accepted,     // `option` is now in force
    };
    Kind kind;
    std::uint8_t command = 0;  // a ComPortCommand code, for Answer
    std::uint8_t option = 0;   // for Refused and Accepted
    std::vector<std::uint8_t> value;
    bool operator==(const ServerEvent& o) const {
        return kind == o.kind && command == o.command && option == o.option && value == o.value;
    }
};

// What one piece of the stream gave.
struct Decoded {
    std::string data;     // the device's bytes
    std::string replies;  // to send back to the server, in this order
    std::vector<ServerEvent> events;
};

// The client's side of one telnet connection: decodes what the server sends,
// fed in pieces of any size (a sequence may be split anywhere), and answers
// its option requests. Memory is bounded: a subnegotiation longer than any
// the client reads is dropped whole.
class TelnetClient {
public:
    static constexpr std::size_t kMaxSubnegotiation = 64;

    // The opening to send first; marks the options asked for.
    std::string Open();
    void Feed(const void* data, std::size_t length, Decoded& out);

    // In force once the server agreed.
    bool SendsBinary() const { return us_[telnet::kBinary] == State::Yes; }
    bool ReceivesBinary() const { return him_[telnet::kBinary] == State::Yes; }
    bool ComPortAgreed() const { return us_[telnet::kComPort] == State::Yes; }
    // Subnegotiations dropped as over-long or malformed.
    std::size_t Dropped() const { return dropped_; }

private:
    enum class State : std::uint8_t { No, Yes, Asked };
    enum class Parse : std::uint8_t { Data, Cr, Iac, Verb, SbOption, Sb, SbIac };
    bool Supported(std::uint8_t option, bool ours) const;
    void Negotiate(std::uint8_t verb, std::uint8_t option, Decoded& out);
    void EndSubnegotiation(Decoded& out);
    void Command(std::uint8_t byte, Decoded& out);

    std::array<State, 256> us_{}, him_{};
    // An unsupported option is refused once; a peer that keeps asking gets silence.
    std::array<bool, 256> refused_us_{}, refused_him_{};
    Parse parse_ = Parse::Data;
    std::uint8_t verb_ = 0, sb_option_ = 0;
    bool sb_overlong_ = false;
    std::vector<std::uint8_t> sb_;
    std::size_t dropped_ = 0;
};

}  // namespace orvanta::logic
