#include <gtest/gtest.h>

#include "vm/vm_scorer.h"

namespace vorq {
namespace {

std::vector<CoverageEntry> FullCoverage() {
    return {{"cpu", 22, true},     {"smbios", 22, true},  {"acpi", 10, true},          {"pnp", 18, true},
            {"storage", 10, true}, {"network", 8, true}, {"guest_registry", 10, true}};
}

VmProbe Probe(const char* id, int32_t group, int32_t strength, int32_t weight, bool confirming = false,
              bool independent = false, int32_t result = kDetected) {
    VmProbe p = MakeVmProbe(id, "x", id, "", group, strength, weight);
    p.result = result;
    p.confirming = confirming;
    p.independent = independent;
    return p;
}

TEST(VmScorer, CoverageSetsTheStartingScore) {
    VmProbeList none;
    auto full = FullCoverage();
    VmScoreResult r = ScoreVmEvidence(none, full, kVmWeights);
    EXPECT_EQ(r.coverage, 100);
    EXPECT_EQ(r.score, 92);
    EXPECT_EQ(r.reduction, 0);
    EXPECT_EQ(r.verdict, kNoGuestEvidence);

    full[5].available = false;  // network
    r = ScoreVmEvidence(none, full, kVmWeights);
    EXPECT_EQ(r.coverage, 92);
    EXPECT_EQ(r.score, 88);
    EXPECT_EQ(r.reduction, 4);

    r = ScoreVmEvidence(none, {}, kVmWeights);
    EXPECT_EQ(r.coverage, 0);
    EXPECT_EQ(r.score, 50);
    EXPECT_EQ(r.verdict, kInsufficientData);

    // Duplicates merge (largest weight, any available); negative weights count as 0.
    r = ScoreVmEvidence(none, {{"a", 10, false}, {"a", 30, true}, {"b", -50, false}, {"c", 70, false}}, kVmWeights);
    EXPECT_EQ(r.coverage, 30);
    r = ScoreVmEvidence(none, {{"a", 0, true}, {"b", -3, false}}, kVmWeights);
    EXPECT_EQ(r.coverage, 0);
}

TEST(VmScorer, VerdictBoundaries) {
    VmProbeList none;
    auto cov = FullCoverage();
    std::vector<CoverageEntry> c69 = {{"a", 69, true}, {"b", 31, false}};
    EXPECT_EQ(ScoreVmEvidence(none, c69, kVmWeights).verdict, kInsufficientData);
    std::vector<CoverageEntry> c70 = {{"a", 70, true}, {"b", 30, false}};
    EXPECT_EQ(ScoreVmEvidence(none, c70, kVmWeights).verdict, kNoGuestEvidence);
    cov[0].available = false;  // cpu missing
    EXPECT_EQ(ScoreVmEvidence(none, cov, kVmWeights).verdict, kInsufficientData);
}

TEST(VmScorer, ConfirmingStrongDetection) {
    VmProbeList probes = {Probe("cpu.vendor", kGroupCpu, kStrong, 65, true, true)};
    VmScoreResult r = ScoreVmEvidence(probes, FullCoverage(), kVmWeights);
    EXPECT_TRUE(r.confirmed);
    EXPECT_EQ(r.verdict, kGuestConfirmed);
    EXPECT_EQ(probes[0].impact, 65);
    EXPECT_EQ(r.score, 27);
    EXPECT_EQ(r.deduction, 65);
}

TEST(VmScorer, DuplicateIdsKeepTheHeavierWhateverTheOrder) {
    for (bool heavyFirst : {true, false}) {
        VmProbeList probes = {Probe("x.dup", kGroupFirmware, kModerate, 35), Probe("x.dup", kGroupFirmware, kModerate, 65)};
        if (heavyFirst) std::swap(probes[0], probes[1]);
        ScoreVmEvidence(probes, FullCoverage(), kVmWeights);
        EXPECT_EQ(probes[heavyFirst ? 0 : 1].impact, 65);
        EXPECT_EQ(probes[heavyFirst ? 1 : 0].impact, 0);
    }
}

TEST(VmScorer, IndependentGroupsConfirmTogether) {
    VmProbeList two = {Probe("firmware.acpi", kGroupFirmware, kModerate, 35, false, true),
                       Probe("hardware.pci", kGroupHardware, kModerate, 35, false, true)};
    VmScoreResult r = ScoreVmEvidence(two, FullCoverage(), kVmWeights);
    EXPECT_EQ(r.independentGroups, 2);
    EXPECT_EQ(r.verdict, kGuestConfirmed);
    EXPECT_EQ(r.score, 92 - 35 - 35);

    VmProbeList one = {Probe("hardware.pci", kGroupHardware, kModerate, 35, false, true)};
    r = ScoreVmEvidence(one, FullCoverage(), kVmWeights);
    EXPECT_EQ(r.verdict, kNeedsConfirmation);
    EXPECT_FALSE(r.confirmed);
}

TEST(VmScorer, FoldingSharesTheHardwareContribution) {
    VmProbeList probes = {Probe("os.guest_drivers", kGroupOs, kModerate, 20), Probe("hardware.pci", kGroupHardware, kModerate, 35),
                          Probe("network.oui", kGroupMacPrefix, kWeak, 10),
                          // ties with hardware.pci: the group's best is the smaller id, whatever the list order
                          Probe("hardware.disk", kGroupHardware, kModerate, 35)};
    FoldCorrelatedFindings(probes);
    EXPECT_EQ(probes[0].group, kGroupHardware);
    EXPECT_EQ(probes[2].group, kGroupHardware);
    VmScoreResult r = ScoreVmEvidence(probes, FullCoverage(), kVmWeights);
    EXPECT_EQ(r.deduction, 35);
    EXPECT_EQ(probes[0].impact, 0);
    EXPECT_EQ(probes[1].impact, 0);
    EXPECT_EQ(probes[3].impact, 35);

    VmProbeList alone = {Probe("os.guest_drivers", kGroupOs, kModerate, 20)};
    FoldCorrelatedFindings(alone);
    EXPECT_EQ(alone[0].group, kGroupOs);
    r = ScoreVmEvidence(alone, FullCoverage(), kVmWeights);
    EXPECT_EQ(alone[0].impact, 20);
}

TEST(VmScorer, ContextOrCaplessDetectionsNeverDeduct) {
    VmProbeList probes = {Probe("cpu.hypervisor", kGroupCpu, kContext, 65), Probe("x.outside", 7, kStrong, 65, true, true)};
    VmWeights w = kVmWeights;
    VmScoreResult r = ScoreVmEvidence(probes, FullCoverage(), w);
    EXPECT_EQ(r.verdict, kNoGuestEvidence);
    EXPECT_EQ(probes[0].impact + probes[1].impact, 0);

    w[kWCapCpu + static_cast<int>(kGroupFirmware)] = 0;
    VmProbeList capless = {Probe("firmware.system", kGroupFirmware, kStrong, 65, true, true)};
    r = ScoreVmEvidence(capless, FullCoverage(), w);
    EXPECT_EQ(capless[0].impact, 0);
    EXPECT_FALSE(r.confirmed);
}

TEST(VmScorer, ScoreNeverBelowZeroAndOnlyBestOfGroupCarriesImpact) {
    VmProbeList probes = {Probe("cpu.vendor", kGroupCpu, kStrong, 65), Probe("cpu.brand", kGroupCpu, kModerate, 35),
                          Probe("firmware.system", kGroupFirmware, kStrong, 65)};
    VmScoreResult r = ScoreVmEvidence(probes, {}, kVmWeights);  // S = 50
    EXPECT_EQ(probes[0].impact, 50);
    EXPECT_EQ(probes[1].impact, 0);
    EXPECT_EQ(probes[2].impact, 0);
    EXPECT_EQ(r.score, 0);
}

}  // namespace
}  // namespace vorq
