#include <algorithm>
#include <set>

#include "core/text.h"
#include "vm/vm.h"

namespace vorq {

namespace {

// A probe's family text lists one or more families joined by JoinSet; each
// family counts once, however many probes name it.
void AddFamilies(std::set<std::string>& into, const std::string& text) {
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find(", ", start), text.size());
        if (end > start) into.insert(text.substr(start, end - start));
        start = end + 2;
    }
}

}  // namespace

std::string VmClassificationText(int32_t verdict, bool hvPresent) {
    switch (verdict) {
        case kGuestConfirmed: return "Virtual guest evidence confirmed";
        case kNeedsConfirmation: return "Virtualization indicators require confirmation";
        case kNoGuestEvidence: return hvPresent ? "Hypervisor active; guest not established" : "No guest evidence detected";
        default: return "Insufficient data";
    }
}

void WriteVmOutputs(Snapshot& s, const VmProbeList& probes, const VmScoreResult& r, const VmCpuContext& cpu) {
    const std::string classification = VmClassificationText(r.verdict, cpu.hvPresent);
    const char* role = cpu.rootPartition           ? "root"
                       : !cpu.guestFamilies.empty() ? "guest"
                       : cpu.hvPresent             ? "unknown"
                       : cpu.cpuData               ? "none"
                                                   : "unknown";
    std::set<std::string> platform, cloud;
    for (const VmProbe& p : probes) {
        if (p.result != kDetected || p.families.empty()) continue;
        AddFamilies(p.id.rfind("cloud.", 0) == 0 ? cloud : platform, p.families);
    }

    SetFact(s, fact::kVmGuest, r.confirmed ? "1" : "0");
    SetFact(s, fact::kVmClassification, classification);
    SetFact(s, fact::kVmHvPresent, cpu.hvPresent ? "1" : cpu.cpuData ? "0" : "unknown");
    SetFact(s, fact::kVmHvRole, role);
    SetFact(s, fact::kVmFamily, JoinSet(platform));
    SetFact(s, fact::kVmCloud, cloud.empty() ? "0" : "1");
    SetFact(s, fact::kVmVps, "unknown");
    SetFact(s, fact::kVmCoverage, std::to_string(r.coverage));
    SetFact(s, fact::kVmScore, std::to_string(r.score));
    SetFact(s, fact::kVmModel, "vorq.vm/3");

    const std::string roleText = cpu.rootPartition           ? "Root or management partition"
                                 : !cpu.guestFamilies.empty() ? "Recognized guest CPU signature"
                                 : std::string(role) == "none" ? "No hypervisor reported"
                                                               : "Role not established";
    Table summary = MakeTable("vm", table::kVmSummary, "Virtualization assessment", {{"Property", Role::Program}, {"Value", Role::Maker}});
    AddRow(summary, {"Physical PC Confidence", std::to_string(r.score) + "%"});
    AddRow(summary, {"Classification", classification});
    AddRow(summary, {"Hypervisor presence", cpu.hvPresent ? "Detected" : cpu.cpuData ? "Not Detected" : "Inconclusive"});
    AddRow(summary, {"Guest environment", r.confirmed ? "Confirmed by guest evidence" : "Not established"});
    AddRow(summary, {"Partition context", roleText});
    AddRow(summary, {"Platform families", platform.empty() ? "Not identified" : JoinSet(platform)});
    AddRow(summary, {"Cloud infrastructure", cloud.empty() ? "Not established" : JoinSet(cloud)});
    AddRow(summary, {"VPS service model", "Not established from local evidence"});
    AddRow(summary, {"Data coverage", std::to_string(r.coverage) + "%"});
    AddRow(summary, {"Missing-data confidence reduction", std::to_string(r.reduction)});
    AddRow(summary, {"Independent guest evidence groups", std::to_string(r.independentGroups)});
    AddRow(summary, {"Scoring model", "Engineering confidence index; correlated tests contribute only their group maximum."});
    AddRow(summary, {"Version", "vorq.vm/3"});
    AddRow(summary, {"Weighted detection methods", std::to_string(CountWeightedProbes(probes))});
    AddRow(summary, {"Context checks", std::to_string(CountContextProbes(probes))});
    AddRow(summary, {"Unavailable checks", std::to_string(CountUnavailableProbes(probes))});
    summary.note = Format("No detected indicators does not prove physical hardware. Complete observation has a %d%% confidence ceiling.",
                          std::clamp(kVmWeights[kWCeiling], 0, 99));
    s.tables.push_back(std::move(summary));

    static const char* const kCategories[][2] = {
        {"cpu", "CPU"},     {"firmware", "BIOS/SMBIOS"}, {"hardware", "Hardware"}, {"network", "Network"},
        {"storage", "Storage"}, {"os", "OS Artifacts"},  {"timing", "Timing"},     {"cloud", "Cloud/VPS"},
    };
    for (const auto& [category, title] : kCategories) {
        Table t = MakeTable("vm", std::string("vm.tests.") + category, title,
                            {{"Test ID", Role::Program}, {"Test", Role::Program}, {"Method", Role::Program}, {"Status", Role::Program}, {"Evidence", Role::Maker}, {"Reliability", Role::Program}, {"Weight", Role::Program}, {"Impact", Role::Program}, {"Technical details", Role::Maker}, {"Platform families", Role::Program}});
        for (const VmProbe& p : probes) {
            if (p.category != category) continue;
            AddRow(t, {p.id, p.title, p.method, ProbeResultName(p.result), p.evidence, ProbeStrengthName(p.strength),
                       std::to_string(p.weight), p.impact != 0 ? Format("-%d", p.impact) : std::string("0"), p.caveat, p.families});
        }
        s.tables.push_back(std::move(t));
    }

    AddCatalogTables(s, probes);

    Score score;
    score.id = "physical";
    score.title = "Physical PC Confidence";
    score.value = r.score;
    score.verdict = classification;
    score.note =
        "Evidence-based confidence in physical hardware; not a calibrated probability. Hyper-V and VBS alone carry no guest "
        "penalty.";
    for (const VmProbe& p : probes) {
        if (p.impact <= 0) continue;
        score.items.push_back(ScoreItem{p.title, -p.impact, 0, kWarn, p.evidence});
    }
    if (r.reduction != 0)
        score.items.push_back(ScoreItem{"Missing-data confidence reduction", -r.reduction, 0, kInfo,
                                        "Unavailable sources reduce confidence rather than count as negative findings."});
    RemovePhysicalScore(s);
    s.scores.push_back(std::move(score));
}

}  // namespace vorq
