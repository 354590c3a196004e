// Turns the probe list and the data-coverage list into the physical-PC
// confidence: an engineering index that starts from a ceiling lowered by
// missing data and loses at most one contribution per evidence group.
#pragma once

#include <string>
#include <vector>

#include "vm/vm_model.h"

namespace vorq {

struct CoverageEntry {
    std::string source;
    int32_t weight = 0;
    bool available = false;
};

enum VmVerdict : int32_t { kGuestConfirmed = 0, kNeedsConfirmation = 1, kNoGuestEvidence = 2, kInsufficientData = 3 };

struct VmScoreResult {
    int32_t score = 0;
    int32_t coverage = 0;
    int32_t reduction = 0;
    int32_t deduction = 0;
    int32_t independentGroups = 0;
    bool confirmed = false;
    int32_t verdict = kInsufficientData;
};

// Moves findings that echo a hardware detection into the hardware group.
void FoldCorrelatedFindings(VmProbeList& probes);
// Sets every probe's impact and returns the figures.
VmScoreResult ScoreVmEvidence(VmProbeList& probes, const std::vector<CoverageEntry>& coverage, const VmWeights& w);

}  // namespace vorq
