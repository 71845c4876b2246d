#include "logic/reporting/reporter.h"

#include "logic/reporting/reporting.h"
#include "logic/reporting/texts.h"

namespace orvanta::logic {

int Reporter::ShowNotice(const char* message, const char* caption) {
    NoticeTexts fitted;
    FitNoticeTexts(message, caption, fitted);
    return ui_.RunNotice(fitted.message, fitted.caption);
}

void Reporter::DbgMsg(const char* message, const char* function) {
    // First, before anything else can change it.
    const std::uint32_t error = ui_.LastError();
    if (!settings_.Debug()) return;
    char report[kTraceBufferSize];
    FormatTrace(report, sizeof report, function, message, error);
    ui_.ShowMessageBox(ui_.ForegroundWindow(), report, texts::kCaptionDbgMsg, interfaces::kMbOk);
}

void Reporter::DebugBox(const char* text, const char* caption, std::uint32_t style) {
    if (!settings_.Debug()) return;
    ui_.ShowMessageBox(0, text, caption, style);
}

}  // namespace orvanta::logic
