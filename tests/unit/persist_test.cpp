// The stored record of a control: what round-trips, and what any damaged or
// foreign bytes do to the loader (an error, never a read past the data).
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/persist_state.h"

namespace framework {
namespace {

constexpr std::uint32_t kVersion = 0x00010000;

std::vector<unsigned char> Record(const ControlState& s) {
    unsigned char out[kRecordSize];
    Encode(s, out);
    return {out, out + kRecordSize};
}

// Decodes from a heap block of exactly `bytes.size()` bytes, so that a read
// past the end shows under ASan and valgrind.
Status DecodeExact(const std::vector<unsigned char>& bytes, ControlState& out) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[bytes.size() ? bytes.size() : 1]);
    if (!bytes.empty()) std::memcpy(block.get(), bytes.data(), bytes.size());
    return Decode(block.get(), bytes.size(), kVersion, out);
}

TEST(PersistRecord, RoundTripsVersionExtentAndStockWord) {
    const ControlState cases[] = {
        {kVersion, 2646, 1323, 0}, {kVersion, 0, 0, 0}, {kVersion, INT32_MAX, 20000000, 0},
        {0x00010000 - 1 + 1, 1, 2, 0}, {0x00010000, 12345678 / 10, 7, 1},
    };
    for (const auto& c : cases) {
        ControlState back{1, 1, 1, 1};
        ASSERT_EQ(DecodeExact(Record(c), back), Status::kOk);
        EXPECT_EQ(back.version, c.version);
        EXPECT_EQ(back.extent_x, c.extent_x);
        EXPECT_EQ(back.extent_y, c.extent_y);
        EXPECT_EQ(back.stock_props, c.stock_props);
    }
}

TEST(PersistRecord, RejectsDamageWithItsReasonAndLeavesTheOutputAlone) {
    const std::vector<unsigned char> good = Record({kVersion, 100, 200, 0});
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        Status expected;
    };
    auto with = [&](std::size_t at, unsigned char v) {
        auto b = good;
        b[at] = v;
        return b;
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        auto b = good;
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
        return b;
    };
    std::vector<unsigned char> longer = good;
    longer.push_back(0);
    const Case cases[] = {
        {"empty", {}, Status::kTruncated},
        {"header only", {good.begin(), good.begin() + kHeaderSize}, Status::kTruncated},
        {"one byte short", {good.begin(), good.end() - 1}, Status::kTruncated},
        {"one byte more", longer, Status::kBadSize},
        {"foreign magic", with(0, 'X'), Status::kBadMagic},
        {"huge size claim", put32(4, 0x7FFFFFFF), Status::kBadSize},
        {"zero size claim", put32(4, 0), Status::kBadSize},
        {"newer major version", put32(8, 0x00020000), Status::kBadVersion},
        {"older major version", put32(8, 0x00000001), Status::kBadVersion},
        {"newer minor version", put32(8, 0x00010001), Status::kBadVersion},
        {"negative width", put32(12, 0xFFFFFFFF), Status::kBadValue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ControlState out{7, 7, 7, 7};
        EXPECT_EQ(DecodeExact(c.bytes, out), c.expected);
        EXPECT_EQ(out.version, 7u);
        EXPECT_EQ(out.extent_x, 7);
    }
    EXPECT_EQ(Decode(nullptr, 24, kVersion, *std::make_unique<ControlState>()), Status::kTruncated);
}

TEST(PersistRecord, HeaderCheckNeedsOnlyTheHeader) {
    const std::vector<unsigned char> good = Record({kVersion, 1, 1, 0});
    EXPECT_EQ(CheckHeader(good.data(), kHeaderSize), Status::kOk);
    EXPECT_EQ(CheckHeader(good.data(), kHeaderSize - 1), Status::kTruncated);
}

}  // namespace
}  // namespace framework
