#include <windows.h>

#include "collectors/devices/nvml.h"
#include "core/win.h"

namespace vorq {

bool LoadNvml(NvmlApi& api) {
    HMODULE m = LoadLibraryExW(L"nvml.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!m) return false;
    api.module = std::shared_ptr<void>(m, [](void* h) { FreeLibrary(static_cast<HMODULE>(h)); });
    api.init = GetProc<NvmlVoidFn>(m, "nvmlInit_v2");
    api.shutdown = GetProc<NvmlVoidFn>(m, "nvmlShutdown");
    api.getCount = GetProc<NvmlCountFn>(m, "nvmlDeviceGetCount_v2");
    api.getHandleByIndex = GetProc<NvmlHandleFn>(m, "nvmlDeviceGetHandleByIndex_v2");
    api.getName = GetProc<NvmlStringFn>(m, "nvmlDeviceGetName");
    api.getUuid = GetProc<NvmlStringFn>(m, "nvmlDeviceGetUUID");
    api.getSerial = GetProc<NvmlStringFn>(m, "nvmlDeviceGetSerial");
    api.getBoardPartNumber = GetProc<NvmlStringFn>(m, "nvmlDeviceGetBoardPartNumber");
    api.getVbiosVersion = GetProc<NvmlStringFn>(m, "nvmlDeviceGetVbiosVersion");
    api.getVirtualizationMode = GetProc<NvmlModeFn>(m, "nvmlDeviceGetVirtualizationMode");
    api.getTemperature = GetProc<NvmlSensorFn>(m, "nvmlDeviceGetTemperature");
    api.getClockInfo = GetProc<NvmlSensorFn>(m, "nvmlDeviceGetClockInfo");
    api.getUtilizationRates = GetProc<NvmlUtilizationFn>(m, "nvmlDeviceGetUtilizationRates");
    return HasRequiredNvmlExports(api);
}

}  // namespace vorq
