// Platform-free parts of the display collector: probe status words, adapter
// flag tests, registry text decoding, the tables and the DXGI facts.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "collectors/devices/display_paths.h"
#include "collectors/devices/edid.h"
#include "collectors/devices/nvml.h"
#include "core/snapshot.h"

namespace vorq::table {
inline constexpr char kDisplayGpus[] = "display.gpus";
inline constexpr char kDisplayDxgi[] = "display.dxgi";
inline constexpr char kDisplayMonitors[] = "display.monitors";
}  // namespace vorq::table

namespace vorq::col::display_gpus {
inline constexpr size_t kAdapter = 0, kPciIds = 1;
}  // namespace vorq::col::display_gpus
namespace vorq::col::display_dxgi {
inline constexpr size_t kDescription = 0, kVendorDevice = 1, kFlags = 6;
}  // namespace vorq::col::display_dxgi
namespace vorq::col::display_monitors {
inline constexpr size_t kMonitor = 0, kPnpIdProduct = 1;
}  // namespace vorq::col::display_monitors

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kDisplayOutputs[] = "display.outputs";
inline constexpr char kDisplayProbeD3dError[] = "display.probe.d3d.error";
inline constexpr char kDisplayProbeD3dStatus[] = "display.probe.d3d.status";
inline constexpr char kDisplayProbeDxgiContext[] = "display.probe.dxgi.context";
inline constexpr char kDisplayProbeDxgiError[] = "display.probe.dxgi.error";
inline constexpr char kDisplayProbeDxgiStatus[] = "display.probe.dxgi.status";
inline constexpr char kDisplayProbeEdidContext[] = "display.probe.edid.context";
inline constexpr char kDisplayProbeEdidStatus[] = "display.probe.edid.status";
inline constexpr char kDisplayProbeHidFamily[] = "display.probe.hid.family";
inline constexpr char kDisplayProbeHidStatus[] = "display.probe.hid.status";
inline constexpr char kDisplayProbeMemoryError[] = "display.probe.memory.error";
inline constexpr char kDisplayProbeMemoryStatus[] = "display.probe.memory.status";
inline constexpr char kDisplayProbeNvmlGuest[] = "display.probe.nvml.guest";
inline constexpr char kDisplayProbeNvmlHost[] = "display.probe.nvml.host";
inline constexpr char kDisplayProbeNvmlStatus[] = "display.probe.nvml.status";
inline constexpr char kDisplayProbeOverrideContext[] = "display.probe.override.context";
inline constexpr char kDisplayProbeOverrideStatus[] = "display.probe.override.status";
inline constexpr char kDisplayProbePathsContext[] = "display.probe.paths.context";
inline constexpr char kDisplayProbePathsStatus[] = "display.probe.paths.status";
inline constexpr char kDisplayProbeTelemetryStatus[] = "display.probe.telemetry.status";
inline constexpr char kDisplayProbeWddmContext[] = "display.probe.wddm.context";
inline constexpr char kDisplayProbeWddmError[] = "display.probe.wddm.error";
inline constexpr char kDisplayProbeWddmStatus[] = "display.probe.wddm.status";
inline constexpr char kDisplayRemoteProtocol[] = "display.remote_protocol";
inline constexpr char kDxgiHw[] = "dxgi.hw";
inline constexpr char kDxgiMatched[] = "dxgi.matched";
inline constexpr char kDxgiPciHw[] = "dxgi.pci_hw";
inline constexpr char kDxgiPciMatched[] = "dxgi.pci_matched";
inline constexpr char kGpuUuidCount[] = "gpu.uuid_count";
inline constexpr char kMonitorSerials[] = "monitor.serials";
inline constexpr char kPnpGpus[] = "pnp.gpus";
inline constexpr char kPnpGpusNonpci[] = "pnp.gpus_nonpci";
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kGpuModel[] = "gpu.model";
inline constexpr char kGpuSerial[] = "gpu.serial";
inline constexpr char kGpuUuid[] = "gpu.uuid";
inline constexpr char kGpuVbios[] = "gpu.vbios";
inline constexpr char kGpuVideoId[] = "gpu.video_id";
inline constexpr char kMonitorModel[] = "monitor.model";
inline constexpr char kMonitorSerial[] = "monitor.serial";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kDisplayAdapterFlags[] = "display.adapter_flags";
inline constexpr char kDisplayD3dCaps[] = "display.d3d_caps";
inline constexpr char kDisplayEdidChecks[] = "display.edid_checks";
inline constexpr char kDisplayInputDevices[] = "display.input_devices";
inline constexpr char kDisplayMemoryBudgets[] = "display.memory_budgets";
inline constexpr char kDisplayNvml[] = "display.nvml";
inline constexpr char kDisplayNvmlModes[] = "display.nvml_modes";
inline constexpr char kDisplayNvmlTelemetry[] = "display.nvml_telemetry";
inline constexpr char kDisplayOutputs[] = "display.outputs";
inline constexpr char kDisplayPaths[] = "display.paths";
}  // namespace vorq::table

namespace vorq {

// "ok" when anything succeeded, else "error" when a failure counted, else
// "not_supported": one success outweighs any number of failures.
std::string ProbeStatusWord(int count, bool failed);

// Sets the probe's error fact to "1" for a failing HRESULT, except the three
// codes that mean "not supported here" (E_NOTIMPL, E_NOINTERFACE, DXGI_ERROR_UNSUPPORTED).
void MarkProbeError(Snapshot& s, const char* errorFact, int32_t hr);
// Whether a failing D3DKMT status counts as an error (not-implemented and
// not-supported do not).
bool IsCountedKmtFailure(uint32_t status);

bool IsDxgiSoftwareAdapter(uint32_t flags);
bool IsSoftwareOrIndirectKmtType(uint32_t type);
bool IsVirtualKmtType(uint32_t type);
// "SOFTWARE ", "INDIRECT ", "PARAVIRTUALIZED" for the bits set, in that order.
std::string KmtAdapterTypeText(uint32_t type);

// Registry data as text: strings, and UTF-16 text stored as binary; other
// types give the empty text. Environment references are not expanded.
std::string RegDataToUtf8(const std::vector<uint8_t>& data, uint32_t regType);
// "Video memory" cell from the driver key's qwMemorySize / MemorySize values
// (empty vectors when absent).
std::string VideoMemoryText(const std::vector<uint8_t>& qwMemorySize, const std::vector<uint8_t>& memorySize);
// "VBIOS / chip" cell.
std::string VbiosChipText(const std::string& bios, const std::string& chip);

std::string RotationText(uint32_t rotation);
std::string DpiText(uint32_t dpi);

bool IsIndirectOutputTechnology(uint32_t technology);
std::string MatchHidFamily(uint32_t vendorId, uint32_t productId);
// "Type" cell of a raw-input device.
std::string RawInputTypeText(uint32_t type);

// The thirteen display tables, empty, by id.
Table MakeDisplayTable(const std::string& id);

// Removes every fact that begins with "display.probe.".
void RemoveProbeFacts(Snapshot& s);

struct DxgiCounters {
    uint32_t hw = 0;
    uint32_t matched = 0;
    uint32_t pciHw = 0;
    uint32_t pciMatched = 0;
    uint32_t outputs = 0;
    uint32_t desc3Ok = 0;
    uint32_t desc3Software = 0;
    uint32_t kmtOk = 0;
    uint32_t kmtVirtual = 0;
    uint32_t d3dOk = 0;
    uint32_t memoryOk = 0;
};

// The display adapters as Plug and Play lists them: "VEN:DEV" of those with a
// PCI vendor id (duplicates kept), and the names of the others.
struct PnpAdapterIds {
    std::vector<std::string> pciIds;
    std::vector<std::string> nonPciNames;
};

// Counts one DXGI adapter whose description was read: `vd` is "%04X:%04X" of
// its vendor and device ids, `kmtSoftwareOrIndirect` whether its WDDM adapter
// type says software or indirect display.
void CountDxgiAdapter(DxgiCounters& c, const PnpAdapterIds& pnp, const std::string& vd, const std::string& description,
                      uint32_t flags, bool kmtSoftwareOrIndirect);

// The adapter-count facts and the dxgi/wddm/d3d/memory probe facts, in order.
void WriteDxgiFacts(Snapshot& s, const DxgiCounters& c, size_t pnpPci, size_t pnpNonPci);

// What the platform side read for the display adapters: the display class of
// Plug and Play and the DXGI adapters with their probes. Texts in UTF-8.
struct PnpAdapterRead {
    std::string name;
    std::string hardwareId;  // the first one
    std::string provider;
    std::string version;
    std::vector<uint8_t> qwMemorySize;  // driver key values, empty when absent
    std::vector<uint8_t> memorySize;
    std::string bios;
    std::string chip;
    std::string containerId;  // formatted GUID, empty when absent
    std::string videoId;
    std::string pcieLink;
};

struct D3dCapsRead {
    bool created = false;
    int32_t hr = 0;  // of the device creation
    uint32_t featureLevel = 0;
    std::optional<std::array<bool, 2>> threading;  // concurrent creates, command lists
    std::optional<bool> doubles;
    std::optional<std::array<bool, 2>> options;  // logic op, constant buffer offsetting
};

struct MemorySegmentRead {
    bool local = true;
    int32_t hr = 0;
    uint64_t budget = 0, usage = 0, available = 0, reserved = 0;
};

struct OutputRead {
    std::string device;
    std::optional<std::array<uint32_t, 4>> mode;  // width, height, refresh rate, bits per pixel
    std::optional<uint32_t> dpi;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    uint32_t rotation = 0;
    bool attached = false;
};

struct DxgiAdapterRead {
    uint32_t index = 0;  // in the factory's enumeration; names the adapter "Adapter <index + 1>"
    std::string description;
    uint32_t vendorId = 0, deviceId = 0, subSysId = 0, revision = 0;
    uint64_t dedicatedVideoMemory = 0, sharedSystemMemory = 0;
    uint32_t luidHigh = 0, luidLow = 0;
    uint32_t flags = 0;
    std::optional<int32_t> desc3Hr;  // when the adapter answered IDXGIAdapter4
    uint32_t desc3Flags = 0;
    std::optional<int32_t> kmtStatus;  // when the WDDM adapter-type query ran
    uint32_t kmtType = 0;
    std::vector<MemorySegmentRead> segments;
    std::optional<D3dCapsRead> d3d;  // probed for the first hardware adapters only
    std::vector<OutputRead> outputs;
};

struct DisplayAdaptersSource {
    std::vector<PnpAdapterRead> pnp;
    std::vector<DxgiAdapterRead> dxgi;
};

struct DisplayAdapterTables {
    Table gpus, dxgi, outputs, flags, caps, budgets;
};

// The adapter tables, the GPU signals, the probe error facts and the
// adapter-count facts.
DisplayAdapterTables CollectDisplayAdaptersFrom(Snapshot& s, const DisplayAdaptersSource& src);

// Everything the display collector reads, step by step: the adapters, the
// display paths, the raw input devices, the NVIDIA library and the monitors.
struct DisplaySource {
    DisplayAdaptersSource adapters;
    DisplayPathSource paths;
    RawInputSource rawInput;
    NvmlApi nvml;
    bool nvmlLoaded = false;  // LoadNvml's answer
    bool monitorsListed = false;  // false when the monitor class could not be listed
    std::vector<MonitorEdidRead> monitors;  // in the class's order
    // A monitor's friendly name by its index, asked only when its EDID carries no name.
    std::function<std::string(uint32_t index)> monitorName;
};

// Runs the steps in order and appends the display tables.
void CollectDisplayFrom(Snapshot& s, const DisplaySource& src);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectDisplay(Snapshot& s);

}  // namespace vorq
