#include "logic/network/telnet.h"

namespace orvanta::logic {

using namespace telnet;

namespace {

void Option(std::string& out, std::uint8_t verb, std::uint8_t option) {
    out += static_cast<char>(kIac);
    out += static_cast<char>(verb);
    out += static_cast<char>(option);
}

// The length a server's answer to each command must have: the rate 4 bytes,
// every other value 1. 0: the server sends no such answer.
std::size_t AnswerLength(std::uint8_t command) {
    if (command == static_cast<std::uint8_t>(ComPortCommand::SetBaudRate)) return 4;
    if (command == static_cast<std::uint8_t>(ComPortCommand::FlowControlSuspend) ||
        command == static_cast<std::uint8_t>(ComPortCommand::FlowControlResume))
        return 0;
    return command >= 1 && command <= 12 ? 1 : static_cast<std::size_t>(-1);
}

}  // namespace

std::size_t EncodedLength(const std::uint8_t* bytes, std::size_t at, std::size_t length, bool binary) {
    if (bytes[at] == kIac) return 2;
    // NVT: a CR not followed by LF goes as CR NUL.
    return !binary && bytes[at] == '\r' && (at + 1 == length || bytes[at + 1] != '\n') ? 2 : 1;
}

std::string EncodeData(const void* data, std::size_t length, bool binary) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::string out;
    out.reserve(length + length / 16 + 1);
    for (std::size_t i = 0; i < length; ++i) {
        out += static_cast<char>(bytes[i]);
        if (EncodedLength(bytes, i, length, binary) == 2) out += bytes[i] == kIac ? static_cast<char>(kIac) : '\0';
    }
    return out;
}

std::string ClientOpening() {
    std::string out;
    Option(out, kWill, kBinary);
    Option(out, kDo, kBinary);
    Option(out, kWill, kSuppressGoAhead);
    Option(out, kDo, kSuppressGoAhead);
    Option(out, kWill, kComPort);
    return out;
}

std::string ComPortRequest(ComPortCommand command, const std::vector<std::uint8_t>& value) {
    std::string out = {static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                       static_cast<char>(command)};
    for (std::uint8_t b : value) {
        out += static_cast<char>(b);
        if (b == kIac) out += static_cast<char>(kIac);
    }
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSe);
    return out;
}

std::string SetBaudRate(std::uint32_t baud) {
    return ComPortRequest(ComPortCommand::SetBaudRate,
                          {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                           static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)});
}
std::string SetDataSize(std::uint8_t bits) { return ComPortRequest(ComPortCommand::SetDataSize, {bits}); }
std::string SetParity(Parity parity) {
    return ComPortRequest(ComPortCommand::SetParity, {static_cast<std::uint8_t>(parity)});
}
std::string SetStopSize(StopSize size) {
    return ComPortRequest(ComPortCommand::SetStopSize, {static_cast<std::uint8_t>(size)});
}
std::string SetControl(Control control) {
    return ComPortRequest(ComPortCommand::SetControl, {static_cast<std::uint8_t>(control)});
}
std::string PurgeData(Purge what) {
    return ComPortRequest(ComPortCommand::PurgeData, {static_cast<std::uint8_t>(what)});
}
std::string SetLineStateMask(std::uint8_t mask) { return ComPortRequest(ComPortCommand::SetLineStateMask, {mask}); }
std::string SetModemStateMask(std::uint8_t mask) {
    return ComPortRequest(ComPortCommand::SetModemStateMask, {mask});
}

std::string TelnetClient::Open() {
    us_[kBinary] = us_[kSuppressGoAhead] = State::Asked;
    him_[kBinary] = him_[kSuppressGoAhead] = State::Asked;
    us_[kComPort] = State::Asked;
    return ClientOpening();
}

bool TelnetClient::Supported(std::uint8_t option, bool ours) const {
    if (option == kBinary || option == kSuppressGoAhead) return true;
    // COM-port control is the client's option; the server's own is not used.
    return ours && option == kComPort;
}

// RFC 1143's rules without the queue: answer a request only when it changes
// the state, never answer an answer, so two sides cannot loop.
void TelnetClient::Negotiate(std::uint8_t verb, std::uint8_t option, Decoded& out) {
    const bool ours = verb == kDo || verb == kDont;
    const bool enable = verb == kDo || verb == kWill;
    State& state = ours ? us_[option] : him_[option];
    const std::uint8_t yes = ours ? kWill : kDo, no = ours ? kWont : kDont;
    if (enable) {
        if (state == State::Yes) return;
        if (!Supported(option, ours)) {
            bool& refused = ours ? refused_us_[option] : refused_him_[option];
            if (!refused) Option(out.replies, no, option);
            refused = true;
            return;
        }
        if (state == State::No) Option(out.replies, yes, option);
        state = State::Yes;
        out.events.push_back({ServerEvent::Kind::Accepted, 0, option, {}});
        return;
    }
    if (state == State::No) return;
    // Asked and refused: no answer. In force and withdrawn: acknowledge.
    if (state == State::Yes) Option(out.replies, no, option);
    state = State::No;
    out.events.push_back({ServerEvent::Kind::Refused, 0, option, {}});
}

void TelnetClient::EndSubnegotiation(Decoded& out) {
    if (sb_overlong_) {
        ++dropped_;
        return;
    }
    if (sb_option_ != kComPort) return;  // options the client never reads
    if (sb_.empty() || sb_[0] < kServerOffset) {
        ++dropped_;
        return;
    }
    const std::uint8_t command = static_cast<std::uint8_t>(sb_[0] - kServerOffset);
    std::vector<std::uint8_t> value(sb_.begin() + 1, sb_.end());
    if (command == 0) return;  // the signature: text, not read
    if (value.size() != AnswerLength(command)) {
        ++dropped_;
        return;
    }
    using Kind = ServerEvent::Kind;
    Kind kind = Kind::Answer;
    switch (static_cast<ComPortCommand>(command)) {
        case ComPortCommand::NotifyLineState: kind = Kind::LineState; break;
        case ComPortCommand::NotifyModemState: kind = Kind::ModemState; break;
        case ComPortCommand::FlowControlSuspend: kind = Kind::FlowSuspend; break;
        case ComPortCommand::FlowControlResume: kind = Kind::FlowResume; break;
        default: break;
    }
    out.events.push_back({kind, command, 0, std::move(value)});
}

// The byte after an IAC outside a subnegotiation.
void TelnetClient::Command(std::uint8_t byte, Decoded& out) {
    if (byte == kIac) {
        out.data += static_cast<char>(kIac);
        parse_ = Parse::Data;
    } else if (byte >= kWill && byte <= kDont) {
        verb_ = byte;
        parse_ = Parse::Verb;
    } else if (byte == kSb) {
        parse_ = Parse::SbOption;
    } else {
        parse_ = Parse::Data;  // NOP, GA, DM, a stray SE, ...: nothing for the device
    }
}

void TelnetClient::Feed(const void* data, std::size_t length, Decoded& out) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = bytes[i];
        switch (parse_) {
            case Parse::Cr:
                parse_ = Parse::Data;
                if (b == 0) break;  // CR NUL is a bare CR
                [[fallthrough]];
            case Parse::Data:
                if (b == kIac) {
                    parse_ = Parse::Iac;
                } else {
                    out.data += static_cast<char>(b);
                    if (b == '\r' && !ReceivesBinary()) parse_ = Parse::Cr;
                }
                break;
            case Parse::Iac:
                Command(b, out);
                break;
            case Parse::Verb:
                Negotiate(verb_, b, out);
                parse_ = Parse::Data;
                break;
            case Parse::SbOption:
                sb_option_ = b;
                sb_.clear();
                sb_overlong_ = false;
                parse_ = Parse::Sb;
                break;
            case Parse::Sb:
                if (b == kIac) {
                    parse_ = Parse::SbIac;
                } else if (sb_.size() < kMaxSubnegotiation) {
                    sb_.push_back(b);
                } else {
                    sb_overlong_ = true;
                }
                break;
            case Parse::SbIac:
                if (b == kIac) {
                    if (sb_.size() < kMaxSubnegotiation) sb_.push_back(kIac);
                    else sb_overlong_ = true;
                    parse_ = Parse::Sb;
                } else if (b == kSe) {
                    EndSubnegotiation(out);
                    parse_ = Parse::Data;
                } else {
                    // A subnegotiation cut short by a command: drop it, obey the command.
                    ++dropped_;
                    Command(b, out);
                }
                break;
        }
    }
}

}  // namespace orvanta::logic
