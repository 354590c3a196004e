// Display context probes over the status and context facts the Display
// collector left: EDID, display paths, adapter flags, NVIDIA modes and
// sensors, Direct3D, memory budgets and virtual input devices. Only the
// NVIDIA guest mode and the virtual input models carry weight.
#include <set>
#include <string>
#include <utility>

#include "collectors/devices/devices.h"
#include "collectors/devices/display.h"
#include "core/text.h"
#include "vm/signatures.h"
#include "vm/vm.h"

namespace vorq {

namespace {

struct DisplayProbeSpec {
    const char* id;
    const char* title;
    const char* method;
    const char* statusKey;  // the probe's ".status" fact
    const char* flagKey;    // the fact whose value decides detection
    const char* flagValue;
    const char* detected;
    const char* notDetected;
    const char* caveat;
    int32_t strength;
    int weightIndex;  // -1: weight 0
};

VmProbe MakeDisplayContextProbe(const Snapshot& s, const DisplayProbeSpec& d, bool detected, int32_t weight) {
    VmProbe p = MakeVmProbe(d.id, "hardware", d.title, d.method, kGroupHardware, d.strength, weight);
    p.caveat = d.caveat;
    const std::string status = GetFact(s, d.statusKey);
    if (detected) {
        p.result = kDetected;
        p.evidence = d.detected;
    } else if (status == "ok") {
        p.result = kNotDetected;
        p.evidence = d.notDetected;
    } else if (status == "error") {
        p.result = kProbeError;
        p.evidence = "The display metadata query failed.";
    } else if (status == "not_supported") {
        p.result = kNotSupported;
        p.evidence = "The display metadata interface is unavailable or unsupported.";
    } else {
        p.result = kInconclusive;
        p.evidence = "The display metadata query was not completed.";
    }
    return p;
}

}  // namespace

void ProbeDisplayContext(const Snapshot& s, VmProbeList& probes, const VmWeights& w, const VmSource&) {
    using namespace fact;
    const DisplayProbeSpec specs[] = {
        {"hardware.edid_integrity", "EDID block integrity context",
         "Validate the cached EDID header, manufacturer encoding, block lengths, extension count and all available block checksums.",
         kDisplayProbeEdidStatus, kDisplayProbeEdidContext, "1", "Cached EDID data is incomplete or structurally inconsistent.",
         "Available cached EDID blocks are structurally consistent.",
         "Monitor firmware, docks and cached or overridden data can produce these differences; this context has no VM score impact.",
         kContext, -1},
        {"hardware.edid_override", "Monitor EDID override context",
         "Read the presence of EDID_OVERRIDE beneath present monitor hardware keys without changing registry data.",
         kDisplayProbeOverrideStatus, kDisplayProbeOverrideContext, "1", "A monitor EDID override is installed.",
         "No selected monitor EDID override was found.",
         "Windows supports EDID overrides for physical monitors; override presence does not establish a guest.", kContext, -1},
        {"hardware.display_paths", "Active display path context",
         "Query active Windows display paths, target EDID identities, output technologies and the current remote-session protocol.",
         kDisplayProbePathsStatus, kDisplayProbePathsContext, "1", "A remote, wireless or indirect display path is present.",
         "No selected remote or indirect display path was reported.",
         "RDP, Miracast and indirect displays also occur on physical PCs; monitor device paths and adapter LUIDs are not copied into VM evidence.",
         kContext, -1},
        {"hardware.dxgi_flags", "DXGI software adapter context",
         "Read IDXGIAdapter4 GetDesc3 flags and interpret the documented SOFTWARE flag.", kDisplayProbeDxgiStatus,
         kDisplayProbeDxgiContext, "1", "DXGI reports a software graphics adapter.", "No DXGI software adapter was reported.",
         "The reserved REMOTE flag is not used. Software fallback rendering does not establish a virtual guest.", kContext, -1},
        {"hardware.wddm_type", "WDDM adapter type context",
         "Query D3DKMT adapter type metadata for software, indirect-display and paravirtualization support flags.",
         kDisplayProbeWddmStatus, kDisplayProbeWddmContext, "1",
         "WDDM reports software, indirect-display or paravirtualization support.",
         "No selected WDDM adapter type flag was reported.",
         "Paravirtualized describes adapter support and does not prove that the Windows operating system is a guest.", kContext,
         -1},
        {"hardware.nvml_guest", "NVIDIA guest virtualization mode",
         "Query nvmlDeviceGetVirtualizationMode and match only the documented VGPU and PASSTHROUGH guest modes.",
         kDisplayProbeNvmlStatus, kDisplayProbeNvmlGuest, "1", "NVIDIA reports a vGPU or GPU passthrough guest mode.",
         "NVIDIA did not report a selected guest GPU virtualization mode.",
         "Unsupported queries and bare GPU mode do not confirm physical Windows. Guest GPU evidence shares the existing hardware score cap.",
         kModerate, kWNvmlGuest},
        {"hardware.nvml_host", "NVIDIA virtualization host context",
         "Interpret HOST_VGPU and HOST_VSGA as host capability context rather than guest GPU modes.", kDisplayProbeNvmlStatus,
         kDisplayProbeNvmlHost, "1", "NVIDIA reports a virtualization host GPU mode.",
         "NVIDIA did not report a selected host GPU mode.",
         "A GPU capable of hosting virtual GPUs does not establish that Windows is a guest.", kContext, -1},
        {"hardware.nvml_telemetry", "NVIDIA sensor availability context",
         "Read one bounded snapshot of available NVML temperature, utilization and clock counters without generating a GPU workload.",
         kDisplayProbeTelemetryStatus, kDisplayProbeTelemetryStatus, "ok", "Selected NVIDIA sensor counters are available.",
         "No selected NVIDIA sensor counters were collected.",
         "Unsupported sensors, driver differences and idle readings do not establish a guest; no performance profile is inferred.",
         kContext, -1},
        {"hardware.d3d_caps", "Direct3D capability inventory context",
         "Create bounded hardware D3D11 devices and query feature metadata without buffers, shaders, draws or compute dispatches.",
         kDisplayProbeD3dStatus, kDisplayProbeD3dStatus, "ok", "Read-only Direct3D capability metadata was collected.",
         "No selected Direct3D capability metadata was collected.",
         "No model-specific capability baseline is assumed and unsupported feature queries add no VM penalty.", kContext, -1},
        {"hardware.video_memory", "GPU memory budget context",
         "Query local and non-local video memory budgets through IDXGIAdapter3 without allocating a GPU working set.",
         kDisplayProbeMemoryStatus, kDisplayProbeMemoryStatus, "ok", "GPU memory budget metadata was collected.",
         "No selected GPU memory budget metadata was collected.",
         "Memory budgets vary dynamically; UMA and zero dedicated VRAM do not establish virtualization.", kContext, -1},
    };
    for (const DisplayProbeSpec& d : specs) {
        const bool detected = GetFact(s, d.flagKey) == d.flagValue;
        VmProbe p = MakeDisplayContextProbe(s, d, detected, d.weightIndex < 0 ? 0 : w[d.weightIndex]);
        if (p.id == "hardware.nvml_guest") {
            if (p.result == kDetected) p.families = "NVIDIA GPU virtualization";
            p.independent = true;
        }
        AppendProbe(probes, std::move(p));
    }

    // Virtual input device models: the raw-input match of the Display
    // collector and the present HID and mouse devices.
    std::set<std::string> families;
    bool hidSeen = false;
    if (GetFact(s, kDisplayProbeHidFamily) == "VirtualBox") families.insert("VirtualBox");
    for (const Table& t : s.tables) {
        if (t.id != table::kDevices) continue;
        for (const TableRow& row : t.rows) {
            const std::string cls = CellOrEmpty(row, col::devices::kClass);
            const std::string family = InputDeviceFamily(cls, CellOrEmpty(row, col::devices::kHardwareId));
            if (!family.empty()) families.insert(family);
            if (EqualsNoCase(cls, "HIDClass") || EqualsNoCase(cls, "Mouse")) hidSeen = true;
        }
    }
    const DisplayProbeSpec hid = {
        "hardware.hid_models", "Virtual input device models",
        "Enumerate bounded raw input device metadata and match exact published virtual VID and PID pairs alongside the existing present HID and mouse inventory.",
        kDisplayProbeHidStatus, "", "", "A selected virtual input device model is present.",
        "No selected virtual input device model was found.",
        "No input events or cursor movement are recorded. Peripheral identity and passthrough do not independently establish a guest.",
        kWeak, kWHidModels};
    VmProbe p = MakeDisplayContextProbe(s, hid, !families.empty(), w[kWHidModels]);
    if (!families.empty()) {
        p.families = JoinSet(families);
    } else if (hidSeen) {
        p.result = kNotDetected;
        p.evidence = hid.notDetected;
    }
    AppendProbe(probes, std::move(p));
}

}  // namespace vorq
