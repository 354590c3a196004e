#include <windows.h>

#include <gtest/gtest.h>

#include "collectors/processor/cpu.h"
#include "collectors/processor/fpu.h"
#include "core/text.h"

namespace vorq {
namespace {

TEST(FpuCollectorLive, ReadsXcr0ThroughTheFaultGuard) {
    uint64_t xcr0 = 0;
    ASSERT_TRUE(ReadXcr0(xcr0));
    EXPECT_EQ(xcr0 & 3, 3u);  // x87 and SSE state are always enabled
}

TEST(FpuCollectorLive, LeavesTheThreadsFloatingPointStateAsFound) {
    Snapshot s;
    CollectCpu(s);
    const FpuCapabilities caps = ProbeFpuCapabilities(s);
    const uint32_t mxcsr = ReadMxcsr();
    const uint16_t cw = ReadX87ControlWord();
    WriteMxcsr(0x7FA0);  // toward zero, inexact already raised
    CollectFpu(s);
    const uint32_t after = ReadMxcsr();
    WriteMxcsr(mxcsr);
    EXPECT_EQ(after, 0x7FA0u);
    EXPECT_EQ(ReadX87ControlWord(), cw);

    EXPECT_EQ(GetFact(s, "fpu.status"), "complete");
    const Table* tests = FindTable(s, "fpu.tests");
    ASSERT_NE(tests, nullptr);
    EXPECT_EQ(GetFact(s, "fpu.tests"), std::to_string(tests->rows.size()));
    EXPECT_EQ(tests->rows.size(), 59u + caps.sse41 + 3 * caps.avx + 4 * caps.fma3 + 3 * caps.avx512f);
    bool sawH01 = false;
    for (const TableRow& r : tests->rows) {
        if (r.cells[0] == "H01") {
            sawH01 = true;
            EXPECT_EQ(r.cells[3], "7FA0");
        }
        // Computed under 0x1F80 whatever the caller left.
        if (r.cells[0] == "G01") {
            EXPECT_EQ(r.cells[3], "3FD5555555555555 3FD5555555555555 3FD5555555555556 3FD5555555555555");
        }
    }
    EXPECT_TRUE(sawH01);
}

}  // namespace
}  // namespace vorq
