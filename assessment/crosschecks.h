// Identifiers read by two independent paths, compared. Everything but the two
// WMI texts and the memory size comes from the Snapshot's facts and signals.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/snapshot.h"

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kOsMemMb[] = "os.mem_mb";
}  // namespace vorq::fact

namespace vorq {

// The values the collector reads from the live system.
struct CrossChecksSource {
    std::string wmiUuid;         // Win32_ComputerSystemProduct.UUID (last row)
    std::string wmiBoardSerial;  // Win32_BaseBoard.SerialNumber (first non-empty)
    uint64_t totalPhysicalBytes = 0;
};

// `detail`: a plain text is the program's own; machine data goes in as a
// sentence's arguments.
void AddCheck(Snapshot& s, std::string id, std::string category, std::string title, int32_t status, Sentence detail);
std::string NormalizeId(std::string_view text);
bool ListContainsId(std::string_view list, std::string_view id);
std::vector<std::string> ModelNumberTokens(std::string_view text);
int32_t GetFactInt(const Snapshot& s, const std::string& key);

// Appends the checks in catalogue order and sets "os.mem_mb".
void CollectCrossChecksFrom(Snapshot& s, const CrossChecksSource& in);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectCrossChecks(Snapshot& s);

}  // namespace vorq
