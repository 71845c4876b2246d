// What a serial device server confirmed of the settings and signals the
// client sent it. Servers differ: some answer every command, some only the
// line settings, some refuse a value. The port asks here, without waiting,
// which requests were answered, which were answered with another value, and
// which stayed unanswered past a bound, and says so in debug mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "logic/network/telnet.h"

namespace orvanta::logic {

struct Settled {
    enum class Outcome { Confirmed, Refused, Unanswered };
    ComPortCommand command;
    std::vector<std::uint8_t> asked, answered;  // answered: empty when Unanswered
    Outcome outcome;
};

class ComPortLedger {
public:
    // More outstanding requests than this: the oldest counts as unanswered.
    static constexpr std::size_t kMaxPending = 32;

    // A request went out at `now_ms` (the system's wrapping tick count).
    // Returns a request that had to be given up to keep the bound.
    std::optional<Settled> Sent(ComPortCommand command, std::vector<std::uint8_t> value, std::uint32_t now_ms);
    // The server's answer (ServerEvent::Kind::Answer) settles the oldest
    // request of its kind; nothing when none was outstanding.
    std::optional<Settled> Answered(std::uint8_t command, const std::vector<std::uint8_t>& value);
    // The requests older than `limit_ms`, each given up once.
    std::vector<Settled> Expire(std::uint32_t now_ms, std::uint32_t limit_ms);
    std::size_t Pending() const { return pending_.size(); }

private:
    struct Request {
        ComPortCommand command;
        std::vector<std::uint8_t> value;
        std::uint32_t sent_ms;
    };
    std::deque<Request> pending_;
};

}  // namespace orvanta::logic
