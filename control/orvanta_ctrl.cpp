#include "control/orvanta_ctrl.h"

#include "core/reporting.h"
#include "core/texts.h"
#include "scanner/scan_task.h"

namespace orvanta {

COrvantaCtrl::COrvantaCtrl(const Platform& platform) : m_platform(platform) {}

COrvantaCtrl::~COrvantaCtrl() { CloseDevice(); }

void COrvantaCtrl::OnDraw(platform::Canvas& canvas, const platform::Rect& bounds,
                          const platform::Rect& /*invalid: the whole picture is cheap*/) {
    if (bounds.IsEmpty()) return;
    canvas.FillWhite(bounds);
    canvas.Ellipse(bounds);
}

int COrvantaCtrl::ShowNotice(const char* message, const char* caption) {
    NoticeTexts fitted;
    FitNoticeTexts(message, caption, fitted);
    return m_platform.ui.RunNotice(fitted.message, fitted.caption);
}

void COrvantaCtrl::DbgMsg(const char* message, const char* function) {
    // First, before anything else can change it.
    const std::uint32_t error = m_platform.ui.LastError();
    if (debugModus.load() == 0) return;
    char report[kTraceBufferSize];
    FormatTrace(report, sizeof report, function, message, error);
    m_platform.ui.ShowMessageBox(m_platform.ui.ForegroundWindow(), report, texts::kCaptionDbgMsg,
                                 platform::kMbOk);
}

void COrvantaCtrl::DebugBox(const char* text, const char* caption, std::uint32_t style) {
    if (debugModus.load() == 0) return;
    m_platform.ui.ShowMessageBox(0, text, caption, style);
}

}  // namespace orvanta
