// Stopping the scan task: the fields the stop resets.
#include "control/orvanta_ctrl.h"

namespace orvanta {

std::int32_t COrvantaCtrl::DeactivateScanTask(std::int32_t /*M_Task*/) {
    scanWindowHandle.store(0);
    m_pScanThread.store(0);
    return 0;
}

}  // namespace orvanta
