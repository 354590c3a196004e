// The platform security posture: the keys and table columns other collectors
// and the scoring stage read, and the platform-free rules that turn the
// readings into the posture rows, the Security Center rows and the facts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/registry.h"
#include "core/snapshot.h"

namespace vorq::fact {
inline constexpr char kPlatUefi[] = "plat.uefi";
inline constexpr char kPlatSecureBoot[] = "plat.secureboot";
// Written only after a successful code-integrity query, like the three below.
inline constexpr char kPlatCiOk[] = "plat.ci_ok";
inline constexpr char kPlatTestSign[] = "plat.testsign";
inline constexpr char kPlatDebug[] = "plat.debug";
inline constexpr char kPlatHvciCi[] = "plat.hvci_ci";
// Written only when Device Guard answered with a row.
inline constexpr char kPlatVbs[] = "plat.vbs";
inline constexpr char kPlatHvci[] = "plat.hvci";
inline constexpr char kPlatDmaCapable[] = "plat.dma_capable";
inline constexpr char kPlatBlocklist[] = "plat.blocklist";
// Only "1", only when a report was produced.
inline constexpr char kPlatRuntimeReport[] = "plat.runtime_report";
// Number of Security Center product rows, decimal.
inline constexpr char kPlatWsc[] = "plat.wsc";
}  // namespace vorq::fact

namespace vorq::table {
inline constexpr char kPlatformPosture[] = "platform.posture";
inline constexpr char kPlatformWsc[] = "platform.wsc";
}  // namespace vorq::table

namespace vorq::col::platform_posture {
inline constexpr size_t kFeature = 0, kState = 1, kEvidence = 2;
}
namespace vorq::col::platform_wsc {
inline constexpr size_t kCategory = 0, kProduct = 1, kState = 2, kSignatures = 3, kUpdated = 4;
}

namespace vorq {

// Win32_DeviceGuard; a later row overwrites an earlier one.
struct DeviceGuardReading {
    int64_t vbsStatus = -1;
    std::vector<int64_t> servicesRunning;
    std::vector<int64_t> availableProperties;
};

// One row of a Security Center product class.
struct SecurityProduct {
    std::string displayName;
    int64_t productState = 0;
    std::string timestamp;
};

// One call of GetRuntimeAttestationReport: true on success, else false with
// the thread's last error in `lastError`.
using AttestationCall = std::function<bool(const uint8_t* nonce, uint16_t packageVersion, uint64_t reportTypes,
                                           void* buffer, uint32_t* size, uint32_t* lastError)>;

// Reports above this size are not requested: the size comes from the system,
// and a damaged answer must not become a huge allocation.
inline constexpr uint32_t kMaxRuntimeReportSize = 16u << 20;

struct PlatformSource {
    uint32_t firmwareType = 0;  // GetFirmwareType's answer; 0 when not available
    std::optional<uint32_t> secureBoot;
    std::vector<RegValue> servicing;  // SecureBoot\Servicing, in enumeration order
    std::optional<uint32_t> ciOptions;  // absent when the code-integrity query failed
    DeviceGuardReading deviceGuard;
    std::string deviceGuardError;  // the WMI query's error text, empty when it ran
    std::optional<uint32_t> blocklist;
    std::optional<uint32_t> smartAppControl;
    AttestationCall attestation;  // empty when the function is not exported
    std::function<bool(uint8_t* buffer, size_t n)> random;
    std::function<std::string(uint32_t error)> errorText;  // Win32 error text
    // (category, product rows) per Security Center class; a class whose query failed is absent.
    std::vector<std::pair<std::string, std::vector<SecurityProduct>>> products;
    bool productQueryOk = false;  // at least one Security Center query ran
};

// The "Runtime attestation report" state; sets `produced` when a report came.
std::string RequestRuntimeReport(const AttestationCall& call, const std::function<bool(uint8_t*, size_t)>& random,
                                 const std::function<std::string(uint32_t)>& errorText, bool& produced);

// "enabled (0x001000)"-style state, signature status and the other cells.
void AddSecurityProductRow(Table& t, const std::string& category, const SecurityProduct& product);

void CollectPlatformFrom(Snapshot& s, const PlatformSource& src);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectPlatform(Snapshot& s);

}  // namespace vorq
