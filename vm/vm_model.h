// Evidence records of the virtual-machine detection, the weight table, and
// small readers over the Snapshot that the probes share. Platform-free.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/snapshot.h"

namespace vorq {

enum ProbeResult : int32_t { kDetected = 0, kNotDetected = 1, kInconclusive = 2, kNotSupported = 3, kProbeError = 4 };
enum ProbeStrength : int32_t { kContext = 0, kWeak = 1, kModerate = 2, kStrong = 3 };
enum EvidenceGroup : int32_t { kGroupCpu = 0, kGroupFirmware = 1, kGroupHardware = 2, kGroupOs = 3, kGroupMacPrefix = 4 };

struct VmProbe {
    std::string id;
    std::string category;
    std::string title;
    std::string method;
    std::string evidence;
    std::string caveat;
    std::string families;
    int32_t result = kInconclusive;
    int32_t strength = kContext;
    int32_t group = kGroupCpu;
    int32_t weight = 0;
    bool confirming = false;
    bool independent = false;
    int32_t impact = 0;
};

using VmProbeList = std::vector<VmProbe>;
using VmWeights = std::array<int32_t, 48>;
extern const VmWeights kVmWeights;

// Indexes into VmWeights.
enum VmWeightIndex : int {
    kWCeiling = 0,
    kWFloor = 1,
    kWCoverageThreshold = 2,
    kWIndependentSum = 3,
    kWCapCpu = 4,  // caps of the five groups follow in group order
    kWCpuVendor = 9,
    kWFirmwareSystem = 10,
    kWFirmwareVmFlag = 11,
    kWFirmwareAcpi = 12,
    kWFirmwareVmgenid = 13,
    kWHardwarePci = 14,
    kWNetworkModel = 15,
    kWStorageModel = 16,
    kWGuestDrivers = 17,
    kWGuestParameters = 18,
    kWGuestServices = 19,
    kWNetworkOui = 20,
    // inventory signature and PnP hardware probes
    kWCpuBrand = 21,
    kWFirmwareBios = 22,
    kWFirmwareBaseboard = 23,
    kWFirmwareOemStrings = 24,
    kWFirmwareAcpiDevices = 25,
    kWFirmwareWaet = 26,
    kWHardwarePnp = 27,
    kWHardwareBoundDrivers = 28,
    kWHardwareGraphics = 29,
    kWHardwareMonitorEdid = 30,
    kWStorageControllers = 31,
    kWNetworkPnp = 32,
    kWHardwareRemoteDisplay = 33,
    kWRegistryBios = 34,  // also registry.legacy_bios
    kWRegistryAcpi = 35,
    kWGuestSoftware = 36,
    kWRunningServices = 37,
    kWGuestFiles = 38,
    kWGuestProcesses = 39,
    kWRegistryScsi = 40,
    kWDriverKeys = 41,
    kWGuestDirectories = 42,
    kWGuestWindows = 43,
    kWGuestDevices = 44,
    kWNvmlGuest = 45,
    kWHidModels = 46,
    kWGuestDriversNoDevice = 47,
};

struct CpuidLeafRegs {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
    bool valid = false;
};

struct ServiceKeyScan {
    std::set<std::string> families;
    bool incomplete = false;
};

// One key path under HKEY_LOCAL_MACHINE and the family it names.
struct ServiceKey {
    const char16_t* path;
    const char* family;
};

VmProbe MakeVmProbe(std::string id, std::string category, std::string title, std::string method, int32_t group,
                    int32_t strength, int32_t weight);
void AppendProbe(VmProbeList& list, VmProbe&& probe);
void SetDetected(VmProbe& p, bool detected, std::string detectedText, std::string notDetectedText);
void MarkSourceUnavailable(VmProbe& p, const Snapshot& s, std::string_view collector);
void ApplyServiceKeyScan(VmProbe& p, const ServiceKeyScan& scan, std::string detectedText);
const char* ProbeResultName(int32_t code);
const char* ProbeStrengthName(int32_t code);

std::string GetSignalValue(const Snapshot& s, std::string_view key);
// The collector stopped with an error, or noted a failed read (AddFailureNote).
bool CollectorFailed(const Snapshot& s, std::string_view collector);
bool ParseHex32(std::string_view text, uint32_t& value);
CpuidLeafRegs FindCpuidLeaf(const Snapshot& s, uint32_t leaf);
std::string LeafVendorText(const CpuidLeafRegs& r);
bool IsHypervisorBaseLeaf(const CpuidLeafRegs& r, uint32_t base);
std::string CellOrEmpty(const TableRow& row, size_t index);
std::string JoinSet(const std::set<std::string>& set);
bool AnyInSet(const std::set<std::string>& range, const std::set<std::string>& other);

int CountWeightedProbes(const VmProbeList& list);
int CountContextProbes(const VmProbeList& list);
int CountUnavailableProbes(const VmProbeList& list);
void RemovePhysicalScore(Snapshot& s);
void RemoveVmTables(Snapshot& s);

// Parses a decimal count the way flag/count facts are read: default 0.
int64_t FactCount(const Snapshot& s, const std::string& key);

}  // namespace vorq
