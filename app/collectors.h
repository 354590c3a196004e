// The collectors of the program's collector table and the scoring stage. Each
// takes the Snapshot by reference and records its own failures inside it.
#pragma once

#include <array>

#include "core/driver.h"
#include "core/snapshot.h"

namespace vorq {

void CollectWindows(Snapshot& s);
void CollectCpu(Snapshot& s);
void CollectFpu(Snapshot& s);
void CollectSmbios(Snapshot& s);
void CollectAcpi(Snapshot& s);
void CollectUefi(Snapshot& s);
void CollectDevices(Snapshot& s);
void CollectStorage(Snapshot& s);
void CollectNetwork(Snapshot& s);
void CollectDisplay(Snapshot& s);
void CollectBattery(Snapshot& s);
void CollectTpm(Snapshot& s);
void CollectPlatform(Snapshot& s);
void CollectMicrosoft(Snapshot& s);
void CollectDrivers(Snapshot& s);
void CollectVm(Snapshot& s);
void CollectCrossChecks(Snapshot& s);
void ScoreSnapshot(Snapshot& s);

// Windows build only: the collectors above in dependency order, each with its
// progress weight.
extern const std::array<CollectorEntry, 17> kCollectorTable;

}  // namespace vorq
