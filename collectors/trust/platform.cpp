#include "collectors/trust/platform.h"

#include <algorithm>
#include <charconv>

#include "collectors/processor/acpi.h"
#include "collectors/trust/tpm.h"
#include "collectors/trust/windows_os.h"
#include "core/hash.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint16_t kReportPackageVersion = 1;
constexpr uint64_t kReportAll = 3, kReportDrivers = 1;

bool Contains(const std::vector<int64_t>& v, int64_t x) { return std::find(v.begin(), v.end(), x) != v.end(); }

const char* Bit(bool on) { return on ? "1" : "0"; }

void CodeIntegrityRows(Snapshot& s, Table& t, uint32_t o) {
    AddRow(t, {"Code integrity", o & 0x1 ? "[ok] enabled" : "[bad] disabled", Format("CodeIntegrityOptions = 0x%08X", o)});
    AddRow(t, {"Test signing", o & 0x2 ? "[bad] ON - test-signed kernel code can load" : "[ok] off",
               "CODEINTEGRITY_OPTION_TESTSIGN"});
    AddRow(t, {"Kernel debugging mode", o & 0x80 ? "[bad] ON" : "[ok] off", "CODEINTEGRITY_OPTION_DEBUGMODE_ENABLED"});
    AddRow(t, {"HVCI (memory integrity) - kernel mode CI", o & 0x400 ? "[ok] enforced" : "[warn] off",
               "CODEINTEGRITY_OPTION_HVCI_KMCI_ENABLED"});
    AddRow(t, {"User-mode code integrity (WDAC/App Control)", o & 0x4 ? "[info] enforced" : "[info] off",
               "CODEINTEGRITY_OPTION_UMCI_ENABLED"});
    if (o & 0x200) AddRow(t, {"Flight signing", "[warn] enabled (Insider builds)", "CODEINTEGRITY_OPTION_FLIGHTING_ENABLED"});
    if (o & 0xC000)
        AddRow(t, {"WHQL-only kernel driver policy", (o & 0x4000) && !(o & 0x8000) ? "[ok] enforced" : "[info] audit mode",
                   "CODEINTEGRITY_OPTION_WHQL_ENFORCEMENT / _AUDITMODE"});
    SetFact(s, fact::kPlatCiOk, "1");
    SetFact(s, fact::kPlatTestSign, Bit(o & 0x2));
    SetFact(s, fact::kPlatDebug, Bit(o & 0x80));
    SetFact(s, fact::kPlatHvciCi, Bit(o & 0x400));
}

void DeviceGuardRows(Snapshot& s, Table& t, const DeviceGuardReading& dg, const std::string& error) {
    if (dg.vbsStatus < 0) {
        AddRow(t, {"Virtualization-based security", "[info] unknown", "WMI: " + error});
        return;
    }
    AddRow(t, {"Virtualization-based security",
               dg.vbsStatus == 2   ? "[ok] running"
               : dg.vbsStatus == 1 ? "[warn] enabled, not running"
                                   : "[warn] off",
               "Win32_DeviceGuard.VirtualizationBasedSecurityStatus"});
    const bool hvci = Contains(dg.servicesRunning, 2);
    AddRow(t, {"HVCI service", hvci ? "[ok] running" : "[warn] not running", "SecurityServicesRunning contains 2"});
    AddRow(t, {"Credential Guard", Contains(dg.servicesRunning, 1) ? "[ok] running" : "[info] not running",
               "SecurityServicesRunning contains 1"});
    if (Contains(dg.servicesRunning, 3))
        AddRow(t, {"System Guard Secure Launch (DRTM)", "[ok] running", "SecurityServicesRunning contains 3"});
    static constexpr const char* kProperties[] = {"hypervisor support", "Secure Boot",  "DMA protection",
                                                  "secure memory overwrite", "NX", "SMM mitigations",
                                                  "MBEC/GMET",          "APIC virtualization"};
    std::vector<std::string> names;
    for (int64_t p : dg.availableProperties)
        if (p >= 1 && p <= 8) names.emplace_back(kProperties[p - 1]);
    AddRow(t, {"Hardware security properties available", "[info] " + Join(names, ", "),
               "Win32_DeviceGuard.AvailableSecurityProperties"});
    SetFact(s, fact::kPlatVbs, Bit(dg.vbsStatus == 2));
    SetFact(s, fact::kPlatHvci, Bit(hvci));
    SetFact(s, fact::kPlatDmaCapable, Bit(Contains(dg.availableProperties, 3)));
}

}  // namespace

std::string RequestRuntimeReport(const AttestationCall& call, const std::function<bool(uint8_t*, size_t)>& random,
                                 const std::function<std::string(uint32_t)>& errorText, bool& produced) {
    produced = false;
    uint64_t selector = kReportAll;
    uint32_t size = 0, error = 0;
    bool ok = call(nullptr, kReportPackageVersion, selector, nullptr, &size, &error);
    if (!ok && error == kErrorInvalidParameter) {
        selector = kReportDrivers;
        size = 0;
        error = 0;
        ok = call(nullptr, kReportPackageVersion, selector, nullptr, &size, &error);
    }
    if (size == 0 || (!ok && error != kErrorInsufficientBuffer)) return "[warn] size query failed: " + errorText(error);
    if (size > kMaxRuntimeReportSize)
        return Format("[warn] size query failed: %u bytes is above the %u-byte limit", size, kMaxRuntimeReportSize);
    std::vector<uint8_t> report(size);
    uint8_t nonce[32] = {};
    if (!random(nonce, sizeof(nonce))) return "[warn] report request failed: no random nonce";
    uint32_t got = size;
    error = 0;
    if (!call(nonce, kReportPackageVersion, selector, report.data(), &got, &error))
        return "[warn] report request failed: " + errorText(error);
    report.resize(std::min(got, size));
    produced = true;
    return Format("[ok] signed report produced: %u bytes, SHA-256 %s (verify on a backend; not verified locally)",
                  static_cast<unsigned>(report.size()), Sha256Hex(report.data(), report.size()).substr(0, 16).c_str());
}

void AddSecurityProductRow(Table& t, const std::string& category, const SecurityProduct& p) {
    const auto state = static_cast<unsigned long long>(p.productState);
    AddRow(t, {category, p.displayName, Format("%s (0x%06llX)", p.productState & 0x1000 ? "enabled" : "disabled", state),
               p.productState & 0x10 ? "out of date" : "up to date", p.timestamp});
}

void CollectPlatformFrom(Snapshot& s, const PlatformSource& src) {
    Table t = MakeTable("platform", table::kPlatformPosture, "Platform security posture", {{"Feature", Role::Program}, {"State", Role::Maker}, {"Evidence", Role::Maker}},
                        "Strength of evidence about the running platform. Local readings only - a remote verifier must "
                        "check signed evidence before trusting it.");

    AddRow(t, {"Firmware type",
               src.firmwareType == 2   ? "[ok] UEFI"
               : src.firmwareType == 1 ? "[warn] legacy BIOS"
                                       : "[info] unknown",
               "GetFirmwareType"});
    SetFact(s, fact::kPlatUefi, Bit(src.firmwareType == 2));

    AddRow(t, {"Secure Boot",
               !src.secureBoot ? "[info] not reported" : *src.secureBoot ? "[ok] enabled" : "[warn] disabled",
               "HKLM\\...\\SecureBoot\\State\\UEFISecureBootEnabled"});
    SetFact(s, fact::kPlatSecureBoot, Bit(src.secureBoot && *src.secureBoot));

    for (const RegValue& v : src.servicing) {
        const std::string text = RegValueToText(v);
        if (v.name == L"UEFICA2023Status")
            AddRow(t, {"Secure Boot CA 2023 certificate update", (EqualsNoCase(text, "Updated") ? "[ok] " : "[info] ") + text,
                       "HKLM\\...\\SecureBoot\\Servicing\\UEFICA2023Status"});
        else if (v.name == L"UEFICA2023Error" || v.name == L"AvailableUpdates")
            AddRow(t, {std::string("Secure Boot servicing: ") + (v.name == L"AvailableUpdates" ? "AvailableUpdates" : "UEFICA2023Error"),
                       "[info] " + text, "HKLM\\...\\SecureBoot\\Servicing"});
    }

    if (src.ciOptions)
        CodeIntegrityRows(s, t, *src.ciOptions);
    else
        AddRow(t, {"Code integrity", "[info] query failed", "NtQuerySystemInformation(SystemCodeIntegrityInformation)"});

    DeviceGuardRows(s, t, src.deviceGuard, src.deviceGuardError);

    bool blocklist;
    std::string state;
    if (src.blocklist) {
        blocklist = *src.blocklist != 0;
        state = blocklist ? "[ok] enabled" : "[warn] disabled";
    } else {
        const std::string text = GetFact(s, fact::kOsBuild, "0");
        int64_t build = 0;
        std::from_chars(text.data(), text.data() + text.size(), build);
        blocklist = build > 22620;
        state = blocklist ? "[ok] enabled (default)" : "[warn] disabled";
    }
    AddRow(t, {"Microsoft vulnerable driver blocklist", state, "HKLM\\...\\CI\\Config\\VulnerableDriverBlocklistEnable"});
    SetFact(s, fact::kPlatBlocklist, Bit(blocklist));

    if (src.smartAppControl)
        AddRow(t, {"Smart App Control",
                   *src.smartAppControl == 1   ? "[ok] on"
                   : *src.smartAppControl == 2 ? "[info] evaluation"
                                               : "[info] off",
                   "HKLM\\...\\CI\\Policy\\VerifiedAndReputablePolicyState"});

    AddRow(t, {"IOMMU (DMAR / IVRS table)",
               GetFact(s, fact::kAcpiIommu) != "1"     ? "[warn] not reported"
               : GetFact(s, fact::kAcpiDmaOptIn) == "1" ? "[ok] present, firmware opted into DMA protection"
                                                        : "[ok] present",
               "ACPI tables"});
    AddRow(t, {"TPM 2.0", GetFact(s, fact::kTpmVersion) == "2.0" ? "[ok] present" : "[warn] not available",
               "Tbsi_GetDeviceInfo"});
    const std::string log = GetFact(s, fact::kTpmLog);
    AddRow(t, {"Measured boot log vs PCRs",
               log == "match"      ? "[ok] replay matches PCR 0-7"
               : log == "mismatch" ? "[warn] replay differs"
                                   : "[info] not compared",
               "Tbsi_Get_TCG_Log_Ex + TPM2_PCR_Read"});

    std::string report;
    if (!src.attestation) {
        report = "[info] API not present on this Windows build";
    } else if (GetFact(s, fact::kPlatHvci) != "1" && GetFact(s, fact::kPlatHvciCi) != "1") {
        report = "[info] API present; a report requires VBS + HVCI (memory integrity), which are off";
    } else {
        bool produced = false;
        report = RequestRuntimeReport(src.attestation, src.random, src.errorText, produced);
        if (produced) SetFact(s, fact::kPlatRuntimeReport, "1");
    }
    AddRow(t, {"Runtime attestation report", report, "GetRuntimeAttestationReport (Secure Kernel)"});

    Table wsc = MakeTable("platform", table::kPlatformWsc, "Security products (Windows Security Center)",
                          {{"Category", Role::Program}, {"Product", Role::Maker}, {"State", Role::Program}, {"Signatures", Role::Program}, {"Updated", Role::Time}},
                          "Products registered with the Security Center (WMI root\\SecurityCenter2, client editions "
                          "only). State and signature status are decoded from productState.");
    for (const auto& [category, products] : src.products)
        for (const SecurityProduct& p : products) AddSecurityProductRow(wsc, category, p);
    if (wsc.rows.empty())
        wsc.note += src.productQueryOk ? " No products registered."
                                       : " Security Center namespace not available (server editions do not have it).";
    SetFact(s, fact::kPlatWsc, std::to_string(wsc.rows.size()));

    s.tables.push_back(std::move(t));
    s.tables.push_back(std::move(wsc));
}

}  // namespace vorq
