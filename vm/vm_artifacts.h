// Bounded scans of the running system for traces a guest installation leaves
// (registry mirrors, guest tools, services, files, processes, windows, DOS
// device aliases), each summarised as an ArtifactScan and turned into one
// probe. The scans work through VmSystemAccess, so they run on the host.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "vm/vm_model.h"
#include "vm/vm_system.h"

namespace vorq {

struct ArtifactScan {
    std::set<std::string> families;
    bool examined = false;     // some location answered, "not found" included
    bool accessError = false;  // some location failed otherwise
    bool incomplete = false;   // a time or count bound stopped the scan
};

// A fixed list entry: a name and the family it stands for.
struct NameFamily {
    const char* name;
    const char* family;
};

template <size_t N>
const char* LookupFamily(const NameFamily (&table)[N], std::string_view name) {
    for (const NameFamily& e : table)
        if (name == e.name) return e.family;
    return nullptr;
}

// The scan clock in milliseconds; 0 without one (no time bound applies).
inline uint64_t NowMs(const VmSystemAccess& sys) { return sys.tickMs ? sys.tickMs() : 0; }

// Detected, else Error, Inconclusive (incomplete), Not Detected (examined),
// else Not Supported.
int32_t ArtifactScanResult(const ArtifactScan& scan);

// Not-found answers are ordinary negative evidence; any other failure is an
// access error. Returns whether the lookup succeeded.
bool ClassifyLookup(ArtifactScan& scan, uint32_t error);

// One answer of a subkey enumeration bounded to `bound` entries: true when
// the entry is a name to look at. The answer for index `bound` only tells
// whether more subkeys exist (incomplete); the end of the list stops the
// walk, a failure also sets accessError.
bool BoundedSubkeyEntry(ArtifactScan& scan, uint32_t index, uint32_t bound, uint32_t error);

VmProbe MakeArtifactProbe(std::string id, std::string category, std::string title, std::string method, int32_t group,
                          int32_t strength, int32_t weight, const ArtifactScan& scan, std::string caveat);
void AddWindowsArtifactProbe(VmProbeList& probes, std::string id, std::string category, std::string title,
                             std::string method, int32_t group, int32_t weight, const ArtifactScan& scan);

// The strings of registry string data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ):
// an odd byte count or a string without its terminator sets accessError;
// only REG_MULTI_SZ yields more than the first string.
std::vector<std::string> ParseRegistryStrings(uint32_t type, const std::vector<uint8_t>& data, ArtifactScan& scan);

// `word` occurs in `text` (ASCII case-insensitive) with no letter or digit
// right before or after it.
bool ContainsWord(std::string_view text, std::string_view word);

// The scans, in the order their probes are listed.
ArtifactScan ScanRegistryBios(const VmSystemAccess& sys);
ArtifactScan ScanRegistryAcpi(const VmSystemAccess& sys);
ArtifactScan ScanGuestSoftwareKeys(const VmSystemAccess& sys);
ArtifactScan ScanRunningGuestServices(const VmSystemAccess& sys);
ArtifactScan ScanGuestFiles(const VmSystemAccess& sys);
ArtifactScan ScanGuestProcesses(const VmSystemAccess& sys);

ArtifactScan ScanLegacyBiosRegistry(const VmSystemAccess& sys);
ArtifactScan ScanScsiDeviceMap(const VmSystemAccess& sys);
ArtifactScan ScanGuestDriverKeys(const VmSystemAccess& sys);
ArtifactScan ScanGuestDirectories(const VmSystemAccess& sys);
ArtifactScan ScanGuestTrayWindows(const VmSystemAccess& sys);
ArtifactScan ScanGuestDosDevices(const VmSystemAccess& sys);

}  // namespace vorq
