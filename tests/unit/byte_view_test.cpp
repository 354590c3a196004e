#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/byte_view.h"

namespace vorq {
namespace {

const std::vector<uint8_t> kBytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};

TEST(ByteView, FieldsInsideAndOutside) {
    const ByteView v(kBytes);
    EXPECT_EQ(v.U8(8), 0x09);
    EXPECT_EQ(v.Le16(7), 0x0908);
    EXPECT_EQ(v.Le32(5), 0x09080706u);
    EXPECT_EQ(v.Le64(1), 0x0908070605040302ull);
    // One byte short of each width, and offsets beyond the end: absent.
    EXPECT_FALSE(v.U8(9));
    EXPECT_FALSE(v.Le16(8));
    EXPECT_FALSE(v.Le32(6));
    EXPECT_FALSE(v.Le64(2));
    EXPECT_FALSE(v.Le32(UINT64_MAX - 1));  // offset + width would wrap
}

TEST(ByteView, SlicesAndTails) {
    const ByteView v(kBytes);
    const std::optional<ByteView> s = v.Slice(4, 5);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->size(), 5u);
    EXPECT_EQ(s->Le32(0), 0x08070605u);
    EXPECT_FALSE(s->Le32(2));  // the slice ends where its parent does
    EXPECT_FALSE(v.Slice(4, 6));
    EXPECT_FALSE(v.Slice(10, 0));
    EXPECT_TRUE(v.Slice(9, 0));
    EXPECT_FALSE(v.Slice(1, UINT64_MAX));  // a length read from the bytes themselves
    EXPECT_EQ(v.From(7).size(), 2u);
    EXPECT_TRUE(v.From(9).empty());
    EXPECT_TRUE(v.From(UINT64_MAX).empty());
    EXPECT_TRUE(ByteView(nullptr, 16).empty());  // no bytes behind a null pointer
}

}  // namespace
}  // namespace vorq
