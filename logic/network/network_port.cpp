#include "logic/network/network_port.h"

#include "interfaces/threads.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

namespace orvanta::logic {

using interfaces::NetResult;
using interfaces::WriteEnd;

namespace {

// A wait for bytes looks at the stop signal at least this often.
constexpr std::uint32_t kWaitSliceMs = 1000;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool ParseNumber(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = static_cast<std::uint32_t>(std::stoul(text));
    return true;
}

bool ParseParity(const std::string& text, std::uint8_t& parity) {
    static const char kLetters[] = "noems";  // in the order of LineSettings::parity
    if (text.size() != 1 || !std::strchr(kLetters, text[0])) return false;
    parity = static_cast<std::uint8_t>(std::strchr(kLetters, text[0]) - kLetters);
    return true;
}

bool ParseStop(const std::string& text, std::uint8_t& stop) {
    if (text == "1") stop = 0;
    else if (text == "1.5") stop = 1;
    else if (text == "2") stop = 2;
    else return false;
    return true;
}

bool ParseData(const std::string& text, std::uint8_t& data) {
    std::uint32_t bits = 0;
    if (!ParseNumber(text, bits) || bits < 5 || bits > 8) return false;
    data = static_cast<std::uint8_t>(bits);
    return true;
}

// The handshake words a local port takes: accepted, as a server keeps its own.
bool IsHandshakeWord(const std::string& key, const std::string& value) {
    static const char* const kKeys[] = {"to", "xon", "odsr", "octs", "dtr", "rts", "idsr"};
    static const char* const kValues[] = {"on", "off", "hs", "tg"};
    const auto in = [](const char* const* list, std::size_t n, const std::string& s) {
        return std::find_if(list, list + n, [&](const char* w) { return s == w; }) != list + n;
    };
    return in(kKeys, 7, key) && in(kValues, 4, value);
}

const char* CommandName(ComPortCommand command) {
    switch (command) {
        case ComPortCommand::SetBaudRate: return "SET-BAUDRATE";
        case ComPortCommand::SetDataSize: return "SET-DATASIZE";
        case ComPortCommand::SetParity: return "SET-PARITY";
        case ComPortCommand::SetStopSize: return "SET-STOPSIZE";
        case ComPortCommand::SetControl: return "SET-CONTROL";
        case ComPortCommand::PurgeData: return "PURGE-DATA";
        default: return "COM-PORT";
    }
}

// A value as SetCOMSettings and SetSignalOnCOM name it, where they have a word for it.
std::string ValueText(ComPortCommand command, const std::vector<std::uint8_t>& value) {
    std::uint32_t number = 0;
    for (std::uint8_t byte : value) number = number << 8 | byte;
    static const char* const kParity[] = {"N", "O", "E", "M", "S"};
    static const char* const kStop[] = {"1", "2", "1.5"};
    static const char* const kControl[] = {"break on", "break off", "", "DTR on", "DTR off", "", "RTS on", "RTS off"};
    if (command == ComPortCommand::SetParity && number >= 1 && number <= 5) return kParity[number - 1];
    if (command == ComPortCommand::SetStopSize && number >= 1 && number <= 3) return kStop[number - 1];
    if (command == ComPortCommand::SetControl && number >= 5 && number <= 12 && *kControl[number - 5])
        return kControl[number - 5];
    return std::to_string(number);
}

}  // namespace

bool ParseLineMode(const std::string& mode, interfaces::LineSettings& settings) {
    interfaces::LineSettings out = settings;
    std::string text = Lower(mode);
    // "COM1: 9600,n,8,1" or "COM1:baud=9600 ...": the port's name is not ours to check.
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos && text.compare(0, 3, "com") == 0) text.erase(0, colon + 1);
    if (text.find('=') == std::string::npos) {
        // The short form: rate, parity, data bits, stop bits, each may be left out from the end.
        std::vector<std::string> parts;
        std::string part;
        for (char c : text + ",") {
            if (c == ',') {
                parts.push_back(part);
                part.clear();
            } else if (c != ' ') {
                part += c;
            }
        }
        if (parts.size() > 5 || parts[0].empty()) return false;
        std::uint32_t baud = 0;
        if (!ParseNumber(parts[0], baud)) return false;
        out.baud_rate = baud;
        if (parts.size() > 1 && !parts[1].empty() && !ParseParity(parts[1], out.parity)) return false;
        if (parts.size() > 2 && !parts[2].empty() && !ParseData(parts[2], out.data_bits)) return false;
        if (parts.size() > 3 && !parts[3].empty() && !ParseStop(parts[3], out.stop_bits)) return false;
        if (parts.size() > 4 && parts[4] != "x" && parts[4] != "p" && !parts[4].empty()) return false;
        settings = out;
        return true;
    }
    std::size_t at = 0;
    bool any = false;
    while (at < text.size()) {
        if (text[at] == ' ' || text[at] == '\t') {
            ++at;
            continue;
        }
        const std::size_t end = std::min(text.find_first_of(" \t", at), text.size());
        const std::string word = text.substr(at, end - at);
        at = end;
        const std::size_t equals = word.find('=');
        if (equals == std::string::npos) return false;
        const std::string key = word.substr(0, equals), value = word.substr(equals + 1);
        std::uint32_t baud = 0;
        if (key == "baud") {
            if (!ParseNumber(value, baud)) return false;
            out.baud_rate = baud;
        } else if (!(key == "parity" ? ParseParity(value, out.parity)
                     : key == "data" ? ParseData(value, out.data_bits)
                     : key == "stop" ? ParseStop(value, out.stop_bits)
                                     : IsHandshakeWord(key, value))) {
            return false;
        }
        any = true;
    }
    if (!any) return false;
    settings = out;
    return true;
}

NetworkPort::NetworkPort(std::unique_ptr<NetworkLink> link, std::function<std::uint32_t()> clock,
                         interfaces::StopSignal* give_up)
    : link_(std::move(link)), clock_(std::move(clock)), give_up_(give_up) {
    last_write_ = clock_();
}

void NetworkPort::End(NetResult result) {
    const std::uint32_t code = link_->LastError();
    std::uint32_t none = 0;
    lost_error_.compare_exchange_strong(
        none, result == NetResult::Closed ? interfaces::kPeerClosedError
                                          : code ? code : interfaces::kConnectionBrokenError);
    ended_ = true;
}

void NetworkPort::Close() {
    // The caller has stopped every reader and writer: the connection goes now.
    closed_ = true;
    link_.reset();
}

interfaces::WriteResult NetworkPort::Write(const void* data, std::uint32_t length, std::uint32_t limit_ms,
                                           interfaces::StopSignal* stop) {
    interfaces::WriteResult result;
    if (closed_) return result;
    if (clock_() - last_write_ >= kIdleLookMs) FetchIfIdle();
    writing_ = true;
    const NetResult sent = ended_ ? NetResult::Closed : link_->Write(data, length, limit_ms, stop, result.written);
    writing_ = false;
    last_write_ = clock_();
    switch (sent) {
        case NetResult::Ok: result.end = WriteEnd::kWritten; break;
        case NetResult::TimedOut: result.end = WriteEnd::kTimedOut; break;
        case NetResult::Stopped: result.end = WriteEnd::kStopped; break;
        default:
            // A connection that ended or failed: the write fails at once, and so does every later one.
            if (!ended_) End(sent);
            result.end = WriteEnd::kFailed;
            result.start_code = lost_error_;
            break;
    }
    return result;
}

bool NetworkPort::ReadLineSettings(interfaces::LineSettings& settings) {
    if (closed_) return false;
    settings = settings_;
    settings.event_char = static_cast<char>(event_char_.load());
    return true;
}

bool NetworkPort::ApplyLineSettings(const interfaces::LineChange& change) {
    if (closed_) return false;
    interfaces::LineSettings wanted = settings_;
    if (!ParseLineMode(change.mode, wanted)) return false;
    static constexpr Parity kParity[] = {Parity::None, Parity::Odd, Parity::Even, Parity::Mark, Parity::Space};
    static constexpr StopSize kStop[] = {StopSize::One, StopSize::OneAndHalf, StopSize::Two};
    const NetResult sent = ended_ ? NetResult::Closed
                                  : link_->SendLineSettings(wanted.baud_rate, wanted.data_bits,
                                                            kParity[wanted.parity], kStop[wanted.stop_bits]);
    if (sent != NetResult::Ok) {
        if (sent != NetResult::TimedOut && !ended_) End(sent);
        return false;
    }
    settings_ = wanted;
    event_char_ = static_cast<unsigned char>(change.event_char);
    // The server's answers come soon after; what came by now is noted.
    if (link_->IsRfc2217()) {
        const std::uint32_t start = clock_();
        while (link_->Pending() > 0 && clock_() - start < NetworkLink::kUnansweredMs) {
            std::unique_lock<std::mutex> reader(read_mutex_, std::try_to_lock);
            if (!reader || !Fetch(100, give_up_) || (give_up_ && give_up_->IsSet())) break;
        }
    }
    NoteSettled();
    return true;
}

bool NetworkPort::SetSignal(interfaces::LineSignal signal) {
    if (closed_) return false;
    using S = interfaces::LineSignal;
    Control control = Control::AskFlow;
    switch (signal) {
        case S::kSetRts: control = Control::RtsOn; break;
        case S::kClearRts: control = Control::RtsOff; break;
        case S::kSetDtr: control = Control::DtrOn; break;
        case S::kClearDtr: control = Control::DtrOff; break;
        case S::kSetBreak: control = Control::BreakOn; break;
        case S::kClearBreak: control = Control::BreakOff; break;
        case S::kSetXoff:
        case S::kSetXon:
            return true;  // the server's own flow control holds the line
    }
    FetchIfIdle();
    const NetResult sent = ended_ ? NetResult::Closed : link_->SendControl(control);
    if (sent != NetResult::Ok && sent != NetResult::TimedOut && !ended_) End(sent);
    NoteSettled();
    return sent == NetResult::Ok;
}

bool NetworkPort::ClearErrors(std::uint32_t& errors) {
    if (closed_) return false;
    FetchIfIdle();
    NoteSettled();
    errors = link_->TakeLineErrors() | held_errors_.exchange(0);
    return true;
}

void NetworkPort::Append(const std::string& bytes) {
    ahead_ += bytes;
    if (ahead_.size() <= kReadAheadLimit) return;
    const std::size_t drop = ahead_.size() - kReadAheadLimit;
    ahead_.erase(0, drop);
    searched_ -= std::min(searched_, drop);
    held_errors_ |= kReadAheadOverrun;
}

bool NetworkPort::Fetch(std::uint32_t limit_ms, interfaces::StopSignal* stop) {
    if (ended_) return false;
    NetResult result = link_->Wait(limit_ms, stop);
    if (result == NetResult::TimedOut) return true;
    std::string came;
    if (result == NetResult::Ok) result = link_->Poll(came);
    Append(came);
    if (result == NetResult::Closed || result == NetResult::Reset || result == NetResult::Failed) End(result);
    return result == NetResult::Ok;
}

void NetworkPort::FetchIfIdle() {
    std::unique_lock<std::mutex> reader(read_mutex_, std::try_to_lock);
    if (reader) Fetch(0, nullptr);
}

std::uint32_t NetworkPort::Take(void* buffer, std::size_t count) {
    const std::size_t n = std::min(count, ahead_.size());
    std::memcpy(buffer, ahead_.data(), n);
    ahead_.erase(0, n);
    searched_ -= std::min(searched_, n);
    return static_cast<std::uint32_t>(n);
}

bool NetworkPort::WaitEventChar(interfaces::StopSignal* stop) {
    if (closed_ || reads_refused_) return false;
    std::lock_guard<std::mutex> reader(read_mutex_);
    reading_ = true;
    const char wanted = static_cast<char>(event_char_.load());
    bool found = false;
    for (;;) {
        // Each arrival ends one wait: the bytes looked at before are not looked at again.
        const std::size_t at = ahead_.find(wanted, searched_);
        searched_ = at == std::string::npos ? ahead_.size() : at + 1;
        if (at != std::string::npos) {
            found = true;
            break;
        }
        if ((stop && stop->IsSet()) || !Fetch(kWaitSliceMs, stop)) break;
    }
    reading_ = false;
    return found;
}

std::uint32_t NetworkPort::Read(void* buffer, std::uint32_t count, interfaces::StopSignal* stop) {
    if (closed_ || reads_refused_ || count == 0) return 0;
    std::lock_guard<std::mutex> reader(read_mutex_);
    reading_ = true;
    auto* out = static_cast<char*>(buffer);
    std::uint32_t done = Take(out, count);
    while (done < count && !(stop && stop->IsSet()) && Fetch(kWaitSliceMs, stop))
        done += Take(out + done, count - done);
    done += Take(out + done, count - done);  // what came with an end
    reading_ = false;
    return done;
}

std::uint32_t NetworkPort::ReadThrough(char last, void* buffer, std::uint32_t count,
                                       interfaces::StopSignal* stop) {
    if (closed_ || reads_refused_ || count == 0) return 0;
    {
        std::lock_guard<std::mutex> reader(read_mutex_);
        if (!ahead_.empty()) {
            const std::size_t at = ahead_.find(last);
            return Take(buffer, at == std::string::npos ? count : std::min<std::size_t>(count, at + 1));
        }
    }
    return Read(buffer, 1, stop);
}

bool NetworkPort::WaitEventCharThenRead(char last, void* buffer, std::uint32_t count, std::uint32_t& taken,
                                        interfaces::StopSignal* stop) {
    taken = 0;
    if (!WaitEventChar(stop)) return false;
    if (!(stop && stop->IsSet())) taken = ReadThrough(last, buffer, count, stop);
    return true;
}

void NetworkPort::Note(std::string note) {
    std::lock_guard<std::mutex> lock(notes_mutex_);
    notes_.push_back(std::move(note));
}

std::vector<std::string> NetworkPort::TakeNotes() {
    std::lock_guard<std::mutex> lock(notes_mutex_);
    return std::exchange(notes_, {});
}

void NetworkPort::NoteSettled() {
    for (const Settled& s : link_->TakeSettled(NetworkLink::kUnansweredMs)) {
        std::string note = std::string(CommandName(s.command)) + " " + ValueText(s.command, s.asked);
        switch (s.outcome) {
            case Settled::Outcome::Confirmed: continue;  // as asked: nothing to say
            case Settled::Outcome::Refused: note += ": answered " + ValueText(s.command, s.answered); break;
            case Settled::Outcome::Unanswered: note += ": no answer"; break;
        }
        Note(std::move(note));
    }
}

std::unique_ptr<NetworkPort> OpenNetworkPort(interfaces::Network& network, const interfaces::NetworkPortName& name,
                                             std::function<std::uint32_t()> clock, interfaces::StopSignal* stop) {
    NetResult result = NetResult::Failed;
    std::uint32_t error = 0;
    auto connection = network.Connect(name.host, name.port, interfaces::kConnectLimitMs, stop, result, error);
    if (!connection) return nullptr;
    const bool rfc2217 = name.kind == interfaces::NetworkPortName::Kind::Rfc2217;
    auto link = std::make_unique<NetworkLink>(std::move(connection), rfc2217, clock);
    if (link->Start(NetworkLink::kStartLimitMs, stop) != NetResult::Ok) return nullptr;
    const bool agreed = link->ComPortAgreed();
    auto port = std::make_unique<NetworkPort>(std::move(link), std::move(clock), stop);
    if (rfc2217 && !agreed) port->Note("COM-PORT-OPTION: not agreed; line settings and signals are sent unconfirmed");
    return port;
}

}  // namespace orvanta::logic
