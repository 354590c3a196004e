// Exact virtual-platform signatures in what the CPU, SMBIOS and ACPI
// collectors already read: brand string, BIOS, baseboard, OEM strings, AML
// device declarations and the emulated-devices table. Snapshot only.
#include <set>

#include "collectors/processor/acpi.h"
#include "collectors/processor/cpu.h"
#include "collectors/processor/smbios.h"
#include "core/text.h"
#include "vm/signatures.h"
#include "vm/vm.h"

namespace vorq {

namespace {

// As CollectorFailed, and a collector's short read counts too.
bool InventoryReadFailed(const Snapshot& s, std::string_view collector) {
    return CollectorFailed(s, collector) || SourceFailed(s, collector, Failure::ShortRead);
}

std::string GetSignalValueTrimmed(const Snapshot& s, std::string_view key) {
    for (const Signal& sig : s.signals)
        if (sig.key == key) return Trim(sig.value);
    return {};
}

VmProbe MakeSignatureProbe(const char* id, const char* category, const char* title, const char* method, int32_t group,
                           int32_t weight) {
    VmProbe p = MakeVmProbe(id, category, title, method, group, kModerate, weight);
    p.independent = true;
    return p;
}

void SetSignatureOutcome(VmProbe& p, std::string families, bool present, bool failed, bool forced) {
    p.families = std::move(families);
    if (forced || !p.families.empty()) {
        p.result = kDetected;
        p.evidence = "A specific virtual platform signature was found.";
        if (failed) p.caveat = "Some inventory data could not be read.";
    } else if (failed) {
        p.result = kProbeError;
        p.evidence = "Inventory data could not be read completely.";
    } else if (present) {
        p.result = kNotDetected;
        p.evidence = "No specific virtual platform signature was found.";
    } else {
        p.result = kInconclusive;
        p.evidence = "Inventory data is unavailable.";
    }
}

}  // namespace

void ProbeInventorySignatures(const Snapshot& s, VmProbeList& probes, const VmWeights& w, const VmSource&) {
    const bool cpuFailed = InventoryReadFailed(s, "CPU");
    const bool smbiosFailed = InventoryReadFailed(s, "SMBIOS");
    const bool acpiFailed = InventoryReadFailed(s, "ACPI");
    {
        VmProbe p = MakeSignatureProbe("cpu.brand", "cpu", "Virtual CPU brand string",
                                       "Match specific QEMU and KVM CPU brand strings from the existing CPUID inventory.",
                                       kGroupCpu, w[kWCpuBrand]);
        const std::string brand = GetSignalValueTrimmed(s, sig::kCpuBrand);
        SetSignatureOutcome(p, CpuBrandFamily(brand), !brand.empty(), cpuFailed, false);
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeSignatureProbe("firmware.bios", "firmware", "Virtual BIOS identity",
                                       "Match specific BIOS vendor and version combinations from SMBIOS type 0.",
                                       kGroupFirmware, w[kWFirmwareBios]);
        const std::string vendor = GetSignalValueTrimmed(s, sig::kSmbiosBiosVendor);
        const std::string version = GetSignalValueTrimmed(s, sig::kSmbiosBiosVersion);
        SetSignatureOutcome(p, BiosVendorFamily(vendor, version), !vendor.empty() && !version.empty(), smbiosFailed, false);
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeSignatureProbe("firmware.baseboard", "firmware", "Virtual baseboard identity",
                                       "Match specific baseboard manufacturer and product combinations from SMBIOS type 2.",
                                       kGroupFirmware, w[kWFirmwareBaseboard]);
        const std::string product = GetSignalValueTrimmed(s, sig::kSmbiosBoardProduct);
        SetSignatureOutcome(p, BoardProductFamily(product), !product.empty(), smbiosFailed, false);
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeSignatureProbe("firmware.oem_strings", "firmware", "Virtual firmware OEM strings",
                                       "Match anchored VirtualBox version and revision markers in SMBIOS type 11 OEM strings.",
                                       kGroupFirmware, w[kWFirmwareOemStrings]);
        std::set<std::string> families;
        for (const Signal& sig : s.signals)
            if (sig.key == sig::kSmbiosOemString) {
                std::string f = OemStringFamily(sig.value);
                if (!f.empty()) families.insert(std::move(f));
            }
        bool present = false;
        for (const Table& t : s.tables)
            if (t.id == table::kSmbios && !t.rows.empty()) present = true;
        SetSignatureOutcome(p, families.empty() ? std::string() : *families.begin(), present, smbiosFailed, false);
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeSignatureProbe(
            "firmware.acpi_devices", "firmware", "Virtual ACPI device declarations",
            "Inspect bounded, checksummed DSDT and first SSDT tables for exact virtual device declarations without executing AML.",
            kGroupFirmware, w[kWFirmwareAcpiDevices]);
        const bool qemu = GetFact(s, fact::kAcpiVmAmlQemu) == "1";
        const bool forced =
            qemu || GetFact(s, fact::kAcpiVmAmlVmclock) == "1" || GetFact(s, fact::kAcpiVmAmlVmgenid) == "1";
        const std::string status = GetFact(s, fact::kAcpiVmAmlStatus);
        const bool failed = status == "error" || status == "partial" || acpiFailed;
        SetSignatureOutcome(p, qemu ? "KVM/QEMU" : "", status == "complete", failed, forced);
        if (p.result == kDetected || p.result == kNotDetected)
            p.caveat = "Windows exposes only the first ACPI table for each signature; additional SSDT instances are not scanned.";
        if (status == "not_supported" && !forced && p.result != kProbeError) {
            p.result = kNotSupported;
            p.evidence = "No readable AML table is available.";
        }
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeSignatureProbe("firmware.waet", "firmware", "ACPI emulated-device optimization table",
                                       "Check for a valid Windows ACPI Emulated Devices Table used by virtual firmware.",
                                       kGroupFirmware, w[kWFirmwareWaet]);
        p.strength = kWeak;
        p.independent = false;
        const std::string status = GetFact(s, fact::kAcpiVmTablesStatus);
        const bool failed = status == "error" || status == "partial" || acpiFailed;
        SetSignatureOutcome(p, "", status == "complete", failed, GetFact(s, fact::kAcpiVmWaet) == "1");
        AppendProbe(probes, std::move(p));
    }
}

}  // namespace vorq
