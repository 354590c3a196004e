// What the Windows TPM provisioning task keeps under
// HKLM\SYSTEM\CurrentControlSet\Services\TPM\WMI: the table "tpm.windows",
// the signal "tpm.aik_hash" and the facts "tpm.win_ek_thumb", "tpm.win_pcr"
// and "tpm.win_pcr_boot". Platform-free over the values as read.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/registry.h"
#include "core/snapshot.h"

namespace vorq {

// The values of the keys WMI, ProvisionInfo and TaskStates, and the subkey
// names of PcrInfo. The Admin subkey is never read.
struct ProvisioningRecord {
    std::vector<RegValue> wmi, provisionInfo, taskStates;
    std::vector<std::u16string> pcrSubkeys;
};

struct ProvisioningInputs {
    ProvisioningRecord record;
    // The values of one PcrInfo subkey.
    std::function<std::vector<RegValue>(const std::u16string& subkey)> readPcrRecord;
    // The system's text of an HRESULT ("HRESULT 0x%08lX: ..."), for result codes.
    std::function<std::string(uint32_t)> hresultText;
};

// The PcrInfo subkey of the latest boot: the greatest boot number (the
// leading decimal digits of the name before its first "-", saturating),
// ties by text. Returns the index into `names`, or -1 for none.
int LatestPcrRecord(const std::vector<std::u16string>& names);
uint32_t PcrRecordBootNumber(const std::u16string& name);

// Value formatters of the DWORD rows.
std::string ResultCodeText(uint32_t code, const std::function<std::string(uint32_t)>& hresultText);
std::string ErrorCodeText(uint32_t code, const std::function<std::string(uint32_t)>& hresultText);
std::string BindingStateText(uint32_t value);
std::string FourCcCodeText(uint32_t value);

// Builds "tpm.windows" from the record; `live` are the PCRs read in `bank`.
Table ProvisioningTable(Snapshot& s, const ProvisioningInputs& in, uint16_t bank,
                        const std::array<std::vector<uint8_t>, 24>& live);

}  // namespace vorq
