// EDID: block-structure checks, decoding of the base block's identity fields,
// and the monitor rows, signals and facts of the display collector.
// Platform-free; the registry read lives in display_win.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/snapshot.h"

namespace vorq {

// Largest EDID value read from a monitor key (256 blocks).
constexpr size_t kMaxEdidBytes = 32768;

// What the registry read of one monitor found.
struct MonitorEdidRead {
    std::vector<uint8_t> bytes;
    bool hasEdid = false;          // a REG_BINARY value "EDID" exists
    bool edidError = false;        // the key or the value cannot be read
    bool overrideProbed = false;   // "EDID_OVERRIDE" opened or found absent
    bool overridePresent = false;  // "EDID_OVERRIDE" exists
    bool overrideError = false;    // "EDID_OVERRIDE" cannot be probed
    bool tooLarge = false;         // the value is longer than kMaxEdidBytes
};

struct EdidBlockChecks {
    bool headerOk = false;
    bool baseChecksumOk = false;
    bool allChecksumsOk = false;
    bool lengthConsistent = false;
    bool manufacturerValid = false;
    bool sizeOk = false;
    uint64_t availableBlocks = 0;
    uint64_t advertisedBlocks = 0;
};

struct EdidInfo {
    bool valid = false;
    std::string manufacturer;
    std::string name;
    std::string serialText;
    std::string manufactured;
    std::string version;
    std::string size;
    uint16_t productCode = 0;
    uint32_t serialNumber = 0;
};

EdidBlockChecks ValidateEdidBlocks(const std::vector<uint8_t>& bytes);
bool EdidChecksPassed(const EdidBlockChecks& c);
EdidInfo ParseEdid(const std::vector<uint8_t>& bytes);

// The monitor step: its two tables and counters, filled one monitor at a time.
struct MonitorStep {
    Table monitors;
    Table checks;
    uint32_t edidCount = 0;
    uint32_t edidContext = 0;
    uint32_t overridesProbed = 0;
    uint32_t overridesPresent = 0;
    uint32_t serials = 0;
    bool edidFailed = false;
    bool overrideFailed = false;
};

// `listed` is false when the monitor class could not be listed.
MonitorStep BeginMonitorStep(bool listed);
// One monitor (zero-based index); `friendlyName` is asked only when the EDID
// carries no name. Appends the monitor's signals to the Snapshot.
void AddMonitor(Snapshot& s, MonitorStep& m, uint32_t index, const MonitorEdidRead& r,
                const std::function<std::string()>& friendlyName);
// Writes the monitor facts; the tables stay in `m` for the caller to append.
void FinishMonitorStep(Snapshot& s, const MonitorStep& m);

}  // namespace vorq
