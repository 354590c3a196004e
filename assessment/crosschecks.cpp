#include "assessment/crosschecks.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "collectors/devices/display.h"
#include "collectors/devices/network.h"
#include "collectors/devices/storage.h"
#include "collectors/processor/acpi.h"
#include "collectors/processor/cpu.h"
#include "collectors/processor/fpu.h"
#include "collectors/processor/fpu_list.h"
#include "collectors/processor/hypervisor.h"
#include "collectors/processor/smbios.h"
#include "collectors/processor/uefi.h"
#include "collectors/trust/microsoft.h"
#include "collectors/trust/platform.h"
#include "collectors/trust/tpm.h"
#include "collectors/trust/windows_os.h"
#include "core/text.h"
#include "vm/vm.h"

namespace vorq {

namespace {

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Digits of `text` in the given base; nullopt when empty, not all digits, or beyond 64 bits.
std::optional<uint64_t> ParseU64(std::string_view text, unsigned base) {
    if (text.empty()) return std::nullopt;
    uint64_t v = 0;
    for (char c : text) {
        int d = HexDigitValue(c);
        if (d < 0 || static_cast<unsigned>(d) >= base) return std::nullopt;
        if (v > (UINT64_MAX - static_cast<uint64_t>(d)) / base) return std::nullopt;
        v = v * base + static_cast<uint64_t>(d);
    }
    return v;
}

std::vector<std::string> SplitComma(std::string_view list) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        out.emplace_back(list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) return out;
        start = comma + 1;
    }
}

bool Flag(const Snapshot& s, const char* key) { return GetFact(s, key) == "1"; }

const char kConsistency[] = "Consistency";
const char kContextCategory[] = "Context";
const char kNoCpuid[] = "CPUID comparisons are unavailable under instruction-set emulation or unknown native architecture.";

bool TpmUsable(const Snapshot& s) {
    return GetFact(s, fact::kTpmStatus) == "available" && Flag(s, fact::kTpmPresent) && GetFact(s, fact::kTpmVersion) == "2.0";
}

// Walks facts "<prefix><suffix>" in key order, calling f(suffix, value).
template <typename F>
void ForEachDrive(const Snapshot& s, const std::string& prefix, F f) {
    for (auto it = s.facts.lower_bound(prefix); it != s.facts.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
        f(it->first.substr(prefix.size()), it->second);
}

void CheckMacList(Snapshot& s, const char* id, const char* title, const std::string& mac, const char* permanentText,
                  const char* currentText, const char* neitherText) {
    const std::string m = NormalizeId(mac);
    const std::string perm = GetFact(s, fact::kNetPermMacs);
    if (m.empty() || perm.empty()) return;
    if (ListContainsId(perm, m)) {
        AddCheck(s, id, kConsistency, title, kPass, permanentText);
    } else if (ListContainsId(GetFact(s, fact::kNetCurMacs), m)) {
        AddCheck(s, id, kConsistency, title, kInfo, currentText);
    } else {
        AddCheck(s, id, kConsistency, title, kWarn, neitherText);
    }
}

}  // namespace

void AddCheck(Snapshot& s, std::string id, std::string category, std::string title, int32_t status, Sentence detail) {
    Check c;
    c.id = std::move(id);
    c.category = std::move(category);
    c.title = std::move(title);
    Say(c.detail, c.detailSaid, std::move(detail));
    c.status = status;
    s.checks.push_back(std::move(c));
}

std::string NormalizeId(std::string_view text) {
    std::string out;
    for (char c : text)
        if (IsAsciiAlnum(c)) out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    return out;
}

bool ListContainsId(std::string_view list, std::string_view id) {
    for (const std::string& piece : SplitComma(list))
        if (NormalizeId(piece) == id) return true;
    return false;
}

std::vector<std::string> ModelNumberTokens(std::string_view text) {
    std::vector<std::string> tokens;
    std::string run;
    auto flush = [&] {
        if (run.size() > 2 && std::any_of(run.begin(), run.end(), [](char c) { return c >= '0' && c <= '9'; }))
            tokens.push_back(ToLower(run));
        run.clear();
    };
    for (char c : text) {
        if (IsAsciiAlnum(c) || c == '-') {
            run.push_back(c);
        } else {
            flush();
        }
    }
    flush();
    return tokens;
}

int32_t GetFactInt(const Snapshot& s, const std::string& key) {
    const std::string t = GetFact(s, key, "0");
    size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r' || t[i] == '\f' || t[i] == '\v')) ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    int64_t v = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
        v = v * 10 + (t[i] - '0');
        if (v > static_cast<int64_t>(INT32_MAX) + 1) v = static_cast<int64_t>(INT32_MAX) + 1;  // saturate, never overflow
    }
    if (negative) v = -v;
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

void CollectCrossChecksFrom(Snapshot& s, const CrossChecksSource& in) {
    const bool cpuidSafe = IsCpuidSafe(s);

    {  // x.uuid
        const std::string fw = GetFact(s, fact::kSmbiosUuid);
        const char* title = "System UUID: firmware table vs WMI";
        if (!fw.empty() && !in.wmiUuid.empty()) {
            if (NormalizeId(fw) == NormalizeId(in.wmiUuid))
                AddCheck(s, "x.uuid", kConsistency, title, kPass, "both paths return the same UUID");
            else
                AddCheck(s, "x.uuid", kConsistency, title, kFail,
                         "the raw SMBIOS table and WMI disagree - one read path is being altered");
        } else {
            AddCheck(s, "x.uuid", kConsistency, title, kInfo, "one of the sources is unavailable");
        }
    }
    {  // x.board: an empty WMI side (no value, or a failed query) is no evidence of tampering; a serial
       // that only WMI reports is, since the firmware table is where WMI takes it from.
        const std::string fw = GetFact(s, fact::kSmbiosBoardSerial);
        const char* title = "Baseboard serial: firmware table vs WMI";
        if (fw.empty() && in.wmiBoardSerial.empty()) {
            AddCheck(s, "x.board", kConsistency, title, kInfo, "not provided by the firmware");
        } else if (in.wmiBoardSerial.empty()) {
            AddCheck(s, "x.board", kConsistency, title, kInfo, "one of the sources is unavailable");
        } else if (NormalizeId(fw) == NormalizeId(in.wmiBoardSerial)) {
            AddCheck(s, "x.board", kConsistency, title, kPass, "both paths agree");
        } else {
            AddCheck(s, "x.board", kConsistency, title, kFail, "the raw SMBIOS table and WMI disagree");
        }
    }
    {  // x.nvme
        int drives = 0, disagree = 0, namespaceSerial = 0;
        ForEachDrive(s, fact::kNvmeSnPrefix, [&](const std::string& suffix, const std::string& identify) {
            const std::string desc = NormalizeId(GetFact(s, fact::kNvmeDescPrefix + suffix));
            const std::string id = NormalizeId(identify);
            if (desc.empty() || id.empty()) return;
            ++drives;
            if (desc == id) return;
            const std::string nguid = NormalizeId(GetFact(s, fact::kNvmeNguidPrefix + suffix));
            const std::string eui = NormalizeId(GetFact(s, fact::kNvmeEui64Prefix + suffix));
            if ((!nguid.empty() && desc == nguid) || (!eui.empty() && desc == eui)) {
                ++namespaceSerial;
                return;
            }
            ++disagree;
        });
        const char* title = "NVMe serial: storage descriptor vs NVMe Identify";
        if (drives == 0) {
            AddCheck(s, "x.nvme", kConsistency, title, kInfo, "no NVMe Identify data (needs administrator rights) or no NVMe drives");
        } else if (disagree == 0) {
            AddCheck(s, "x.nvme", kConsistency, title, kPass,
                     namespaceSerial > 0
                         ? Format("%d drive(s) agree; %d report the namespace NGUID/EUI-64 as the device serial (StorNVMe convention)",
                                  drives, namespaceSerial)
                         : Format("%d drive(s): both paths agree", drives));
        } else {
            AddCheck(s, "x.nvme", kConsistency, title, kWarn,
                     Format("%d of %d drive(s) report different values on the two paths (filter driver or controller formatting)",
                            disagree, drives));
        }
    }
    {  // x.cpu
        const char* title = "CPU model: CPUID vs SMBIOS";
        if (!cpuidSafe) {
            AddCheck(s, "x.cpu", kConsistency, title, kInfo, kNoCpuid);
        } else {
            const std::vector<std::string> tokens = ModelNumberTokens(GetFact(s, fact::kCpuBrand));
            const std::string rawVersion = GetFact(s, fact::kSmbiosCpuVersion);
            const std::string version = ToLower(rawVersion);
            if (version.empty() || tokens.empty()) {
                AddCheck(s, "x.cpu", kConsistency, title, kInfo, "SMBIOS processor version not provided");
            } else if (std::all_of(tokens.begin(), tokens.end(),
                                   [&](const std::string& t) { return version.find(t) != std::string::npos; })) {
                AddCheck(s, "x.cpu", kConsistency, title, kPass, "model number appears in both");
            } else {
                AddCheck(s, "x.cpu", kConsistency, title, kWarn,
                         {"SMBIOS processor string does not mention the CPUID model (\"{x1}\")", {{rawVersion, Role::Maker}}});
            }
        }
    }
    {  // x.cpuvendor
        const char* title = "CPU vendor: CPUID vs SMBIOS";
        const std::string vendor = GetFact(s, fact::kCpuVendor);
        const std::string maker = GetFact(s, fact::kSmbiosCpuManufacturer);
        if (!cpuidSafe) {
            AddCheck(s, "x.cpuvendor", kConsistency, title, kInfo, kNoCpuid);
        } else if (!maker.empty()) {
            const bool amd = vendor == "AuthenticAMD", intel = vendor == "GenuineIntel";
            const bool consistent = (amd && (ContainsNoCase(maker, "AMD") || ContainsNoCase(maker, "Advanced Micro"))) ||
                                    (intel && ContainsNoCase(maker, "Intel"));
            if (consistent)
                AddCheck(s, "x.cpuvendor", kConsistency, title, kPass, "consistent");
            else
                AddCheck(s, "x.cpuvendor", kConsistency, title, amd || intel ? kWarn : kInfo,
                         {"{x1} vs \"{x2}\"", {{vendor, Role::Maker}, {maker, Role::Maker}}});
        }
    }
    const int32_t osCount = cpuidSafe ? GetFactInt(s, fact::kCpuLogical) : 0;
    if (osCount > 0) {
        const int32_t smbios = GetFactInt(s, fact::kSmbiosCpuThreads);
        if (smbios > 0)
            AddCheck(s, "x.threads", kConsistency, "Logical processors: OS vs SMBIOS", smbios == osCount ? kPass : kWarn,
                     Format("OS %d, SMBIOS %d", osCount, smbios));
        const int32_t madt = GetFactInt(s, fact::kAcpiMadtCpus);
        if (madt > 0)
            AddCheck(s, "x.madt", kConsistency, "Logical processors: OS vs ACPI MADT", madt < osCount ? kWarn : kPass,
                     Format("OS %d, MADT enabled entries %d", osCount, madt));
    }
    {  // x.mem
        const double osMb = static_cast<double>(in.totalPhysicalBytes) * (1.0 / 1048576.0);
        SetFact(s, fact::kOsMemMb, Format("%.0f", osMb));
        const int32_t modules = GetFactInt(s, fact::kSmbiosMemMb);
        if (modules > 0) {
            const double m = modules;
            const bool ok = osMb >= m * 0.75 && osMb <= m * 1.001;
            AddCheck(s, "x.mem", kConsistency, "Memory: SMBIOS modules vs OS-visible", ok ? kPass : kWarn,
                     Format("modules %.0f MB, OS sees %.0f MB", m, osMb));
        }
    }
    {  // x.tpmvendor
        const std::string a = ToUpper(Trim(GetFact(s, fact::kTpmManufacturer)));
        const std::string b = ToUpper(Trim(GetFact(s, fact::kSmbiosTpmVendor)));
        if (TpmUsable(s) && !a.empty() && !b.empty()) {
            std::string reversed = Trim(b);
            std::reverse(reversed.begin(), reversed.end());
            const bool consistent = a == b || a == reversed || ContainsNoCase(b, a) || ContainsNoCase(a, b);
            AddCheck(s, "x.tpmvendor", kConsistency, "TPM vendor: TPM2_GetCapability vs SMBIOS type 43",
                     consistent ? kPass : kWarn,
                     consistent ? Sentence("consistent")
                                : Sentence("{x1} vs {x2}", {{a, Role::Maker}, {b, Role::Maker}}));
        }
    }
    {  // x.tpmacpi
        const char* title = "TPM: TBS device vs ACPI TPM2 table";
        if (GetFact(s, fact::kTpmVersion) == "1.2") {
            AddCheck(s, "x.tpmacpi", kConsistency, title, kInfo,
                     "TPM 1.2 uses a different ACPI interface; the TPM2 table comparison is not applicable.");
        } else if (TpmUsable(s)) {
            if (Flag(s, fact::kAcpiTpm2))
                AddCheck(s, "x.tpmacpi", kConsistency, title, kPass, "both report the TPM");
            else
                AddCheck(s, "x.tpmacpi", kConsistency, title, kWarn, "TPM answers but no ACPI TPM2 table");
        } else {
            AddCheck(s, "x.tpmacpi", kConsistency, title, kInfo,
                     "TPM access is unavailable; the ACPI table alone does not establish device presence or absence.");
        }
    }
    {  // x.ekcert
        const char* title = "EK certificate: issued for this TPM's endorsement key";
        const int32_t certs = GetFactInt(s, fact::kTpmEkCerts), bound = GetFactInt(s, fact::kTpmEkBound),
                      unbound = GetFactInt(s, fact::kTpmEkUnbound);
        if (unbound != 0)
            AddCheck(s, "x.ekcert", kConsistency, title, kFail,
                     Format("%d certificate(s) carry a public key that is not this TPM's EK", unbound));
        else if (bound != 0)
            AddCheck(s, "x.ekcert", kConsistency, title, kPass,
                     Format("%d certificate(s) bind the EK read through TPM2_ReadPublic", bound));
        else
            AddCheck(s, "x.ekcert", kConsistency, title, kInfo,
                     certs != 0 ? "certificates found, but no persisted EK of the same type to compare against"
                                : "no EK certificate in TPM NV or in the Windows cache");
    }
    {  // x.gpu
        const char* title = "GPU: PCI-backed DXGI adapters vs PnP hardware IDs";
        const int32_t hw = GetFactInt(s, fact::kDxgiPciHw);
        if (HasFact(s, fact::kDxgiPciHw) && HasFact(s, fact::kDxgiPciMatched) && hw > 0) {
            const int32_t matched = GetFactInt(s, fact::kDxgiPciMatched);
            AddCheck(s, "x.gpu", kConsistency, title, matched == hw ? kPass : kWarn,
                     Format("%d of %d DXGI adapters match a PnP device", matched, hw));
        } else {
            AddCheck(s, "x.gpu", kConsistency, title, kInfo, "No comparable PCI-backed DXGI adapter inventory is available.");
        }
    }
    {  // x.pcr
        const char* title = "Measured boot log vs TPM PCRs";
        const std::string log = GetFact(s, fact::kTpmLog);
        if (log == "match")
            AddCheck(s, "x.pcr", kConsistency, title, kPass,
                     "replaying the TCG log reproduces PCR 0-7 (" + GetFact(s, fact::kTpmLogMatch) + " PCRs with events match)");
        else if (log == "mismatch")
            AddCheck(s, "x.pcr", kConsistency, title, kWarn,
                     "replay differs (" + GetFact(s, fact::kTpmLogMatch) + ") - can be legitimate after resume from hibernation");
        else
            AddCheck(s, "x.pcr", kConsistency, title, kInfo, "log not available for replay");
    }
    if (GetFactInt(s, fact::kNetHw) > 0) {  // x.mac
        const int32_t n = GetFactInt(s, fact::kNetOverridden);
        if (n != 0)
            AddCheck(s, "x.mac", kConsistency, "MAC: current vs permanent address", kInfo,
                     Format("%d adapter(s) use a randomized or overridden address; the permanent address is still visible", n));
        else
            AddCheck(s, "x.mac", kConsistency, "MAC: current vs permanent address", kPass,
                     "all adapters use their permanent address");
    }
    {  // x.placeholder
        const auto count = std::count_if(s.signals.begin(), s.signals.end(),
                                         [](const Signal& g) { return g.group == "mainboard" && g.q == 0.0; });
        if (count > 0)
            AddCheck(s, "x.placeholder", kConsistency, "Firmware identity fields", kWarn,
                     Format("%d SMBIOS identity field(s) hold OEM placeholder values and are ignored", static_cast<int>(count)));
        else
            AddCheck(s, "x.placeholder", kConsistency, "Firmware identity fields", kPass,
                     "no placeholder values in SMBIOS identity fields");
    }
    {  // x.fpu
        const char* title = "Floating-point semantics";
        if (!cpuidSafe || GetFact(s, fact::kFpuStatus) != "complete") {
            AddCheck(s, "x.fpu", kConsistency, title, kInfo, "Native floating-point comparisons are unavailable for this scan.");
        } else if (!GetFact(s, fact::kFpuDefaultNan).empty()) {
            const bool expected = GetFact(s, fact::kFpuDefaultNan) == "FFF8000000000000" &&
                                  GetFact(s, fact::kFpuIntIndefinite) == "8000000000000000";
            AddCheck(s, "x.fpu", kConsistency, title, expected ? kPass : kWarn,
                     expected ? "Default NaN and integer-indefinite results match the expected x86-64 semantics."
                              : "The observed floating-point special values differ from the expected x86-64 semantics.");
        }
    }
    AddCheck(s, "x.vm", kContextCategory, "Virtualization context", Flag(s, fact::kVmGuest) ? kWarn : kInfo,
             GetFact(s, fact::kVmClassification, "Virtualization classification unavailable"));
    {  // x.systemid
        const std::string source = GetFact(s, fact::kWinSystemIdSource);
        if (!source.empty())
            AddCheck(s, "x.systemid", kContextCategory, "Windows SystemId source",
                     source == "TPM" || source == "UEFI" ? kPass : kInfo, "SystemIdentification source: " + source);
    }
    {  // x.esrt: versions that do not fit 64 bits have no value.
        const std::string esrt = GetFact(s, fact::kUefiEsrtSysver);
        const std::string bios = GetFact(s, fact::kSmbiosBiosVersion);
        if (!esrt.empty() && !bios.empty()) {
            std::string h, d;
            for (char c : bios) {
                if (HexDigitValue(c) >= 0) h.push_back(c);
                if (c >= '0' && c <= '9') d.push_back(c);
            }
            const uint64_t hexValue = ParseU64(h, 16).value_or(0);
            const uint64_t decValue = (!h.empty() && h == d) ? ParseU64(h, 10).value_or(0) : 0;
            Sentence match;
            for (const std::string& piece : SplitComma(esrt)) {
                const uint64_t v = ParseU64(piece, 16).value_or(0);
                if (v != 0 && v == hexValue) {
                    match = {"SMBIOS \"{x1}\" matches the ESRT system-firmware version 0x{x2} read as hex",
                             {{bios, Role::Maker}, {piece, Role::Maker}}};
                    break;
                }
                if (v != 0 && v == decValue) {
                    match = {"SMBIOS \"{x1}\" matches the ESRT system-firmware version 0x{x2} read as decimal {n1}",
                             {{bios, Role::Maker}, {piece, Role::Maker}, {std::to_string(decValue), Role::Maker}}};
                    break;
                }
            }
            const char* title = "Firmware version: ESRT vs SMBIOS";
            if (!match.args.empty())
                AddCheck(s, "x.esrt", kConsistency, title, kPass, std::move(match));
            else
                AddCheck(s, "x.esrt", kConsistency, title, kInfo,
                         {"ESRT 0x{x1} vs SMBIOS \"{x2}\" (vendors encode the two differently)",
                          {{esrt, Role::Maker}, {bios, Role::Maker}}});
        }
    }
    {  // x.ata
        int drives = 0, disagree = 0;
        ForEachDrive(s, fact::kAtaSnPrefix, [&](const std::string& suffix, const std::string& identify) {
            const std::string rawDesc = GetFact(s, fact::kAtaDescPrefix + suffix);
            const std::string desc = NormalizeId(rawDesc);
            const std::string id = NormalizeId(identify);
            if (desc.empty() || id.empty()) return;
            ++drives;
            if (desc != id && NormalizeId(DecodeSwappedHexSerial(rawDesc)) != id) ++disagree;
        });
        const char* title = "SATA serial: storage descriptor vs ATA IDENTIFY";
        if (drives > 0) {
            if (disagree == 0)
                AddCheck(s, "x.ata", kConsistency, title, kPass, Format("%d drive(s): both paths agree", drives));
            else
                AddCheck(s, "x.ata", kConsistency, title, kWarn,
                         Format("%d of %d drive(s) report different values on the two paths (filter driver or controller formatting)",
                                disagree, drives));
        }
    }
    CheckMacList(s, "x.wlanmac", "Wi-Fi MAC: MDM device detail vs NDIS addresses", GetFact(s, fact::kMsWlanMac),
                 "the MAC in the MDM device detail is a permanent adapter address",
                 "the MDM device detail reports the current (randomized or overridden) address of an adapter",
                 "the MDM device detail reports a MAC that no adapter carries");
    CheckMacList(s, "x.duid", "DHCPv6 DUID: embedded MAC vs present adapters", GetFact(s, fact::kNetDuidMac),
                 "the DUID was generated on an adapter that is still present",
                 "the DUID carries the current (randomized or overridden) address of an adapter",
                 "the DUID carries a MAC that no present adapter has - the adapter was replaced, or the installation was cloned "
                 "from another machine");
    {  // x.ekthumb
        const std::string t = NormalizeId(GetFact(s, fact::kTpmWinEkThumb));
        const std::string l = GetFact(s, fact::kTpmEkCertSha1s);
        if (!t.empty() && !l.empty()) {
            const char* title = "EK certificate: Windows provisioning record vs TPM";
            if (ListContainsId(l, t))
                AddCheck(s, "x.ekthumb", kConsistency, title, kPass,
                         "the thumbprint Windows recorded at provisioning matches an EK certificate read now");
            else
                AddCheck(s, "x.ekthumb", kConsistency, title, kWarn,
                         "the thumbprint Windows recorded at provisioning matches none of the EK certificates read now - the TPM "
                         "or its certificates changed since");
        }
    }
    {  // x.pcrwin
        const std::string pcr = GetFact(s, fact::kTpmWinPcr);
        if (!pcr.empty()) {
            const std::string boot = GetFact(s, fact::kTpmWinPcrBoot);
            const char* title = "PCR 0-7: Windows provisioning record vs live TPM";
            if (pcr == "match")
                AddCheck(s, "x.pcrwin", kConsistency, title, kPass,
                         {"the PCR values Windows recorded at boot {n1} equal the live values", {{boot, Role::Program}}});
            else
                AddCheck(s, "x.pcrwin", kConsistency, title, kWarn,
                         {"the live PCR 0-7 differ from the values Windows recorded at boot {n1} - firmware, option ROMs "
                          "or Secure Boot configuration changed since",
                          {{boot, Role::Program}}});
        }
    }
    {  // x.lineage: an upgrade count never reads as a clean installation; without a date there is no row.
        const int32_t count = GetFactInt(s, fact::kWinLineageCount);
        const std::string first = GetFact(s, fact::kWinFirstInstall);
        const char* title = "Installation lineage";
        if (count >= 1) {
            if (!first.empty()) {
                // The year and month of the masked first installation time,
                // in a form no masked value matches.
                AddCheck(s, "x.lineage", kContextCategory, title, kInfo,
                         {"{n1} earlier Windows version(s) upgraded in place; the lineage was first installed in {x1}",
                          {{std::to_string(count), Role::Program}, {first.substr(0, 7), Role::Time}}});
            }
        } else if (HasFact(s, fact::kWinLineageCount)) {
            AddCheck(s, "x.lineage", kContextCategory, title, kInfo, "clean installation - no earlier Windows version recorded");
        }
    }
    if (HasFact(s, fact::kMsRearm)) {  // x.rearm
        const int32_t r = GetFactInt(s, fact::kMsRearm);
        AddCheck(s, "x.rearm", kContextCategory, "Windows re-arm counter", kInfo,
                 r < 1001 ? Format("%d re-arm(s) left of the default 1001 - the image was generalized (sysprep) %d time(s)", r,
                                   1001 - r)
                          : "default value - the installation was never generalized with sysprep");
    }
    {  // x.susid
        const bool sus = Flag(s, fact::kWinSus), validation = Flag(s, fact::kMsSusValidation);
        const char* title = "Windows Update client ID: validation blob present";
        if (sus && validation)
            AddCheck(s, "x.susid", kContextCategory, title, kPass,
                     "SusClientId and its hardware-bound validation blob are both present");
        else if (sus)
            AddCheck(s, "x.susid", kContextCategory, title, kWarn,
                     "SusClientId without a validation blob - typical after a Windows Update client reset or on a cloned image");
        else if (validation)
            AddCheck(s, "x.susid", kContextCategory, title, kWarn, "validation blob without a client ID");
    }
    if (Flag(s, fact::kUefiDbRead)) {  // x.sbdb
        const bool ca2023 = Flag(s, fact::kUefiDbCa2023), ca2011 = Flag(s, fact::kUefiDbCa2011);
        const char* title = "Secure Boot db: Microsoft Windows signing CAs";
        if (ca2023)
            AddCheck(s, "x.sbdb", kContextCategory, title, kPass,
                     std::string("Windows UEFI CA 2023 present") +
                         (ca2011 ? " (Windows Production PCA 2011, expired October 2026, still present)" : ""));
        else if (ca2011)
            AddCheck(s, "x.sbdb", kContextCategory, title, kWarn,
                     "only the Windows Production PCA 2011 (expired October 2026) - the 2023 certificate update has not been "
                     "applied");
        else
            AddCheck(s, "x.sbdb", kContextCategory, title, kInfo, "no Microsoft Windows CA found in db");
    }
    {  // x.sbvar
        const std::string var = GetFact(s, fact::kUefiSecurebootVar);
        if (!var.empty() && HasFact(s, fact::kPlatSecureBoot)) {
            const bool same = var == GetFact(s, fact::kPlatSecureBoot);
            AddCheck(s, "x.sbvar", kConsistency, "Secure Boot: UEFI variable vs registry", same ? kPass : kWarn,
                     same ? "both report the same state" : "the SecureBoot variable and HKLM\\...\\SecureBoot\\State disagree");
        }
    }
}

}  // namespace vorq
