#include "vm/probes_consistency.h"

#include <algorithm>

#include "collectors/devices/battery.h"
#include "collectors/devices/devices.h"
#include "collectors/devices/network.h"
#include "collectors/devices/peripherals.h"
#include "collectors/devices/storage.h"
#include "collectors/processor/acpi.h"
#include "collectors/processor/cpu.h"
#include "collectors/processor/smbios.h"
#include "collectors/processor/uefi.h"
#include "collectors/trust/platform.h"
#include "collectors/trust/tpm.h"
#include "core/text.h"
#include "vm/vm.h"

namespace vorq {

namespace {

constexpr char kReadFailed[] = "The required local inventory could not be read.";
constexpr char kMissing[] = "The required local inventory is unavailable or incomplete.";

VmProbe MakeConsistencyProbe(const char* id, const char* category, const char* title, const char* method, int32_t group) {
    VmProbe p = MakeVmProbe(id, category, title, method, group, kContext, 0);
    p.caveat = "This local consistency observation does not confirm a guest or physical machine and does not change the score.";
    return p;
}

void MarkConsistencyUnavailable(VmProbe& p, bool readFailed) {
    p.result = readFailed ? kProbeError : kInconclusive;
    p.evidence = readFailed ? kReadFailed : kMissing;
}

void Decide(VmProbe& p, int32_t result, const char* evidence) {
    p.result = result;
    p.evidence = evidence;
}

void ProbeFirmwareConsistency(const Snapshot& s, VmProbeList& probes) {
    {
        VmProbe p = MakeConsistencyProbe(
            "firmware.structure", "firmware", "SMBIOS structure and handle consistency",
            "Validate the existing SMBIOS buffer lengths, string indices, duplicate handles and known cross-record references.",
            kGroupFirmware);
        const std::string status = GetFact(s, fact::kVmSmbiosStructureStatus);
        const bool counted = GetFactUInt(s, fact::kVmSmbiosDuplicateHandles) != 0 ||
                             GetFactUInt(s, fact::kVmSmbiosBadReferences) != 0 ||
                             GetFactUInt(s, fact::kVmSmbiosBadStringIndices) != 0;
        if (status == "complete" || (status == "malformed" && counted)) {
            SetDetected(p, counted, "SMBIOS contains a duplicate handle, unresolved reference or invalid string index.",
                        "The inspected SMBIOS records have consistent lengths, handles and string indices.");
        } else if (status == "malformed") {
            // Read whole but structurally broken: that is the finding, not a failed read.
            Decide(p, kDetected, "SMBIOS structures overrun the table or its stated length.");
        } else if (status == "error") {
            MarkConsistencyUnavailable(p, true);
        } else {
            MarkConsistencyUnavailable(p, false);
        }
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeConsistencyProbe("firmware.cpu_consistency", "firmware", "Firmware and Windows processor counts",
                                         "Compare existing Windows logical-processor, SMBIOS thread and enabled ACPI MADT counts.",
                                         kGroupFirmware);
        const uint64_t k = GetFactUInt(s, fact::kCpuLogical);
        const uint64_t x = GetFactUInt(s, fact::kSmbiosCpuThreads);
        const uint64_t l = GetFactUInt(s, fact::kAcpiMadtCpus);
        if (k == 0 || (x == 0 && l == 0)) {
            MarkConsistencyUnavailable(p, false);
        } else {
            // A MADT listing more processors than Windows uses is no conflict.
            SetDetected(p, (x != 0 && x != k) || (l != 0 && l < k),
                        "The available processor counts differ across firmware and Windows.",
                        "The available processor counts do not show a conflict.");
        }
        p.caveat = "Disabled processors, hot-add, firmware errors and OS limits can explain count differences; they are not guest proof.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeConsistencyProbe(
            "firmware.tpm_consistency", "firmware", "TPM firmware and TBS consistency",
            "Compare existing ACPI TPM2 presence and SMBIOS TPM manufacturer with the successful local TBS inventory.",
            kGroupFirmware);
        const std::string device = GetFact(s, fact::kTpmDeviceStatus);
        const int32_t vendor = CompareTpmVendor(GetFact(s, fact::kTpmManufacturer), GetFact(s, fact::kSmbiosTpmVendor));
        const bool firmwareKnown = GetFact(s, fact::kAcpiVmTablesStatus) == "complete" && HasFact(s, fact::kAcpiTpm2);
        const bool tpm20 = device == "complete" && GetFact(s, fact::kTpmVersion) == "2.0";
        const bool absent = device == "absent";
        const bool acpiTpm2 = GetFact(s, fact::kAcpiTpm2) == "1";
        if (device == "error" || GetFact(s, fact::kTpmStatus) == "error") {
            MarkConsistencyUnavailable(p, true);
        } else if (vendor == kDiffer || (firmwareKnown && (tpm20 || absent) && tpm20 != acpiTpm2)) {
            Decide(p, kDetected, "The available TPM firmware and TBS observations differ.");
        } else if (vendor == kAgree || (firmwareKnown && (tpm20 || absent))) {
            Decide(p, kNotDetected, "The available TPM firmware and TBS observations do not show a conflict.");
        } else {
            MarkConsistencyUnavailable(p, false);
        }
        p.caveat = "TPM passthrough, firmware omissions and access restrictions can explain differences; TIS or CRB alone does not identify a VM.";
        AppendProbe(probes, std::move(p));
    }
}

void ProbeInventoryContext(const Snapshot& s, VmProbeList& probes) {
    {
        VmProbe p = MakeConsistencyProbe("firmware.uefi_context", "firmware", "UEFI and boot-policy inventory context",
                                         "Reuse existing firmware-type, Secure Boot variable and EFI resource-table observations "
                                         "without reading or changing additional firmware variables.",
                                         kGroupFirmware);
        const Table* posture = FindTable(s, table::kPlatformPosture);
        bool legacy = false;
        if (posture)
            for (const TableRow& row : posture->rows)
                if (CellOrEmpty(row, col::platform_posture::kFeature) == "Firmware type" &&
                    ContainsNoCase(CellOrEmpty(row, col::platform_posture::kState), "legacy BIOS"))
                    legacy = true;
        if (GetFact(s, fact::kUefiVarsOk) == "1") {
            Decide(p, kDetected, "UEFI boot-policy variables were readable in the existing inventory.");
        } else if (GetFact(s, fact::kUefiVarsDenied) == "1") {
            Decide(p, kInconclusive, "UEFI boot-policy variables were not readable with the current rights.");
        } else if (GetFact(s, fact::kPlatUefi) == "1") {
            Decide(p, kDetected, "Windows reports UEFI firmware; additional boot-policy variables were not available.");
        } else if (legacy) {
            Decide(p, kNotDetected, "The existing platform inventory reports legacy BIOS boot.");
        } else {
            MarkConsistencyUnavailable(p, false);
        }
        p.caveat = "UEFI, Secure Boot, EFI resources and access restrictions occur on physical and virtual systems; no EFI vendor "
                   "marker or physical identity is inferred.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeConsistencyProbe(
            "hardware.subsystem_context", "hardware", "Peripheral and power-management inventory context",
            "Reuse existing battery, ACPI power-profile, audio and USB inventory without probing additional devices.",
            kGroupHardware);
        const Table* classes = FindTable(s, table::kDevicesClasses);
        const std::string profile = GetFact(s, fact::kAcpiPmProfile);
        const bool profileKnown = !profile.empty() && profile != "?";
        bool usbClass = false;
        if (classes)
            for (const TableRow& row : classes->rows) {
                const std::string cls = CellOrEmpty(row, col::devices_classes::kClass);
                if (EqualsNoCase(cls, "USB") || EqualsNoCase(cls, "USBDevice")) usbClass = true;
            }
        const bool features = GetFactUInt(s, fact::kBatteryCount) != 0 || GetFactUInt(s, fact::kAudioActive) != 0 ||
                              GetFactUInt(s, fact::kDevicesUsbSerials) != 0 || usbClass || profileKnown;
        if (!HasFact(s, fact::kBatteryCount) && !HasFact(s, fact::kAudioActive) && !classes && !profileKnown) {
            MarkConsistencyUnavailable(p, false);
        } else {
            SetDetected(p, features, "The existing inventory reports peripheral or power-management features.",
                        "The selected peripheral and power-management features were not reported.");
        }
        p.caveat = "Peripheral passthrough and emulation are possible; desktops, servers, headless systems and restricted sessions "
                   "may lack these features, so presence or absence has zero weight.";
        AppendProbe(probes, std::move(p));
    }
}

// Calls `visit(suffix, identify)` for every fact whose key begins with `prefix`.
template <typename Visit>
void ForEachDriveFact(const Snapshot& s, const char* prefix, Visit visit) {
    const std::string p = prefix;
    for (auto it = s.facts.lower_bound(p); it != s.facts.end() && it->first.compare(0, p.size(), p) == 0; ++it)
        visit(it->first.substr(p.size()), it->second);
}

void ProbeStorageConsistency(const Snapshot& s, VmProbeList& probes, const VmSource& env) {
    {
        VmProbe p = MakeConsistencyProbe("storage.native_vhd", "storage", "Native VHD boot context",
                                         "Query IsNativeVhdBoot without changing the boot configuration.", kGroupHardware);
        const NativeVhdRead r = env.queryNativeVhdBoot ? env.queryNativeVhdBoot() : NativeVhdRead{};
        if (!r.supported) {
            Decide(p, kNotSupported, "The native VHD boot query is not supported.");
        } else if (!r.ok) {
            MarkConsistencyUnavailable(p, true);
        } else {
            SetDetected(p, r.native, "Windows reports native VHD boot.", "Windows does not report native VHD boot.");
        }
        p.caveat = "Native VHD boot is supported on physical computers and is not a guest indicator.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeConsistencyProbe(
            "storage.identity_consistency", "storage", "Storage identity read-path consistency",
            "Compare already collected storage descriptor serials with NVMe or ATA Identify, including the NVMe namespace-ID "
            "convention.",
            kGroupHardware);
        int counted = 0, differ = 0;
        auto tally = [&](int32_t outcome) {
            if (outcome == kNotComparable) return;
            ++counted;
            if (outcome == kDiffer) ++differ;
        };
        ForEachDriveFact(s, fact::kNvmeSnPrefix, [&](const std::string& suffix, const std::string& identify) {
            tally(CompareStorageSerials(GetFact(s, fact::kNvmeDescPrefix + suffix), identify, GetFact(s, fact::kNvmeNguidPrefix + suffix),
                                        GetFact(s, fact::kNvmeEui64Prefix + suffix), false));
        });
        ForEachDriveFact(s, fact::kAtaSnPrefix, [&](const std::string& suffix, const std::string& identify) {
            tally(CompareStorageSerials(GetFact(s, fact::kAtaDescPrefix + suffix), identify, "", "", true));
        });
        if (counted == 0) {
            MarkConsistencyUnavailable(p, false);
        } else {
            SetDetected(p, differ != 0, "Some storage identities differ between collected read paths.",
                        "The comparable storage identities agree across collected read paths.");
        }
        p.caveat = "RAID, bridges, controller formatting and namespace identifiers can alter storage identity presentation; "
                   "differences do not confirm a VM.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeConsistencyProbe(
            "storage.capability_context", "storage", "Storage bus and seek-penalty context",
            "Compare the existing storage bus and seek-penalty media hints without issuing additional disk commands.",
            kGroupHardware);
        const Table* disks = FindTable(s, table::kStorageDisks);
        bool hints = false, conflict = false;
        if (disks)
            for (const TableRow& row : disks->rows) {
                const std::string bus = CellOrEmpty(row, col::storage_disks::kBus);
                const std::string media = CellOrEmpty(row, col::storage_disks::kMedia);
                if (!bus.empty() && (media == "SSD" || media == "HDD")) hints = true;
                if (EqualsNoCase(bus, "NVMe") && media == "HDD") conflict = true;
            }
        if (hints) {
            SetDetected(p, conflict, "An NVMe device reports seek-penalty behavior.",
                        "The available bus and seek-penalty hints do not show this conflict.");
        } else {
            MarkConsistencyUnavailable(p, false);
        }
        p.caveat = "Only existing bus and media hints are compared; sector alignment, TRIM, SMART and I/O timing are not tested here.";
        AppendProbe(probes, std::move(p));
    }
}

void ProbeTpmConsistency(const Snapshot& s, VmProbeList& probes) {
    const std::string device = GetFact(s, fact::kTpmDeviceStatus);
    const std::string capability = GetFact(s, fact::kTpmCapabilityStatus);
    {
        VmProbe p = MakeConsistencyProbe(
            "os.tpm_inventory", "os", "Local TPM capability inventory",
            "Reuse Tbsi_GetDeviceInfo and already collected TPM2_GetCapability properties without provisioning a TPM or key.",
            kGroupFirmware);
        if (device == "error" || capability == "error" || GetFact(s, fact::kTpmStatus) == "error") {
            MarkConsistencyUnavailable(p, true);
        } else if (device == "absent") {
            Decide(p, kNotDetected, "No TPM was reported by the local TBS inventory.");
        } else if (device == "complete" && capability == "complete") {
            Decide(p, kDetected, "TPM version and capability inventory are available.");
        } else {
            MarkConsistencyUnavailable(p, false);
        }
        p.caveat = "TPM presence and ordinary capability strings are inventory, not remote attestation; the Win32 TBS "
                   "interface-type field is reserved.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeConsistencyProbe(
            "os.tpm_emulator_context", "os", "TPM software implementation context",
            "Inspect the existing TPM vendor string for explicit software markers without treating generic manufacturer names as proof.",
            kGroupFirmware);
        const std::string manufacturer = TrimUpper(GetFact(s, fact::kTpmManufacturer));
        if (capability != "complete") {
            MarkConsistencyUnavailable(p, capability == "error");
        } else if (IsTpmEmulatorName(GetFact(s, fact::kTpmVendorString))) {
            Decide(p, kDetected, "The TPM vendor string explicitly reports a software implementation marker.");
        } else if (manufacturer == "IBM" || manufacturer == "MSFT") {
            Decide(p, kInconclusive, "The reported IBM or Microsoft identity does not establish the TPM implementation type.");
        } else {
            Decide(p, kNotDetected, "No selected explicit software TPM marker was found.");
        }
        p.caveat = "Manufacturer names, firmware TPMs, vTPMs and physical TPM passthrough cannot independently establish where "
                   "Windows runs.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeConsistencyProbe(
            "os.ek_material", "os", "Local EK public material availability",
            "Reuse the existing EK public-area and certificate inventory without creating endorsement or attestation keys.",
            kGroupFirmware);
        if (!HasFact(s, fact::kTpmEk) || !HasFact(s, fact::kTpmEkCerts)) {
            MarkConsistencyUnavailable(p, capability == "error");
        } else {
            SetDetected(p, GetFact(s, fact::kTpmEk) == "1" || GetFactUInt(s, fact::kTpmEkCerts) != 0,
                        "One or more EK public materials were read locally.",
                        "No selected EK public material was available locally; absence does not mean invalidity.");
        }
        p.caveat = "No independent OEM-root chain, revocation policy, credential activation or private-key possession proof is "
                   "performed by this observation.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeConsistencyProbe("os.ek_binding", "os", "Local EK certificate and public-key consistency",
                                         "Reuse the existing comparison of certificate public keys with persisted EK public areas.",
                                         kGroupFirmware);
        if (GetFactUInt(s, fact::kTpmEkUnbound) != 0) {
            Decide(p, kDetected, "An EK certificate public key differs from the locally read EK public area.");
        } else if (GetFactUInt(s, fact::kTpmEkParseErrors) != 0) {
            MarkConsistencyUnavailable(p, true);
        } else if (GetFactUInt(s, fact::kTpmEkBound) != 0) {
            Decide(p, kNotDetected, "The compared certificate public key matches the locally read EK public area.");
        } else {
            MarkConsistencyUnavailable(p, false);
        }
        p.caveat = "A local public-key match does not prove private-key possession, a trusted issuer, firmware patch status or a "
                   "physical PC.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeConsistencyProbe("os.measured_boot", "os", "Local measured-boot replay consistency",
                                         "Reuse the existing SRTM_CURRENT TCG-log parser and SHA-256 PCR replay comparison.",
                                         kGroupFirmware);
        const std::string log = GetFact(s, fact::kTpmLog);
        if (GetFact(s, fact::kTpmLogParse) == "malformed") {
            MarkConsistencyUnavailable(p, true);
        } else if (log == "mismatch") {
            Decide(p, kDetected, "The local measured-boot replay differs from the compared PCR values.");
        } else if (log == "match") {
            Decide(p, kNotDetected, "The local measured-boot replay matches the compared PCR values.");
        } else {
            MarkConsistencyUnavailable(p, false);
        }
        p.caveat = "This is local replay without a signed fresh Quote, independent AK trust or DRTM validation; a matching log is "
                   "compatible with a VM.";
        AppendProbe(probes, std::move(p));
    }
}

void ProbeNetworkSessionContext(const Snapshot& s, VmProbeList& probes, const VmSource& env) {
    {
        VmProbe p = MakeConsistencyProbe(
            "network.adapter_context", "network", "Active network configuration context",
            "Reuse existing interface flags and address-shape summaries without exposing MACs or querying an external endpoint.",
            kGroupMacPrefix);
        const std::string status = GetFact(s, fact::kVmNetStatus);
        if (status != "complete") {
            MarkConsistencyUnavailable(p, status == "error");
        } else {
            SetDetected(p,
                        GetFactUInt(s, fact::kVmNetLocalActive) != 0 || GetFactUInt(s, fact::kVmNetSoftwareActive) != 0 ||
                            GetFactUInt(s, fact::kVmNetDuplicateActive) != 0,
                        "Active interfaces include configurable addresses, duplicate addresses or software interfaces.",
                        "The active-interface summary does not report these configuration features.");
        }
        p.caveat = "Locally administered MACs, teaming, VPNs and software adapters occur on physical computers and do not confirm a "
                   "guest.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeConsistencyProbe(
            "network.route_context", "network", "Local route and neighbor context",
            "Read bounded IP Helper route and neighbor tables without contacting a gateway, DNS server or remote endpoint.",
            kGroupMacPrefix);
        const RouteTablesRead r = env.readRouteTables ? env.readRouteTables() : RouteTablesRead{};
        const uint64_t start = env.system.tickMs ? env.system.tickMs() : 0;
        bool incomplete = false;
        uint64_t defaults = 0, neighbors = 0;
        if (r.routesOk) {
            for (size_t i = 0; i < r.routeCount; ++i) {
                if (i >= kRouteWalkMaxRows || i >= r.routes.size() || (env.system.tickMs && env.system.tickMs() - start > kRouteWalkMaxMs)) {
                    incomplete = true;
                    break;
                }
                const RouteRow& row = r.routes[i];
                if (!row.loopback && row.prefixLength == 0 && row.validLifetime != 0) ++defaults;
            }
        } else {
            incomplete = true;
        }
        if (r.neighborsOk) {
            neighbors = std::min(r.neighborCount, kNeighborMaxCount);
            if (r.neighborCount > kNeighborMaxCount) incomplete = true;
        } else {
            incomplete = true;
        }
        if (!r.routesOk && !r.neighborsOk) {
            MarkConsistencyUnavailable(p, true);
        } else if (defaults != 0 || neighbors != 0) {
            Decide(p, kDetected, "Local default-route or neighbor information is available.");
        } else if (incomplete) {
            MarkConsistencyUnavailable(p, false);
        } else {
            Decide(p, kNotDetected, "No selected local default route or neighbor entry was reported.");
        }
        p.caveat = incomplete ? "Some local route or neighbor data was unavailable or exceeded the bounded scan."
                              : "Private addressing, NAT and gateway reachability are not VM proof; no cloud ASN, metadata, "
                                "Wi-Fi scan or network timing probe runs.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeConsistencyProbe("os.wts_protocol", "os", "Current Windows session protocol",
                                         "Query WTSClientProtocolType for the current local Windows session only.", kGroupOs);
        const WtsProtocolRead r = env.queryWtsProtocol ? env.queryWtsProtocol() : WtsProtocolRead{};
        if (!r.ok) {
            MarkConsistencyUnavailable(p, true);
        } else if (r.protocol == 2) {
            Decide(p, kDetected, "The current Windows session uses RDP.");
        } else if (r.protocol == 0) {
            Decide(p, kNotDetected, "The current Windows session reports the console protocol.");
        } else {
            Decide(p, kInconclusive, "The current session reports a legacy or unknown protocol.");
        }
        AppendProbe(probes, std::move(p));
    }
}

}  // namespace

uint64_t GetFactUInt(const Snapshot& s, const std::string& key) {
    const std::string text = GetFact(s, key);
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    if (i < text.size() && text[i] == '+') ++i;
    if (i == text.size()) return 0;
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return 0;
        const uint64_t d = static_cast<uint64_t>(c - '0');
        if (v > (UINT64_MAX - d) / 10) return 0;
        v = v * 10 + d;
    }
    return v;
}

std::string TrimUpper(std::string_view text) { return ToUpper(Trim(text)); }

std::string NormalizeSerial(std::string_view text) {
    std::string out;
    for (char c : TrimUpper(text))
        if (c != '\t' && c != '\n' && c != '\r' && c != ' ' && c != '-' && c != '.' && c != ':' && c != '_') out.push_back(c);
    return out;
}

int32_t CompareStorageSerials(std::string_view descriptor, std::string_view identify, std::string_view nguid,
                              std::string_view eui64, bool swappedAta) {
    const std::string a = NormalizeSerial(descriptor);
    const std::string b = NormalizeSerial(identify);
    if (a.empty() || b.empty()) return kNotComparable;
    if (a == b) return kAgree;
    const std::string g = NormalizeSerial(nguid);
    const std::string e = NormalizeSerial(eui64);
    if ((!g.empty() && a == g) || (!e.empty() && a == e)) return kAgree;
    if (swappedAta) {
        const std::string decoded = NormalizeSerial(DecodeSwappedHexSerial(descriptor));
        if (!decoded.empty() && decoded == b) return kAgree;
    }
    return kDiffer;
}

int32_t CompareTpmVendor(std::string_view a, std::string_view b) {
    const std::string x = TrimUpper(a);
    const std::string y = TrimUpper(b);
    if (x.empty() || y.empty()) return kNotComparable;
    return x == y || x == std::string(y.rbegin(), y.rend()) ? kAgree : kDiffer;
}

bool IsTpmEmulatorName(std::string_view text) {
    const std::string t = TrimUpper(text);
    return t == "SWTPM" || t == "LIBTPMS" || t == "SOFTWARE TPM" || t == "MS TPM SIMULATOR";
}

void ProbeConsistencyContext(const Snapshot& s, VmProbeList& probes, const VmWeights&, const VmSource& env) {
    ProbeFirmwareConsistency(s, probes);
    ProbeInventoryContext(s, probes);
    ProbeStorageConsistency(s, probes, env);
    ProbeTpmConsistency(s, probes);
    ProbeNetworkSessionContext(s, probes, env);
}

}  // namespace vorq
