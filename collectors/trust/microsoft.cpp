#include "collectors/trust/microsoft.h"

#include <algorithm>

#include "collectors/processor/smbios.h"
#include "collectors/trust/identifiers.h"
#include "collectors/trust/windows_os.h"
#include "core/byte_order.h"
#include "core/hash.h"
#include "core/masked_values.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr char kCategory[] = "Microsoft";
constexpr char kBridgeSource[] = "WMI root\\cimv2\\mdm\\dmmap MDM_DevDetail_Ext01";
constexpr char kAutopilotName[] = "Autopilot hardware hash (OA3 4K HH)";

struct Context {
    Snapshot& s;
    Table& ids;
    // What Microsoft's services keep for this device, its user or its
    // organization identifies them: sensitive unless the caller says not.
    void Add(const char* key, const std::string& name, const std::string& value, SignalScope scope, int32_t weight,
             const char* group, const std::string& source, const std::string& note = std::string(),
             Role role = Role::Identifier) {
        AddIdentifierRow(s, ids, kCategory, key, name, value, scope, weight, group, role, source, note);
    }
    // A state read from the machine: a maker's or Windows' text unless the
    // caller says otherwise.
    void State(const std::string& name, const std::string& value, const std::string& source, Role role = Role::Maker) {
        AddStateRow(ids, name, value, source, role);
    }
    // A state in Windows' or the program's words ("not generated", "domain account").
    void Fixed(const std::string& name, const std::string& value, const std::string& source) {
        AddStateRow(ids, name, value, source, Role::Program);
    }
};

std::string Without(std::string text, char a, char b) {
    text.erase(std::remove_if(text.begin(), text.end(), [&](char c) { return c == a || c == b; }), text.end());
    return text;
}

std::string Lu(uint32_t v) { return Format("%lu", static_cast<unsigned long>(v)); }

void DiagnosticData(Context& c, const MicrosoftSource& in) {
    const std::string sqm = Without(in.sqmMachineId, '{', '}');
    if (!sqm.empty())
        c.State("Diagnostic data device ID (ext.device.localId)", "s:" + sqm,
                "SQMClient\\MachineId with the \"s:\" prefix used in the diagnostic data envelope", Role::Identifier);
    std::string level, details;
    if (in.telemetryPolicy) level = TelemetryLevelName(*in.telemetryPolicy);
    if (in.telemetryMachine) {
        details += "; machine policy " + Lu(*in.telemetryMachine);
        if (level.empty()) level = TelemetryLevelName(*in.telemetryMachine);
    }
    if (in.telemetryUser) details += "; user policy " + Lu(*in.telemetryUser);
    if (in.telemetryMdm) details += "; MDM policy " + Lu(*in.telemetryMdm);
    if (in.telemetryMax) details += "; MaxTelemetryAllowed " + Lu(*in.telemetryMax);
    c.Fixed("Diagnostic data level (AllowTelemetry)", level, "HKLM\\...\\DataCollection\\AllowTelemetry" + details);
    if (in.ceipEnable)
        c.Fixed("Customer Experience Improvement Program (CEIP)", *in.ceipEnable != 0 ? "enabled" : "disabled",
                "SQMClient\\Windows\\CEIPEnable");
    if (!in.advertisingId.empty()) {
        c.Add("ms.advertising_id", "Advertising ID", in.advertisingId, SignalScope::PerInstall, 2, "os",
              "HKCU\\...\\AdvertisingInfo\\Id", "per user; can be reset or disabled in Settings > Privacy > General");
    } else {
        c.Fixed("Advertising ID",
                in.advertisingEnabled && *in.advertisingEnabled == 0 ? "disabled (no ID generated)" : "not generated",
                "HKCU\\...\\AdvertisingInfo");
    }
    if (in.susValidation && !in.susValidation->empty()) {
        const Bytes& b = *in.susValidation;
        std::string value = HexEncode(b);
        const std::string text = ExtractUtf16Strings(b.data(), b.size());
        if (!text.empty()) value += " (text: " + text + ")";
        c.Add("ms.sus_validation", "Windows Update client ID validation (SusClientIdValidation)", value,
              SignalScope::PerInstall, 6, "os", "HKLM\\...\\WindowsUpdate\\SusClientIdValidation",
              Format("%zu bytes with SMBIOS and disk serials embedded as UTF-16; Windows Update uses it to detect "
                     "cloned client IDs",
                     b.size()));
        SetFact(c.s, fact::kMsSusValidation, "1");
    }
    c.Add("ms.xbox_device_id", "Xbox Live device ID", in.xboxDeviceId, SignalScope::PerInstall, 8, "os",
          "HKLM\\SOFTWARE\\Microsoft\\XboxLive\\DeviceId",
          "device identity of the Xbox / Microsoft Store gaming services");
}

void MicrosoftAccounts(Context& c, const MicrosoftSource& in) {
    if (in.msaDevices.empty()) {
        c.Fixed("Microsoft account device ID (IdentityCRL)",
                in.elevated ? "not present" : "[info] needs administrator rights (HKU\\S-1-5-18)",
                "HKU\\S-1-5-18\\...\\IdentityCRL\\DeviceIdentities\\production\\<SID>\\ValidDeviceId");
        return;
    }
    int others = 0;
    for (const auto& [sid, id] : in.msaDevices) {
        if (id.empty()) continue;
        if (sid == "S-1-5-18") {
            c.Add("ms.msa_device_id", "Microsoft account device ID (IdentityCRL, device account)", id,
                  SignalScope::PerInstall, 8, "os",
                  "HKU\\S-1-5-18\\...\\DeviceIdentities\\production\\S-1-5-18\\ValidDeviceId",
                  "device identity used by Microsoft account sign-in, Store and licensing");
        } else if (sid == in.currentUserSid) {
            c.Add("ms.msa_device_id_user", "Microsoft account device ID (IdentityCRL, current user)", id,
                  SignalScope::PerInstall, 4, "os",
                  "HKU\\S-1-5-18\\...\\DeviceIdentities\\production\\<user SID>\\ValidDeviceId");
        } else {
            ++others;
        }
    }
    if (others != 0)
        c.Fixed("Microsoft account device IDs of other accounts", std::to_string(others),
                "HKU\\S-1-5-18\\...\\DeviceIdentities\\production (one entry per account SID)");
}

void Licensing(Context& c, const MicrosoftSource& in) {
    constexpr char kCmidName[] = "Client Machine ID (CMID, volume activation)";
    constexpr char kCmidSource[] = "WMI SoftwareLicensingService.ClientMachineID";
    if (!in.clientMachineId.empty())
        c.Add("ms.cmid", kCmidName, in.clientMachineId, SignalScope::PerInstall, 6, "os", kCmidSource);
    else
        c.Fixed(kCmidName, "not available on this installation", kCmidSource);
    if (in.rearmCount >= 0) {
        const std::string count = std::to_string(in.rearmCount);
        c.Fixed("Windows re-arm count remaining", count,
                "WMI SoftwareLicensingService.RemainingWindowsReArmCount (each sysprep /generalize uses one)");
        SetFact(c.s, fact::kMsRearm, count);
    }
    if (!in.productName.empty())
        c.Fixed("Windows license (name, status, channel)",
                in.productName + "; " + LicenseStatusName(in.licenseStatus) +
                    (in.keyChannel.empty() ? std::string() : "; channel " + in.keyChannel),
                "WMI SoftwareLicensingProduct - only the product name, license status and channel are read");
}

void UserAndDomain(Context& c, const MicrosoftSource& in) {
    const std::string machineSid = GetFact(c.s, fact::kWinMachineSid);
    const std::string& sid = in.currentUserSid;
    const size_t dash = sid.rfind('-');
    if (dash != std::string::npos) {
        const std::string rid = sid.substr(dash + 1);
        if (!machineSid.empty() && sid.compare(0, dash, machineSid) == 0 && dash == machineSid.size()) {
            c.Add("ms.user_rid", "Current user RID (local account)", rid, SignalScope::PerInstall, 3, "os",
                  "GetTokenInformation(TokenUser)", "account number inside this installation's SID domain", Role::Maker);
        } else if (sid.starts_with("S-1-12-1-")) {
            c.Fixed("Current user account", "Microsoft Entra account (SID authority S-1-12-1)",
                    "GetTokenInformation(TokenUser)");
        } else if (sid.starts_with("S-1-5-21-")) {
            // With the domain, a domain account's RID names one account; a local
            // account's RID only counts this installation's accounts.
            c.Fixed("Current user account", "domain account", "GetTokenInformation(TokenUser)");
            c.State("Current user RID (domain account)", rid, "GetTokenInformation(TokenUser)", Role::Identifier);
        }
    }
    if (in.userName) {
        // A built-in account, known by its RID, under the name Windows gave it
        // ("Administrateur") names nobody; renamed, it is a person's.
        const bool builtIn = IsUnrenamedBuiltInAccount(sid, machineSid, *in.userName);
        c.State("Current user", *in.userName, "GetUserNameW", builtIn ? Role::Program : Role::Identifier);
        if (!builtIn) c.s.named.push_back({ValueKind::Account, *in.userName});
    }
    if (in.joinRead) {
        // NetSetupWorkgroupName 2, NetSetupDomainName 3
        const bool domain = in.joinStatus == 3;
        const bool workgroup = in.joinStatus == 2;
        const std::string value = domain      ? "Active Directory domain " + in.joinName
                                  : workgroup ? "workgroup " + in.joinName
                                              : in.joinName;
        // Windows' default workgroup names nobody; any other is a name someone chose for their network.
        const bool chosen = domain || (workgroup && ToUpper(in.joinName) != "WORKGROUP");
        if (chosen)
            c.State("Domain / workgroup", value, "NetGetJoinInformation", Role::Identifier);
        else
            c.Fixed("Domain / workgroup", value, "NetGetJoinInformation");  // Windows' default
        if (chosen && !in.joinName.empty())
            c.s.named.push_back({domain ? ValueKind::NetbiosDomain : ValueKind::Organization, in.joinName});
    }
}

bool EntraRecords(Context& c, const std::vector<EntraRecord>& records, const std::string& label) {
    for (const EntraRecord& r : records) {
        c.Add("ms.entra_device_id", "Entra device ID (" + label + ")", r.deviceId, SignalScope::PerInstall, 15, "os",
              "JoinInfo\\DeviceId", "device object in the Entra tenant");
        c.Add("ms.entra_tenant", "Entra tenant ID (" + label + ")", r.tenantId, SignalScope::State, 0, "",
              "JoinInfo\\TenantId");
        c.State("Entra identity provider domain (" + label + ")", r.idpDomain, "JoinInfo\\IdpDomain", Role::Identifier);
        c.State("Entra account (" + label + ")", r.userEmail, "JoinInfo\\UserEmail", Role::Identifier);
        // The account's address names its person and, by its domain, the organization.
        if (!r.userEmail.empty()) c.s.named.push_back({ValueKind::Owner, r.userEmail});
        c.State("Entra device certificate thumbprint (" + label + ")", r.subkey, "JoinInfo subkey name", Role::Identifier);
        SetFact(c.s, fact::kMsEntra, "1");
    }
    return !records.empty();
}

Table Enrollments(Context& c, const MicrosoftSource& in) {
    Table t = MakeTable("microsoft", table::kMsEnrollments, "MDM enrollments",
                        {{"Enrollment", Role::Field}, {"Type", Role::Program}, {"Provider", Role::Maker}, {"User", Role::Identifier}, {"Intune device ID (EntDMID)", Role::Identifier}, {"Discovery service", Role::Identifier}},
                        "Entries under HKLM\\SOFTWARE\\Microsoft\\Enrollments. The Local / Cloud / Deploy Authority and "
                        "WMI-bridge providers are part of every Windows 11 installation; an enrollment with a user "
                        "(UPN) is a real MDM enrollment, and Microsoft Intune also fills in EntDMID.");
    bool mdm = false;
    for (const EnrollmentSource& e : in.enrollments) {
        if (!e.type || (e.providerId.empty() && e.upn.empty() && e.entDmid.empty())) continue;
        // A real enrollment's key is made for this device; the built-in providers' are not.
        const bool real = !e.upn.empty() || !e.entDmid.empty();
        AddRow(t, {e.subkey, std::to_string(*e.type), e.providerId, e.upn, e.entDmid, e.discoveryUrl},
               {real ? Role::Identifier : Role::Program});
        if (!e.upn.empty()) c.s.named.push_back({ValueKind::Owner, e.upn});
        if (!e.entDmid.empty()) {
            c.Add(sig::kMsIntuneDeviceId, "Intune device ID (EntDMID)", e.entDmid, SignalScope::PerInstall, 12, "os",
                  "Enrollments\\...\\DMClient\\MS DM Server\\EntDMID");
            mdm = true;
        } else if (!e.upn.empty()) {
            mdm = true;
        }
    }
    c.Fixed("OMA-DM server accounts (MDM configurations)",
            in.omadmAccounts ? std::to_string(in.omadmAccounts) : std::string("none"), "Provisioning\\OMADM\\Accounts");
    SetFact(c.s, fact::kMsMdm, mdm ? "1" : "0");
    return t;
}

void Applications(Context& c, const MicrosoftSource& in) {
    if (!in.autopilotTenantDomain.empty()) c.s.named.push_back({ValueKind::Organization, in.autopilotTenantDomain});
    if (!in.autopilotTenantId.empty() || !in.autopilotTenantDomain.empty())
        c.State("Autopilot cloud-assigned tenant",
                in.autopilotTenantId +
                    (in.autopilotTenantDomain.empty() ? std::string() : " (" + in.autopilotTenantDomain + ")"),
                "Provisioning\\Diagnostics\\AutoPilot", Role::Identifier);
    else
        c.Fixed("Autopilot profile", "none assigned", "Provisioning\\Diagnostics\\AutoPilot");

    if (!in.storeOemId.empty() || !in.storeScmId.empty())
        c.State("Microsoft Store OEM ID / SCM ID", Trim(in.storeOemId + " / " + in.storeScmId),
                "HKLM\\...\\Store\\Configuration (OEMID, SCMID) - per OEM model, not per unit");

    const EdgeUpdateSource& edge = !in.edgeWow.uid.empty() ? in.edgeWow : in.edgeNative;
    if (!edge.uid.empty()) {
        c.Add("ms.edge_update_uid", "Edge Update client ID (uid)", edge.uid, SignalScope::PerInstall, 3, "os",
              "HKLM\\...\\EdgeUpdate\\uid", "rotated by Edge Update");
        if (edge.createTime && *edge.createTime != 0) {
            // The creation time dates this installation as its install date does.
            c.State("Edge Update client ID created", FormatUnixTimeUtc(*edge.createTime),
                    "HKLM\\...\\EdgeUpdate\\uid-create-time", Role::Identifier);
            c.Fixed("Edge Update client ID history",
                    Format("%lu rotation(s)", static_cast<unsigned long>(edge.rotations.value_or(0))),
                    "HKLM\\...\\EdgeUpdate\\uid-num-rotations");
        }
        c.State("Edge Update previous client ID (old-uid)", edge.oldUid, "HKLM\\...\\EdgeUpdate\\old-uid", Role::Identifier);
    }

    if (!in.officeInstallId.empty()) {
        c.Add("ms.office_install_id", "Office Click-to-Run install ID", in.officeInstallId, SignalScope::PerInstall, 3,
              "os", "HKLM\\...\\Office\\ClickToRun\\Configuration\\InstallID");
        c.Fixed("Office Click-to-Run products",
                Trim(in.officeReleaseIds + " " + in.officeVersion + " " + in.officePlatform),
                "ClickToRun\\Configuration (ProductReleaseIds, VersionToReport, Platform)");
        if (!in.officeChannel.empty()) {
            const size_t slash = in.officeChannel.rfind('/');
            const std::string segment = slash == std::string::npos ? in.officeChannel : in.officeChannel.substr(slash + 1);
            const std::string name = OfficeChannelName(segment);
            c.Fixed("Office update channel", name.empty() ? segment : name + "; " + segment,
                    "ClickToRun\\Configuration\\UpdateChannel");
        }
        c.State("Office audience ID", in.officeAudience, "ClickToRun\\Configuration\\AudienceId (update ring)");
    }

    if (!in.officeMotherboardUuid.empty()) {
        const std::string smbios = GetFact(c.s, fact::kSmbiosUuid);
        const bool equal = !smbios.empty() && AlnumLower(smbios) == AlnumLower(in.officeMotherboardUuid);
        c.Add("ms.office_device_id", "Office telemetry device ID (MotherboardUUID)", in.officeMotherboardUuid,
              SignalScope::PerInstall, 4, "os", "HKCU\\...\\Office\\Common\\ClientTelemetry\\MotherboardUUID",
              equal ? "equals the SMBIOS system UUID" : "does not equal the SMBIOS system UUID on this machine");
    }

    c.Add("ms.onedrive_device_id", "OneDrive device ID (DeviceIdForODC)", in.oneDriveDeviceId, SignalScope::PerInstall,
          3, "os", "HKCU\\SOFTWARE\\Microsoft\\OneDrive\\DeviceIdForODC");
    c.State("OneDrive originator ID (OriginatorIdForODC)", in.oneDriveOriginatorId,
            "HKCU\\...\\OneDrive\\OriginatorIdForODC", Role::Identifier);
    c.State("OneDrive box ID for Office (BoxIdForOffice)", in.oneDriveBoxId, "HKCU\\...\\OneDrive\\BoxIdForOffice",
            Role::Identifier);
    c.State("Office originator ID (OfficeOriginatorID)", in.officeOriginatorId, "HKCU\\...\\OneDrive\\OfficeOriginatorID",
            Role::Identifier);
    c.State("OneDrive machine GUID collection", in.oneDriveMachineGuids,
            "HKCU\\...\\OneDrive\\MachineGuidCollection (copy of the Windows MachineGuid)", Role::Identifier);
    if (in.oneDriveEverSignedIn)
        c.State("OneDrive client ever signed in", YesNo(*in.oneDriveEverSignedIn != 0),
                "HKCU\\...\\OneDrive\\ClientEverSignedIn");
    if (!in.oneDriveAccounts.empty())
        c.State("OneDrive accounts configured", Join(in.oneDriveAccounts, ", "),
                "HKCU\\...\\OneDrive\\Accounts (subkey names only)");

    if (!in.cdpSettings.empty()) {
        const std::string_view text(reinterpret_cast<const char*>(in.cdpSettings.data()), in.cdpSettings.size());
        c.Add("ms.cdp_device_id", "Connected Devices Platform virtual device ID", ExtractJsonString(text, "VirtualDeviceId"),
              SignalScope::PerInstall, 4, "os", "%LOCALAPPDATA%\\ConnectedDevicesPlatform\\CDPGlobalSettings.cdp",
              "identity of this device in cross-device experiences (activity history, nearby sharing, phone link)");
    }
}

bool IsAllZeroMac(const std::string& mac) {
    return std::all_of(mac.begin(), mac.end(), [](char ch) { return ch == '0' || ch == ':' || ch == '-'; });
}

Table Autopilot(Context& c, const MicrosoftSource& in) {
    Table t = MakeTable("microsoft", table::kMsAutopilot, "Autopilot hardware hash (MDM_DevDetail_Ext01)",
                        FieldColumns(),
                        "The OA3 hardware hash that Windows Autopilot and Intune use to recognise a device: a "
                        "Microsoft-defined record set covering the TPM endorsement key, SMBIOS serial and UUID, disk, "
                        "network, memory, display and GPU identifiers and the product key ID. Read through the MDM "
                        "bridge WMI provider, which needs administrator rights. The raw value keeps the mask of the "
                        "identifiers it embeds.");
    if (!in.elevated) {
        const std::string denied = "[info] needs administrator rights (MDM bridge WMI provider)";
        AddField(t, "DeviceHardwareData", denied, Role::Program);
        AddRow(c.ids, {kAutopilotName, denied, "per-unit", kBridgeSource}, {Role::Undeclared, Role::Program});
        SetFact(c.s, fact::kMsAutopilotDenied, "1");
        return t;
    }
    if (!in.devDetailOk || in.hardwareData.empty()) {
        const std::string error = in.devDetailError.empty() ? "empty result" : in.devDetailError;
        AddField(t, "DeviceHardwareData", "[info] not available: " + error, Role::Program);
        AddRow(c.ids, {kAutopilotName, "[info] not available: " + error, "per-unit", kBridgeSource},
               {Role::Undeclared, Role::Program});
        return t;
    }
    const AutopilotHashInfo info = ParseAutopilotHash(in.hardwareBytes.data(), in.hardwareBytes.size());
    const std::string whole = Sha256HexOf(in.hardwareData.data(), in.hardwareData.size());
    const std::string identity = info.parsed ? info.identityHash : whole;
    AddField(t, "DeviceHardwareData (base64)", in.hardwareData, Role::Identifier);
    // The hashes identify this device as well as the value they hash does.
    AddRow(t, {info.parsed ? "Identity hash (SHA-256 of all records except the time-stamp record)"
                           : "Identity hash (SHA-256 of the whole value, includes the time stamp)",
               identity},
           {Role::Undeclared, Role::Identifier});
    AddField(t, "SHA-256 of the whole value", whole, Role::Identifier);
    if (info.parsed) {
        AddRow(t, {"Records", Format("%d (types %s), %zu bytes of %zu decoded", info.recordCount,
                                     info.recordTypes.c_str(), static_cast<size_t>(info.totalLength),
                                     in.hardwareBytes.size())},
               {Role::Undeclared, Role::Maker});
        // When the hash was taken, to the second: dates this installation.
        if (!info.harvestTime.empty())
            AddField(t, "Harvest time stamp (record type 1)", info.harvestTime, Role::Time);
    } else {
        AddField(t, "Records", Format("not parsed (%zu bytes decoded)", in.hardwareBytes.size()), Role::Maker);
    }
    const bool mac = !in.wlanMac.empty() && !IsAllZeroMac(in.wlanMac);
    AddRow(t, {"WLANMACAddress", mac ? in.wlanMac : "not reported by the bridge on desktop editions"},
           {Role::Undeclared, mac ? Role::Identifier : Role::Program});
    AddRow(c.ids, {kAutopilotName, identity, "per-unit",
                   std::string(kBridgeSource) + " (identity hash; full value in the Autopilot table)"},
           {Role::Undeclared, Role::Identifier});
    c.s.signals.push_back(MakeSignal(
        sig::kMsAutopilotHash, kCategory, "Autopilot hardware hash (identity hash)", identity, SignalScope::PerUnit, 10,
        "", Role::Identifier, "MDM_DevDetail_Ext01.DeviceHardwareData",
        "SHA-256 of the OA3 records without the time-stamp record; changes when any covered component (TPM, board, "
        "disk, NIC, RAM, display, GPU, product key) changes, so the components are matched individually instead",
        1.0));
    SetFact(c.s, fact::kMsAutopilotHash, "1");
    if (mac) {
        SetFact(c.s, fact::kMsWlanMac, in.wlanMac);
        c.Add(sig::kMsWlanMac, "Wi-Fi MAC reported to MDM", in.wlanMac, SignalScope::PerUnit, 5, "network",
              "MDM_DevDetail_Ext01.WLANMACAddress");
    }
    return t;
}

}  // namespace

std::string TelemetryLevelName(uint32_t value) {
    switch (value) {
        case 0: return "0 - Security (Enterprise, Education and Server only; Required elsewhere)";
        case 1: return "1 - Required";
        case 2: return "2 - Enhanced (treated as Required on Windows 11)";
        case 3: return "3 - Optional (full)";
        default: return Lu(value) + " - unknown value";
    }
}

std::string OfficeChannelName(std::string_view text) {
    static constexpr struct {
        const char* guid;
        const char* name;
    } kChannels[] = {
        {"492350f6-3a01-4f97-b9c0-c7c6ddf67d60", "Current Channel"},
        {"64256afe-f5d9-4f86-8936-8840a6a4f5be", "Current Channel (Preview)"},
        {"55336b82-a18d-4dd6-b5f6-9e5095c314a6", "Monthly Enterprise Channel"},
        {"7ffbc6bf-bc32-4f92-8982-f9dd17fd3114", "Semi-Annual Enterprise Channel"},
        {"b8f9b850-328d-4350-8fd3-80e2a2e4f0f3", "Semi-Annual Enterprise Channel (Preview)"},
        {"5440fd1f-7ecb-4221-8110-145efaa6372f", "Beta Channel"},
    };
    if (text.size() < 36) return {};
    const std::string lower = ToLower(std::string(text));
    for (const auto& ch : kChannels)
        if (lower.find(ch.guid) != std::string::npos) return ch.name;
    return {};
}

std::string ExtractUtf16Strings(const uint8_t* data, size_t n) {
    std::vector<std::string> runs;
    for (size_t start = 0; start < 2; ++start) {
        std::string run;
        auto flush = [&] {
            if (run.size() >= 4) runs.push_back(run);
            run.clear();
        };
        for (size_t i = start; i + 1 < n; i += 2) {
            const uint16_t unit = Le16(data + i);
            if (unit >= 32 && unit <= 126)
                run.push_back(static_cast<char>(unit));
            else
                flush();
        }
        flush();
    }
    return Join(runs, " | ");
}

std::string ExtractJsonString(std::string_view text, std::string_view key) {
    std::string quoted(key.size() + 2, '"');
    key.copy(quoted.data() + 1, key.size());
    size_t at = text.find(quoted);
    if (at == std::string_view::npos) return {};
    at = text.find(':', at + quoted.size());
    if (at == std::string_view::npos) return {};
    const size_t open = text.find('"', at);
    if (open == std::string_view::npos) return {};
    const size_t close = text.find('"', open + 1);
    if (close == std::string_view::npos || close - open - 1 > 200) return {};
    return std::string(text.substr(open + 1, close - open - 1));
}

std::string AlnumLower(std::string_view text) {
    std::string out;
    for (char ch : text) {
        if ((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z')) out.push_back(ch);
        else if (ch >= 'A' && ch <= 'Z') out.push_back(static_cast<char>(ch - 'A' + 'a'));
    }
    return out;
}

std::string LicenseStatusName(int64_t status) {
    static constexpr const char* kNames[] = {"unlicensed",          "licensed",     "initial grace period",
                                             "additional grace period", "non-genuine grace period", "notification",
                                             "extended grace period"};
    return status >= 0 && status < 7 ? kNames[status] : "unknown";
}

AutopilotHashInfo ParseAutopilotHash(const uint8_t* data, size_t n) {
    AutopilotHashInfo info;
    if (n < 32 || data[0] != 'O' || data[1] != 'A') return info;
    info.totalLength = Le16(data + 2);
    const size_t total = info.totalLength;
    if (total < 8 || total > n) return info;
    Sha256Stream hash;
    std::vector<std::string> types;
    size_t pos = 4;
    while (pos + 4 <= total) {
        const uint8_t type = data[pos];
        const size_t size = Le16(data + pos + 2);
        if (size < 4 || pos + size > total) break;
        ++info.recordCount;
        types.push_back(std::to_string(type));
        if (type != 1) hash.Update(data + pos, size);
        if (type == 1 && size > 27)
            info.harvestTime = FormatUnixTimeUtc(static_cast<int64_t>(Le32(data + pos + 20)) + 946684800LL);
        pos += size;
    }
    if (info.recordCount == 0) return info;
    const std::vector<uint8_t> digest = hash.Finish();
    info.identityHash = HexEncode(digest);
    info.recordTypes = Join(types, ",");
    info.parsed = true;
    return info;
}

void CollectMicrosoftFrom(Snapshot& s, const MicrosoftSource& in) {
    Table ids = MakeIdentifierTable("microsoft", table::kMsIds, "Microsoft and telemetry identifiers",
                                    "Identifiers that Microsoft services keep for this device and this installation, "
                                    "shown as stored. None of them is a secret; product keys and account credentials "
                                    "are never read. Rows that restate identifiers hidden elsewhere keep their mask.");
    Context c{s, ids};
    DiagnosticData(c, in);
    MicrosoftAccounts(c, in);
    Licensing(c, in);
    UserAndDomain(c, in);
    const bool joined = EntraRecords(c, in.entraJoined, "joined");
    const bool registered = EntraRecords(c, in.entraRegistered, "registered");
    if (!joined && !registered)
        c.Fixed("Microsoft Entra", "not joined, not registered", "CloudDomainJoin\\JoinInfo, WorkplaceJoin\\JoinInfo");
    Table enrollments = Enrollments(c, in);
    Applications(c, in);
    Table autopilot = Autopilot(c, in);
    s.tables.push_back(std::move(ids));
    s.tables.push_back(std::move(enrollments));
    s.tables.push_back(std::move(autopilot));
}

}  // namespace vorq
