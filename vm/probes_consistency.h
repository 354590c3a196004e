// Context probes that compare what earlier collectors already observed
// (firmware against Windows, descriptors against Identify data, the TPM seen
// by firmware against TBS) or ask Windows one harmless question. All carry
// weight 0: shown and catalogued, never scored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/snapshot.h"

namespace vorq {

// One route of the IP Helper forward table, reduced to what the walk reads.
struct RouteRow {
    bool loopback = false;
    uint8_t prefixLength = 0;
    uint32_t validLifetime = 0;
};

// Both tables of one read. `routes` holds at most kRouteWalkMaxRows + 1 rows
// of `routeCount`; the walk marks the rest as not scanned.
struct RouteTablesRead {
    bool routesOk = false;
    uint64_t routeCount = 0;
    std::vector<RouteRow> routes;
    bool neighborsOk = false;
    uint64_t neighborCount = 0;
};

inline constexpr size_t kRouteWalkMaxRows = 4096;
inline constexpr uint64_t kNeighborMaxCount = 4096;
inline constexpr uint64_t kRouteWalkMaxMs = 50;

// WTSClientProtocolType of the current session: `ok` only when the call
// succeeded with a buffer of at least two bytes.
struct WtsProtocolRead {
    bool ok = false;
    uint16_t protocol = 0;
};

// IsNativeVhdBoot, looked up in the already loaded kernel32.
struct NativeVhdRead {
    bool supported = false;  // the function exists
    bool ok = false;         // the call succeeded
    bool native = false;
};

enum ConsistencyCompare : int32_t { kNotComparable = 0, kAgree = 1, kDiffer = 2 };

uint64_t GetFactUInt(const Snapshot& s, const std::string& key);
std::string TrimUpper(std::string_view text);
std::string NormalizeSerial(std::string_view text);
// `swappedAta`: the descriptor may be the hexadecimal form of a byte-swapped
// ATA serial, as some drivers report it.
int32_t CompareStorageSerials(std::string_view descriptor, std::string_view identify, std::string_view nguid,
                              std::string_view eui64, bool swappedAta);
int32_t CompareTpmVendor(std::string_view a, std::string_view b);
bool IsTpmEmulatorName(std::string_view text);

}  // namespace vorq
