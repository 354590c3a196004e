// The registry sources of the "TPM" collector: Windows' EK certificate cache
// (registry certificate stores) and the TPM provisioning record. The root and
// the key path are parameters so the tests read a scratch copy.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "collectors/trust/ek_cert.h"
#include "collectors/trust/tpm_provisioning.h"

namespace vorq {

inline constexpr wchar_t kTpmWmiKey[] = L"SYSTEM\\CurrentControlSet\\Services\\TPM\\WMI";

// The certificates of `wmiKey`\Endorsement\EKCertStore, then of EKCertStoreECC.
std::vector<CachedEkCert> ReadEkCertCache(HKEY root, const std::wstring& wmiKey);
// The values of `wmiKey`, ProvisionInfo and TaskStates and the PcrInfo subkeys.
ProvisioningInputs ReadProvisioning(HKEY root, const std::wstring& wmiKey);

}  // namespace vorq
