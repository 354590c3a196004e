#include "vm/vm_scorer.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace vorq {

static bool Counts(const VmProbe& p) { return p.weight > 0 && p.strength != kContext; }

void FoldCorrelatedFindings(VmProbeList& probes) {
    bool trigger = std::any_of(probes.begin(), probes.end(),
                               [](const VmProbe& p) { return p.group == kGroupHardware && p.result == kDetected && Counts(p); });
    if (!trigger) return;
    for (VmProbe& p : probes)
        if ((p.id == "network.oui" || p.group == kGroupOs) && Counts(p)) p.group = kGroupHardware;
}

VmScoreResult ScoreVmEvidence(VmProbeList& probes, const std::vector<CoverageEntry>& coverage, const VmWeights& w) {
    VmScoreResult r;
    const int32_t ceiling = std::clamp(w[kWCeiling], 0, 99);
    const int32_t floor = std::min(ceiling, std::max(w[kWFloor], 0));

    // Coverage over sources merged by name; sums in 64 bits so no list overflows them.
    std::map<std::string, CoverageEntry> merged;
    for (const CoverageEntry& e : coverage) {
        auto [it, inserted] = merged.emplace(e.source, e);
        if (!inserted) {
            it->second.weight = std::max(it->second.weight, e.weight);
            it->second.available = it->second.available || e.available;
        }
    }
    int64_t total = 0, available = 0;
    for (const auto& [source, e] : merged) {
        int64_t weight = e.weight < 1 ? 0 : e.weight;
        total += weight;
        if (e.available) available += weight;
    }
    r.coverage = total == 0 ? 0 : static_cast<int32_t>(available * 100 / total);
    const int32_t start = floor + static_cast<int32_t>(static_cast<int64_t>(r.coverage) * (ceiling - floor) / 100);
    r.reduction = ceiling - start;

    for (VmProbe& p : probes) p.impact = 0;

    // One candidate per id: the larger tuple wins, the earlier on a full tie.
    auto key = [](const VmProbe& p) {
        return std::make_tuple(p.weight, -static_cast<int64_t>(p.group), p.strength, p.confirming, p.independent,
                               std::string_view(p.evidence), std::string_view(p.title));
    };
    std::map<std::string, size_t> kept;
    for (size_t i = 0; i < probes.size(); ++i) {
        const VmProbe& p = probes[i];
        if (p.result != kDetected || !Counts(p)) continue;
        auto [it, inserted] = kept.emplace(p.id, i);
        if (!inserted && key(probes[it->second]) < key(p)) it->second = i;
    }

    constexpr int kGroups = 5;
    int best[kGroups] = {-1, -1, -1, -1, -1};
    int32_t bestValue[kGroups] = {};
    bool marked[kGroups] = {};
    int64_t independentEvidence[kGroups] = {};
    for (const auto& [id, index] : kept) {  // ascending byte order of id
        const VmProbe& p = probes[index];
        if (p.group < 0 || p.group >= kGroups) continue;
        const int g = p.group;
        const int32_t cap = w[kWCapCpu + g];
        if (cap < 1) continue;
        const int32_t value = std::min(cap, p.weight);
        if (best[g] < 0 || bestValue[g] < value || (bestValue[g] == value && p.id < probes[static_cast<size_t>(best[g])].id)) {
            best[g] = static_cast<int>(index);
            bestValue[g] = value;
        }
        if (p.confirming && p.strength == kStrong) r.confirmed = true;
        if (p.independent && (p.strength == kModerate || p.strength == kStrong)) {
            marked[g] = true;
            independentEvidence[g] = std::max<int64_t>(independentEvidence[g], value);
        }
    }

    int64_t evidence = 0, independentSum = 0;
    for (int g = 0; g < kGroups; ++g) {
        if (best[g] >= 0) evidence += std::min(w[kWCapCpu + g], probes[static_cast<size_t>(best[g])].weight);
        if (marked[g]) ++r.independentGroups;
        independentSum += independentEvidence[g];
    }
    if (r.independentGroups > 1 && independentSum >= w[kWIndependentSum]) r.confirmed = true;

    int32_t score = start;
    for (int g = 0; g < kGroups; ++g) {
        if (best[g] < 0) continue;
        VmProbe& p = probes[static_cast<size_t>(best[g])];
        int32_t d = std::max(0, std::min({w[kWCapCpu + g], p.weight, score}));
        p.impact = d;
        score -= d;
        r.deduction += d;
    }

    auto unavailable = [&](const char* source) {
        auto it = merged.find(source);
        return it != merged.end() && !it->second.available;
    };
    if (r.confirmed) {
        r.verdict = kGuestConfirmed;
    } else if (evidence >= 1) {
        r.verdict = kNeedsConfirmation;
    } else if (r.coverage < w[kWCoverageThreshold] || unavailable("cpu") || unavailable("smbios")) {
        r.verdict = kInsufficientData;
    } else {
        r.verdict = kNoGuestEvidence;
    }
    r.score = score;
    return r;
}

}  // namespace vorq
