#include "logic/network/network_link.h"

#include <utility>

namespace orvanta::logic {

using interfaces::NetResult;

NetworkLink::NetworkLink(std::unique_ptr<interfaces::TcpConnection> connection, bool rfc2217,
                         std::function<std::uint32_t()> clock)
    : connection_(std::move(connection)), rfc2217_(rfc2217), clock_(std::move(clock)) {}

NetResult NetworkLink::Start(std::uint32_t limit_ms, interfaces::StopSignal* stop) {
    if (!rfc2217_) return NetResult::Ok;
    NetResult result = SendWhole(telnet_.Open(), limit_ms, stop);
    const std::uint32_t start = clock_();
    while (result == NetResult::Ok && !agreed_ && !com_port_refused_) {
        const std::uint32_t spent = clock_() - start;
        if (spent >= limit_ms) break;
        result = Wait(limit_ms - spent, stop);
        if (result == NetResult::Ok) result = Poll(early_);
    }
    return result == NetResult::TimedOut ? NetResult::Ok : result;
}

bool NetworkLink::DrainLocked(NetResult& result) {
    if (queued_.empty()) return true;
    std::uint32_t sent = 0;
    result = connection_->Send(queued_.data(), static_cast<std::uint32_t>(queued_.size()), 0, nullptr, sent);
    queued_.erase(0, sent);
    return queued_.empty();
}

NetResult NetworkLink::AwaitRoom(std::uint32_t start, std::uint32_t limit_ms, interfaces::StopSignal* stop) {
    const std::uint32_t spent = clock_() - start;
    if (spent >= limit_ms) return NetResult::TimedOut;
    const NetResult result = connection_->WaitWritable(limit_ms - spent, stop);
    return result == NetResult::TimedOut ? NetResult::Ok : result;  // the bound is looked at again
}

NetResult NetworkLink::SendWhole(const std::string& bytes, std::uint32_t limit_ms, interfaces::StopSignal* stop) {
    const std::uint32_t start = clock_();
    bool added = false;
    for (;;) {
        NetResult result = NetResult::Ok;
        {
            std::lock_guard<std::mutex> lock(send_mutex_);
            if (!added) queued_ += bytes;
            added = true;
            if (DrainLocked(result)) return NetResult::Ok;
        }
        if (result == NetResult::TimedOut) result = AwaitRoom(start, limit_ms, stop);
        if (result != NetResult::Ok) return result;
    }
}

NetResult NetworkLink::Write(const void* data, std::uint32_t length, std::uint32_t limit_ms,
                             interfaces::StopSignal* stop, std::uint32_t& written) {
    written = 0;
    const bool binary = sends_binary_;
    const std::string encoded = rfc2217_ ? EncodeData(data, length, binary) : std::string();
    const char* wire = rfc2217_ ? encoded.data() : static_cast<const char*>(data);
    const std::uint32_t size = rfc2217_ ? static_cast<std::uint32_t>(encoded.size()) : length;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::uint32_t start = clock_();
    std::uint32_t at = 0, whole = 0;  // of the wire gone or queued; of it, the caller's whole bytes
    for (;;) {
        NetResult result = NetResult::Ok;
        bool done = false;
        {
            std::lock_guard<std::mutex> lock(send_mutex_);
            if (DrainLocked(result)) {
                std::uint32_t sent = 0;
                result = connection_->Send(wire + at, size - at, 0, stop, sent);
                at += sent;
                // An escape cut in two is finished before any other send, or
                // the server would read a command: its rest goes first.
                for (std::uint32_t unit = 0; rfc2217_ && written < length; ++written, whole += unit) {
                    unit = static_cast<std::uint32_t>(EncodedLength(bytes, written, length, binary));
                    if (whole + unit <= at) continue;
                    if (whole == at) break;
                    queued_.assign(wire + at, whole + unit - at);
                    at = whole + unit;
                }
                if (!rfc2217_) written = at;
            }
            done = at == size && queued_.empty();
        }
        if (done) return NetResult::Ok;
        if (result == NetResult::TimedOut) result = AwaitRoom(start, limit_ms, stop);
        if (result != NetResult::Ok) return result;
    }
}

NetResult NetworkLink::Poll(std::string& data) {
    if (!early_.empty() && &data != &early_) {
        data += early_;
        early_.clear();
    }
    char buffer[4096];
    // A bounded number of pieces per call, so a fast sender cannot hold the reader here.
    for (int piece = 0; piece < 16; ++piece) {
        std::uint32_t n = 0;
        const NetResult result = connection_->Receive(buffer, sizeof buffer, n);
        if (result != NetResult::Ok) return result;
        if (n == 0) break;
        if (!rfc2217_) {
            data.append(buffer, n);
            continue;
        }
        Decoded decoded;
        telnet_.Feed(buffer, n, decoded);
        data += decoded.data;
        sends_binary_ = telnet_.SendsBinary();
        agreed_ = telnet_.ComPortAgreed();
        Record(decoded.events);
        if (!decoded.replies.empty()) {
            const NetResult sent = SendWhole(decoded.replies, kRequestLimitMs, nullptr);
            if (sent != NetResult::Ok && sent != NetResult::TimedOut) return sent;
        }
    }
    return NetResult::Ok;
}

void NetworkLink::Record(const std::vector<ServerEvent>& events) {
    std::lock_guard<std::mutex> lock(state_mutex_);
    for (const ServerEvent& e : events) {
        switch (e.kind) {
            case ServerEvent::Kind::Answer:
                if (auto settled = ledger_.Answered(e.command, e.value)) settled_.push_back(std::move(*settled));
                break;
            case ServerEvent::Kind::LineState:
                line_errors_ |= e.value[0] & (kLineOverrun | kLineParity | kLineFraming | kLineBreak);
                break;
            case ServerEvent::Kind::ModemState: modem_state_ = e.value[0]; break;
            case ServerEvent::Kind::FlowSuspend: suspended_ = true; break;
            case ServerEvent::Kind::FlowResume: suspended_ = false; break;
            case ServerEvent::Kind::Refused:
                if (e.option == telnet::kComPort) com_port_refused_ = true;
                break;
            case ServerEvent::Kind::Accepted: break;
        }
    }
}

NetResult NetworkLink::Request(ComPortCommand command, std::vector<std::uint8_t> value) {
    {
        std::lock_guard<std::mutex> lock(state_mutex_);
        if (com_port_refused_) {
            settled_.push_back({command, std::move(value), {}, Settled::Outcome::Refused});
            return NetResult::Ok;
        }
    }
    const NetResult result = SendWhole(ComPortRequest(command, value), kRequestLimitMs, nullptr);
    std::lock_guard<std::mutex> lock(state_mutex_);
    if (auto given_up = ledger_.Sent(command, std::move(value), clock_())) settled_.push_back(std::move(*given_up));
    return result;
}

NetResult NetworkLink::SendLineSettings(std::uint32_t baud, std::uint8_t data_bits, Parity parity,
                                        StopSize stop_size) {
    if (!rfc2217_) return NetResult::Ok;
    NetResult result = Request(ComPortCommand::SetBaudRate,
                               {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                                static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)});
    if (result == NetResult::Ok) result = Request(ComPortCommand::SetDataSize, {data_bits});
    if (result == NetResult::Ok) result = Request(ComPortCommand::SetParity, {static_cast<std::uint8_t>(parity)});
    if (result == NetResult::Ok) result = Request(ComPortCommand::SetStopSize, {static_cast<std::uint8_t>(stop_size)});
    return result;
}

NetResult NetworkLink::SendControl(Control control) {
    return rfc2217_ ? Request(ComPortCommand::SetControl, {static_cast<std::uint8_t>(control)}) : NetResult::Ok;
}

NetResult NetworkLink::SendPurge(Purge what) {
    return rfc2217_ ? Request(ComPortCommand::PurgeData, {static_cast<std::uint8_t>(what)}) : NetResult::Ok;
}

std::uint8_t NetworkLink::TakeLineErrors() {
    std::lock_guard<std::mutex> lock(state_mutex_);
    return std::exchange(line_errors_, std::uint8_t{0});
}

std::vector<Settled> NetworkLink::TakeSettled(std::uint32_t unanswered_ms) {
    std::lock_guard<std::mutex> lock(state_mutex_);
    for (Settled& s : ledger_.Expire(clock_(), unanswered_ms)) settled_.push_back(std::move(s));
    return std::exchange(settled_, {});
}

}  // namespace orvanta::logic
