#include "assessment/scoring.h"

#include <algorithm>

#include "assessment/crosschecks.h"
#include "collectors/devices/display.h"
#include "collectors/devices/network.h"
#include "collectors/devices/storage.h"
#include "collectors/processor/acpi.h"
#include "collectors/processor/cpu.h"
#include "collectors/processor/smbios.h"
#include "collectors/processor/uefi.h"
#include "collectors/trust/drivers.h"
#include "collectors/trust/microsoft.h"
#include "collectors/trust/platform.h"
#include "collectors/trust/tpm.h"
#include "collectors/trust/windows_os.h"
#include "core/text.h"
#include "vm/vm.h"

namespace vorq {

namespace {

bool Flag(const Snapshot& s, const char* key) { return GetFact(s, key) == "1"; }

int32_t Clamp100(int64_t v) { return static_cast<int32_t>(v > 99 ? 100 : v <= 0 ? 0 : v); }

int64_t SumPoints(const Score& score) {
    int64_t sum = 0;
    for (const ScoreItem& item : score.items) sum += item.points;
    return sum;
}

Score IdentityScore(const Snapshot& s) {
    Score sc;
    sc.id = "identity";
    sc.title = "Device identity";
    {
        const bool ek = Flag(s, fact::kTpmEk);
        const bool unavailable = TpmAccessUnavailable(s);
        const bool present = Flag(s, fact::kTpmPresent);
        std::string note = ek ? std::string("per-unit key burned into the TPM, readable through TBS") +
                                    (GetFactInt(s, fact::kTpmEkBound) != 0 ? "; manufacturer certificate binds it" : "")
                         : unavailable ? "TPM access is unavailable; endorsement-key identity cannot be assessed."
                         : present     ? "TPM present but no persisted EK readable"
                                       : "no TPM 2.0";
        AddScoreItem(sc, "TPM endorsement key", ek ? 30 : 0, 30, ek ? kPass : unavailable ? kInfo : present ? kWarn : kFail,
                     std::move(note));
    }
    AddScoreItem(sc, "TPM platform-key local self-test", 0, 0, kInfo,
                 GetFact(s, fact::kTpmAppKey) == "verified"
                     ? "A local platform-key operation succeeded; TPM residency is not independently attested."
                     : "Local platform-key self-test is unavailable.");
    {
        const bool hash = Flag(s, fact::kMsAutopilotHash);
        AddScoreItem(sc, "Microsoft Autopilot hardware hash", hash ? 5 : 0, 5, hash ? kPass : kInfo,
                     hash                              ? "OA3 hardware hash read through the MDM bridge"
                     : Flag(s, fact::kMsAutopilotDenied) ? "needs administrator rights"
                                                       : "not available");
    }
    {
        const std::string source = GetFact(s, fact::kWinSystemIdSource);
        const bool strong = source == "TPM" || source == "UEFI";
        AddScoreItem(sc, "Windows SystemId (publisher)", strong ? 5 : source == "Registry" ? 2 : 0, 5, strong ? kPass : kInfo,
                     "source: " + (source.empty() ? std::string("unavailable") : source));
    }
    {
        const bool uuid = Flag(s, fact::kSmbiosUuidValid);
        AddScoreItem(sc, "SMBIOS system UUID", uuid ? 10 : 0, 10, uuid ? kPass : kWarn,
                     uuid ? "unique UUID programmed by the OEM" : "missing or placeholder UUID");
    }
    {
        const bool serial = Flag(s, fact::kSmbiosSystemSerialValid) || Flag(s, fact::kSmbiosBoardSerialValid) ||
                            Flag(s, fact::kSmbiosChassisSerialValid);
        AddScoreItem(sc, "Mainboard / system serial", serial ? 10 : 0, 10, serial ? kPass : kWarn,
                     serial ? "at least one OEM serial number present" : "only placeholder serials");
    }
    if (GetFactInt(s, fact::kStorageSystemWithId) != 0)
        AddScoreItem(sc, "Storage hardware identifiers", 15, 15, kPass, "system disk exposes serial / VPD identifiers");
    else if (GetFactInt(s, fact::kStorageWithSerial) != 0)
        AddScoreItem(sc, "Storage hardware identifiers", 8, 15, kInfo, "only non-system disks expose serials");
    else
        AddScoreItem(sc, "Storage hardware identifiers", 0, 15, kWarn, "no disk serials exposed");
    {
        const int32_t good = GetFactInt(s, fact::kNetPermanentGood);
        if (good != 0)
            AddScoreItem(sc, "Permanent NIC address", 10, 10, kPass, Format("%d globally administered burned-in MAC(s)", good));
        else
            AddScoreItem(sc, "Permanent NIC address", GetFactInt(s, fact::kNetHw) != 0 ? 3 : 0, 10, kInfo,
                         "no globally administered permanent MAC");
    }
    if (GetFactInt(s, fact::kGpuUuidCount) != 0)
        AddScoreItem(sc, "GPU / display unit IDs", 5, 5, kPass, "GPU UUID via NVML");
    else if (GetFactInt(s, fact::kMonitorSerials) != 0)
        AddScoreItem(sc, "GPU / display unit IDs", 3, 5, kPass, "monitor EDID serials");
    else
        AddScoreItem(sc, "GPU / display unit IDs", 0, 5, kInfo, "none exposed");
    {
        const bool fp = HasSignal(s, sig::kAcpiFingerprint);
        AddScoreItem(sc, "Firmware build fingerprint", fp ? 5 : 0, 5, fp ? kPass : kInfo, "ACPI tables hash (per firmware build)");
    }
    if (Flag(s, fact::kMsEntra))
        AddScoreItem(sc, "Microsoft Entra device identity", 0, 0, kPass,
                     HasSignal(s, sig::kMsEntraDeviceId) ? "joined - device ID and tenant ID present" : "joined or registered");
    if (Flag(s, fact::kMsMdm))
        AddScoreItem(sc, "MDM enrollment", 0, 0, kPass,
                     HasSignal(s, sig::kMsIntuneDeviceId) ? "enrolled - Intune device ID present" : "enrolled with an MDM server");

    if (GetFact(s, fact::kVmGuest) == "1")
        AddScoreItem(sc, "Virtual machine guest", -20, 0, kWarn, "identifiers are configurable by the hypervisor owner");
    const auto failed = std::count_if(s.checks.begin(), s.checks.end(), [](const Check& c) { return c.status == kFail; });
    if (failed > 0) {
        const int32_t d = static_cast<int32_t>(std::min<int64_t>(10 * static_cast<int64_t>(failed), 30));
        AddScoreItem(sc, "Cross-source inconsistencies", -d, 0, kFail, Format("%d read path(s) disagree", static_cast<int>(failed)));
    }
    sc.value = Clamp100(SumPoints(sc));
    sc.verdict = ScoreLevelName(sc.value);
    sc.note = "How strongly this machine can be recognised again: per-unit anchors present, weighted. Priors, not probabilities.";
    return sc;
}

Score PlatformScore(const Snapshot& s) {
    Score sc;
    sc.id = "platform";
    sc.title = "Platform integrity";
    if (TpmAccessUnavailable(s))
        AddScoreItem(sc, "TPM 2.0", 0, 20, kInfo, "TPM availability could not be confirmed.");
    else
        AddPassFailItem(sc, "TPM 2.0", GetFact(s, fact::kTpmVersion) == "2.0" && GetFact(s, fact::kTpmStatus) == "available", 20,
                        "present and responding", "not available", kFail);
    AddPassFailItem(sc, "UEFI firmware", Flag(s, fact::kPlatUefi), 5, "UEFI boot", "legacy BIOS boot", kWarn);
    AddPassFailItem(sc, "Secure Boot", Flag(s, fact::kPlatSecureBoot), 15, "enabled", "disabled", kWarn);
    AddPassFailItem(sc, "Virtualization-based security", Flag(s, fact::kPlatVbs), 10, "running", "not running", kWarn);
    AddPassFailItem(sc, "Memory integrity (HVCI)", Flag(s, fact::kPlatHvci) || Flag(s, fact::kPlatHvciCi), 15,
                    "kernel-mode code integrity enforced by the hypervisor", "off", kWarn);
    // Without the code-integrity state the two rows below cannot say test signing or debugging is on.
    if (Flag(s, fact::kPlatCiOk)) {
        AddPassFailItem(sc, "Test signing off", !Flag(s, fact::kPlatTestSign), 10, "only production-signed kernel code",
                        "test-signed kernel code allowed", kFail);
        AddPassFailItem(sc, "Kernel debugging off", !Flag(s, fact::kPlatDebug), 10, "no kernel debugger mode",
                        "kernel debug mode enabled", kFail);
    } else {
        AddScoreItem(sc, "Test signing off", 0, 10, kInfo, "code-integrity state is unavailable");
        AddScoreItem(sc, "Kernel debugging off", 0, 10, kInfo, "code-integrity state is unavailable");
    }
    AddPassFailItem(sc, "Vulnerable driver blocklist", Flag(s, fact::kPlatBlocklist), 5, "enabled", "disabled", kWarn);
    AddPassFailItem(sc, "IOMMU / DMA remapping", Flag(s, fact::kAcpiIommu), 5, "DMAR/IVRS present", "not reported", kWarn);
    AddPassFailItem(sc, "Measured boot replay", GetFact(s, fact::kTpmLog) == "match", 5, "TCG log reproduces PCR 0-7",
                    "not verified locally", kInfo);
    const int64_t total = SumPoints(sc);
    if (Flag(s, fact::kUefiDbRead)) {
        if (Flag(s, fact::kUefiDbCa2023))
            AddScoreItem(sc, "Secure Boot db certificates", 0, 0, kPass, "Windows UEFI CA 2023 present");
        else
            AddScoreItem(sc, "Secure Boot db certificates", 0, 0, kWarn,
                         "2023 Microsoft CA not in db (the 2011 CA expired in October 2026)");
    }
    if (Flag(s, fact::kPlatRuntimeReport))
        AddScoreItem(sc, "Signed runtime attestation report", 0, 0, kPass, "produced - must be verified by a backend");
    else
        AddScoreItem(sc, "Signed runtime attestation report", 0, 0, kInfo, "requires VBS + HVCI (informational)");
    sc.value = Clamp100(total);
    sc.verdict = ScoreLevelName(sc.value);
    sc.note = "Strength of evidence about the boot and kernel security state. A low value does not mean the device is fake.";
    return sc;
}

Score DriversScore(const Snapshot& s) {
    Score sc;
    sc.id = "drivers";
    sc.title = "Driver trust";
    int32_t value = 100;
    const int32_t unsignedCount = GetFactInt(s, fact::kDrvUnsigned);
    ApplyCappedPenalty(value, sc, "Unsigned / invalid kernel drivers", unsignedCount, 40, 10, 60, kFail,
                       Format("%d running", unsignedCount));
    const int32_t untrusted = GetFactInt(s, fact::kDrvUntrusted);
    ApplyCappedPenalty(value, sc, "Untrusted-root (test / self-signed) drivers", untrusted, 30, 10, 50, kFail,
                       Format("%d running", untrusted));
    if (Flag(s, fact::kPlatTestSign)) {
        value -= 20;
        AddScoreItem(sc, "Test signing mode", -20, 0, kFail, "kernel accepts test certificates");
    }
    const int32_t authenticode = GetFactInt(s, fact::kDrvAuthenticode);
    ApplyCappedPenalty(value, sc, "Legacy third-party Authenticode drivers", authenticode, 3, 3, 15, kInfo,
                       Format("%d running (cross-signed, no Microsoft review)", authenticode));
    const int32_t attest = GetFactInt(s, fact::kDrvAttest);
    ApplyCappedPenalty(value, sc, "Attestation-signed drivers", attest, 1, 1, 10, kInfo,
                       Format("%d running (Microsoft-signed, not HLK-tested)", attest));
    AddScoreItem(sc, "Inbox Windows drivers", 0, 0, kPass, GetFact(s, fact::kDrvInbox, "0") + " running");
    AddScoreItem(sc, "WHQL / Microsoft-signed drivers", 0, 0, kPass, GetFact(s, fact::kDrvWhql, "0") + " running");
    if (GetFactInt(s, fact::kDrvNotFound) != 0)
        AddScoreItem(sc, "Not verifiable from user mode", 0, 0, kInfo,
                     GetFact(s, fact::kDrvNotFound) + " image path(s) not resolvable");
    sc.value = Clamp100(value);
    sc.verdict = ScoreLevelName(sc.value);
    sc.note = "Signature provenance of running kernel drivers (" + GetFact(s, fact::kDrvTotal, "0") +
              " checked). Signed is not the same as safe.";
    return sc;
}

}  // namespace

const char* ScoreLevelName(int32_t value) {
    if (value > 84) return "High";
    if (value > 64) return "Medium";
    if (value > 44) return "Low";
    return "Very low";
}

void AddScoreItem(Score& score, std::string label, int32_t points, int32_t max, int32_t status, std::string note) {
    score.items.push_back(ScoreItem{std::move(label), points, max, status, std::move(note)});
}

void AddPassFailItem(Score& score, std::string label, bool ok, int32_t weight, std::string passNote, std::string failNote,
                     int32_t failStatus) {
    AddScoreItem(score, std::move(label), ok ? weight : 0, weight, ok ? kPass : failStatus,
                 ok ? std::move(passNote) : std::move(failNote));
}

void ApplyCappedPenalty(int32_t& value, Score& score, std::string label, int32_t count, int32_t base, int32_t step,
                        int32_t cap, int32_t status, std::string note) {
    if (count <= 0) return;
    const int64_t penalty = std::min<int64_t>(base + static_cast<int64_t>(step) * (count - 1), cap);
    value -= static_cast<int32_t>(penalty);
    AddScoreItem(score, std::move(label), static_cast<int32_t>(-penalty), 0, status, std::move(note));
}

bool HasSignal(const Snapshot& s, const std::string& key) {
    return std::any_of(s.signals.begin(), s.signals.end(), [&](const Signal& g) { return g.key == key && g.q > 0; });
}

bool TpmAccessUnavailable(const Snapshot& s) {
    const std::string status = GetFact(s, fact::kTpmStatus);
    if (status == "available") return false;
    if (status == "error") return true;
    const std::string device = GetFact(s, fact::kTpmDeviceStatus);
    if (device == "absent") return false;
    if (device == "complete" && GetFact(s, fact::kTpmVersion) == "1.2") return false;
    return true;
}

std::vector<Score>::iterator FindPhysicalScore(std::vector<Score>::iterator first, std::vector<Score>::iterator last) {
    return std::find_if(first, last, [](const Score& sc) { return sc.id == "physical"; });
}

void ScoreSnapshot(Snapshot& s) {
    s.scores.push_back(IdentityScore(s));
    s.scores.push_back(PlatformScore(s));
    s.scores.push_back(DriversScore(s));
    auto physical = FindPhysicalScore(s.scores.begin(), s.scores.end());
    if (physical != s.scores.end()) std::rotate(physical, physical + 1, s.scores.end());

    std::string title = Trim(GetFact(s, fact::kSysManufacturer) + " " + GetFact(s, fact::kSysProduct));
    s.deviceTitle = title.empty() ? "Windows PC" : title;
    s.deviceTitleRole = title.empty()                                 ? Role::Program
                        : GetFact(s, fact::kSysNamesTyped) == "1" ? Role::Typed
                                                                  : Role::Maker;

    std::vector<std::string> parts;
    if (!GetFact(s, fact::kCpuBrand).empty()) parts.push_back(GetFact(s, fact::kCpuBrand));
    int32_t mb = GetFactInt(s, fact::kSmbiosMemMb);
    if (mb == 0) mb = GetFactInt(s, fact::kOsMemMb);
    if (mb != 0) parts.push_back(Format("%d GB RAM", static_cast<int>((static_cast<int64_t>(mb) + 512) / 1024)));
    if (!GetFact(s, fact::kOsText).empty()) parts.push_back(GetFact(s, fact::kOsText));
    s.deviceSubtitle = Join(parts, "  \xC2\xB7  ");
}

}  // namespace vorq
