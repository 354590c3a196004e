#include "collectors/devices/display.h"

#include "collectors/devices/peripherals.h"
#include "core/devprop.h"
#include "core/text.h"

namespace vorq {

std::string ProbeStatusWord(int count, bool failed) {
    if (count != 0) return "ok";
    return failed ? "error" : "not_supported";
}

void MarkProbeError(Snapshot& s, const char* errorFact, int32_t hr) {
    if (hr >= 0) return;
    const uint32_t code = static_cast<uint32_t>(hr);
    if (code == 0x80004001u || code == 0x80004002u || code == 0x887A0004u) return;
    SetFact(s, errorFact, "1");
}

bool IsCountedKmtFailure(uint32_t status) { return status != 0xC0000002u && status != 0xC00000BBu; }

bool IsDxgiSoftwareAdapter(uint32_t flags) { return (flags & 2u) != 0; }
bool IsSoftwareOrIndirectKmtType(uint32_t type) { return (type & 0x44u) != 0; }
bool IsVirtualKmtType(uint32_t type) { return (type & 0xC4u) != 0; }

std::string KmtAdapterTypeText(uint32_t type) {
    std::string t;
    if (type & 0x4u) t += "SOFTWARE ";
    if (type & 0x40u) t += "INDIRECT ";
    if (type & 0x80u) t += "PARAVIRTUALIZED";
    return t;
}

std::string RegDataToUtf8(const std::vector<uint8_t>& data, uint32_t regType) {
    const bool text = regType == 1 || regType == 2 || (regType == 3 && data.size() > 3 && data[1] == 0);
    if (!text) return std::string();
    size_t units = data.size() / 2;
    for (size_t i = 0; i < units; ++i) {
        if (data[2 * i] == 0 && data[2 * i + 1] == 0) {
            units = i;
            break;
        }
    }
    return Trim(Utf16LeBytesToUtf8(data.data(), units * 2));
}

static uint64_t LittleEndian(const std::vector<uint8_t>& b, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(b[i]) << (8 * i);
    return v;
}

std::string VideoMemoryText(const std::vector<uint8_t>& qwMemorySize, const std::vector<uint8_t>& memorySize) {
    if (qwMemorySize.size() >= 8) return FormatBytes(LittleEndian(qwMemorySize, 8));
    if (memorySize.size() >= 4) return FormatBytes(LittleEndian(memorySize, 4));
    return std::string();
}

std::string VbiosChipText(const std::string& bios, const std::string& chip) {
    if (chip.empty()) return bios;
    return bios.empty() ? chip : bios + " / " + chip;
}

std::string RotationText(uint32_t rotation) {
    switch (rotation) {
        case 2: return "90";
        case 3: return "180";
        case 4: return "270";
        default: return "0";
    }
}

std::string DpiText(uint32_t dpi) { return Format("%u (%llu%%)", dpi, static_cast<unsigned long long>(dpi) * 100 / 96); }

bool IsIndirectOutputTechnology(uint32_t technology) { return technology >= 15 && technology <= 17; }

std::string MatchHidFamily(uint32_t vendorId, uint32_t productId) {
    if (vendorId == 0x80EE && productId >= 0x20 && productId <= 0x23) return "VirtualBox";
    return std::string();
}

std::string RawInputTypeText(uint32_t type) {
    switch (type) {
        case 0: return "MOUSE";
        case 1: return "KEYBOARD";
        case 2: return "HID";
        default: return "UNKNOWN";
    }
}

Table MakeDisplayTable(const std::string& id) {
    struct Def {
        const char* id;
        const char* title;
        std::vector<Column> columns;
        const char* note;
    };
    static const Def kDefs[] = {
        {"display.paths", "Active display path topology",
         {{"Path", Role::Program}, {"Source", Role::Program}, {"Target", Role::Program}, {"Output technology", Role::Program}, {"EDID identity", Role::Maker}, {"Active", Role::Program}}, ""},
        {"display.input_devices", "Raw input device inventory", {{"Device", Role::Program}, {"Type", Role::Program}, {"VID:PID", Role::Maker}, {"Usage page", Role::Program}, {"Usage", Role::Program}},
         ""},
        {table::kDisplayGpus, "Display adapters",
         {{"Adapter", Role::Maker}, {"PCI IDs", Role::Maker}, {"Driver", Role::Maker}, {"Video memory", Role::Program}, {"VBIOS / chip", Role::Maker}, {"PCIe link", Role::Program}, {"Container ID", Role::Identifier}, {"Video ID", Role::Identifier}},
         "Video ID is the GUID Windows assigns to the adapter instance when it is first installed; it survives driver "
         "updates and is reset by a clean device removal or an OS reinstall."},
        {table::kDisplayDxgi, "DXGI adapters",
         {{"Description", Role::Maker}, {"Vendor:Device", Role::Maker}, {"Subsystem / rev", Role::Maker}, {"Dedicated VRAM", Role::Program}, {"Shared memory", Role::Program}, {"Adapter LUID", Role::Maker}, {"Flags", Role::Program}},
         "The adapter LUID is regenerated at every boot - shown for completeness, never used as an identifier."},
        {"display.outputs", "Display outputs",
         {{"Output", Role::Maker}, {"Adapter", Role::Maker}, {"Current mode", Role::Program}, {"Desktop area", Role::Program}, {"Rotation", Role::Program}, {"DPI", Role::Program}, {"Attached", Role::Program}},
         "Monitors as the graphics stack sees them: resolution, refresh rate, position and scaling. Configuration, not "
         "identity."},
        {"display.nvml", "NVIDIA GPUs (NVML)", {{"GPU", Role::Maker}, {"UUID", Role::Identifier}, {"Board serial", Role::Field}, {"Board part number", Role::Maker}, {"VBIOS", Role::Maker}},
         "GPU UUID is a per-unit identifier programmed into the board; serial numbers are usually only populated on "
         "professional boards."},
        {table::kDisplayMonitors, "Monitors (EDID)",
         {{"Monitor", Role::Maker}, {"PnP ID / product", Role::Maker}, {"Serial (EDID dword)", Role::Identifier}, {"Serial (descriptor)", Role::Identifier}, {"Manufactured", Role::Maker}, {"EDID", Role::Program}, {"Size", Role::Program}, {"EDID SHA-256", Role::Identifier}},
         ""},
        {"display.adapter_flags", "DXGI and WDDM adapter flags", {{"Adapter", Role::Maker}, {"Source", Role::Program}, {"Flags", Role::Program}, {"Type", Role::Program}}, ""},
        {"display.d3d_caps", "Direct3D capability queries", {{"Adapter", Role::Maker}, {"Feature", Role::Program}, {"Value", Role::Program}}, ""},
        {"display.memory_budgets", "GPU memory budgets",
         {{"Adapter", Role::Maker}, {"Segment", Role::Program}, {"Budget", Role::Program}, {"Current usage", Role::Program}, {"Available reservation", Role::Program}, {"Current reservation", Role::Program}}, ""},
        {"display.nvml_modes", "NVIDIA virtualization modes", {{"Adapter", Role::Maker}, {"Virtualization mode", Role::Program}, {"API status", Role::Program}}, ""},
        {"display.nvml_telemetry", "NVIDIA sensor availability", {{"Adapter", Role::Maker}, {"Metric", Role::Program}, {"Value", Role::Program}, {"API status", Role::Program}}, ""},
        {"display.edid_checks", "EDID structure and overrides",
         {{"Monitor", Role::Program}, {"Bytes", Role::Program}, {"Advertised blocks", Role::Program}, {"Available blocks", Role::Program}, {"Header", Role::Program}, {"Checksums", Role::Program}, {"Length consistency", Role::Program}, {"Override", Role::Program}},
         ""},
    };
    for (const Def& d : kDefs) {
        if (id != d.id) continue;
        return MakeTable("display", d.id, d.title, d.columns, d.note);
    }
    return MakeTable("display", id, id, {});
}

void RemoveProbeFacts(Snapshot& s) {
    static const std::string kPrefix = "display.probe.";
    for (auto it = s.facts.lower_bound(kPrefix); it != s.facts.end() && it->first.compare(0, kPrefix.size(), kPrefix) == 0;)
        it = s.facts.erase(it);
}

void CountDxgiAdapter(DxgiCounters& c, const PnpAdapterIds& pnp, const std::string& vd, const std::string& description,
                      uint32_t flags, bool kmtSoftwareOrIndirect) {
    bool inPnp = false;
    for (const std::string& id : pnp.pciIds)
        if (id == vd) inPnp = true;
    const bool software = IsDxgiSoftwareAdapter(flags);
    if (!software) {
        ++c.hw;
        if (inPnp) ++c.matched;
    }
    bool isVirtual = software || kmtSoftwareOrIndirect;
    for (const std::string& name : pnp.nonPciNames)
        if (EqualsNoCase(description, name)) isVirtual = true;
    if (!isVirtual) {
        ++c.pciHw;
        if (inPnp) ++c.pciMatched;
    }
}

void WriteDxgiFacts(Snapshot& s, const DxgiCounters& c, size_t pnpPci, size_t pnpNonPci) {
    SetFact(s, fact::kDxgiHw, std::to_string(c.hw));
    SetFact(s, fact::kDxgiMatched, std::to_string(c.matched));
    SetFact(s, fact::kDxgiPciHw, std::to_string(c.pciHw));
    SetFact(s, fact::kDxgiPciMatched, std::to_string(c.pciMatched));
    SetFact(s, fact::kPnpGpusNonpci, std::to_string(pnpNonPci));
    SetFact(s, fact::kPnpGpus, std::to_string(pnpPci));
    SetFact(s, fact::kDisplayOutputs, std::to_string(c.outputs));
    auto failed = [&](const char* errorFact) { return GetFact(s, errorFact) == "1"; };
    SetFact(s, fact::kDisplayProbeDxgiStatus,
            ProbeStatusWord(static_cast<int>(c.desc3Ok), failed(fact::kDisplayProbeDxgiError)));
    SetFact(s, fact::kDisplayProbeDxgiContext, c.desc3Software ? "1" : "0");
    SetFact(s, fact::kDisplayProbeWddmStatus,
            ProbeStatusWord(static_cast<int>(c.kmtOk), failed(fact::kDisplayProbeWddmError)));
    SetFact(s, fact::kDisplayProbeWddmContext, c.kmtVirtual ? "1" : "0");
    SetFact(s, fact::kDisplayProbeD3dStatus,
            ProbeStatusWord(static_cast<int>(c.d3dOk), failed(fact::kDisplayProbeD3dError)));
    SetFact(s, fact::kDisplayProbeMemoryStatus,
            ProbeStatusWord(static_cast<int>(c.memoryOk), failed(fact::kDisplayProbeMemoryError)));
}

namespace {

const char* Bit(bool b) { return b ? "1" : "0"; }

void AddPnpAdapter(Snapshot& s, Table& gpus, PnpAdapterIds& ids, const PnpAdapterRead& a) {
    const PciIds p = ParsePciIds(a.hardwareId);
    std::string pciCell;
    if (!p.ven.empty()) {
        pciCell = Format("%s:%s subsys %s rev %s", p.ven.c_str(), p.dev.c_str(), p.subsys.c_str(), p.rev.c_str());
        ids.pciIds.push_back(p.ven + ":" + p.dev);
    } else {
        pciCell = a.hardwareId;
        if (!a.name.empty()) ids.nonPciNames.push_back(a.name);
    }
    const std::string driver = Trim(a.provider + " " + a.version);
    const std::string memory = VideoMemoryText(a.qwMemorySize, a.memorySize);
    const std::string vbios = VbiosChipText(a.bios, a.chip);
    AddRow(gpus, {a.name, pciCell, driver, memory, vbios, a.pcieLink, a.containerId, a.videoId});

    // The adapter's name its driver gives.
    const Arg gpu{a.name, Role::Maker};
    s.signals.push_back(MakeSignal(sig::kGpuModel, "Display", {"GPU: {x1}", {gpu}}, pciCell, SignalScope::PerModel, 2,
                                   "gpu", Role::Maker, "SetupAPI DEVPKEY_Device_HardwareIds", "", 1.0));
    if (!vbios.empty()) {
        s.signals.push_back(MakeSignal(sig::kGpuVbios, "Display", {"GPU VBIOS: {x1}", {gpu}}, vbios, SignalScope::PerModel,
                                       1, "gpu", Role::Maker, "driver key HardwareInformation.BiosString", "", 1.0));
    }
    if (!a.videoId.empty()) {
        s.signals.push_back(MakeSignal(
            sig::kGpuVideoId, "Display", {"GPU video ID: {x1}", {gpu}}, a.videoId, SignalScope::PerInstall, 4, "gpu",
            Role::Identifier, "device key VideoID",
            "created at first device install; survives driver updates; reset by a clean device removal or OS reinstall",
            1.0));
    }
}

void AddD3dCaps(Snapshot& s, Table& caps, const std::string& label, const D3dCapsRead& d, DxgiCounters& c) {
    if (!d.created) {
        MarkProbeError(s, fact::kDisplayProbeD3dError, d.hr);
        return;
    }
    ++c.d3dOk;
    AddRow(caps, {label, "D3D11_FEATURE_LEVEL", Format("0x%04X", d.featureLevel)});
    if (d.threading)
        AddRow(caps, {label, "D3D11_FEATURE_THREADING",
                      Format("concurrent=%s command-lists=%s", Bit((*d.threading)[0]), Bit((*d.threading)[1]))});
    if (d.doubles) AddRow(caps, {label, "D3D11_FEATURE_DOUBLES", Bit(*d.doubles)});
    if (d.options)
        AddRow(caps, {label, "D3D11_FEATURE_D3D11_OPTIONS",
                      Format("logic-op=%s constant-buffer-offset=%s", Bit((*d.options)[0]), Bit((*d.options)[1]))});
}

// The probes of one adapter; true when its WDDM type says software or indirect display.
bool AddAdapterProbes(Snapshot& s, DisplayAdapterTables& t, const DxgiAdapterRead& a, const std::string& label,
                      DxgiCounters& c) {
    if (a.desc3Hr) {
        if (*a.desc3Hr < 0) {
            MarkProbeError(s, fact::kDisplayProbeDxgiError, *a.desc3Hr);
        } else {
            ++c.desc3Ok;
            const bool software = IsDxgiSoftwareAdapter(a.desc3Flags);
            if (software) ++c.desc3Software;
            AddRow(t.flags, {label, "DXGI_ADAPTER_DESC3", Format("0x%08X", a.desc3Flags), software ? "SOFTWARE" : "HARDWARE"});
        }
    }
    bool kmtSoftwareOrIndirect = false;
    if (a.kmtStatus) {
        if (*a.kmtStatus >= 0) {
            ++c.kmtOk;
            if (IsVirtualKmtType(a.kmtType)) ++c.kmtVirtual;
            if (IsSoftwareOrIndirectKmtType(a.kmtType)) kmtSoftwareOrIndirect = true;
            AddRow(t.flags, {label, "D3DKMT_ADAPTERTYPE", Format("0x%08X", a.kmtType), KmtAdapterTypeText(a.kmtType)});
        } else if (IsCountedKmtFailure(static_cast<uint32_t>(*a.kmtStatus))) {
            SetFact(s, fact::kDisplayProbeWddmError, "1");
        }
    }
    for (const MemorySegmentRead& m : a.segments) {
        if (m.hr < 0) {
            MarkProbeError(s, fact::kDisplayProbeMemoryError, m.hr);
            continue;
        }
        ++c.memoryOk;
        AddRow(t.budgets, {label, m.local ? "LOCAL" : "NON_LOCAL", FormatBytes(m.budget), FormatBytes(m.usage),
                           FormatBytes(m.available), FormatBytes(m.reserved)});
    }
    if (a.d3d) AddD3dCaps(s, t.caps, label, *a.d3d, c);
    return kmtSoftwareOrIndirect;
}

void AddOutput(Table& outputs, const std::string& adapter, const OutputRead& o, DxgiCounters& c) {
    std::string current;
    if (o.mode)
        current = Format("%lu x %lu @ %lu Hz, %lu bpp", static_cast<unsigned long>((*o.mode)[0]),
                         static_cast<unsigned long>((*o.mode)[1]), static_cast<unsigned long>((*o.mode)[2]),
                         static_cast<unsigned long>((*o.mode)[3]));
    AddRow(outputs, {o.device, adapter, current,
                     Format("%ld,%ld - %ld,%ld", static_cast<long>(o.left), static_cast<long>(o.top),
                            static_cast<long>(o.right), static_cast<long>(o.bottom)),
                     RotationText(o.rotation), o.dpi ? DpiText(*o.dpi) : std::string(), o.attached ? "yes" : "no"});
    ++c.outputs;
}

}  // namespace

DisplayAdapterTables CollectDisplayAdaptersFrom(Snapshot& s, const DisplayAdaptersSource& src) {
    DisplayAdapterTables t{MakeDisplayTable(table::kDisplayGpus),    MakeDisplayTable(table::kDisplayDxgi),
                           MakeDisplayTable(table::kDisplayOutputs), MakeDisplayTable(table::kDisplayAdapterFlags),
                           MakeDisplayTable(table::kDisplayD3dCaps), MakeDisplayTable(table::kDisplayMemoryBudgets)};
    PnpAdapterIds pnp;
    for (const PnpAdapterRead& a : src.pnp) AddPnpAdapter(s, t.gpus, pnp, a);

    DxgiCounters c;
    for (const DxgiAdapterRead& a : src.dxgi) {
        const std::string vd = Format("%04X:%04X", a.vendorId, a.deviceId);
        AddRow(t.dxgi, {a.description, vd, Format("%08X / %02X", a.subSysId, a.revision), FormatBytes(a.dedicatedVideoMemory),
                        FormatBytes(a.sharedSystemMemory),
                        Format("%08lX:%08lX", static_cast<unsigned long>(a.luidHigh), static_cast<unsigned long>(a.luidLow)),
                        IsDxgiSoftwareAdapter(a.flags) ? "software" : "hardware"});
        const bool kmtSoftwareOrIndirect = AddAdapterProbes(s, t, a, Format("Adapter %u", a.index + 1), c);
        CountDxgiAdapter(c, pnp, vd, a.description, a.flags, kmtSoftwareOrIndirect);
        for (const OutputRead& o : a.outputs) AddOutput(t.outputs, a.description, o, c);
    }
    WriteDxgiFacts(s, c, pnp.pciIds.size(), pnp.nonPciNames.size());
    return t;
}

void CollectDisplayFrom(Snapshot& s, const DisplaySource& src) {
    RemoveProbeFacts(s);
    DisplayAdapterTables dx = CollectDisplayAdaptersFrom(s, src.adapters);
    AddDisplayPathsFrom(s, src.paths);
    AddRawInputDevicesFrom(s, src.rawInput);
    NvmlTables nvml = RunNvmlStep(s, src.nvml, src.nvmlLoaded);

    MonitorStep monitors = BeginMonitorStep(src.monitorsListed);
    for (uint32_t i = 0; i < src.monitors.size(); ++i)
        AddMonitor(s, monitors, i, src.monitors[i], [&] { return src.monitorName ? src.monitorName(i) : std::string(); });
    FinishMonitorStep(s, monitors);

    for (Table* t : {&dx.gpus, &dx.dxgi, &dx.outputs, &nvml.gpus, &monitors.monitors, &dx.flags, &dx.caps, &dx.budgets,
                     &nvml.modes, &nvml.telemetry, &monitors.checks})
        s.tables.push_back(std::move(*t));
    ShowMonitorAudioNames(s);
}

}  // namespace vorq
