// A running scan task as the control holds it: the number that names it, the
// signal that stops it, and its worker thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/threads.h"

namespace orvanta {

struct ScanTask {
    std::int32_t reference = 0;
    std::unique_ptr<platform::StopSignal> stop;
    std::unique_ptr<platform::Worker> worker;
    // Set once "ENDSCAN" is answered: the task reads no more and only its
    // closing messages remain, so a new activation starts a new task.
    std::atomic<bool> closing{false};
};

// Task references: small positive numbers, unique in the process while it
// runs for a long time (they wrap after 2^31 - 1 tasks, skipping 0).
std::int32_t NextTaskReference();

}  // namespace orvanta
