// The NVIDIA management library step of the display collector. The library's
// entry points sit in a table of function pointers, so the step runs the same
// against the real DLL (loaded by LoadNvml, Windows) and against fakes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/snapshot.h"

namespace vorq {

// The library's own C interface (return codes are nvmlReturn_t, 0 = success).
using NvmlDevice = void*;
struct NvmlUtilization {
    uint32_t gpu;
    uint32_t memory;
};
using NvmlVoidFn = int (*)();
using NvmlCountFn = int (*)(unsigned* count);
using NvmlHandleFn = int (*)(unsigned index, NvmlDevice* device);
using NvmlStringFn = int (*)(NvmlDevice device, char* buffer, unsigned length);
using NvmlModeFn = int (*)(NvmlDevice device, unsigned* mode);
using NvmlSensorFn = int (*)(NvmlDevice device, int type, unsigned* value);
using NvmlUtilizationFn = int (*)(NvmlDevice device, NvmlUtilization* utilization);

constexpr int kNvmlSuccess = 0;
constexpr int kNvmlNotSupported = 3;
constexpr unsigned kMaxNvmlGpus = 16;

struct NvmlApi {
    std::shared_ptr<void> module;  // releases the library when the last copy goes
    NvmlVoidFn init = nullptr;                   // nvmlInit_v2 (required)
    NvmlVoidFn shutdown = nullptr;               // nvmlShutdown (required)
    NvmlCountFn getCount = nullptr;              // nvmlDeviceGetCount_v2 (required)
    NvmlHandleFn getHandleByIndex = nullptr;     // nvmlDeviceGetHandleByIndex_v2 (required)
    NvmlStringFn getName = nullptr;              // nvmlDeviceGetName
    NvmlStringFn getUuid = nullptr;              // nvmlDeviceGetUUID (required)
    NvmlStringFn getSerial = nullptr;            // nvmlDeviceGetSerial
    NvmlStringFn getBoardPartNumber = nullptr;   // nvmlDeviceGetBoardPartNumber
    NvmlStringFn getVbiosVersion = nullptr;      // nvmlDeviceGetVbiosVersion
    NvmlModeFn getVirtualizationMode = nullptr;  // nvmlDeviceGetVirtualizationMode
    NvmlSensorFn getTemperature = nullptr;       // nvmlDeviceGetTemperature
    NvmlSensorFn getClockInfo = nullptr;         // nvmlDeviceGetClockInfo
    NvmlUtilizationFn getUtilizationRates = nullptr;  // nvmlDeviceGetUtilizationRates
};

// The five entry points without which the library counts as absent.
bool HasRequiredNvmlExports(const NvmlApi& api);
// Loads nvml.dll from the system folder only and resolves the table; true when
// the module loaded and the required entry points exist. Windows only.
bool LoadNvml(NvmlApi& api);

bool IsKnownNvmlMode(unsigned mode);
bool IsNvmlGuestMode(unsigned mode);
bool IsNvmlHostMode(unsigned mode);
std::string NvmlModeName(unsigned mode);
// One string query: status -1 when the export is missing.
std::string NvmlString(NvmlStringFn fn, NvmlDevice device, int& status);

struct NvmlTables {
    Table gpus;       // "display.nvml"
    Table modes;      // "display.nvml_modes"
    Table telemetry;  // "display.nvml_telemetry"
};

// Runs the whole step over `api` (`loaded` is LoadNvml's answer): rows, the
// gpu.uuid and gpu.serial signals and the NVML facts. The tables are returned
// for the caller to append in its own order.
NvmlTables RunNvmlStep(Snapshot& s, const NvmlApi& api, bool loaded);

}  // namespace vorq
