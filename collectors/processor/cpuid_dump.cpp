#include "collectors/processor/cpuid_dump.h"

#include "collectors/processor/cpu.h"

#include "collectors/processor/cpuid_names.h"
#include "core/text.h"

namespace vorq {

namespace {

bool AllZero(const CpuidRegisters& r) { return (r.eax | r.ebx | r.ecx | r.edx) == 0; }

// Reads sub-leaves until the end marker; sub-leaf 0 is kept even when it is the end.
template <typename IsEnd>
void AppendUntilEnd(const CpuidFn& cpuid, uint32_t leaf, std::vector<CpuidRow>& rows, IsEnd isEnd) {
    for (uint32_t s = 0; s < 16; ++s) {
        const CpuidRegisters r = cpuid(leaf, s);
        if (isEnd(r)) {
            if (s == 0) rows.push_back(MakeCpuidRow(leaf, s, r));
            return;
        }
        rows.push_back(MakeCpuidRow(leaf, s, r));
    }
}

void AppendFixed(const CpuidFn& cpuid, uint32_t leaf, uint32_t count, uint32_t keepZeroBelow,
                 std::vector<CpuidRow>& rows) {
    for (uint32_t s = 0; s < count; ++s) {
        const CpuidRegisters r = cpuid(leaf, s);
        if (s >= keepZeroBelow && AllZero(r)) continue;
        rows.push_back(MakeCpuidRow(leaf, s, r));
    }
}

}  // namespace

void EnumerateCpuidSubleaves(const CpuidFn& cpuid, uint32_t leaf, std::vector<CpuidRow>& rows) {
    switch (leaf) {
        case 4:
        case 0x8000001Du:
            AppendUntilEnd(cpuid, leaf, rows, [](const CpuidRegisters& r) { return (r.eax & 0x1F) == 0; });
            return;
        case 0xB:
        case 0x1F:
        case 0x80000026u:
            AppendUntilEnd(cpuid, leaf, rows, [](const CpuidRegisters& r) { return ((r.ecx >> 8) & 0xFF) == 0; });
            return;
        case 7:
        case 0x14:
        case 0x17:
        case 0x18:
        case 0x1D:
        case 0x20:
        case 0x23:
        case 0x24: {
            const CpuidRegisters first = cpuid(leaf, 0);
            rows.push_back(MakeCpuidRow(leaf, 0, first));
            const uint32_t n = first.eax < 8 ? first.eax : 8;
            for (uint32_t s = 1; s <= n; ++s) rows.push_back(MakeCpuidRow(leaf, s, cpuid(leaf, s)));
            return;
        }
        case 0xD: AppendFixed(cpuid, leaf, 64, 2, rows); return;
        case 0xF:
        case 0x10:
        case 0x12:
        case 0x80000020u: AppendFixed(cpuid, leaf, 4, 1, rows); return;
        default: rows.push_back(MakeCpuidRow(leaf, 0, cpuid(leaf, 0))); return;
    }
}

void AppendStandardLeaves(const CpuidFn& cpuid, uint32_t maxBasic, uint32_t maxExtended,
                          std::vector<CpuidRow>& rows) {
    const uint32_t lastBasic = maxBasic < 0x40 ? maxBasic : 0x40;
    for (uint32_t leaf = 0; leaf <= lastBasic; ++leaf) EnumerateCpuidSubleaves(cpuid, leaf, rows);
    if (maxExtended < 0x80000000u) return;
    const uint32_t lastExtended = maxExtended < 0x80000040u ? maxExtended : 0x80000040u;
    for (uint32_t leaf = 0x80000000u; leaf <= lastExtended; ++leaf) EnumerateCpuidSubleaves(cpuid, leaf, rows);
}

std::string HashCpuidDump(const std::vector<CpuidRow>& rows) {
    std::string text;
    for (CpuidRow r : rows) {
        if (r.leaf >= 0x40000000u && r.leaf <= 0x7FFFFFFFu) continue;
        if (r.leaf == 1) {
            r.ebx &= 0x00FFFFFFu;  // initial APIC id
            r.ecx &= 0x7FFFFFFFu;  // hypervisor present
        } else if (r.leaf == 0xB || r.leaf == 0x1F || r.leaf == 0x80000026u) {
            r.edx = 0;  // x2APIC id of the current processor
        } else if (r.leaf == 0x8000001Eu) {
            r.eax = r.ebx = r.ecx = r.edx = 0;  // extended APIC, core and node ids
        }
        text += Format("%08X.%02X=%08X%08X%08X%08X\n", r.leaf, r.subleaf, r.eax, r.ebx, r.ecx, r.edx);
    }
    return Sha256HexOf(text.data(), text.size()).substr(0, 32);
}

CpuSignature DecodeSignature(uint32_t eax) {
    CpuSignature sig;
    sig.raw = eax;
    sig.stepping = eax & 0xF;
    const uint32_t baseModel = (eax >> 4) & 0xF;
    const uint32_t baseFamily = (eax >> 8) & 0xF;
    sig.family = baseFamily == 15 ? baseFamily + ((eax >> 20) & 0xFF) : baseFamily;
    sig.model = (baseFamily == 6 || baseFamily == 15) ? baseModel + (((eax >> 16) & 0xF) << 4) : baseModel;
    return sig;
}

std::string ReadBrandString(const CpuidFn& cpuid, uint32_t maxExtended) {
    if (maxExtended < 0x80000004u) return {};
    std::string raw;
    for (uint32_t leaf = 0x80000002u; leaf <= 0x80000004u; ++leaf) {
        const CpuidRegisters r = cpuid(leaf, 0);
        raw += RegisterText(r.eax) + RegisterText(r.ebx) + RegisterText(r.ecx) + RegisterText(r.edx);
    }
    const std::string trimmed = Trim(raw);
    std::string out;
    for (char c : trimmed)
        if (c != ' ' || out.empty() || out.back() != ' ') out.push_back(c);
    return out;
}

Table MakeCpuidLeavesTable(const std::vector<CpuidRow>& rows) {
    Table t = MakeTable("cpu", table::kCpuLeaves, "CPUID leaves", {{"Leaf", Role::Program}, {"Sub", Role::Program}, {"EAX", Role::Maker}, {"EBX", Role::Maker}, {"ECX", Role::Maker}, {"EDX", Role::Maker}, {"Meaning", Role::Program}},
                        "Raw CPUID registers. Initial APIC IDs differ per logical processor; leaves 0x40000000+ come "
                        "from the hypervisor.");
    for (const CpuidRow& r : rows)
        AddRow(t, {Format("%08X", r.leaf), Format("%u", r.subleaf), Hex32(r.eax), Hex32(r.ebx), Hex32(r.ecx),
                   Hex32(r.edx), DescribeCpuidLeaf(r.leaf, r.subleaf, RegistersOf(r))});
    return t;
}

}  // namespace vorq
