#include <gtest/gtest.h>

#include "collectors/processor/cpuid_names.h"
#include "cpuid_fake.h"

namespace vorq {
namespace {

using test::FakeCpu;

TEST(RegisterText, StopsAtNulAndMasksControlBytes) {
    struct Case {
        uint32_t value;
        const char* text;
    } cases[] = {
        {0x756E6547, "Genu"},
        {0x0000004D, "M"},
        {0x00000A41, "A."},
        {0x41004200, ""},          // NUL first: nothing after it counts
        {0x7F20E941, "A\xC3\xA9 ."},  // Latin-1 0xE9 to UTF-8, DEL to "."
    };
    for (const Case& c : cases) EXPECT_EQ(RegisterText(c.value), c.text) << std::hex << c.value;
}

TEST(Microarchitecture, ByVendorFamilyModel) {
    struct Case {
        const char* vendor;
        uint32_t family, model;
        const char* name;
    } cases[] = {
        {"GenuineIntel", 6, 0x9E, "Kaby Lake / Coffee Lake family"},
        {"GenuineIntel", 6, 0x3E, ""},
        {"GenuineIntel", 6, 0xBE, "Alder Lake-N"},
        {"GenuineIntel", 6, 0xCF, "Emerald Rapids"},
        {"GenuineIntel", 0xF, 0x9E, ""},
        {"AuthenticAMD", 0x17, 0x71, "Zen 2 (Matisse)"},
        {"AuthenticAMD", 0x17, 0x72, "Zen / Zen 2 family"},
        {"AuthenticAMD", 0x19, 0x21, "Zen 3 (Vermeer)"},
        {"AuthenticAMD", 0x19, 0x35, "Zen 3 / Zen 4 family"},
        {"AuthenticAMD", 0x19, 0xAF, "Zen 4c (Bergamo / Siena)"},
        {"AuthenticAMD", 0x19, 0xB0, "Zen 3 / Zen 4 family"},
        {"AuthenticAMD", 0x1A, 0x44, "Zen 5 (Granite Ridge)"},
        {"AuthenticAMD", 0x1A, 0x30, "Zen 5 family"},
        {"AuthenticAMD", 0x10, 0x02, ""},
        {"HygonGenuine", 0x18, 0x00, ""},
        {"GenuineIntel ", 6, 0x9E, ""},  // the vendor must match exactly
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetMicroarchitectureName(c.vendor, c.family, c.model), c.name)
            << c.vendor << " " << c.family << " " << c.model;
}

TEST(FeatureList, LeavesAreGatedByTheirMaxima) {
    auto cpu = std::make_shared<FakeCpu>();
    cpu->Set(1, 0, {0, 0, (1u << 0) | (1u << 28), (1u << 25) | (1u << 26)});  // SSE3 AVX / SSE SSE2
    cpu->Set(7, 0, {1, 1u << 5, 0, 1u << 15});                              // AVX2, HYBRID, one more sub-leaf
    cpu->Set(7, 1, {1u << 4, 0, 0, 0});                                     // AVX-VNNI
    cpu->Set(0x80000001u, 0, {0, 0, 1u << 5, 1u << 27});                    // LZCNT, RDTSCP
    cpu->Set(0x80000007u, 0, {0, 0, 0, 1u << 8});
    auto fn = test::Fn(cpu);
    struct Case {
        uint32_t maxBasic, maxExtended;
        const char* names;
    } cases[] = {
        {0x16, 0x80000008u, "SSE SSE2 SSE3 AVX AVX2 HYBRID AVX-VNNI LZCNT RDTSCP invariant-TSC"},
        {6, 0x80000008u, "SSE SSE2 SSE3 AVX LZCNT RDTSCP invariant-TSC"},
        {0x16, 0x80000006u, "SSE SSE2 SSE3 AVX AVX2 HYBRID AVX-VNNI LZCNT RDTSCP"},
        {0x16, 0x80000000u, "SSE SSE2 SSE3 AVX AVX2 HYBRID AVX-VNNI"},
    };
    for (const Case& c : cases) EXPECT_EQ(BuildFeatureList(fn, c.maxBasic, c.maxExtended), c.names);

    cpu->Set(7, 0, {0, 1u << 5, 0, 0});  // no sub-leaf 1 advertised: it is not read
    cpu->asked.clear();
    EXPECT_EQ(BuildFeatureList(fn, 7, 0), "SSE SSE2 SSE3 AVX AVX2");
    EXPECT_FALSE(cpu->asked.count({7, 1}));
    EXPECT_EQ(BuildFeatureList([](uint32_t, uint32_t) { return CpuidRegisters{}; }, 0x20, 0x80000008u), "");
}

TEST(DescribeLeaf, Meanings) {
    struct Case {
        uint32_t leaf, sub;
        CpuidRegisters r;
        const char* text;
    } cases[] = {
        // 16 ways, 1 partition, 64-byte lines, 1024 sets, level 2 unified
        {4, 2, {0x43, (15u << 22) | 63u, 1023, 0}, "L2 unified 1.00 MB, 16-way, 64 B line"},
        {0x8000001Du, 0, {0x121, 0x01C0003F, 0x3F, 0}, "L1 data 32.0 KB, 8-way, 64 B line"},
        {4, 0, {0x20, 0, 0, 0}, "cache parameters (end)"},
        // every field at its maximum: the per-set product wraps, the sets do not overflow
        {4, 0, {0x62, 0xFFFFFFFFu, 0xFFFFFFFFu, 0}, "L3 instr 0 B, 1024-way, 4096 B line"},
        {0xB, 1, {0, 0, 0x0201, 5}, "topology level: core, x2APIC 5"},
        {0x1F, 0, {0, 0, 0x0700, 0}, "topology level: ?, x2APIC 0"},
        {0x80000026u, 3, {0, 0, 0x0600, 9}, "topology level: die-group, x2APIC 9"},
        {7, 1, {}, "structured extended features (sub 1)"},
        {0xD, 0, {}, "XSAVE features (XCR0)"},
        {0xD, 1, {}, "XSAVE extensions (XSAVEOPT/XSAVES)"},
        {0xD, 9, {}, "XSAVE component 9"},
        {0x16, 0, {0x10BB8, 0x1100C, 0x10064, 0}, "frequency: base 3000 MHz, max 4108 MHz, bus 100 MHz"},
        {0x40000000u, 0, {0x40000001u, 0x4B4D564B, 0x564B4D56, 0x4D}, "hypervisor vendor: KVMKVMKVM"},
        {0x40000000u, 0, {0, 0x7263694D, 0x666F736F, 0x76482074}, "hypervisor vendor: Microsoft Hv"},
        {0x40000001u, 0, {0x31237648, 0, 0, 0}, "hypervisor interface: Hv#1"},
        {0x80000007u, 0, {0, 0, 0, 1u << 8}, "power management: invariant TSC"},
        {0x80000007u, 0, {}, "power management"},
        {0x80000008u, 0, {0x3030, 0, 0, 0}, "address sizes: 48-bit physical, 48-bit linear"},
        {0x1A, 0, {}, "hybrid core type"},
        {3, 0, {}, ""},
        {0x40000002u, 0, {}, ""},
        {0x40000101u, 0, {}, ""},
        {0x80000020u, 0, {}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DescribeCpuidLeaf(c.leaf, c.sub, c.r), c.text) << std::hex << c.leaf << " " << c.sub;
}

}  // namespace
}  // namespace vorq
