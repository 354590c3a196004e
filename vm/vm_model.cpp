#include "vm/vm_model.h"

#include <algorithm>

#include "collectors/processor/cpu.h"
#include "collectors/processor/hypervisor.h"
#include "core/text.h"

namespace vorq {

const VmWeights kVmWeights = {92, 50, 70, 55, 65, 65, 35, 20, 6,  65, 65, 55, 35, 65, 35, 25,
                              25, 20, 20, 10, 6,  35, 35, 35, 35, 35, 10, 35, 20, 30, 12, 30,
                              25, 0,  35, 30, 10, 15, 8,  8,  10, 8,  6,  8,  10, 35, 8,  8};

VmProbe MakeVmProbe(std::string id, std::string category, std::string title, std::string method, int32_t group,
                    int32_t strength, int32_t weight) {
    VmProbe p;
    p.id = std::move(id);
    p.category = std::move(category);
    p.title = std::move(title);
    p.method = std::move(method);
    p.group = group;
    p.strength = strength;
    p.weight = weight;
    return p;
}

void AppendProbe(VmProbeList& list, VmProbe&& probe) { list.push_back(std::move(probe)); }

void SetDetected(VmProbe& p, bool detected, std::string detectedText, std::string notDetectedText) {
    p.result = detected ? kDetected : kNotDetected;
    p.evidence = detected ? std::move(detectedText) : std::move(notDetectedText);
}

void MarkSourceUnavailable(VmProbe& p, const Snapshot& s, std::string_view collector) {
    p.result = CollectorFailed(s, collector) ? kProbeError : kInconclusive;
    p.evidence = "Inventory data is unavailable.";
}

void ApplyServiceKeyScan(VmProbe& p, const ServiceKeyScan& scan, std::string detectedText) {
    if (!scan.families.empty()) {
        p.result = kDetected;
        p.evidence = std::move(detectedText);
        p.families = JoinSet(scan.families);
        if (scan.incomplete) p.caveat = "Some optional registry keys could not be read.";
    } else if (scan.incomplete) {
        p.result = kProbeError;
        p.evidence = "Registry access was incomplete.";
    } else {
        p.result = kNotDetected;
        p.evidence = "No matching installed service was found.";
    }
}

const char* ProbeResultName(int32_t code) {
    switch (code) {
        case kDetected: return "Detected";
        case kNotDetected: return "Not Detected";
        case kNotSupported: return "Not Supported";
        case kProbeError: return "Error";
        default: return "Inconclusive";
    }
}

const char* ProbeStrengthName(int32_t code) {
    switch (code) {
        case kWeak: return "Weak";
        case kModerate: return "Moderate";
        case kStrong: return "Strong";
        default: return "Context";
    }
}

std::string GetSignalValue(const Snapshot& s, std::string_view key) {
    for (const Signal& sig : s.signals)
        if (sig.key == key) return ToLower(Trim(sig.value));
    return {};
}

bool CollectorFailed(const Snapshot& s, std::string_view collector) {
    for (const CollectorRun& run : s.collectors)
        if (run.name == collector && run.status == "error") return true;
    return SourceFailed(s, collector);
}

bool ParseHex32(std::string_view text, uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        int d = HexDigitValue(c);
        if (d < 0) return false;
        v = v * 16 + static_cast<uint64_t>(d);
    }
    if (v > 0xFFFFFFFFull) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

CpuidLeafRegs FindCpuidLeaf(const Snapshot& s, uint32_t leaf) {
    CpuidLeafRegs r;
    const Table* t = FindTable(s, table::kCpuLeaves);
    if (!t) return r;
    for (const TableRow& row : t->rows) {
        namespace c = col::cpu_leaves;
        if (row.cells.size() <= c::kEdx) continue;
        uint32_t l = 0;
        if (row.cells[c::kLeaf].empty() || row.cells[c::kLeaf].size() > 10 || !ParseHex32(row.cells[c::kLeaf], l) ||
            l != leaf)
            continue;
        if (row.cells[c::kSubleaf] != "0") continue;
        r.valid = ParseHex32(row.cells[c::kEax], r.eax) && ParseHex32(row.cells[c::kEbx], r.ebx) &&
                  ParseHex32(row.cells[c::kEcx], r.ecx) && ParseHex32(row.cells[c::kEdx], r.edx);
        return r;
    }
    return r;
}

std::string LeafVendorText(const CpuidLeafRegs& r) {
    char bytes[12];
    const uint32_t regs[3] = {r.ebx, r.ecx, r.edx};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 4; ++k) bytes[i * 4 + k] = static_cast<char>((regs[i] >> (8 * k)) & 0xFF);
    size_t n = 0;
    while (n < 12 && bytes[n] != '\0') ++n;
    return std::string(bytes, n);
}

bool IsHypervisorBaseLeaf(const CpuidLeafRegs& r, uint32_t base) {
    return r.valid && IsPlausibleHypervisorLeaf(r.eax, base, LeafVendorText(r));
}

std::string CellOrEmpty(const TableRow& row, size_t index) { return index < row.cells.size() ? row.cells[index] : std::string(); }

std::string JoinSet(const std::set<std::string>& set) {
    std::string out;
    for (const std::string& m : set) {
        if (!out.empty()) out += ", ";
        out += m;
    }
    return out;
}

bool AnyInSet(const std::set<std::string>& range, const std::set<std::string>& other) {
    for (const std::string& m : range)
        if (other.count(m)) return true;
    return false;
}

int CountWeightedProbes(const VmProbeList& list) {
    return static_cast<int>(std::count_if(list.begin(), list.end(), [](const VmProbe& p) {
        return p.weight > 0 && p.strength != kContext && p.result != kNotSupported;
    }));
}

int CountContextProbes(const VmProbeList& list) {
    return static_cast<int>(std::count_if(list.begin(), list.end(), [](const VmProbe& p) { return p.strength == kContext; }));
}

int CountUnavailableProbes(const VmProbeList& list) {
    return static_cast<int>(std::count_if(list.begin(), list.end(), [](const VmProbe& p) {
        return p.result == kInconclusive || p.result == kNotSupported || p.result == kProbeError;
    }));
}

void RemovePhysicalScore(Snapshot& s) {
    std::erase_if(s.scores, [](const Score& sc) { return sc.id == "physical"; });
}

void RemoveVmTables(Snapshot& s) {
    std::erase_if(s.tables, [](const Table& t) { return t.tab == "vm"; });
}

int64_t FactCount(const Snapshot& s, const std::string& key) {
    std::string v = GetFact(s, key, "0");
    if (v.empty() || v.size() > 18) return 0;
    int64_t n = 0;
    for (char c : v) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace vorq
