#include <gtest/gtest.h>

#include <cstring>

#include "collectors/processor/cpuid_dump.h"
#include "collectors/processor/hypervisor.h"
#include "cpuid_fake.h"

namespace vorq {
namespace {

using test::FakeCpu;
using test::Reg;

std::vector<uint32_t> SubleavesOf(const std::vector<CpuidRow>& rows) {
    std::vector<uint32_t> out;
    for (const CpuidRow& r : rows) out.push_back(r.subleaf);
    return out;
}

std::vector<uint32_t> Range(uint32_t first, uint32_t last) {
    std::vector<uint32_t> v;
    for (uint32_t i = first; i <= last; ++i) v.push_back(i);
    return v;
}

TEST(Subleaves, RulePerLeaf) {
    struct Case {
        const char* name;
        uint32_t leaf;
        CpuidFn cpuid;
        std::vector<uint32_t> subleaves;
    } cases[] = {
        {"cache leaf ending at once keeps sub-leaf 0", 4, [](uint32_t, uint32_t) { return CpuidRegisters{}; }, {0}},
        {"cache leaf with three caches", 4,
         [](uint32_t, uint32_t s) { return CpuidRegisters{s < 3 ? 0x21u : 0u, 0, 0, 0}; }, {0, 1, 2}},
        {"AMD cache leaf without an end", 0x8000001Du, [](uint32_t, uint32_t) { return CpuidRegisters{0x121, 0, 0, 0}; },
         Range(0, 15)},
        {"topology leaf with two levels", 0xB,
         [](uint32_t, uint32_t s) { return CpuidRegisters{0, 0, s < 2 ? (s + 1) << 8 : s, 0}; }, {0, 1}},
        {"topology leaf without an end", 0x1F, [](uint32_t, uint32_t) { return CpuidRegisters{0, 0, 0x100, 0}; },
         Range(0, 15)},
        {"topology leaf invalid at once", 0x80000026u, [](uint32_t, uint32_t) { return CpuidRegisters{}; }, {0}},
        {"counted leaf", 7, [](uint32_t, uint32_t s) { return CpuidRegisters{s == 0 ? 2u : 0u, 0, 0, 0}; }, {0, 1, 2}},
        {"counted leaf capped at 8", 0x14, [](uint32_t, uint32_t) { return CpuidRegisters{0xFFFFFFFFu, 0, 0, 0}; },
         Range(0, 8)},
        {"XSAVE keeps 0 and 1, skips empty components", 0xD,
         [](uint32_t, uint32_t s) { return CpuidRegisters{s == 5 || s == 63 ? 0x40u : 0u, 0, 0, 0}; }, {0, 1, 5, 63}},
        {"resource leaf keeps 0, skips empty", 0x10,
         [](uint32_t, uint32_t s) { return CpuidRegisters{0, s == 2 || s == 4 ? 1u : 0u, 0, 0}; }, {0, 2}},
        {"any other leaf", 0x1A, [](uint32_t, uint32_t) { return CpuidRegisters{1, 1, 1, 1}; }, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<CpuidRow> rows;
        EnumerateCpuidSubleaves(c.cpuid, c.leaf, rows);
        EXPECT_EQ(SubleavesOf(rows), c.subleaves);
        for (const CpuidRow& r : rows) EXPECT_EQ(r.leaf, c.leaf);
    }
}

TEST(StandardLeaves, BoundedByMaximaAndCaps) {
    struct Case {
        uint32_t maxBasic, maxExtended;
        uint32_t lastBasic;
        uint32_t lastExtended;  // 0: none
    } cases[] = {
        {0x16, 0x80000008u, 0x16, 0x80000008u},
        {0x50, 0x80000050u, 0x40, 0x80000040u},
        {0x0D, 0x7FFFFFFFu, 0x0D, 0},
        {0x0D, 0x80000000u, 0x0D, 0x80000000u},
    };
    for (const Case& c : cases) {
        std::set<uint32_t> asked;
        CpuidFn fn = [&asked](uint32_t leaf, uint32_t) {
            asked.insert(leaf);
            return CpuidRegisters{};
        };
        std::vector<CpuidRow> rows;
        AppendStandardLeaves(fn, c.maxBasic, c.maxExtended, rows);
        std::set<uint32_t> expected;
        for (uint32_t l = 0; l <= c.lastBasic; ++l) expected.insert(l);
        if (c.lastExtended)
            for (uint32_t l = 0x80000000u; l <= c.lastExtended; ++l) expected.insert(l);
        EXPECT_EQ(asked, expected) << std::hex << c.maxBasic << " " << c.maxExtended;
        EXPECT_EQ(rows.front().leaf, 0u);
        EXPECT_EQ(rows.back().leaf, c.lastExtended ? c.lastExtended : c.lastBasic);
    }
}

TEST(DumpHash, KnownAnswerSkipsHypervisorRows) {
    std::vector<CpuidRow> rows = {
        {0, 0, 0x16, Reg("Genu"), Reg("ntel"), Reg("ineI")},
        {1, 0, 0x000906EA, 0xFF100800, 0xFFFAFBFF, 0xBFEBFBFF},
        {0x40000000u, 0, 0x4000000Bu, Reg("Micr"), Reg("osof"), Reg("t Hv")},
    };
    EXPECT_EQ(HashCpuidDump(rows), "01F8FDBF47A4817CC8545B92A56E2B23");
}

std::vector<CpuidRow> FullDump(const std::shared_ptr<FakeCpu>& cpu) {
    auto fn = test::Fn(cpu);
    std::vector<CpuidRow> rows;
    AppendStandardLeaves(fn, cpu->Query(0, 0).eax, cpu->Query(0x80000000u, 0).eax, rows);
    AppendHypervisorRows(fn, ReadHypervisorContext(fn, true), rows);
    Snapshot s;
    ScanSecondaryXenLeaves(fn, s, rows);
    return rows;
}

TEST(DumpHash, IgnoresPerProcessorIdsAndHypervisorButNotFeatures) {
    const std::string base = HashCpuidDump(FullDump(test::LoadCpu("kvm-amd-guest.txt")));
    ASSERT_EQ(base.size(), 32u);
    EXPECT_EQ(base.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    struct Case {
        const char* name;
        std::function<void(FakeCpu&)> change;
        bool same;
    } cases[] = {
        {"another processor's APIC ids",
         [](FakeCpu& c) {
             c.regs[{1, 0}].ebx ^= 0x07000000u;
             c.regs[{0xB, 0}].edx = 7;
             c.regs[{0xB, 1}].edx = 7;
             c.regs[{0x8000001Eu, 0}] = {7, 0x103, 1, 0};
         },
         true},
        {"hypervisor bit cleared", [](FakeCpu& c) { c.regs[{1, 0}].ecx &= 0x7FFFFFFFu; }, true},
        {"other hypervisor leaves", [](FakeCpu& c) { c.regs[{0x40000001u, 0}].eax = 0; }, true},
        {"Xen leaves", [](FakeCpu& c) { c.Set(0x40000100u, 0, {0x40000105u, Reg("XenV"), Reg("MMXe"), Reg("nVMM")}); },
         true},
        {"a basic feature hidden", [](FakeCpu& c) { c.regs[{7, 0}].ebx &= ~(1u << 5); }, false},
        {"an extended feature hidden", [](FakeCpu& c) { c.regs[{0x80000001u, 0}].ecx &= ~1u; }, false},
        {"another microcode's stepping", [](FakeCpu& c) { c.regs[{1, 0}].eax ^= 1; }, false},
    };
    for (const Case& c : cases) {
        auto cpu = test::LoadCpu("kvm-amd-guest.txt");
        c.change(*cpu);
        EXPECT_EQ(HashCpuidDump(FullDump(cpu)) == base, c.same) << c.name;
    }
}

TEST(Signature, DisplayFamilyAndModel) {
    struct Case {
        uint32_t eax, family, model, stepping;
    } cases[] = {
        {0x000906EA, 6, 0x9E, 0xA},
        {0x00A10F11, 0x19, 0x11, 1},   // family 15 + extended 0xA, extended model applies
        {0x00000F4A, 0xF, 0x4, 0xA},
        {0x000F052C, 5, 0x2, 0xC},     // extended model ignored below family 6
        {0x0FF00F00, 0xF + 0xFF, 0, 0},
    };
    for (const Case& c : cases) {
        const CpuSignature s = DecodeSignature(c.eax);
        EXPECT_EQ(s.raw, c.eax);
        EXPECT_EQ(s.family, c.family) << std::hex << c.eax;
        EXPECT_EQ(s.model, c.model) << std::hex << c.eax;
        EXPECT_EQ(s.stepping, c.stepping) << std::hex << c.eax;
    }
}

// The brand leaves filled from a 48-byte text (missing bytes are NUL).
std::shared_ptr<FakeCpu> WithBrand(const char* text, size_t n) {
    auto cpu = std::make_shared<FakeCpu>();
    uint8_t bytes[48] = {};
    std::memcpy(bytes, text, n < 48 ? n : 48);
    for (uint32_t i = 0; i < 12; ++i) {
        uint32_t v;
        std::memcpy(&v, bytes + 4 * i, 4);
        CpuidRegisters& r = cpu->regs[{0x80000002u + i / 4, 0}];
        (i % 4 == 0 ? r.eax : i % 4 == 1 ? r.ebx : i % 4 == 2 ? r.ecx : r.edx) = v;
    }
    return cpu;
}

TEST(Brand, TrimmedWithSpaceRunsCollapsed) {
    struct Case {
        std::string raw;
        uint32_t maxExtended;
        const char* brand;
    } cases[] = {
        {"      Intel(R) Core(TM) i7-8700K CPU @ 3.70GHz", 0x80000008u, "Intel(R) Core(TM) i7-8700K CPU @ 3.70GHz"},
        {"  AMD  EPYC   7B13 ", 0x80000004u, "AMD EPYC 7B13"},
        {"A\t\tB  C", 0x80000004u, "A..B C"},  // control bytes are dots before any collapsing
        {std::string("AB\0X", 4) + "CD", 0x80000004u, "ABCD"},  // bytes after a NUL in one register drop out
        {"Intel(R) Xeon(R)", 0x80000003u, ""},
        {"", 0x80000004u, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadBrandString(test::Fn(WithBrand(c.raw.data(), c.raw.size())), c.maxExtended), c.brand) << c.raw;
}

TEST(LeavesTable, CellForms) {
    const Table t = MakeCpuidLeavesTable({{0x8000001Du, 3, 0x0001C163, 0x03C0003F, 0x00007FFF, 0x1},
                                          {0xD, 12, 0x18, 0, 1, 0}});
    EXPECT_EQ(t.id, "cpu.leaves");
    EXPECT_EQ(t.tab, "cpu");
    EXPECT_EQ(t.title, "CPUID leaves");
    EXPECT_EQ(t.columns, (std::vector<std::string>{"Leaf", "Sub", "EAX", "EBX", "ECX", "EDX", "Meaning"}));
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0].cells, (std::vector<std::string>{"8000001D", "3", "0001C163", "03C0003F", "00007FFF", "00000001",
                                                         "L3 unified 32.0 MB, 16-way, 64 B line"}));
    EXPECT_EQ(t.rows[1].cells[1], "12");  // decimal sub-leaf
    EXPECT_EQ(t.rows[1].cells[6], "XSAVE component 12");
}

}  // namespace
}  // namespace vorq
