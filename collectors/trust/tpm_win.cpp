#include <windows.h>

#include "collectors/trust/tbs_win.h"
#include "collectors/trust/tpm.h"
#include "collectors/trust/tpm_registry_win.h"
#include "core/win.h"

namespace vorq {

void CollectTpm(Snapshot& s) {
    TpmSource src;
    src.deviceResult = TbsGetDeviceInfo(src.device);
    TbsContext context;  // closed after the collector, only if it was opened
    src.openContext = [&context] { return context.Open(); };
    src.transport = [&context](const TpmBytes& command, uint8_t* reply, uint32_t& replyLen) {
        return context.Submit(command.data(), static_cast<uint32_t>(command.size()), reply, replyLen);
    };
    src.ekCertCache = [] { return ReadEkCertCache(HKEY_LOCAL_MACHINE, kTpmWmiKey); };
    src.readProvisioning = [] { return ReadProvisioning(HKEY_LOCAL_MACHINE, kTpmWmiKey); };
    src.logSize = [&context] { return context.LogSize(); };
    src.readLog = [&context](uint64_t size) { return context.ReadLog(size); };
    src.keyStatus = [] { return RunTpmKeyAction("status"); };
    CollectTpmFrom(s, src);
}

}  // namespace vorq
