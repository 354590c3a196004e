#include "app/collectors.h"

#include "assessment/crosschecks.h"
#include "assessment/scoring.h"
#include "collectors/devices/battery.h"
#include "collectors/devices/devices.h"
#include "collectors/devices/display.h"
#include "collectors/devices/network.h"
#include "collectors/devices/storage.h"
#include "collectors/processor/acpi.h"
#include "collectors/processor/cpu.h"
#include "collectors/processor/fpu.h"
#include "collectors/processor/smbios.h"
#include "collectors/processor/uefi.h"
#include "collectors/trust/drivers.h"
#include "collectors/trust/microsoft.h"
#include "collectors/trust/platform.h"
#include "collectors/trust/tpm.h"
#include "collectors/trust/windows_os.h"
#include "vm/vm.h"

namespace vorq {

// Order is dependency order: later rows read what earlier rows wrote.
const std::array<CollectorEntry, 17> kCollectorTable = {{
    {"Windows", &CollectWindows, 3},
    {"CPU", &CollectCpu, 4},
    {"FPU", &CollectFpu, 10},
    {"SMBIOS", &CollectSmbios, 3},
    {"ACPI", &CollectAcpi, 3},
    {"UEFI and boot", &CollectUefi, 3},
    {"PnP devices", &CollectDevices, 8},
    {"Storage", &CollectStorage, 6},
    {"Network", &CollectNetwork, 4},
    {"Display", &CollectDisplay, 6},
    {"Battery", &CollectBattery, 2},
    {"TPM", &CollectTpm, 12},
    {"Platform security", &CollectPlatform, 8},
    {"Microsoft and cloud", &CollectMicrosoft, 4},
    {"Kernel drivers", &CollectDrivers, 24},
    {"VM Detection", &CollectVm, 3},
    {"Cross-checks", &CollectCrossChecks, 7},
}};

void RunCollectors(Snapshot& s, const ProgressCallback& progress) {
    RunCollectorTable(kCollectorTable, &ScoreSnapshot, s, progress);
}

}  // namespace vorq
