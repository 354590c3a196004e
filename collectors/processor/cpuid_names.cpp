#include "collectors/processor/cpuid_names.h"

#include "core/text.h"

namespace vorq {

namespace {

bool Bit(uint32_t v, unsigned b) { return (v >> b) & 1u; }

struct ModelName {
    uint32_t model;
    const char* name;
};

// Intel family 6, by model.
constexpr ModelName kIntelFamily6[] = {
    {0x3C, "Haswell"},        {0x45, "Haswell"},         {0x46, "Haswell"},
    {0x3D, "Broadwell"},      {0x47, "Broadwell"},       {0x4E, "Skylake"},
    {0x5E, "Skylake"},        {0x55, "Skylake-SP / Cascade Lake"},
    {0x6A, "Ice Lake-SP"},    {0x6C, "Ice Lake-SP"},     {0x7D, "Ice Lake"},
    {0x7E, "Ice Lake"},       {0x8C, "Tiger Lake"},      {0x8D, "Tiger Lake"},
    {0x8E, "Kaby Lake / Coffee Lake family"},            {0x9E, "Kaby Lake / Coffee Lake family"},
    {0x8F, "Sapphire Rapids"}, {0x96, "Elkhart Lake"},   {0x97, "Alder Lake"},
    {0x9A, "Alder Lake"},     {0x9C, "Jasper Lake"},     {0xA5, "Comet Lake"},
    {0xA6, "Comet Lake"},     {0xA7, "Rocket Lake"},     {0xAA, "Meteor Lake"},
    {0xAC, "Meteor Lake"},    {0xAD, "Granite Rapids"},  {0xAE, "Granite Rapids"},
    {0xAF, "Sierra Forest"},  {0xB7, "Raptor Lake"},     {0xBA, "Raptor Lake"},
    {0xBF, "Raptor Lake"},    {0xBD, "Lunar Lake"},      {0xBE, "Alder Lake-N"},
    {0xC5, "Arrow Lake"},     {0xC6, "Arrow Lake"},      {0xCC, "Panther Lake"},
    {0xCF, "Emerald Rapids"},
};

struct ModelRange {
    uint32_t first;
    uint32_t last;
    const char* name;
};

constexpr ModelRange kAmdFamily19[] = {
    {0x00, 0x0F, "Zen 3 (Milan)"},      {0x10, 0x1F, "Zen 4 (Genoa)"},
    {0x20, 0x2F, "Zen 3 (Vermeer)"},    {0x40, 0x4F, "Zen 3+ (Rembrandt)"},
    {0x50, 0x5F, "Zen 3 (Cezanne / Barcelo)"}, {0x60, 0x6F, "Zen 4 (Raphael)"},
    {0x70, 0x7F, "Zen 4 (Phoenix / Hawk Point)"}, {0xA0, 0xAF, "Zen 4c (Bergamo / Siena)"},
};

constexpr ModelRange kAmdFamily1A[] = {
    {0x00, 0x1F, "Zen 5 (Turin)"},         {0x20, 0x2F, "Zen 5 (Strix Point)"},
    {0x40, 0x4F, "Zen 5 (Granite Ridge)"}, {0x60, 0x6F, "Zen 5 (Krackan Point)"},
    {0x70, 0x7F, "Zen 5 (Strix Halo)"},
};

std::string AmdFamily17(uint32_t model) {
    switch (model) {
        case 0x01: case 0x08: return "Zen / Zen+ (Summit / Pinnacle Ridge)";
        case 0x11: case 0x18: return "Zen / Zen+ APU (Raven Ridge / Picasso)";
        case 0x31: return "Zen 2 (Rome / Castle Peak)";
        case 0x60: case 0x68: return "Zen 2 APU (Renoir / Lucienne)";
        case 0x71: return "Zen 2 (Matisse)";
        case 0x90: case 0x91: return "Zen 2 (Van Gogh)";
        case 0xA0: return "Zen 2 (Mendocino)";
        default: return "Zen / Zen 2 family";
    }
}

template <size_t N>
std::string ByRange(const ModelRange (&table)[N], uint32_t model, const char* fallback) {
    for (const ModelRange& r : table)
        if (model >= r.first && model <= r.last) return r.name;
    return fallback;
}

const char* LevelTypeName(uint32_t type) {
    static const char* const kNames[] = {"invalid", "SMT", "core", "module", "tile", "die", "die-group"};
    return type < 7 ? kNames[type] : "?";
}

}  // namespace

std::string RegisterText(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return Latin1ToUtf8(bytes, 4);
}

void AddFlagName(std::vector<std::string>& list, bool bit, const char* name) {
    if (bit) list.emplace_back(name);
}

std::string GetMicroarchitectureName(std::string_view vendor, uint32_t family, uint32_t model) {
    if (vendor == "GenuineIntel") {
        if (family != 6) return {};
        for (const ModelName& m : kIntelFamily6)
            if (m.model == model) return m.name;
        return {};
    }
    if (vendor == "AuthenticAMD") {
        if (family == 0x17) return AmdFamily17(model);
        if (family == 0x19) return ByRange(kAmdFamily19, model, "Zen 3 / Zen 4 family");
        if (family == 0x1A) return ByRange(kAmdFamily1A, model, "Zen 5 family");
    }
    return {};
}

std::string BuildFeatureList(const CpuidFn& cpuid, uint32_t maxBasic, uint32_t maxExtended) {
    std::vector<std::string> n;
    const CpuidRegisters l1 = cpuid(1, 0);
    AddFlagName(n, Bit(l1.edx, 25), "SSE");
    AddFlagName(n, Bit(l1.edx, 26), "SSE2");
    AddFlagName(n, Bit(l1.ecx, 0), "SSE3");
    AddFlagName(n, Bit(l1.ecx, 9), "SSSE3");
    AddFlagName(n, Bit(l1.ecx, 19), "SSE4.1");
    AddFlagName(n, Bit(l1.ecx, 20), "SSE4.2");
    AddFlagName(n, Bit(l1.ecx, 28), "AVX");
    AddFlagName(n, Bit(l1.ecx, 12), "FMA3");
    AddFlagName(n, Bit(l1.ecx, 29), "F16C");
    AddFlagName(n, Bit(l1.ecx, 25), "AES-NI");
    AddFlagName(n, Bit(l1.ecx, 1), "PCLMULQDQ");
    AddFlagName(n, Bit(l1.ecx, 23), "POPCNT");
    AddFlagName(n, Bit(l1.ecx, 30), "RDRAND");
    AddFlagName(n, Bit(l1.ecx, 21), "x2APIC");
    AddFlagName(n, Bit(l1.ecx, 5), "VMX");
    if (maxBasic >= 7) {
        const CpuidRegisters l7 = cpuid(7, 0);
        AddFlagName(n, Bit(l7.ebx, 5), "AVX2");
        AddFlagName(n, Bit(l7.ebx, 3), "BMI1");
        AddFlagName(n, Bit(l7.ebx, 8), "BMI2");
        AddFlagName(n, Bit(l7.ebx, 19), "ADX");
        AddFlagName(n, Bit(l7.ebx, 18), "RDSEED");
        AddFlagName(n, Bit(l7.ebx, 29), "SHA");
        AddFlagName(n, Bit(l7.ebx, 16), "AVX512F");
        AddFlagName(n, Bit(l7.ebx, 17), "AVX512DQ");
        AddFlagName(n, Bit(l7.ebx, 28), "AVX512CD");
        AddFlagName(n, Bit(l7.ebx, 30), "AVX512BW");
        AddFlagName(n, Bit(l7.ebx, 31), "AVX512VL");
        AddFlagName(n, Bit(l7.ebx, 21), "AVX512IFMA");
        AddFlagName(n, Bit(l7.ecx, 1), "AVX512VBMI");
        AddFlagName(n, Bit(l7.ecx, 6), "AVX512VBMI2");
        AddFlagName(n, Bit(l7.ecx, 11), "AVX512VNNI");
        AddFlagName(n, Bit(l7.ecx, 12), "AVX512BITALG");
        AddFlagName(n, Bit(l7.ecx, 14), "AVX512VPOPCNTDQ");
        AddFlagName(n, Bit(l7.edx, 23), "AVX512FP16");
        AddFlagName(n, Bit(l7.ecx, 8), "GFNI");
        AddFlagName(n, Bit(l7.ecx, 9), "VAES");
        AddFlagName(n, Bit(l7.ecx, 10), "VPCLMULQDQ");
        AddFlagName(n, Bit(l7.ebx, 11), "RTM");
        AddFlagName(n, Bit(l7.ebx, 4), "HLE");
        AddFlagName(n, Bit(l7.ebx, 2), "SGX");
        AddFlagName(n, Bit(l7.ebx, 7), "SMEP");
        AddFlagName(n, Bit(l7.ebx, 20), "SMAP");
        AddFlagName(n, Bit(l7.ecx, 7), "CET-SS");
        AddFlagName(n, Bit(l7.edx, 20), "CET-IBT");
        AddFlagName(n, Bit(l7.edx, 24), "AMX-TILE");
        AddFlagName(n, Bit(l7.edx, 15), "HYBRID");
        AddFlagName(n, Bit(l7.ecx, 22), "RDPID");
        if (l7.eax >= 1) {
            const CpuidRegisters l71 = cpuid(7, 1);
            AddFlagName(n, Bit(l71.eax, 4), "AVX-VNNI");
            AddFlagName(n, Bit(l71.eax, 5), "AVX512BF16");
        }
    }
    if (maxExtended >= 0x80000001u) {
        const CpuidRegisters e1 = cpuid(0x80000001u, 0);
        AddFlagName(n, Bit(e1.ecx, 2), "SVM");
        AddFlagName(n, Bit(e1.ecx, 5), "LZCNT");
        AddFlagName(n, Bit(e1.ecx, 6), "SSE4A");
        AddFlagName(n, Bit(e1.ecx, 16), "FMA4");
        AddFlagName(n, Bit(e1.ecx, 11), "XOP");
        AddFlagName(n, Bit(e1.edx, 27), "RDTSCP");
        AddFlagName(n, Bit(e1.edx, 20), "NX");
        AddFlagName(n, Bit(e1.edx, 26), "1GB-pages");
    }
    if (maxExtended >= 0x80000007u) AddFlagName(n, Bit(cpuid(0x80000007u, 0).edx, 8), "invariant-TSC");
    return Join(n, " ");
}

std::string DescribeCpuidLeaf(uint32_t leaf, uint32_t subleaf, const CpuidRegisters& r) {
    switch (leaf) {
        case 0: return "max basic leaf, vendor";
        case 1: return "signature, features, initial APIC ID";
        case 2: return "cache/TLB descriptors";
        case 4:
        case 0x8000001Du: {
            const uint32_t type = r.eax & 0x1F;
            if (type == 0) return "cache parameters (end)";
            const uint32_t level = (r.eax >> 5) & 7;
            const char* typeText = type == 1 ? "data" : type == 2 ? "instr" : "unified";
            const uint32_t ways = (r.ebx >> 22) + 1;
            const uint32_t partitions = ((r.ebx >> 12) & 0x3FF) + 1;
            const uint32_t line = (r.ebx & 0xFFF) + 1;
            // The per-set product stays 32-bit (it wraps only for field values no
            // cache has); the sets multiply in 64 bits.
            const uint32_t perSet = ways * partitions * line;
            const uint64_t size = static_cast<uint64_t>(perSet) * (static_cast<uint64_t>(r.ecx) + 1);
            return Format("L%u %s %s, %u-way, %u B line", level, typeText, FormatBytes(size).c_str(), ways, line);
        }
        case 5: return "MONITOR/MWAIT";
        case 6: return "thermal & power management";
        case 7: return Format("structured extended features (sub %u)", subleaf);
        case 0xA: return "architectural PMU";
        case 0xB:
        case 0x1F:
        case 0x80000026u:
            return Format("topology level: %s, x2APIC %u", LevelTypeName((r.ecx >> 8) & 0xFF), r.edx);
        case 0xD:
            if (subleaf == 0) return "XSAVE features (XCR0)";
            if (subleaf == 1) return "XSAVE extensions (XSAVEOPT/XSAVES)";
            return Format("XSAVE component %u", subleaf);
        case 0x10: return "resource director (RDT allocation)";
        case 0x14: return "processor trace";
        case 0x15: return "TSC / core crystal clock ratio";
        case 0x16:
            return Format("frequency: base %u MHz, max %u MHz, bus %u MHz", r.eax & 0xFFFF, r.ebx & 0xFFFF,
                          r.ecx & 0xFFFF);
        case 0x18: return "deterministic address translation";
        case 0x1A: return "hybrid core type";
        case 0x40000000u:
            return "hypervisor vendor: " + RegisterText(r.ebx) + RegisterText(r.ecx) + RegisterText(r.edx);
        case 0x40000001u: return "hypervisor interface: " + RegisterText(r.eax);
        case 0x40000003u: return "hypervisor features / partition privileges";
        case 0x80000000u: return "max extended leaf";
        case 0x80000001u: return "extended features";
        case 0x80000002u:
        case 0x80000003u:
        case 0x80000004u: return "brand string";
        case 0x80000005u: return "L1 cache/TLB (AMD)";
        case 0x80000006u: return "L2/L3 cache";
        case 0x80000007u: return Bit(r.edx, 8) ? "power management: invariant TSC" : "power management";
        case 0x80000008u:
            return Format("address sizes: %u-bit physical, %u-bit linear", r.eax & 0xFF, (r.eax >> 8) & 0xFF);
        case 0x8000000Au: return "SVM revision/features";
        case 0x8000001Eu: return "AMD extended APIC / core / node ID";
        case 0x8000001Fu: return "AMD memory encryption (SME/SEV)";
        case 0x80000021u: return "AMD extended features 2";
        default: return {};
    }
}

}  // namespace vorq
