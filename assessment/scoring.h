// The scoring stage: device identity, platform integrity and driver trust,
// each a value from 0 to 100 explained by its factor rows; the device heading.
#pragma once

#include <string>
#include <vector>

#include "core/snapshot.h"

namespace vorq {

const char* ScoreLevelName(int32_t value);
void AddScoreItem(Score& score, std::string label, int32_t points, int32_t max, int32_t status, std::string note);
void AddPassFailItem(Score& score, std::string label, bool ok, int32_t weight, std::string passNote, std::string failNote,
                     int32_t failStatus);
void ApplyCappedPenalty(int32_t& value, Score& score, std::string label, int32_t count, int32_t base, int32_t step,
                        int32_t cap, int32_t status, std::string note);
bool HasSignal(const Snapshot& s, const std::string& key);
bool TpmAccessUnavailable(const Snapshot& s);
std::vector<Score>::iterator FindPhysicalScore(std::vector<Score>::iterator first, std::vector<Score>::iterator last);

// The scoring stage the collector table runs last: scores, factor rows and
// the device heading from what the collectors wrote.
void ScoreSnapshot(Snapshot& s);

}  // namespace vorq
