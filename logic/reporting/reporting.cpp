#include "logic/reporting/reporting.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "logic/reporting/texts.h"

namespace orvanta::logic {

namespace {

void CopyLimited(char* dst, std::size_t size, const char* src, const char* too_long) {
    const char* text = src ? src : "";
    // Shorter than the field, or the stand-in text; never a cut original.
    if (std::strlen(text) >= size) text = too_long;
    std::size_t n = std::strlen(text);
    if (n >= size) n = size - 1;
    std::memcpy(dst, text, n);
    dst[n] = '\0';
}

std::size_t Clamp(int written, std::size_t size) {
    if (written < 0) return 0;
    return static_cast<std::size_t>(written) < size ? static_cast<std::size_t>(written) : size - 1;
}

}  // namespace

void FitNoticeTexts(const char* message, const char* caption, NoticeTexts& out) {
    CopyLimited(out.message, sizeof out.message, message, texts::kMessageTooLong);
    CopyLimited(out.caption, sizeof out.caption, caption, texts::kCaptionTooLong);
}

std::size_t FormatBounded(char* buffer, std::size_t size, const char* format, ...) {
    if (size == 0) return 0;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    if (written < 0) buffer[0] = '\0';
    return Clamp(written, size);
}

std::size_t FormatTrace(char* buffer, std::size_t size, const char* function, const char* message,
                        std::uint32_t error) {
    const std::size_t limit = size < kTraceWriteLimit ? size : kTraceWriteLimit;
    return FormatBounded(buffer, limit, texts::kTraceFormat, function ? function : "",
                         message ? message : "", static_cast<unsigned>(error),
                         static_cast<int>(static_cast<std::int32_t>(error)));
}

std::size_t FormatFitted(char* buffer, std::size_t size, const char* format, const char* argument) {
    if (size == 0) return 0;
    const char* arg = argument ? argument : "";
    const char* hole = std::strstr(format, "%s");
    const std::size_t head = hole ? static_cast<std::size_t>(hole - format) : std::strlen(format);
    const char* tail = hole ? hole + 2 : "";
    const std::size_t tail_len = std::strlen(tail);
    const std::size_t fixed = head + tail_len;
    if (fixed + 1 > size) {  // not even the fixed words fit: cut them, keep the buffer
        return FormatBounded(buffer, size, "%.*s", static_cast<int>(head), format);
    }
    std::size_t arg_len = std::strlen(arg);
    if (arg_len > size - 1 - fixed) arg_len = size - 1 - fixed;
    char* out = buffer;
    std::memcpy(out, format, head);
    out += head;
    std::memcpy(out, arg, arg_len);
    out += arg_len;
    std::memcpy(out, tail, tail_len);
    out += tail_len;
    *out = '\0';
    return static_cast<std::size_t>(out - buffer);
}

}  // namespace orvanta::logic
