// The pure part of the "TPM" collector: everything after the platform calls,
// which reach it through TpmSource.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "collectors/trust/ek_cert.h"
#include "collectors/trust/tpm_key.h"
#include "collectors/trust/tpm_provisioning.h"
#include "collectors/trust/tpm_transport.h"
#include "core/snapshot.h"

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
