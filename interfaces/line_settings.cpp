#include "interfaces/line_settings.h"

namespace orvanta::interfaces {

bool DcbRecord::operator==(const DcbRecord& o) const {
    bool same = true;
#define ORVANTA_DCB_SAME(type, name, bits) same = same && name == o.name;
    ORVANTA_DCB_FIELDS(ORVANTA_DCB_SAME)
#undef ORVANTA_DCB_SAME
    return same;
}

LineSettings LineSettings::FromDcb(const DcbRecord& dcb) {
    LineSettings s;
    s.BaudRate = dcb.BaudRate;
    s.ByteSize = dcb.ByteSize;
    s.Parity = dcb.Parity;
    s.StopBits = dcb.StopBits;
    s.EvtChar = dcb.EvtChar;
    s.has_record = true;
    s.record = dcb;
    return s;
}

DcbRecord LineSettings::ToDcb(const DcbRecord& port_now) const {
    DcbRecord dcb = has_record ? record : port_now;
    dcb.BaudRate = BaudRate;
    dcb.ByteSize = ByteSize;
    dcb.Parity = Parity;
    dcb.StopBits = StopBits;
    dcb.EvtChar = EvtChar;
    return dcb;
}

}  // namespace orvanta::interfaces
