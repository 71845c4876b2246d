// Texts of notices and trace reports, fitted to their fixed buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "interfaces/user_interface.h"

namespace orvanta::logic {

// The notice dialog's two text fields and their limits.
struct NoticeTexts {
    static constexpr std::size_t kMessageSize = interfaces::kNoticeMessageSize;
    static constexpr std::size_t kCaptionSize = interfaces::kNoticeCaptionSize;
    char message[kMessageSize];
    char caption[kCaptionSize];
};

// A message or caption too long for its field is replaced by a fixed text
// saying so; each is judged on its own.
void FitNoticeTexts(const char* message, const char* caption, NoticeTexts& out);

// The trace report's buffer, and how much of it one report may fill.
constexpr std::size_t kTraceBufferSize = 2048;
constexpr std::size_t kTraceWriteLimit = 1024;

// Formats the three-line trace report into `buffer` (at most
// min(size, kTraceWriteLimit) bytes with the terminating zero, so a long name or
// message is cut, never written past). Returns the length written.
std::size_t FormatTrace(char* buffer, std::size_t size, const char* function, const char* message,
                        std::uint32_t error);

// Fills a format that holds one %s into `buffer`, shortening the argument
// (never the fixed words) so that the whole text fits in `size` bytes.
std::size_t FormatFitted(char* buffer, std::size_t size, const char* format, const char* argument);

// snprintf into a fixed buffer, always zero-terminated; returns the length written.
std::size_t FormatBounded(char* buffer, std::size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

}  // namespace orvanta::logic
