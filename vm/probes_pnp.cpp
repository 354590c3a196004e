// Guest families named by present devices, bound driver services, storage
// and network controllers, graphics adapters and monitors: one pass over the
// PnP and display inventories, six correlated hardware findings and one
// context probe for remote and software displays. Snapshot only.
#include <set>

#include "collectors/devices/devices.h"
#include "collectors/devices/display.h"
#include "core/text.h"
#include "vm/signatures.h"
#include "vm/vm.h"

namespace vorq {

namespace {

using FamilySet = std::set<std::string>;

struct PnpPass {
    FamilySet pnp, bound, graphics, monitor, storage, network;
    bool anyIds = false, anyService = false, nonFwcfgDriver = false, nonAcpiId = false;
    bool anyNetClass = false, anyStorageClass = false;
    bool hardwareDisplaySeen = false, anyDisplaySeen = false, remoteDisplay = false;
};

void Insert(FamilySet& set, std::string family) {
    if (!family.empty()) set.insert(std::move(family));
}

VmProbe MakeHardwareProbe(const char* id, const char* category, const char* title, const char* method, int32_t weight,
                          int32_t strength) {
    VmProbe p = MakeVmProbe(id, category, title, method, kGroupHardware, strength, weight);
    p.caveat = "Correlated hardware findings share one score contribution.";
    return p;
}

void SetPresentDeviceOutcome(VmProbe& p, const FamilySet& set, bool present, bool failed) {
    if (!set.empty()) {
        p.result = kDetected;
        p.families = JoinSet(set);
        p.evidence = "A matching present-device signature was found.";
    } else if (failed) {
        p.result = kProbeError;
        p.evidence = "The required inventory could not be read completely.";
    } else if (present) {
        p.result = kNotDetected;
        p.evidence = "No matching present-device signature was found.";
    } else {
        p.result = kInconclusive;
        p.evidence = "The required inventory is unavailable.";
    }
}

// The row's full id list from the collector's fact, then its hardware id
// cell; one empty id when there is none, so the per-id matchers still run.
std::vector<std::string> DeviceRowIds(const Snapshot& s, const TableRow& row, size_t index) {
    std::vector<std::string> ids;
    const std::string list = GetFact(s, fact::kVmPnpIds + std::to_string(index));
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start);
        if (end == std::string::npos) end = list.size();
        ids.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    std::string hwid = CellOrEmpty(row, col::devices::kHardwareId);
    if (!hwid.empty()) ids.push_back(std::move(hwid));
    if (ids.empty()) ids.emplace_back();
    return ids;
}

void ScanDevices(const Snapshot& s, PnpPass& st) {
    const Table* devices = FindTable(s, table::kDevices);
    if (!devices) return;
    for (size_t i = 0; i < devices->rows.size(); ++i) {
        const TableRow& row = devices->rows[i];
        const std::string cls = CellOrEmpty(row, col::devices::kClass);
        const std::string device = CellOrEmpty(row, col::devices::kDevice);
        const std::string service = CellOrEmpty(row, col::devices::kService);
        if (!CellOrEmpty(row, col::devices::kHardwareId).empty() || !GetFact(s, fact::kVmPnpIds + std::to_string(i)).empty())
            st.anyIds = true;
        if (!service.empty()) {
            st.anyService = true;
            std::string f = DriverNameFamily(service);
            if (!f.empty()) {
                st.bound.insert(std::move(f));
                if (!EqualsNoCase(service, "fwcfg")) st.nonFwcfgDriver = true;
            }
        }
        if (EqualsNoCase(cls, "Net")) st.anyNetClass = true;
        if (EqualsNoCase(cls, "SCSIAdapter") || EqualsNoCase(cls, "HDC")) st.anyStorageClass = true;
        const bool display = EqualsNoCase(cls, "Display");
        for (const std::string& id : DeviceRowIds(s, row, i)) {
            std::string f = DeviceIdFamily(id);
            if (!f.empty()) {
                st.pnp.insert(std::move(f));
                if (!StartsWithNoCase(id, "ACPI\\")) st.nonAcpiId = true;
            }
            Insert(st.storage, StorageAdapterFamily(cls, id, service));
            Insert(st.network, NicDriverFamily(cls, device, id, service));
            if (display) {
                st.hardwareDisplaySeen = st.anyDisplaySeen = true;
                Insert(st.graphics, DisplayAdapterFamily(device, id));
                if (!st.remoteDisplay) st.remoteDisplay = IsSoftwareDisplayAdapter(device, id);
            }
        }
    }
}

struct DisplayColumns {
    size_t name, id;
    bool hasFlags;  // only the DXGI table marks software adapters
};

void ScanDisplayTableRows(const Table* t, const DisplayColumns& cols, PnpPass& st) {
    if (!t) return;
    for (const TableRow& row : t->rows) {
        const std::string name = CellOrEmpty(row, cols.name);
        const std::string id = CellOrEmpty(row, cols.id);
        if (name.empty() && id.empty()) continue;
        st.anyDisplaySeen = true;
        const bool software = cols.hasFlags && EqualsNoCase(CellOrEmpty(row, col::display_dxgi::kFlags), "software");
        if (!st.remoteDisplay) st.remoteDisplay = software || IsSoftwareDisplayAdapter(name, id);
        if (!software) {
            st.hardwareDisplaySeen = true;
            Insert(st.graphics, DisplayAdapterFamily(name, id));
        }
    }
}

}  // namespace

void ProbePnpHardware(const Snapshot& s, VmProbeList& probes, const VmWeights& w, const VmSource&) {
    PnpPass st;
    ScanDevices(s, st);
    ScanDisplayTableRows(FindTable(s, table::kDisplayGpus), {col::display_gpus::kAdapter, col::display_gpus::kPciIds, false},
                         st);
    ScanDisplayTableRows(FindTable(s, table::kDisplayDxgi),
                         {col::display_dxgi::kDescription, col::display_dxgi::kVendorDevice, true}, st);
    const Table* monitors = FindTable(s, table::kDisplayMonitors);
    if (monitors)
        for (const TableRow& row : monitors->rows)
            Insert(st.monitor, MonitorEdidFamily(CellOrEmpty(row, col::display_monitors::kMonitor),
                                                 CellOrEmpty(row, col::display_monitors::kPnpIdProduct)));
    const bool pnpFailed = CollectorFailed(s, "PnP devices");
    const bool displayFailed = CollectorFailed(s, "Display");

    {
        VmProbe p = MakeHardwareProbe("hardware.pnp", "hardware", "Guest PnP bus devices",
                                      "Match present Xen paravirtual children and the QEMU ACPI firmware-configuration device.",
                                      w[kWHardwarePnp], kModerate);
        SetPresentDeviceOutcome(p, st.pnp, st.anyIds, pnpFailed);
        p.independent = true;
        if (!st.pnp.empty() && !st.nonAcpiId) {
            p.group = kGroupFirmware;
            p.caveat = "ACPI and SMBIOS share one firmware evidence group.";
        }
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeHardwareProbe("hardware.bound_drivers", "hardware", "Guest drivers bound to present devices",
                                      "Match guest driver service names attached to devices that are currently present.",
                                      w[kWHardwareBoundDrivers], kModerate);
        SetPresentDeviceOutcome(p, st.bound, st.anyService, pnpFailed);
        if (!st.bound.empty() && !st.nonFwcfgDriver) p.group = kGroupFirmware;
        p.caveat = "Bound guest drivers can survive system migration and need corroboration.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeHardwareProbe("hardware.graphics", "hardware", "Virtual graphics adapters",
                                      "Match explicit virtual GPU PCI IDs and guest display models in PnP and DXGI inventory.",
                                      w[kWHardwareGraphics], kModerate);
        SetPresentDeviceOutcome(p, st.graphics, st.hardwareDisplaySeen,
                                !st.hardwareDisplaySeen && (displayFailed || pnpFailed));
        p.independent = true;
        p.caveat = "Software and remote adapters do not establish a guest; physical GPU passthrough does not exclude one.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeHardwareProbe("hardware.monitor_edid", "hardware", "Virtual monitor EDID identity",
                                      "Match specific virtual monitor names together with their EDID manufacturer and product.",
                                      w[kWHardwareMonitorEdid], kWeak);
        const bool rows = monitors && !monitors->rows.empty();
        SetPresentDeviceOutcome(p, st.monitor, rows, !rows && displayFailed);
        p.caveat = "EDID can be replaced or relayed and cannot independently confirm a guest.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeHardwareProbe("storage.controllers", "storage", "Virtual storage controllers",
                                      "Match present storage controller PCI IDs and specific guest storage driver bindings.",
                                      w[kWStorageControllers], kModerate);
        SetPresentDeviceOutcome(p, st.storage, st.anyStorageClass, pnpFailed);
        p.independent = true;
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeHardwareProbe(
            "network.pnp", "network", "Guest network device identities",
            "Match present network device PCI IDs and driver bindings, including adapters absent from the network stack inventory.",
            w[kWNetworkPnp], kModerate);
        SetPresentDeviceOutcome(p, st.network, st.anyNetClass, pnpFailed);
        p.independent = true;
        p.caveat = "Host-only, VMnet, vEthernet, VPN and tunnel interfaces are excluded.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeHardwareProbe(
            "hardware.remote_display", "hardware", "Remote and software display context",
            "Identify remote, indirect, fallback and software display adapters without treating them as guest hardware.",
            w[kWHardwareRemoteDisplay], kContext);
        SetPresentDeviceOutcome(p, {}, st.anyDisplaySeen, !st.anyDisplaySeen && (displayFailed || pnpFailed));
        if (st.remoteDisplay) {
            p.result = kDetected;
            p.evidence = "A remote, indirect, fallback or software display adapter is present.";
        }
        p.caveat = "These display configurations also occur on physical computers.";
        AppendProbe(probes, std::move(p));
    }
}

}  // namespace vorq
