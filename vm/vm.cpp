#include "vm/vm.h"

#include <set>

#include "collectors/devices/devices.h"
#include "collectors/devices/network.h"
#include "collectors/devices/storage.h"
#include "collectors/processor/acpi.h"
#include "collectors/processor/cpu.h"
#include "collectors/processor/hypervisor.h"
#include "collectors/processor/smbios.h"
#include "collectors/processor/uefi.h"
#include "collectors/trust/drivers.h"
#include "collectors/trust/platform.h"
#include "core/text.h"
#include "vm/signatures.h"

namespace vorq {

namespace {

const ServiceKey kGuestServiceKeys[] = {
    {u"SYSTEM\\CurrentControlSet\\Services\\VBoxService", "VirtualBox"},
    {u"SYSTEM\\CurrentControlSet\\Services\\VMTools", "VMware"},
    {u"SYSTEM\\CurrentControlSet\\Services\\VGAuthService", "VMware"},
    {u"SYSTEM\\CurrentControlSet\\Services\\qemu-ga", "KVM/QEMU"},
    {u"SYSTEM\\CurrentControlSet\\Services\\xenservice", "Xen"},
    {u"SYSTEM\\CurrentControlSet\\Services\\prl_tools", "Parallels"},
};

const ServiceKey kCloudAgentKeys[] = {
    {u"SYSTEM\\CurrentControlSet\\Services\\WindowsAzureGuestAgent", "Microsoft Azure"},
    {u"SYSTEM\\CurrentControlSet\\Services\\RdAgent", "Microsoft Azure"},
    {u"SYSTEM\\CurrentControlSet\\Services\\GCEAgent", "Google Cloud"},
    {u"SYSTEM\\CurrentControlSet\\Services\\GCEWindowsAgent", "Google Cloud"},
    {u"SYSTEM\\CurrentControlSet\\Services\\google_osconfig_agent", "Google Cloud"},
    {u"SYSTEM\\CurrentControlSet\\Services\\EC2Launch", "AWS EC2"},
    {u"SYSTEM\\CurrentControlSet\\Services\\Ec2Config", "AWS EC2"},
    {u"SYSTEM\\CurrentControlSet\\Services\\AlibabaCloudAssist", "Alibaba Cloud"},
};

ServiceKeyScan Scan(const VmSource& env, const ServiceKey* keys, size_t n) {
    if (!env.scanServiceKeys) {
        ServiceKeyScan none;
        none.incomplete = true;
        return none;
    }
    return env.scanServiceKeys(keys, n);
}

CpuidLeafRegs RunCpuid(const VmSource& env, uint32_t leaf) { return env.cpuid ? env.cpuid(leaf) : CpuidLeafRegs{}; }

VmCpuContext DeriveCpuContext(const Snapshot& s, const VmSource& env) {
    VmCpuContext c;
    c.cpuidUsable = IsCpuidSafe(s);
    const CpuidLeafRegs leaf1 = FindCpuidLeaf(s, 1);
    c.cpuData = c.cpuidUsable && (leaf1.valid || HasFact(s, fact::kHvPresent));
    c.hvBit = leaf1.valid ? ((leaf1.ecx >> 31) & 1u) != 0 : GetFact(s, fact::kHvPresent) == "1";
    CpuidLeafRegs base;
    if (c.cpuidUsable) base = FindCpuidLeaf(s, 0x40000000u);
    if (c.cpuData && !base.valid) base = RunCpuid(env, 0x40000000u);
    c.basePlausible = IsHypervisorBaseLeaf(base, 0x40000000u);
    if (c.basePlausible) {
        c.vendor = LeafVendorText(base);
    } else if (c.cpuidUsable) {
        c.vendor = GetFact(s, fact::kHvVendor);
    }
    if (c.basePlausible) c.guestFamilies = HypervisorVendorFamily(c.vendor);
    if (c.cpuData && c.guestFamilies.empty()) {
        CpuidLeafRegs secondary = FindCpuidLeaf(s, 0x40000100u);
        if (!secondary.valid && GetFact(s, fact::kCpuXenSecondaryStatus).empty()) secondary = RunCpuid(env, 0x40000100u);
        if (IsHypervisorBaseLeaf(secondary, 0x40000100u) && LeafVendorText(secondary) == "KVMKVMKVM")
            c.guestFamilies = "KVM/QEMU";
    }
    c.hvPresent = c.hvBit || !c.guestFamilies.empty() || (c.basePlausible && !c.vendor.empty());
    if (c.cpuidUsable && c.vendor == "Microsoft Hv") {
        const CpuidLeafRegs iface = FindCpuidLeaf(s, 0x40000001u);
        const CpuidLeafRegs features = FindCpuidLeaf(s, 0x40000003u);
        c.rootPartition = iface.valid && iface.eax == 0x31237648u && features.valid && (features.ebx & 1u) != 0;
    }
    return c;
}

// Detected/Not Detected with data; the source's unavailability otherwise.
void DecideWithData(VmProbe& p, const Snapshot& s, bool haveData, bool detected, const char* collector,
                    const char* detectedText, const char* notDetectedText) {
    if (haveData && (detected || !CollectorFailed(s, collector))) {
        SetDetected(p, detected, detectedText, notDetectedText);
    } else {
        MarkSourceUnavailable(p, s, collector);
    }
}

struct InlineState {
    bool acpiComplete = false;
    bool pnpData = false;
    bool storageData = false;
    bool networkData = false;
    bool vmgenidReadError = false;
    bool guestServicesComplete = false;
};

}  // namespace

AcpiOemMatch MatchAcpiOemFamilies(const Table* acpi) {
    AcpiOemMatch m;
    if (!acpi || acpi->rows.empty()) return m;
    m.complete = true;
    std::set<std::string> families;
    for (const TableRow& row : acpi->rows) {
        if (row.cells.size() <= col::acpi::kDetails || row.cells[col::acpi::kLength] == "?" ||
            row.cells[col::acpi::kOemId].empty()) {
            m.complete = false;
            if (CellOrEmpty(row, col::acpi::kDetails).starts_with(col::acpi::kReadFailed)) m.readFailed = true;
            continue;
        }
        const std::string oem = UpperAscii(TrimBlank(row.cells[col::acpi::kOemId]));
        const std::string table = UpperAscii(TrimBlank(row.cells[col::acpi::kOemTableId]));
        auto starts = [&table](const char* p) { return table.rfind(p, 0) == 0; };
        if (oem == "VBOX" || oem == "VBOX__" || starts("VBOX")) families.insert("VirtualBox");
        if (oem == "VMWARE" || starts("VMWARE")) families.insert("VMware");
        if (oem == "XEN") families.insert("Xen");
        if (oem == "QEMU" || oem == "BOCHS" || oem == "BXPC") families.insert("KVM/QEMU");
    }
    m.families = JoinSet(families);
    return m;
}

static void AddInlineProbes(const Snapshot& s, VmProbeList& probes, const VmWeights& w, const VmSource& env,
                            const VmCpuContext& cpu, InlineState& st) {
    // cpu.hypervisor
    {
        VmProbe p = MakeVmProbe("cpu.hypervisor", "cpu", "Hypervisor presence bit",
                                "CPUID.1:ECX[31] from the existing CPU inventory.", kGroupCpu, kContext, 0);
        if (cpu.cpuData) {
            SetDetected(p, cpu.hvBit, "The CPU reports a hypervisor.", "The CPU does not report the hypervisor presence bit.");
        } else {
            MarkSourceUnavailable(p, s, "CPU");
        }
        p.caveat = "Hypervisor presence alone does not establish that Windows is a guest.";
        AppendProbe(probes, std::move(p));
    }
    // cpu.vendor
    {
        VmProbe p = MakeVmProbe("cpu.vendor", "cpu", "Recognized guest CPU signature",
                                "Validate the hypervisor vendor and its CPUID namespace, including the secondary KVM namespace.",
                                kGroupCpu, kStrong, w[kWCpuVendor]);
        if (!cpu.cpuData) {
            MarkSourceUnavailable(p, s, "CPU");
        } else if (!cpu.guestFamilies.empty()) {
            p.result = kDetected;
            p.evidence = "A recognized guest hypervisor signature is present.";
            p.families = cpu.guestFamilies;
            p.confirming = true;
            p.independent = true;
        } else if (cpu.hvBit || (cpu.basePlausible && !cpu.vendor.empty())) {
            p.result = kInconclusive;
            p.evidence = "The hypervisor signature does not establish a guest role.";
        } else {
            p.result = kNotDetected;
            p.evidence = "No recognized guest CPU signature was found.";
        }
        AppendProbe(probes, std::move(p));
    }
    // cpu.partition
    {
        VmProbe p = MakeVmProbe("cpu.partition", "cpu", "Hyper-V partition context",
                                "Interpret Microsoft partition privileges only after validating the Hv#1 interface.", kGroupCpu,
                                kContext, 0);
        if (!cpu.cpuData) {
            MarkSourceUnavailable(p, s, "CPU");
        } else if (cpu.rootPartition) {
            p.result = kDetected;
            p.evidence = "CreatePartitions privilege identifies a root or management partition.";
        } else if (cpu.vendor == "Microsoft Hv") {
            p.result = kInconclusive;
            p.evidence = "Microsoft-compatible hypervisor present; the guest role requires other evidence.";
        } else {
            p.result = kNotDetected;
            p.evidence = "No Microsoft partition context was identified.";
        }
        p.caveat = "A root partition may itself be nested. Missing CreatePartitions is not guest proof.";
        AppendProbe(probes, std::move(p));
    }

    const std::string manufacturer = GetSignalValue(s, sig::kSmbiosSystemManufacturer);
    const std::string product = GetSignalValue(s, sig::kSmbiosSystemProduct);
    const bool smbiosNames = !manufacturer.empty() && !product.empty();
    const SmbiosVendorMatch smbios =
        SmbiosVendorFamily(manufacturer, product, GetSignalValue(s, sig::kSmbiosSystemSerial));
    // firmware.system
    {
        VmProbe p = MakeVmProbe("firmware.system", "firmware", "Virtual system manufacturer and model",
                                "Match specific SMBIOS system manufacturer and product combinations.", kGroupFirmware, kStrong,
                                w[kWFirmwareSystem]);
        if (smbiosNames && (smbios.virtual_ || !CollectorFailed(s, "SMBIOS"))) {
            SetDetected(p, smbios.virtual_, "SMBIOS identifies a virtual machine product.",
                        "No specific virtual machine product was found.");
        } else if (smbiosNames) {
            p.result = kProbeError;
            p.evidence = "Inventory data is unavailable.";
        } else {
            MarkSourceUnavailable(p, s, "SMBIOS");
        }
        p.families = smbios.family;
        p.confirming = smbios.virtual_;
        p.independent = smbios.virtual_;
        p.caveat = "Generic manufacturer names and cloud bare-metal models are excluded.";
        AppendProbe(probes, std::move(p));
    }
    // firmware.vm_flag
    {
        VmProbe p = MakeVmProbe("firmware.vm_flag", "firmware", "SMBIOS virtual machine flag",
                                "Read the standardized virtual-machine bit in SMBIOS BIOS characteristics extension byte 2.",
                                kGroupFirmware, kStrong, w[kWFirmwareVmFlag]);
        if (HasFact(s, fact::kSmbiosVmFlag)) {
            SetDetected(p, GetFact(s, fact::kSmbiosVmFlag) == "1", "Firmware explicitly declares a virtual machine.",
                        "The virtual-machine flag is clear.");
        } else if (!smbiosNames || CollectorFailed(s, "SMBIOS")) {
            MarkSourceUnavailable(p, s, "SMBIOS");
        } else {
            p.result = kNotSupported;
            p.evidence = "The required SMBIOS extension field is unavailable.";
        }
        p.confirming = true;
        p.independent = true;
        AppendProbe(probes, std::move(p));
    }
    // firmware.acpi
    {
        VmProbe p = MakeVmProbe("firmware.acpi", "firmware", "Virtual ACPI firmware signatures",
                                "Inspect already collected ACPI OEM and table IDs for specific virtual firmware signatures.",
                                kGroupFirmware, kModerate, w[kWFirmwareAcpi]);
        const AcpiOemMatch acpi = MatchAcpiOemFamilies(FindTable(s, table::kAcpi));
        const bool failed = CollectorFailed(s, "ACPI");
        st.acpiComplete = acpi.complete;
        if (!acpi.families.empty()) {
            p.result = kDetected;
            p.evidence = "ACPI headers contain a virtual firmware signature.";
        } else if (!acpi.complete || failed) {
            p.result = (failed || acpi.readFailed) ? kProbeError : kInconclusive;
            p.evidence = "Inventory data is unavailable.";
        } else {
            p.result = kNotDetected;
            p.evidence = "No specific virtual firmware signature was found.";
        }
        p.families = acpi.families;
        p.independent = true;
        p.caveat = "ACPI and SMBIOS share one firmware evidence group.";
        AppendProbe(probes, std::move(p));
    }
    // firmware.vmgenid
    const Table* hvguest = FindTable(s, table::kPlatformHvguest);
    {
        VmProbe p = MakeVmProbe("firmware.vmgenid", "firmware", "VM generation counter",
                                "Reuse the existing successful read of the ACPI VM generation counter.", kGroupFirmware, kStrong,
                                w[kWFirmwareVmgenid]);
        bool readError = GetFact(s, fact::kHvVmGenidStatus) == "error";
        if (hvguest)
            for (const TableRow& row : hvguest->rows) {
                namespace c = col::platform_hvguest;
                if (CellOrEmpty(row, c::kParameter) == c::kVmGenerationId &&
                    CellOrEmpty(row, c::kValue).starts_with(c::kGenerationIdReadFailed))
                    readError = true;
            }
        st.vmgenidReadError = readError;
        if (GetFact(s, fact::kHvVmGenid) == "1") {
            p.result = kDetected;
            p.evidence = "The VM generation counter was read successfully.";
        } else if (readError) {
            p.result = kProbeError;
            p.evidence = "The generation-counter device could not be read.";
        } else if (hvguest) {
            p.result = kNotDetected;
            p.evidence = "No readable VM generation counter was found.";
        } else {
            MarkSourceUnavailable(p, s, "UEFI and boot");
        }
        p.confirming = true;
        p.independent = true;
        p.caveat = "The counter value is not copied into VM detection evidence.";
        AppendProbe(probes, std::move(p));
    }

    // hardware.pci and hardware.synthetic over the present devices.
    const Table* devices = FindTable(s, table::kDevices);
    std::set<std::string> pciFamilies;
    bool vmbus = false;
    if (devices) {
        for (const TableRow& row : devices->rows) {
            const std::string hwid = CellOrEmpty(row, col::devices::kHardwareId);
            if (!hwid.empty()) st.pnpData = true;
            std::string f = PciIdFamily(hwid);
            if (!f.empty()) pciFamilies.insert(f);
            if (ContainsNoCase(hwid, "VMBUS")) vmbus = true;
        }
    }
    {
        VmProbe p = MakeVmProbe("hardware.pci", "hardware", "Virtual PCI devices",
                                "Match present device hardware IDs against explicit virtual PCI vendor and device pairs.",
                                kGroupHardware, kModerate, w[kWHardwarePci]);
        DecideWithData(p, s, st.pnpData, !pciFamilies.empty(), "PnP devices",
                       "Present devices include recognized virtual PCI hardware.", "No recognized virtual PCI hardware was found.");
        p.families = JoinSet(pciFamilies);
        p.independent = true;
        p.caveat = "PCI, virtual network, storage and their drivers share one evidence group.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeVmProbe("hardware.synthetic", "hardware", "Hyper-V synthetic bus context",
                                "Inspect present device hardware IDs for VMBus.", kGroupHardware, kContext, 0);
        DecideWithData(p, s, st.pnpData, vmbus, "PnP devices", "Hyper-V synthetic bus devices are present.",
                       "No Hyper-V synthetic bus device was identified.");
        p.caveat = "VMBus and virtual switches can exist in a physical Hyper-V root partition.";
        AppendProbe(probes, std::move(p));
    }

    // network.model and network.oui over the interfaces.
    const Table* ifaces = FindTable(s, table::kNetIfaces);
    std::set<std::string> models, prefixes;
    if (ifaces) {
        for (const TableRow& row : ifaces->rows) {
            const std::string description = CellOrEmpty(row, col::net_ifaces::kInterface);
            std::string f = NicDescriptionFamily(description);
            if (!f.empty()) models.insert(f);
            if (!IsHostOrTunnelAdapter(description)) {
                f = MacOuiFamily(CellOrEmpty(row, col::net_ifaces::kPermanentMac));
                if (!f.empty()) prefixes.insert(f);
            }
        }
    }
    st.networkData = ifaces && !ifaces->rows.empty() && !CollectorFailed(s, "Network");
    {
        VmProbe p = MakeVmProbe("network.model", "network", "Virtual network adapter models",
                                "Inspect existing adapter descriptions for specific guest network device models.", kGroupHardware,
                                kModerate, w[kWNetworkModel]);
        if (st.networkData) {
            SetDetected(p, !models.empty(), "A guest network adapter model is present.",
                        "No specific guest network adapter model was found.");
        } else {
            MarkSourceUnavailable(p, s, "Network");
        }
        p.families = JoinSet(models);
        p.independent = true;
        p.caveat = "Host-only, VMnet and Hyper-V virtual adapters do not establish a guest.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeVmProbe("network.oui", "network", "Virtualization MAC vendor prefix",
                                "Compare permanent adapter prefixes with a small set of virtualization vendor OUIs.",
                                kGroupMacPrefix, kWeak, w[kWNetworkOui]);
        if (st.networkData) {
            SetDetected(p, !prefixes.empty(), "A permanent MAC prefix matches a virtualization vendor.",
                        "No selected virtualization vendor prefix was found.");
        } else {
            MarkSourceUnavailable(p, s, "Network");
        }
        p.families = JoinSet(prefixes);
        p.caveat = "MAC prefixes are configurable and never confirm a guest. Hyper-V host prefixes are excluded.";
        AppendProbe(probes, std::move(p));
    }

    // storage.model over the system disk.
    {
        std::set<std::string> diskFamilies;
        if (const Table* disks = FindTable(s, table::kStorageDisks)) {
            for (const TableRow& row : disks->rows) {
                if (CellOrEmpty(row, col::storage_disks::kSystem) != col::storage_disks::kSystemDisk) continue;
                const std::string model = CellOrEmpty(row, col::storage_disks::kModel);
                if (model.empty()) continue;
                st.storageData = true;
                std::string f = DiskModelFamily(model);
                if (!f.empty()) diskFamilies.insert(f);
            }
        }
        VmProbe p = MakeVmProbe("storage.model", "storage", "Virtual system disk model",
                                "Match the already identified Windows system disk against specific virtual disk model strings.",
                                kGroupHardware, kModerate, w[kWStorageModel]);
        DecideWithData(p, s, st.storageData, !diskFamilies.empty(), "Storage",
                       "The Windows system disk has a recognized virtual model.",
                       "No specific virtual system disk model was found.");
        p.families = JoinSet(diskFamilies);
        p.independent = true;
        p.caveat = "Native VHD boot, Storage Spaces and secondary mounted virtual disks are excluded.";
        AppendProbe(probes, std::move(p));
    }

    // os.guest_drivers over the running drivers.
    std::set<std::string> driverFamilies;
    {
        VmProbe p = MakeVmProbe("os.guest_drivers", "os", "Running guest integration drivers",
                                "Reuse the existing running-driver inventory and match specific guest driver names.",
                                kGroupHardware, kModerate, w[kWGuestDrivers]);
        const Table* drivers = FindTable(s, table::kDrivers);
        const bool haveRows = drivers && !drivers->rows.empty();
        bool anyServes = false, allFwcfg = true;
        if (haveRows) {
            for (const TableRow& row : drivers->rows) {
                const std::string name = CellOrEmpty(row, col::drivers::kDriver);
                std::string f = DriverNameFamily(name);
                if (f.empty()) continue;
                driverFamilies.insert(f);
                if (FactCount(s, fact::kSvcDevPrefix + ToLower(name)) > 0) anyServes = true;
                if (!EqualsNoCase(name, "fwcfg")) allFwcfg = false;
            }
        }
        DecideWithData(p, s, haveRows, !driverFamilies.empty(), "Kernel drivers",
                       "A recognized guest integration driver is running.", "No selected guest integration driver was found.");
        p.families = JoinSet(driverFamilies);
        if (!driverFamilies.empty()) {
            if (anyServes) {
                if (allFwcfg) p.group = kGroupFirmware;
            } else {
                p.group = kGroupOs;
                p.strength = kWeak;
                p.weight = w[kWGuestDriversNoDevice];
            }
        }
        p.caveat = "Guest drivers can remain after migration; host drivers and inbox Hyper-V services are excluded.";
        AppendProbe(probes, std::move(p));
    }
    // os.guest_parameters
    {
        VmProbe p = MakeVmProbe("os.guest_parameters", "os", "Populated Hyper-V guest parameters",
                                "Reuse the existing registry inventory of populated Hyper-V guest identity parameters.",
                                kGroupFirmware, kModerate, w[kWGuestParameters]);
        bool populated = false;
        if (hvguest)
            for (const TableRow& row : hvguest->rows) {
                const std::string name = CellOrEmpty(row, col::platform_hvguest::kParameter);
                if ((name == col::platform_hvguest::kVirtualMachineId || name == col::platform_hvguest::kPhysicalHostName) &&
                    !CellOrEmpty(row, col::platform_hvguest::kValue).empty())
                    populated = true;
            }
        if (populated) {
            p.result = kDetected;
            p.evidence = "Hyper-V guest identity parameters are populated.";
            p.families = "Hyper-V";
        } else if (GetFact(s, fact::kHvParametersStatus) == "error") {
            p.result = kProbeError;
            p.evidence = "Registry access was incomplete.";
        } else if (hvguest) {
            p.result = kNotDetected;
            p.evidence = "No populated Hyper-V guest identity parameters were found.";
        } else {
            MarkSourceUnavailable(p, s, "UEFI and boot");
        }
        p.caveat = "Registry values may persist after migration and require corroboration.";
        AppendProbe(probes, std::move(p));
    }
    // os.guest_services
    {
        VmProbe p = MakeVmProbe("os.guest_services", "os", "Installed guest integration services",
                                "Read a fixed list of guest integration service registry keys without starting services.",
                                kGroupOs, kWeak, w[kWGuestServices]);
        const ServiceKeyScan scan = Scan(env, kGuestServiceKeys, std::size(kGuestServiceKeys));
        ApplyServiceKeyScan(p, scan, "A guest integration service is installed.");
        st.guestServicesComplete = !scan.incomplete;
        if (!scan.incomplete) p.caveat = "Installed services may be inactive or left over from an earlier system.";
        if (AnyInSet(scan.families, driverFamilies)) {
            p.group = kGroupHardware;
            if (!scan.incomplete) p.caveat = "Engineering confidence index; correlated tests contribute only their group maximum.";
        }
        AppendProbe(probes, std::move(p));
    }
    // os.vbs
    {
        VmProbe p = MakeVmProbe("os.vbs", "os", "Virtualization-based security context",
                                "Reuse the existing Windows Device Guard and code-integrity state.", kGroupCpu, kContext, 0);
        if (HasFact(s, fact::kPlatVbs) || HasFact(s, fact::kPlatHvciCi) || HasFact(s, fact::kPlatHvci)) {
            const bool on = GetFact(s, fact::kPlatVbs) == "1" || GetFact(s, fact::kPlatHvci) == "1" || GetFact(s, fact::kPlatHvciCi) == "1";
            SetDetected(p, on, "VBS or memory integrity is active.",
                        "The collected state does not report active VBS or memory integrity.");
        } else {
            MarkSourceUnavailable(p, s, "Platform security");
        }
        p.caveat = "VBS is compatible with a physical Windows PC and adds no guest penalty.";
        AppendProbe(probes, std::move(p));
    }
    // timing.rdtsc
    {
        VmProbe p = MakeVmProbe("timing.rdtsc", "timing", "RDTSC and timer anomalies",
                                "Timing thresholds were evaluated during method selection.", kGroupCpu, kWeak, 0);
        p.result = kNotSupported;
        p.evidence = "Timing-based guest classification is not enabled.";
        p.caveat = "Scheduling, power management and VBS make universal timing thresholds unreliable. No timing stress test runs.";
        AppendProbe(probes, std::move(p));
    }
    // cloud.firmware
    {
        VmProbe p = MakeVmProbe("cloud.firmware", "cloud", "Cloud provider firmware identity",
                                "Reuse specific cloud provider SMBIOS manufacturer and model signatures.", kGroupFirmware,
                                kContext, 0);
        DecideWithData(p, s, smbiosNames, !smbios.cloud.empty(), "SMBIOS",
                       "Firmware identifies a cloud provider environment.",
                       "No selected cloud provider firmware signature was found.");
        p.families = smbios.cloud;
        p.caveat = "Cloud identity is separate from guest identity; providers also offer bare-metal servers.";
        AppendProbe(probes, std::move(p));
    }
    // cloud.agents
    {
        VmProbe p = MakeVmProbe("cloud.agents", "cloud", "Installed cloud agents",
                                "Read a fixed list of provider agent service keys; no cloud metadata request is sent.", kGroupOs,
                                kContext, 0);
        const ServiceKeyScan scan = Scan(env, kCloudAgentKeys, std::size(kCloudAgentKeys));
        ApplyServiceKeyScan(p, scan, "A recognized cloud provider agent is installed.");
        if (!scan.incomplete) p.caveat = "Agents are installable software and provide infrastructure context only.";
        AppendProbe(probes, std::move(p));
    }
    // cloud.vps
    {
        VmProbe p = MakeVmProbe("cloud.vps", "cloud", "VPS service model",
                                "Assess whether local technical evidence can establish a rented VPS service.", kGroupOs, kContext,
                                0);
        p.result = kInconclusive;
        p.evidence = "The VPS commercial service model cannot be established from local hardware evidence.";
        p.caveat = "A virtual guest or a cloud provider signature does not establish the hosting contract.";
        AppendProbe(probes, std::move(p));
    }
}

void CollectVmFrom(Snapshot& s, const VmSource& env) {
    RemoveVmTables(s);
    const VmWeights w = kVmWeights;
    VmCpuContext cpu = DeriveCpuContext(s, env);
    VmProbeList probes;
    probes.reserve(128);
    InlineState st;
    AddInlineProbes(s, probes, w, env, cpu, st);

    static const VmProbeGroup kGroups[] = {ProbeInventorySignatures, ProbePnpHardware,       ProbeGuestArtifacts,
                                           ProbeProcessContext,      ProbeRegistryArtifacts, ProbeCpuInterface,
                                           ProbeDisplayContext,      ProbeConsistencyContext};
    for (VmProbeGroup group : kGroups) group(s, probes, w, env);
    GateCpuProbes(s, probes);

    if (cpu.cpuidUsable)
        for (const VmProbe& p : probes)
            if (p.id == "cpu.secondary_xen" && p.result == kDetected) {
                cpu.guestFamilies = "Xen";
                cpu.hvPresent = true;
            }

    FoldCorrelatedFindings(probes);
    const std::vector<CoverageEntry> coverage = {
        {"cpu", 22, cpu.cpuData && !CollectorFailed(s, "CPU")},
        {"smbios", 22,
         !GetSignalValue(s, sig::kSmbiosSystemManufacturer).empty() && !GetSignalValue(s, sig::kSmbiosSystemProduct).empty() &&
             !CollectorFailed(s, "SMBIOS")},
        {"acpi", 10, st.acpiComplete && !CollectorFailed(s, "ACPI")},
        {"pnp", 18, st.pnpData && !CollectorFailed(s, "PnP devices")},
        {"storage", 10, st.storageData && !CollectorFailed(s, "Storage")},
        {"network", 8, st.networkData},
        {"guest_registry", 10,
         FindTable(s, table::kPlatformHvguest) != nullptr && GetFact(s, fact::kHvParametersStatus) != "error" &&
             !st.vmgenidReadError && st.guestServicesComplete},
    };
    const VmScoreResult r = ScoreVmEvidence(probes, coverage, w);
    WriteVmOutputs(s, probes, r, cpu);
}

}  // namespace vorq
