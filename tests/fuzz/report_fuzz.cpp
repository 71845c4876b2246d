// Notice and trace texts of any length and content: each output is
// zero-terminated inside its buffer and says what it should.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "logic/reporting/reporting.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t cut = data[0] * size / 256;
    std::string a(reinterpret_cast<const char*>(data) + 1, cut > 0 ? cut - 1 : 0);
    std::string b(reinterpret_cast<const char*>(data) + (cut > 0 ? cut : 1), size - (cut > 0 ? cut : 1));
    a.resize(std::strlen(a.c_str()));  // texts end at their first zero byte
    b.resize(std::strlen(b.c_str()));

    orvanta::logic::NoticeTexts notice;
    orvanta::logic::FitNoticeTexts(a.c_str(), b.c_str(), notice);
    if (std::strlen(notice.message) >= sizeof notice.message) std::abort();
    if (std::strlen(notice.caption) >= sizeof notice.caption) std::abort();
    if (a.size() <= 511 && a != notice.message) std::abort();
    if (b.size() <= 254 && b != notice.caption) std::abort();

    // A buffer with a guard behind it: nothing may land there.
    const std::size_t room = 1 + data[1] % 64 * 32;
    std::string buffer(room + 16, '\x5A');
    const std::size_t length =
        orvanta::logic::FormatTrace(&buffer[0], room, a.c_str(), b.c_str(), static_cast<std::uint32_t>(size));
    if (length >= room || buffer[length] != '\0' || buffer.compare(room, 16, std::string(16, '\x5A')) != 0)
        std::abort();

    std::string fitted(room + 16, '\x5A');
    const std::size_t n = orvanta::logic::FormatFitted(&fitted[0], room, "Die Datei: %s konnte nicht gelesen werden !",
                                                a.c_str());
    if (n >= room || fitted[n] != '\0' || fitted.compare(room, 16, std::string(16, '\x5A')) != 0) std::abort();
    // The fixed words stay whole whenever they fit at all.
    if (room > 44 && std::strstr(fitted.c_str(), " konnte nicht gelesen werden !") == nullptr) std::abort();
    return 0;
}
