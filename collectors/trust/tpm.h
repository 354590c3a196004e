// The "TPM" collector: the keys it writes that later collectors, the scoring
// stage and the page read (writers and readers use these names, never the
// literals), and its pure part: everything after the platform calls, which
// reach it through TpmSource.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "collectors/trust/ek_cert.h"
#include "collectors/trust/tpm_key.h"
#include "collectors/trust/tpm_provisioning.h"
#include "collectors/trust/tpm_transport.h"
#include "core/snapshot.h"

namespace vorq::fact {
inline constexpr char kTpmStatus[] = "tpm.status";                      // "unavailable", "error", "available"
inline constexpr char kTpmDeviceTbsRc[] = "tpm.device_tbs_rc";          // "0x%08X"
inline constexpr char kTpmDeviceStatus[] = "tpm.device_status";         // "complete", "absent", "error"
inline constexpr char kTpmPresent[] = "tpm.present";                    // "1" / "0"
inline constexpr char kTpmVersion[] = "tpm.version";                    // "2.0", "1.2", "unknown"
inline constexpr char kTpmIfType[] = "tpm.iftype";                      // decimal
inline constexpr char kTpmContextTbsRc[] = "tpm.context_tbs_rc";        // "0x%08X", context failure only
inline constexpr char kTpmCapabilityStatus[] = "tpm.capability_status"; // "unavailable", "error", "partial", "complete"
inline constexpr char kTpmManufacturer[] = "tpm.manufacturer";
inline constexpr char kTpmVendorString[] = "tpm.vendor_string";
inline constexpr char kTpmEk[] = "tpm.ek";  // "1" / "0"
inline constexpr char kTpmEkCerts[] = "tpm.ek_certs";
inline constexpr char kTpmEkBound[] = "tpm.ek_bound";
inline constexpr char kTpmEkUnbound[] = "tpm.ek_unbound";
inline constexpr char kTpmEkParseErrors[] = "tpm.ek_parse_errors";
inline constexpr char kTpmEkNotComparable[] = "tpm.ek_not_comparable";
inline constexpr char kTpmNvSkipped[] = "tpm.nv_skipped";
inline constexpr char kTpmEkCertSha1s[] = "tpm.ek_cert_sha1s";  // comma-separated lower-case SHA-1 texts
inline constexpr char kTpmLogParse[] = "tpm.log_parse";          // "limited", "complete", "unavailable", "malformed"
inline constexpr char kTpmPcrReadCount[] = "tpm.pcr_read_count";
inline constexpr char kTpmWinEkThumb[] = "tpm.win_ek_thumb";
inline constexpr char kTpmWinPcr[] = "tpm.win_pcr";
inline constexpr char kTpmWinPcrBoot[] = "tpm.win_pcr_boot";
inline constexpr char kTpmLog[] = "tpm.log";             // "match", "mismatch", "unavailable"
inline constexpr char kTpmLogMatch[] = "tpm.log_match";  // "%d/%d"
inline constexpr char kTpmAppKey[] = "tpm.app_key";      // "verified", "failed", "absent", "error" (state unreadable)
inline constexpr char kTpmCommandTbsRc[] = "tpm.command_tbs_rc";
inline constexpr char kTpmCommandTpmRc[] = "tpm.command_tpm_rc";
inline constexpr char kTpmCommandReplyStatus[] = "tpm.command_reply_status";  // "malformed", "complete"
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kTpmEkRsa[] = "tpm.ek_rsa";
inline constexpr char kTpmEkEcc[] = "tpm.ek_ecc";
inline constexpr char kTpmSrk[] = "tpm.srk";
inline constexpr char kTpmEkCert[] = "tpm.ek_cert";
inline constexpr char kTpmEkIssuer[] = "tpm.ek_issuer";
inline constexpr char kTpmAikHash[] = "tpm.aik_hash";
inline constexpr char kTpmPcr0[] = "tpm.pcr0";
inline constexpr char kTpmPcr7[] = "tpm.pcr7";
inline constexpr char kTpmAppKey[] = "tpm.app_key";
inline constexpr char kTpmManufacturer[] = "tpm.manufacturer";
inline constexpr char kTpmFirmware[] = "tpm.firmware";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kTpmDevice[] = "tpm.device";
inline constexpr char kTpmEkCerts[] = "tpm.ekcerts";
inline constexpr char kTpmPcrs[] = "tpm.pcrs";
inline constexpr char kTpmWindows[] = "tpm.windows";
inline constexpr char kTpmProps[] = "tpm.props";
inline constexpr char kTpmLog[] = "tpm.log";
}  // namespace vorq::table

namespace vorq::col::tpm_device {
inline constexpr size_t kProperty = 0, kValue = 1;
}  // namespace vorq::col::tpm_device

namespace vorq {

// The fields of TPM_DEVICE_INFO the collector reads.
struct TpmDeviceInfo {
    uint32_t tpmVersion = 0;  // 1 = TPM 1.2, 2 = TPM 2.0
    uint32_t interfaceType = 0;
};

struct TpmSource {
    uint32_t deviceResult = kTbsTpmNotFound;  // of the device query
    TpmDeviceInfo device;
    // Opens the TPM 2.0 context; returns its result. Called at most once, and
    // only for a TPM 2.0 that the device query reported.
    std::function<uint32_t()> openContext;
    // Carries the commands once the context is open.
    TpmTransport transport;
    // The certificates of the Windows EK certificate cache, in store order.
    std::function<std::vector<CachedEkCert>()> ekCertCache;
    // Windows' TPM provisioning record.
    std::function<ProvisioningInputs()> readProvisioning;
    // The measured-boot log of the current boot: the size its query reports
    // (0 for none), then the bytes of a fetch of that size.
    std::function<uint64_t()> logSize;
    std::function<std::vector<uint8_t>(uint64_t size)> readLog;
    // The application key's "status" action.
    std::function<TpmKeyResult()> keyStatus;
};

void CollectTpmFrom(Snapshot& s, const TpmSource& src);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectTpm(Snapshot& s);

}  // namespace vorq
