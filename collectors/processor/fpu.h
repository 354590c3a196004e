// The collector "FPU" over injected platform services: the capability probe,
// the hashes of the rows and the tables, signals and facts it writes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "collectors/processor/cpuid.h"
#include "collectors/processor/fpu_common.h"
#include "collectors/processor/fpu_list.h"
#include "core/snapshot.h"

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kFpuStatus[] = "fpu.status";
inline constexpr char kFpuTests[] = "fpu.tests";
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kFpuApprox[] = "fpu.approx";
inline constexpr char kFpuProfile[] = "fpu.profile";
inline constexpr char kFpuX87[] = "fpu.x87";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kFpuSummary[] = "fpu.summary";
inline constexpr char kFpuTests[] = "fpu.tests";
}  // namespace vorq::table

namespace vorq {

struct FpuSource {
    CpuidFn cpuid;
    std::function<bool(uint32_t feature)> featurePresent;  // IsProcessorFeaturePresent
    std::function<bool(uint64_t& xcr0)> readXcr0;          // false when XGETBV faulted
    FpuSweeps sweeps;
};

// A whole unsigned 64-bit hexadecimal text without prefix or sign.
bool ParseXStateMask(const std::string& text, uint64_t& value);

FpuCapabilities ProbeFpuCapabilitiesWith(const Snapshot& s, const FpuSource& p);

struct FpuHashes {
    std::string profile;  // every row but the "state" ones
    std::string approx;   // the group "Approximation"
    std::string x87;      // the group "x87 80-bit"
};

// Each hash is the first 32 digits of the SHA-256 of its "ID=bits\n" lines.
FpuHashes HashFpuRows(const std::vector<FpuTestRow>& rows);

// The x87 rows whose results IEEE 754 fixes.
void ReclassifyX87Rows(std::vector<FpuTestRow>& rows);

// The table "fpu.tests", the table "fpu.summary" and the three signals.
void WriteFpuOutputs(Snapshot& s, const std::vector<FpuTestRow>& rows, const FpuHashes& hashes);

void CollectFpuFrom(Snapshot& s, const FpuSource& p);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectFpu(Snapshot& s);

// Windows build: the live services.
bool ReadXcr0(uint64_t& value);
FpuSource LiveFpuSource();
FpuCapabilities ProbeFpuCapabilities(const Snapshot& s);

}  // namespace vorq
