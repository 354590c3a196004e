// TPM Base Services, resolved at run time from tbs.dll with declarations of
// our own (the SDK headers lack the version-2 context and device info).
// Submission and closing are reachable only through an opened context: some
// systems export them as stubs that end the process when called.
#pragma once

#include <cstdint>
#include <vector>

#include "collectors/trust/tpm.h"

namespace vorq {

// Tbsi_GetDeviceInfo; a missing library or export answers as "no TPM".
uint32_t TbsGetDeviceInfo(TpmDeviceInfo& info);

// One TBS context for TPM 2.0 commands; closed when destroyed if it was opened.
class TbsContext {
public:
    TbsContext() = default;
    TbsContext(const TbsContext&) = delete;
    TbsContext& operator=(const TbsContext&) = delete;
    ~TbsContext();
    uint32_t Open();  // Tbsi_Context_Create, version 2, TPM 2.0 only
    // Tbsip_Submit_Command; a context that is not open answers as "no TPM".
    uint32_t Submit(const uint8_t* command, uint32_t length, uint8_t* reply, uint32_t& replyLen);

    // Tbsi_Get_TCG_Log_Ex for the current boot: the size it reports (0 when
    // none or the context is not open), and the bytes of a fetch of `size`.
    uint64_t LogSize();
    std::vector<uint8_t> ReadLog(uint64_t size);

private:
    void* handle_ = nullptr;
};

}  // namespace vorq
