#include "logic/network/com_port_ledger.h"

#include <utility>

namespace orvanta::logic {

namespace {

// SET-CONTROL's values fall in groups the server answers each on its own:
// outbound flow, break, DTR, RTS, inbound flow.
int ControlGroup(std::uint8_t value) {
    if (value <= 3 || value == 17 || value == 19) return 0;
    if (value <= 6) return 1;
    if (value <= 9) return 2;
    if (value <= 12) return 3;
    return 4;
}

bool SameKind(ComPortCommand command, const std::vector<std::uint8_t>& asked, std::uint8_t answered_command,
              const std::vector<std::uint8_t>& answered) {
    if (static_cast<std::uint8_t>(command) != answered_command) return false;
    if (command != ComPortCommand::SetControl) return true;
    return !asked.empty() && !answered.empty() && ControlGroup(asked[0]) == ControlGroup(answered[0]);
}

// A value of 0 asks for the present setting (so does each group's first
// SET-CONTROL value): any answer is one.
bool IsQuestion(ComPortCommand command, const std::vector<std::uint8_t>& value) {
    bool zero = true;
    for (std::uint8_t b : value) zero = zero && b == 0;
    if (command == ComPortCommand::SetControl)
        return !value.empty() && (value[0] == 0 || value[0] == 4 || value[0] == 7 || value[0] == 10 || value[0] == 13);
    return zero && command != ComPortCommand::SetLineStateMask && command != ComPortCommand::SetModemStateMask;
}

}  // namespace

std::optional<Settled> ComPortLedger::Sent(ComPortCommand command, std::vector<std::uint8_t> value,
                                          std::uint32_t now_ms) {
    std::optional<Settled> given_up;
    if (pending_.size() >= kMaxPending) {
        Request& old = pending_.front();
        given_up = Settled{old.command, std::move(old.value), {}, Settled::Outcome::Unanswered};
        pending_.pop_front();
    }
    pending_.push_back({command, std::move(value), now_ms});
    return given_up;
}

std::optional<Settled> ComPortLedger::Answered(std::uint8_t command, const std::vector<std::uint8_t>& value) {
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (!SameKind(it->command, it->value, command, value)) continue;
        const bool agreed = IsQuestion(it->command, it->value) || it->value == value;
        Settled settled{it->command, std::move(it->value), value,
                        agreed ? Settled::Outcome::Confirmed : Settled::Outcome::Refused};
        pending_.erase(it);
        return settled;
    }
    return std::nullopt;
}

std::vector<Settled> ComPortLedger::Expire(std::uint32_t now_ms, std::uint32_t limit_ms) {
    std::vector<Settled> expired;
    while (!pending_.empty() && static_cast<std::uint32_t>(now_ms - pending_.front().sent_ms) >= limit_ms) {
        Request& old = pending_.front();
        expired.push_back({old.command, std::move(old.value), {}, Settled::Outcome::Unanswered});
        pending_.pop_front();
    }
    return expired;
}

}  // namespace orvanta::logic
