// The routes that read scanned codes, as the scanning, idle-cost and resource
// benchmarks set them up.
#pragma once

#include "bench/automation.h"
#include "bench/bench.h"
#include "testkit/dispatch_sink.h"

namespace bench {

enum ScanRoute { kScanRaw, kScanControl, kScanControlNoYield, kScanEvents, kScanRoutes };
inline const char* const kScanRouteNames[] = {"raw reader", "control", "control, no yield", "control, events"};

// The event route: the module loaded as a host loads it, the codes taken as
// a connected sink's CodeScanned on this thread (no window: scanWindowHandle
// -1 in message mode), each counted when its event comes.
class EventReceiver : public orvanta::testing::DispatchSink {
public:
    EventReceiver() : automation_(g_opt.ocx) {
        if (!automation_.ok() || !automation_.Connect(this)) return;
        const std::wstring port(g_opt.own_port.begin(), g_opt.own_port.end());
        const std::wstring mode(kLineMode, kLineMode + sizeof kLineMode - 1);
        VARIANT no, yes;
        V_VT(&no) = V_VT(&yes) = VT_BOOL;
        V_BOOL(&no) = VARIANT_FALSE;
        V_BOOL(&yes) = VARIANT_TRUE;
        ok_ = automation_.Call(L"OpenDevice", port.c_str()) != 0 &&
              automation_.Call(L"SetCOMSettings", mode.c_str()) != 0 && automation_.Put(L"withACKN", no) &&
              automation_.Put(L"debugModus", no) && automation_.Put(L"onlyWorkwithCurrentWindow", yes) &&
              automation_.Put(L"scanWindowHandle", orvanta::testing::Arg(-1)) &&
              automation_.Call(L"ActivateScanTask", nullptr) > 0;
    }
    ~EventReceiver() { automation_.Call(L"CloseDevice", nullptr); }
    bool ok() const { return ok_; }

    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        if (!params || params->cArgs != 1 || V_VT(&params->rgvarg[0]) != VT_BSTR) return S_OK;  // not a code
        const BSTR text = V_BSTR(&params->rgvarg[0]);
        const std::string code(text, text + SysStringLen(text));
        g_sink.done.push_back(Ticks());
        if (code != Code(g_sink.next_code)) ++g_sink.wrong;
        ++g_sink.next_code;
        SetEvent(g_sink.code_done);
        return S_OK;
    }

private:
    Automation automation_;
    bool ok_ = false;
};

// A reader of one route, ready on the control's port, delivering to the sink.
class ScanReceiver {
public:
    ScanReceiver(BenchHost& host, ScanRoute route) : host_(host) {
        if (route == kScanEvents) {
            events_ = std::make_unique<EventReceiver>();
            ok_ = events_->ok();
            return;
        }
        if (route == kScanRaw) {
            raw_ = std::make_unique<RawReader>(g_opt.own_port);
            ok_ = raw_->ok();
            return;
        }
        host.ports.yield = route != kScanControlNoYield;
        ctrl_ = std::make_unique<OrvantaControl>(host.Get());
        ok_ = ctrl_->OpenDevice(g_opt.own_port) && ctrl_->channel().SetCOMSettings(kLineMode);
        ctrl_->settings().withACKN = false;
        ctrl_->settings().debugModus = false;
        ctrl_->settings().onlyWorkwithCurrentWindow = true;
        ctrl_->settings().scanWindowHandle = SinkHandle();
        ok_ = ok_ && ctrl_->session().ActivateScanTask() != 0;
    }
    ~ScanReceiver() {
        if (ctrl_) {
            ctrl_->session().DeactivateScanTask(0);
            ctrl_.reset();
        }
        raw_.reset();
        events_.reset();
        host_.ports.yield = true;
    }
    bool ok() const { return ok_; }

private:
    BenchHost& host_;
    std::unique_ptr<OrvantaControl> ctrl_;
    std::unique_ptr<RawReader> raw_;
    std::unique_ptr<EventReceiver> events_;
    bool ok_ = false;
};

}  // namespace bench
