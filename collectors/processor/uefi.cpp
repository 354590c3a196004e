#include "collectors/processor/uefi.h"

#include <algorithm>

#include "core/byte_view.h"
#include "core/hash.h"

namespace vorq {
namespace {

constexpr const char* kGlobalVariables = "{8be4df61-93ca-11d2-aa0d-00e098032b8c}";
constexpr const char* kImageSecurityDatabase = "{d719b2cb-3d3a-4596-a3bc-dad00e67656f}";
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorPrivilegeNotHeld = 1314;
constexpr const char* kBcdObjects = "BCD00000000\\Objects\\";
constexpr const char* kBootManager = "{9dea862c-5cdd-4e70-acc1-f32b344d4795}";
constexpr const char* kGuestParametersSource = "HKLM\\...\\Virtual Machine\\Guest\\Parameters";

const char* EsrtTypeName(uint32_t type) {
    switch (type) {
        case 1: return "system firmware";
        case 2: return "device firmware";
        case 3: return "UEFI driver";
        default: return "unknown";
    }
}

std::string Version(uint32_t v) { return Format("%u (0x%X)", v, v); }

void CollectEsrt(Snapshot& s, Table& t, const UefiSource& src) {
    std::vector<std::string> systemVersions;
    for (const EsrtEntry& e : src.esrt()) {
        AddRow(t, {e.guid, EsrtTypeName(e.type), Version(e.version), Version(e.lowestSupported),
                   Version(e.lastAttemptVersion), EsrtStatusName(e.lastAttemptStatus, e.lastAttemptVersion)});
        // The resource GUID names a firmware component of the model, not the unit.
        s.signals.push_back(MakeSignal(sig::kUefiEsrt, "UEFI",
                                       {"ESRT {t1} ({x1})", {{EsrtTypeName(e.type), Role::Program}, {e.guid, Role::Maker}}},
                                       Format("0x%X", e.version), SignalScope::PerModel, 3, "firmware", Role::Maker,
                                       "HKLM\\HARDWARE\\UEFI\\ESRT", "firmware build version", 1.0));
        if (e.type == 1) systemVersions.push_back(Format("%X", e.version));
    }
    if (!systemVersions.empty()) SetFact(s, fact::kUefiEsrtSysver, Join(systemVersions, ","));
    if (t.rows.empty()) t.note = "No ESRT entries: the firmware does not publish capsule-update resources.";
}

struct Database {
    const char* name;
    const char* guid;
    const char* signalKey;
    int32_t weight;
    const char* entryText;
};

constexpr Database kDatabases[] = {
    {"PK", kGlobalVariables, "uefi.pk", 4, "X.509 certificate"},
    {"KEK", kGlobalVariables, "uefi.kek", 2, "X.509 certificate"},
    {"db", kImageSecurityDatabase, "uefi.db", 2, "X.509 certificate"},
    {"dbx", kImageSecurityDatabase, "", 0, "X.509 certificate (revoked)"},
};

void CollectDatabases(Snapshot& s, Table& t, const UefiSource& src, Bytes& bytes, uint32_t& error) {
    for (const Database& d : kDatabases) {
        const std::string name = d.name;
        if (!ReadFirmwareVariable(src, name, d.guid, bytes, error)) {
            AddRow(t, {name, "[info] not readable: " + src.errorText(error), "", "", ""});
            continue;
        }
        const SignatureListSummary sum = ParseSignatureList(bytes.data(), bytes.size(), src.certNamer);
        const std::string hash = Sha256Hex(bytes.data(), bytes.size());
        std::string text = Format("%zu bytes, %d signature list(s): %zu certificate(s), %d hash entries", bytes.size(),
                                  sum.lists, sum.certificates.size(), sum.hashEntries);
        if (sum.otherEntries != 0) text += Format(", %d other entries", sum.otherEntries);
        if (sum.unparsedBytes != 0) text += Format(", %zu unparsed bytes", sum.unparsedBytes);
        AddRow(t, {name, text, "", "", hash});
        for (const EfiCertificate& c : sum.certificates) {
            AddRow(t, {name, d.entryText, c.subject, c.issuer, c.sha256});
            if (name == "db") {
                if (ContainsNoCase(c.subject, "Windows UEFI CA 2023")) SetFact(s, fact::kUefiDbCa2023, "1");
                if (ContainsNoCase(c.subject, "Windows Production PCA 2011")) SetFact(s, fact::kUefiDbCa2011, "1");
            }
        }
        if (name == "db") SetFact(s, fact::kUefiDbRead, "1");
        if (d.weight != 0) {
            s.signals.push_back(MakeSignal(d.signalKey, "UEFI", "Secure Boot " + name + " (variable hash)", hash,
                                           SignalScope::PerModel, d.weight, "firmware", Role::Maker,
                                           "GetFirmwareEnvironmentVariable",
                                           name == "PK" ? "OEM platform key - usually the same for one model" : "", 1.0));
        }
        if (name == "PK" && !sum.certificates.empty()) SetFact(s, fact::kUefiPkSubject, sum.certificates.front().subject);
    }
}

void CollectSecureBoot(Snapshot& s, Table& t, const UefiSource& src) {
    if (src.firmwareType() == kFirmwareTypeBios) {
        t.note += " Legacy BIOS boot: there are no UEFI variables.";
        return;
    }
    const bool privilege = src.systemEnvironmentPrivilege(true);
    Bytes bytes;
    uint32_t error = 0;
    auto flag = [&](const char* name) -> std::string {
        if (!ReadFirmwareVariable(src, name, kGlobalVariables, bytes, error) || bytes.empty()) return "";
        return bytes[0] ? "1" : "0";
    };
    const std::string secureBoot = flag("SecureBoot");
    if (!privilege || (secureBoot.empty() && error == kErrorPrivilegeNotHeld)) {
        t.note += " Not readable in this session: run as administrator.";
        SetFact(s, fact::kUefiVarsDenied, "1");
    } else if (secureBoot.empty()) {
        t.note += " The firmware exposes no Secure Boot variables (" + src.errorText(error) + ").";
    } else {
        SetFact(s, fact::kUefiVarsOk, "1");
        const std::string setup = flag("SetupMode");
        const std::string audit = flag("AuditMode");
        const std::string deployed = flag("DeployedMode");
        AddRow(t, {"SecureBoot", secureBoot == "1" ? "[ok] 1 (enforcing)" : "[warn] 0 (not enforcing)", "", "", ""});
        SetFact(s, fact::kUefiSecurebootVar, secureBoot);
        if (!setup.empty())
            AddRow(t, {"SetupMode",
                       setup == "1" ? "[warn] 1 (setup mode - key database can be changed without authentication)"
                                    : "[ok] 0 (user mode)",
                       "", "", ""});
        if (!audit.empty()) AddRow(t, {"AuditMode", audit == "1" ? "[warn] 1 (audit mode)" : "[ok] 0", "", "", ""});
        if (!deployed.empty())
            AddRow(t, {"DeployedMode", deployed == "1" ? "[ok] 1 (deployed mode)" : "[info] 0", "", "", ""});
        CollectDatabases(s, t, src, bytes, error);
    }
    if (privilege) src.systemEnvironmentPrivilege(false);
}

// Adds a boot entry's row; a description a person set (bcdedit /set
// description) is masked and masks every text that holds it.
void AddBcdRow(Table& t, const char* entry, const std::string& object, const std::string& description) {
    const bool chosen = !description.empty() && !IsGivenBootDescription(description);
    AddRow(t, {entry, object, description}, {Role::Undeclared, Role::Undeclared, chosen ? Role::Typed : Role::Program});
}

void CollectBcd(Snapshot& s, Table& t, const UefiSource& src) {
    auto elements = [](const std::string& object) { return kBcdObjects + object + "\\Elements\\"; };
    auto read = [&](const std::string& object, const char* element) {
        std::string v;
        if (!src.regString(elements(object) + element, "Element", &v)) v.clear();
        return v;
    };
    auto description = [&](const std::string& object) { return read(object, "12000004"); };

    const std::string def = read(kBootManager, "23000003");
    std::vector<std::string> order;
    if (!src.regMultiSz(elements(kBootManager) + "24000001", "Element", &order)) order.clear();
    if (def.empty() && order.empty()) {
        t.note += s.elevated ? " The BCD store is not mounted under HKLM\\BCD00000000 on this system."
                             : " Needs administrator rights.";
        return;
    }
    if (!def.empty()) {
        AddBcdRow(t, "Default loader", def, description(def));
        s.signals.push_back(MakeSignal(sig::kUefiBcdDefault, "UEFI", "BCD default boot entry", def, SignalScope::PerInstall,
                                       5, "os", Role::Identifier, "HKLM\\BCD00000000 (boot manager element 23000003)",
                                       "generated by Windows setup", 1.0));
        const std::string resume = read(def, "23000003");
        if (!resume.empty()) AddBcdRow(t, "Resume object", resume, description(resume));
    }
    for (const std::string& entry : order)
        if (entry != def) AddBcdRow(t, "Display order", entry, description(entry));
}

void CollectGuestParameters(Snapshot& s, Table& t, const UefiSource& src) {
    int32_t status = 0;
    const auto values = src.guestParameters(&status);
    SetFact(s, fact::kHvParametersStatus,
            status == 0                                                ? "ok"
            : status == static_cast<int32_t>(kErrorFileNotFound) ||
                      status == static_cast<int32_t>(kErrorPathNotFound) ? "absent"
                                                                         : "error");
    std::string fullHost, plainHost;
    for (const auto& [name, text] : values) {
        const bool sensitive = name == "HostName" || StartsWithNoCase(name, "PhysicalHostName") ||
                               name == "VirtualMachineId" || name == "VirtualMachineName";
        AddField(t, name, text, sensitive ? Role::Identifier : Role::Maker);
        if (name == col::platform_hvguest::kVirtualMachineId)
            s.signals.push_back(MakeSignal(sig::kHvVmId, "Virtualization", "Hyper-V virtual machine ID", text,
                                           SignalScope::PerInstall, 10, "os", Role::Identifier, kGuestParametersSource, "", 1.0));
        if (name == "PhysicalHostNameFullyQualified") fullHost = text;
        if (name == col::platform_hvguest::kPhysicalHostName) plainHost = text;
    }
    const std::string host = fullHost.empty() ? plainHost : fullHost;
    if (!host.empty())
        s.signals.push_back(MakeSignal(sig::kHvHost, "Virtualization", "Hyper-V physical host", host, SignalScope::State, 3, "",
                                       Role::Identifier, kGuestParametersSource,
                                       "shared by every VM on the host and changes on migration - context, not an "
                                       "identity anchor",
                                       1.0));
}

void CollectGenerationId(Snapshot& s, Table& t, const UefiSource& src) {
    const GenerationIdRead g = src.generationId();
    if (!g.opened) {
        const bool absent = g.openError == kErrorFileNotFound || g.openError == kErrorPathNotFound;
        SetFact(s, fact::kHvVmGenidStatus, absent ? "absent" : "error");
        return;
    }
    SetFact(s, fact::kHvVmGenidStatus, "ok");
    if (!g.readOk) {
        SetFact(s, fact::kHvVmGenidStatus, "error");
        AddField(t, col::platform_hvguest::kVmGenerationId,
                 col::platform_hvguest::kGenerationIdReadFailed + src.errorText(g.readError), Role::Program);
        return;
    }
    const ByteView id16(g.bytes);
    const unsigned long long low = *id16.Le64(0);
    const unsigned long long high = *id16.Le64(8);
    const std::string id = Format("%016llX%016llX", high, low);
    AddField(t, col::platform_hvguest::kVmGenerationId, id, Role::Identifier);
    s.signals.push_back(MakeSignal(sig::kHvVmGenid, "Virtualization", "VM generation ID", id, SignalScope::PerInstall, 6, "",
                                   Role::Identifier, "\\\\.\\VmGenerationCounter (ACPI VMGENID device)",
                                   "changed by the hypervisor when the VM is cloned, imported or restored from a snapshot",
                                   1.0));
    SetFact(s, fact::kHvVmGenid, "1");
}

}  // namespace

bool IsGivenBootDescription(std::string_view description) {
    static constexpr std::string_view kGiven[] = {
        "Windows Boot Manager",  "Windows Boot Loader", "Windows Resume Application", "Windows Memory Diagnostic",
        "Windows Recovery Environment", "Windows Setup", "Windows Legacy OS Loader", "Windows PE", "Windows",
        "Windows 7",             "Windows 8",           "Windows 8.1",                "Windows 10",
        "Windows 11",            "Windows Server",      "Windows Server 2016",        "Windows Server 2019",
        "Windows Server 2022",   "Windows Server 2025", "Windows Vista",
    };
    return std::any_of(std::begin(kGiven), std::end(kGiven),
                       [&](std::string_view g) { return EqualsNoCase(description, g); });
}

std::string EsrtStatusName(uint32_t status, uint32_t lastAttemptVersion) {
    switch (status) {
        case 0: return lastAttemptVersion != 0 ? "success" : "never attempted";
        case 1: return "unsuccessful";
        case 2: return "insufficient resources";
        case 3: return "incorrect version";
        case 4: return "invalid image format";
        case 5: return "authentication error";
        case 6: return "power event (AC)";
        case 7: return "power event (battery)";
        case 8: return "unsatisfied dependencies";
        default: break;
    }
    if (status >= 0x1000 && status <= 0x3FFF) return Format("vendor-specific error 0x%X", status);
    return Format("unknown status %u", status);
}

bool ReadFirmwareVariable(const UefiSource& src, const std::string& name, const std::string& guid, Bytes& bytes,
                          uint32_t& error) {
    bytes.assign(64 * 1024, 0);
    uint32_t err = 0;
    uint32_t n = src.getVariable(name, guid, bytes.data(), static_cast<uint32_t>(bytes.size()), &err);
    if (n == 0) {
        if (err != kErrorInsufficientBuffer) {
            error = err;
            return false;
        }
        bytes.assign(1024 * 1024, 0);
        err = 0;
        n = src.getVariable(name, guid, bytes.data(), static_cast<uint32_t>(bytes.size()), &err);
        if (n == 0) {
            error = err;
            return false;
        }
    }
    if (n < bytes.size()) bytes.resize(n);
    return true;
}

void CollectUefiFrom(Snapshot& s, const UefiSource& src) {
    Table esrt = MakeTable("firmware", table::kUefiEsrt, "EFI System Resource Table (ESRT)",
                           {{"Firmware resource", Role::Maker}, {"Type", Role::Program}, {"Version", Role::Maker}, {"Lowest supported", Role::Maker}, {"Last attempt", Role::Maker}, {"Last status", Role::Program}},
                           "Firmware resources the platform exposes for capsule updates (firmware delivered through "
                           "Windows Update). The resource GUID is assigned per model; the version identifies the firmware "
                           "build.");
    Table secureBoot = MakeTable("firmware", table::kUefiSecureboot, "Secure Boot variables (PK / KEK / db / dbx)",
                                 {{"Variable", Role::Program}, {"Entry", Role::Program}, {"Subject", Role::Maker}, {"Issuer", Role::Maker}, {"SHA-256", Role::Maker}},
                                 "UEFI authenticated variables read with GetFirmwareEnvironmentVariable (administrator "
                                 "rights). The platform key (PK) is the OEM root for this model; db lists the "
                                 "certificates and hashes allowed to boot; dbx is the revocation list.");
    Table bcd = MakeTable("firmware", table::kUefiBcd, "Boot configuration (BCD)", {{"Entry", Role::Program}, {"Object GUID", Role::Identifier}, {"Description", Role::Typed}},
                          "Boot manager and loader objects from the BCD store (HKLM\\BCD00000000, administrator rights). "
                          "Loader object GUIDs are generated when Windows is installed.");
    Table guest = MakeTable("platform", table::kPlatformHvguest, "Virtual machine parameters", {{"Parameter", Role::Program}, {"Value", Role::Field}},
                            "Written by the Hyper-V integration services inside a virtual machine (the VM identity and "
                            "the physical host that runs it), plus the VM generation ID that any hypervisor with an ACPI "
                            "VMGENID device exposes: a 128-bit value changed when the VM is cloned, imported or restored "
                            "from a snapshot.");

    CollectEsrt(s, esrt, src);
    CollectSecureBoot(s, secureBoot, src);
    CollectBcd(s, bcd, src);
    CollectGuestParameters(s, guest, src);
    CollectGenerationId(s, guest, src);

    s.tables.push_back(std::move(esrt));
    s.tables.push_back(std::move(secureBoot));
    s.tables.push_back(std::move(bcd));
    s.tables.push_back(std::move(guest));
}

}  // namespace vorq
