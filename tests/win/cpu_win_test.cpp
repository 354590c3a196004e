#include <windows.h>

#include <gtest/gtest.h>

#include "collectors/processor/cpu.h"
#include "collectors/processor/cpuid.h"
#include "collectors/processor/hypervisor.h"
#include "core/text.h"

namespace vorq {
namespace {

const std::string* SummaryValue(const Snapshot& s, const char* property) {
    const Table* t = FindTable(s, "cpu.summary");
    if (!t) return nullptr;
    for (const TableRow& r : t->rows)
        if (r.cells[0] == property) return &r.cells[1];
    return nullptr;
}

TEST(CpuCollectorLive, DumpsThisProcessorAndPutsTheThreadBack) {
    GROUP_AFFINITY before{};
    ASSERT_TRUE(GetThreadGroupAffinity(GetCurrentThread(), &before));
    Snapshot s;
    CollectCpu(s);
    GROUP_AFFINITY after{};
    ASSERT_TRUE(GetThreadGroupAffinity(GetCurrentThread(), &after));
    EXPECT_EQ(after.Group, before.Group);
    EXPECT_EQ(after.Mask, before.Mask);

    ASSERT_TRUE(IsCpuidSafe(s));
    const Table* leaves = FindTable(s, "cpu.leaves");
    ASSERT_NE(leaves, nullptr);
    for (const TableRow& r : leaves->rows) {
        const uint32_t leaf = static_cast<uint32_t>(std::stoul(r.cells[0], nullptr, 16));
        const uint32_t sub = static_cast<uint32_t>(std::stoul(r.cells[1]));
        const CpuidRegisters live = QueryCpuid(leaf, sub);
        // These carry the APIC id of whichever processor answered.
        if (leaf == 1 || leaf == 0xB || leaf == 0x1F || leaf == 0x8000001Eu || leaf == 0x80000026u) continue;
        EXPECT_EQ(r.cells[2] + r.cells[3] + r.cells[4] + r.cells[5],
                  Hex32(live.eax) + Hex32(live.ebx) + Hex32(live.ecx) + Hex32(live.edx))
            << r.cells[0] << "." << r.cells[1];
    }
    const Table* lps = FindTable(s, "cpu.lps");
    ASSERT_NE(lps, nullptr);
    EXPECT_EQ(std::to_string(lps->rows.size()), GetFact(s, "cpu.logical"));
    EXPECT_EQ(GetFact(s, "cpu.logical"), GetFact(s, "cpu.topology.active"));
    EXPECT_EQ(GetFact(s, "cpu.topology.probed"), GetFact(s, "cpu.logical"));

    Snapshot again;
    CollectCpu(again);
    ASSERT_NE(SummaryValue(again, "CPUID dump hash (APIC IDs masked)"), nullptr);
    EXPECT_EQ(*SummaryValue(again, "CPUID dump hash (APIC IDs masked)"),
              *SummaryValue(s, "CPUID dump hash (APIC IDs masked)"));
}

}  // namespace
}  // namespace vorq
