#include <gtest/gtest.h>

#include "collectors/processor/cpu.h"
#include "collectors/processor/hypervisor.h"
#include "collectors/processor/topology.h"
#include "cpuid_fake.h"

namespace vorq {
namespace {

using test::FakeCpu;
using test::Reg;

TEST(CpuidSafe, OnlyTheExactTextOne) {
    EXPECT_FALSE(IsCpuidSafe(Snapshot{}));
    for (const char* v : {"0", "1 ", " 1", "true", "", "11"}) {
        Snapshot s;
        SetFact(s, fact::kCpuArchCpuidSafe, v);
        EXPECT_FALSE(IsCpuidSafe(s)) << "'" << v << "'";
    }
    Snapshot s;
    SetFact(s, fact::kCpuArchCpuidSafe, "1");
    EXPECT_TRUE(IsCpuidSafe(s));
}

TEST(PlausibleHypervisorLeaf, TruthTable) {
    struct Case {
        uint32_t maxLeaf, base;
        const char* vendor;
        bool plausible;
    } cases[] = {
        {0x40000000u, 0x40000000u, "", true},
        {0x4000000Bu, 0x40000000u, "Microsoft Hv", true},
        {0x400000FFu, 0x40000000u, "", true},
        {0x40000100u, 0x40000000u, "", false},
        {0x3FFFFFFFu, 0x40000000u, "", false},
        {0x00000BB8u, 0x40000000u, "", false},  // bare metal echoing a basic leaf
        {0, 0x40000000u, "KVMKVMKVM", true},
        {0, 0x40000000u, "KVMKVMKV", false},
        {0, 0x40000000u, "KVMKVMKVM ", false},
        {0, 0x40000100u, "KVMKVMKVM", false},
        {0x40000105u, 0x40000100u, "XenVMMXenVMM", true},
        {0x00000050u, 0xFFFFFFF0u, "", false},  // the block end does not wrap around
        {0xFFFFFFFFu, 0xFFFFFFF0u, "", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsPlausibleHypervisorLeaf(c.maxLeaf, c.base, c.vendor), c.plausible)
            << std::hex << c.maxLeaf << " " << c.base << " " << c.vendor;
}

TEST(RelocatedXenLeaf, TruthTable) {
    struct Case {
        uint32_t base, maxLeaf;
        const char* vendor;
        uint32_t version;
        bool ok;
    } cases[] = {
        {0x40000100u, 0x40000105u, "XenVMMXenVMM", 0x00040011u, true},
        {0x40000F00u, 0x40000FFFu, "XenVMMXenVMM", 0x00010000u, true},
        {0x40000100u, 0x40000102u, "XenVMMXenVMM", 0x00040011u, true},
        {0x40000100u, 0x40000101u, "XenVMMXenVMM", 0x00040011u, false},  // no room for the leaves after
        {0x40000100u, 0x40000200u, "XenVMMXenVMM", 0x00040011u, false},
        {0x40000000u, 0x40000005u, "XenVMMXenVMM", 0x00040011u, false},  // the primary base is not relocated
        {0x40001000u, 0x40001005u, "XenVMMXenVMM", 0x00040011u, false},
        {0x40000180u, 0x40000185u, "XenVMMXenVMM", 0x00040011u, false},
        {0x40000100u, 0x40000105u, "XenVMMXenVM", 0x00040011u, false},
        {0x40000100u, 0x40000105u, "XenVMMXenVMM", 0x0000FFFFu, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CheckRelocatedXenLeaf(c.base, c.maxLeaf, c.vendor, c.version), c.ok)
            << std::hex << c.base << " " << c.maxLeaf << " " << c.vendor << " " << c.version;
}

// An Intel part without a hypervisor: leaves it does not know answer with
// the highest basic leaf (0x16).
std::shared_ptr<FakeCpu> BareMetal() {
    auto cpu = std::make_shared<FakeCpu>();
    cpu->Set(0, 0, {0x16, Reg("Genu"), Reg("ntel"), Reg("ineI")});
    cpu->Set(1, 0, {0x000906EA, 0x00100800, 0x7FFAFBFF, 0xBFEBFBFF});
    cpu->Set(0x16, 0, {0xBB8, 0x1004, 0x64, 0});
    cpu->fallbackLeaf = 0x16;
    cpu->useFallback = true;
    return cpu;
}

std::shared_ptr<FakeCpu> HyperVGuest(bool root) {
    auto cpu = BareMetal();
    cpu->Set(0x40000000u, 0, {0x4000000Bu, Reg("Micr"), Reg("osof"), Reg("t Hv")});
    cpu->Set(0x40000001u, 0, {Reg("Hv#1"), 0, 0, 0});
    cpu->Set(0x40000003u, 0, {0x00002E7F, root ? 0x002BB9FFu : 0x00000000u, 0x2, 0x00EDFFFBu});
    return cpu;
}

struct HvCase {
    const char* name;
    std::shared_ptr<FakeCpu> cpu;
    bool present;
    bool plausible;
    const char* role;
    const char* vendor;
    uint32_t lastHvRow;  // highest 0x400000xx row of the dump
};

TEST(HypervisorContext, RoleVendorAndRows) {
    auto implausible = BareMetal();
    implausible->Set(0x40000000u, 0, {0x12345678u, Reg("Bogu"), Reg("sHyp"), Reg("ervi")});
    auto kvmZero = BareMetal();
    kvmZero->Set(0x40000000u, 0, {0, Reg("KVMK"), Reg("VMKV"), Reg("M")});
    auto wide = BareMetal();
    wide->Set(0x40000000u, 0, {0x40000020u, Reg("Wide"), Reg("Hype"), Reg("rv  ")});
    auto kvm = test::LoadCpu("kvm-amd-guest.txt");
    ASSERT_FALSE(kvm->regs.empty());

    HvCase cases[] = {
        {"bare metal", BareMetal(), false, false, "none", "", 0x40000000u},
        {"Hyper-V guest", HyperVGuest(false), true, true, "unknown", "Microsoft Hv", 0x4000000Bu},
        {"Hyper-V root", HyperVGuest(true), true, true, "root", "Microsoft Hv", 0x4000000Bu},
        {"implausible leaf", implausible, true, false, "unknown", "", 0x40000000u},
        {"KVM maximum 0", kvmZero, true, true, "unknown", "KVMKVMKVM", 0x40000000u},
        {"recorded KVM", kvm, true, true, "unknown", "KVMKVMKVM", 0x40000001u},
        {"maximum beyond 0x10", wide, true, true, "unknown", "WideHyperv", 0x40000010u},
    };
    for (const HvCase& c : cases) {
        SCOPED_TRACE(c.name);
        const HypervisorContext hv = ReadHypervisorContext(test::Fn(c.cpu), c.present);
        EXPECT_EQ(hv.plausible, c.plausible);
        EXPECT_EQ(hv.role, c.role);
        EXPECT_EQ(hv.vendor, c.vendor);
        std::vector<CpuidRow> rows;
        AppendHypervisorRows(test::Fn(c.cpu), hv, rows);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.front().leaf, 0x40000000u);
        EXPECT_EQ(rows.front().eax, c.cpu->Query(0x40000000u, 0).eax);
        EXPECT_EQ(rows.back().leaf, c.lastHvRow);
        EXPECT_EQ(rows.size(), c.lastHvRow - 0x40000000u + 1);
    }
    EXPECT_EQ(ReadHypervisorContext(test::Fn(BareMetal()), false).text, "No hypervisor reported by CPUID");
    EXPECT_EQ(ReadHypervisorContext(test::Fn(HyperVGuest(true)), true).text,
              "Hyper-V management partition; see VM Detection for guest evidence");
    EXPECT_EQ(ReadHypervisorContext(test::Fn(HyperVGuest(false)), true).text,
              "Hypervisor reported; see VM Detection for guest classification");
}

void SetXen(FakeCpu& cpu, uint32_t base, uint32_t maxLeaf, uint32_t versionEax) {
    cpu.Set(base, 0, {maxLeaf, Reg("XenV"), Reg("MMXe"), Reg("nVMM")});
    cpu.Set(base + 1, 0, {versionEax, 0, 0, 0});
}

TEST(SecondaryXen, ScanOutcomes) {
    struct Case {
        const char* name;
        std::function<void(FakeCpu&)> setup;
        const char* status;
        const char* base;  // null: no base fact
        std::vector<uint32_t> rowLeaves;
    } cases[] = {
        {"nothing there", [](FakeCpu&) {}, "complete", nullptr, {0x40000100u}},
        {"at the first base", [](FakeCpu& c) { SetXen(c, 0x40000100u, 0x40000105u, 0x00040011u); }, "detected",
         "40000100", {0x40000100u, 0x40000101u}},
        {"version without a major", [](FakeCpu& c) { SetXen(c, 0x40000200u, 0x40000205u, 0x0000FFFFu); },
         "inconclusive", nullptr, {0x40000100u}},
        {"inconsistent, then found later",
         [](FakeCpu& c) {
             SetXen(c, 0x40000200u, 0x40000205u, 0);
             SetXen(c, 0x40000300u, 0x40000303u, 0x00040000u);
         },
         "detected", "40000300", {0x40000100u, 0x40000300u, 0x40000301u}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto cpu = std::make_shared<FakeCpu>();
        c.setup(*cpu);
        Snapshot s;
        std::vector<CpuidRow> rows;
        ScanSecondaryXenLeaves(test::Fn(cpu), s, rows);
        EXPECT_EQ(GetFact(s, fact::kCpuXenSecondaryStatus), c.status);
        EXPECT_EQ(HasFact(s, fact::kCpuXenSecondaryBase), c.base != nullptr);
        if (c.base) {
            EXPECT_EQ(GetFact(s, fact::kCpuXenSecondaryBase), c.base);
        }
        std::vector<uint32_t> leaves;
        for (const CpuidRow& r : rows) leaves.push_back(r.leaf);
        EXPECT_EQ(leaves, c.rowLeaves);
    }
}

TEST(SecondaryXen, VersionLeafIsReadOnlyInsideTheBlock) {
    auto cpu = std::make_shared<FakeCpu>();
    SetXen(*cpu, 0x40000400u, 0x40000401u, 0x00040011u);  // maximum leaves no room
    Snapshot s;
    std::vector<CpuidRow> rows;
    ScanSecondaryXenLeaves(test::Fn(cpu), s, rows);
    EXPECT_EQ(GetFact(s, fact::kCpuXenSecondaryStatus), "inconclusive");
    EXPECT_FALSE(cpu->asked.count({0x40000401u, 0}));
    EXPECT_EQ(cpu->asked.size(), 15u);
}

}  // namespace
}  // namespace vorq
