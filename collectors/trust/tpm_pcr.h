// PCR values of one bank and the measured-boot log of the current boot,
// checked against each other by replaying the log's SHA-256 extend chain.
// A local consistency check; it attests nothing to anyone else.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "collectors/trust/tcg_log.h"
#include "core/snapshot.h"

namespace vorq {

inline constexpr size_t kPcrCount = 24;
inline constexpr size_t kLogTableRows = 600;

struct PcrReading {
    uint16_t bank = 0x000B;
    std::array<std::vector<uint8_t>, kPcrCount> live;  // empty when not read
};

struct LogReading {
    bool tooLarge = false;
    std::vector<uint8_t> bytes;
    int validation = -1;  // TcgLogStatus, -1 when there was nothing to validate
    bool parsed = false;
    TcgLog log;
};

struct PcrReplay {
    bool ran = false;
    std::array<std::vector<uint8_t>, kPcrCount> values;
    std::array<uint32_t, kPcrCount> counts{};
};

struct PcrTallies {
    int matched = 0, mismatched = 0, compared07 = 0, matched07 = 0;
};

// SHA-256 when active, else the first active bank; SHA-256 when none is.
uint16_t ChoosePcrBank(const std::vector<uint16_t>& activeBanks);
// `size` is what the log query reported; `read` fetches that many bytes.
LogReading FetchTcgLog(uint64_t size, const std::function<std::vector<uint8_t>(uint64_t)>& read);
std::string LogParseStatus(const LogReading& r);
PcrReplay ReplayTcgLog(const LogReading& r, uint16_t bank);
// The "tpm.pcrs" table; the comparison tallies come out with it.
Table PcrTable(const PcrReading& pcrs, const PcrReplay& replay, PcrTallies& tallies);
// "tpm.log" fact value, "tpm.log_match" fact value and the "Measured boot log" row.
std::string LogVerdict(const LogReading& r, const PcrTallies& t);
std::string LogMatchText(const PcrTallies& t);
std::string MeasuredBootRowText(const LogReading& r, const PcrTallies& t);
Table LogTable(const LogReading& r);
// The "tpm.pcr0" and "tpm.pcr7" signals of the PCRs that were read.
void AddPcrSignals(Snapshot& s, const PcrReading& pcrs);

}  // namespace vorq
