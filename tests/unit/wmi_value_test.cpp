#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "core/wmi_value.h"

namespace vorq {
namespace {

TEST(ParseWmiDecimal, SignBlanksStopAndSaturation) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    struct Case {
        const char* in;
        int64_t want;
    } cases[] = {
        {"42", 42},
        {"  \t-17x", -17},
        {"+5", 5},
        {"", 0},
        {"abc", 0},
        {"-", 0},
        {"1 2", 1},
        {"9223372036854775807", kMax},
        {"9223372036854775808", kMax},
        {"18446744073709551615", kMax},
        {"99999999999999999999999", kMax},
        {"-9223372036854775808", kMin},
        {"-9223372036854775809", kMin},
        {"-99999999999999999999999", kMin},
        {"00000000000000000000000000042", 42},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseWmiDecimal(c.in, strlen(c.in)), c.want) << c.in;
    const char16_t wide[] = u"  123";
    EXPECT_EQ(ParseWmiDecimal(wide, 5), 123);
    EXPECT_EQ(ParseWmiDecimal("12345", 2), 12);  // only the given length is read
}

TEST(IsUnsignedCimType, ScalarsAndArrays) {
    EXPECT_TRUE(IsUnsignedCimType(kCimUint32));
    EXPECT_TRUE(IsUnsignedCimType(kCimUint16 | kCimFlagArray));
    EXPECT_TRUE(IsUnsignedCimType(kCimUint64));
    EXPECT_FALSE(IsUnsignedCimType(3));   // sint32
    EXPECT_FALSE(IsUnsignedCimType(8));   // string
    EXPECT_FALSE(IsUnsignedCimType(0));   // unknown
}

}  // namespace
}  // namespace vorq
