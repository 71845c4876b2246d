// Events of the control's default source interface: queued from any thread,
// fired on the control's own thread to every connected sink.
#include "framework/control_base.h"

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
        switch (a.type) {
        case framework::AutoType::kBstr:
            V_BSTR(v) = AnsiToBstr(a.text);
            if (!V_BSTR(v)) return;  // out of memory: better no event than a wrong one
            V_VT(v) = VT_BSTR;
            break;
        case framework::AutoType::kBool:
            V_VT(v) = VT_BOOL;
            V_BOOL(v) = a.number ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case framework::AutoType::kI2:
            V_VT(v) = VT_I2;
            V_I2(v) = static_cast<SHORT>(a.number);
            break;
        default:
            V_VT(v) = VT_I4;
            V_I4(v) = a.number;
            break;
        }
        args[i] = *v;  // a shallow view; the point copies for each sink
    }
    event_point_.Fire(event.dispid, args.data(), static_cast<UINT>(args.size()));
}

}  // namespace framework
