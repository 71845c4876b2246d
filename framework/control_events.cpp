// Events of the control's default source interface: queued from any thread,
// fired on the control's own thread to every connected sink.
#include "framework/control_base.h"
#include "framework/dispatch.h"

namespace framework {

bool ControlBase::Post(std::int32_t dispid, const framework::EventArg* args, std::size_t count, bool last) {
    // Nobody listens: nothing is queued and the caller knows it.
    if (!event_point_.HasSinks()) return false;
    try {
        return events_.Post({dispid, std::vector<framework::EventArg>(args, args + count)}, last);
    } catch (...) {
        return false;
    }
}

void ControlBase::FireEvent(const EventQueue::Event& event) {
    std::vector<Variant> values(event.args.size());
    std::vector<VARIANT> args(event.args.size());
    for (std::size_t i = 0; i < event.args.size(); ++i) {
        const framework::EventArg& a = event.args[i];
        VARIANT* v = values[i].get();
        // Out of memory: better no event than a wrong one.
        if (FAILED(ToVariant(a.type, a.number, a.text, {}, v))) return;
        args[i] = *v;  // a shallow view; the point copies for each sink
    }
    event_point_.Fire(event.dispid, args.data(), static_cast<UINT>(args.size()));
}

}  // namespace framework
