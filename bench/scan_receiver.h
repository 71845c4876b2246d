// The routes that read scanned codes, as the scanning, idle-cost and resource
// benchmarks set them up.
#pragma once

#include "bench/bench.h"

namespace bench {

enum ScanRoute { kScanRaw, kScanControl, kScanControlNoYield, kScanRoutes };
inline const char* const kScanRouteNames[] = {"raw reader", "control", "control, no yield"};

// A reader of one route, ready on the control's port, delivering to the sink.
class ScanReceiver {
public:
    ScanReceiver(BenchHost& host, ScanRoute route) : host_(host) {
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
        host_.ports.yield = true;
    }
    bool ok() const { return ok_; }

private:
    BenchHost& host_;
    std::unique_ptr<OrvantaControl> ctrl_;
    std::unique_ptr<RawReader> raw_;
    bool ok_ = false;
};

}  // namespace bench
