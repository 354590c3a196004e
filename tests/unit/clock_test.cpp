#include <gtest/gtest.h>

#include "core/driver.h"

namespace vorq {
namespace {

TEST(Clock, CounterToNsKeepsFullRange) {
    struct Case {
        uint64_t count, frequency, ns;
    } cases[] = {
        {12345, 10000000, 1234500},                                  // 100 ns ticks
        {3, 3, 1000000000},                                          // one second
        {4, 3, 1333333333},                                          // remainder truncated
        {3000000000ull * 86400 * 365, 3000000000ull, 86400ull * 365 * 1000000000},  // a year at 3 GHz
        {(1ull << 62) + 1, 2400000000ull, (1ull << 62) / 2400000000ull * 1000000000ull +
                                              ((1ull << 62) % 2400000000ull + 1) * 1000000000ull / 2400000000ull},
        {5, 0, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(CounterToNs(c.count, c.frequency), c.ns) << c.count << "/" << c.frequency;
}

}  // namespace
}  // namespace vorq
