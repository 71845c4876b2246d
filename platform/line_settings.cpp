#include "platform/line_settings.h"

namespace orvanta::platform {

bool DcbRecord::operator==(const DcbRecord& o) const {
    return DCBlength == o.DCBlength && BaudRate == o.BaudRate && fBinary == o.fBinary &&
           fParity == o.fParity && fOutxCtsFlow == o.fOutxCtsFlow && fOutxDsrFlow == o.fOutxDsrFlow &&
           fDtrControl == o.fDtrControl && fDsrSensitivity == o.fDsrSensitivity &&
           fTXContinueOnXoff == o.fTXContinueOnXoff && fOutX == o.fOutX && fInX == o.fInX &&
           fErrorChar == o.fErrorChar && fNull == o.fNull && fRtsControl == o.fRtsControl &&
           fAbortOnError == o.fAbortOnError && XonLim == o.XonLim && XoffLim == o.XoffLim &&
           ByteSize == o.ByteSize && Parity == o.Parity && StopBits == o.StopBits &&
           XonChar == o.XonChar && XoffChar == o.XoffChar && ErrorChar == o.ErrorChar &&
           EofChar == o.EofChar && EvtChar == o.EvtChar;
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

}  // namespace orvanta::platform
