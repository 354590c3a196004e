#include <windows.h>
// clang-format off
#include <lm.h>
#include <wincrypt.h>
// clang-format on

#include "collectors/trust/microsoft.h"
#include "collectors/trust/windows_os_win.h"
#include "core/registry_win.h"
#include "core/win.h"
#include "core/wmi_win.h"

namespace vorq {

namespace {

struct NetBufferTraits {
    using Type = void*;
    static void* Invalid() { return nullptr; }
    static void Close(void* p) { NetApiBufferFree(p); }
};

const HKEY kLm = HKEY_LOCAL_MACHINE;
const HKEY kCu = HKEY_CURRENT_USER;

std::vector<std::string> SubkeyNames(HKEY root, const wchar_t* subkey) {
    std::vector<std::string> names;
    for (const std::wstring& n : RegEnumSubkeys(root, subkey)) names.push_back(WStringToUtf8(n));
    return names;
}

std::vector<EntraRecord> ReadEntraJoinInfo(HKEY root, const std::wstring& path) {
    std::vector<EntraRecord> records;
    for (const std::wstring& sub : RegEnumSubkeys(root, path.c_str())) {
        const std::wstring key = path + L"\\" + sub;
        EntraRecord r;
        r.subkey = WStringToUtf8(sub);
        r.deviceId = ReadRegistryString(root, key.c_str(), L"DeviceId");
        r.tenantId = ReadRegistryString(root, key.c_str(), L"TenantId");
        r.idpDomain = ReadRegistryString(root, key.c_str(), L"IdpDomain");
        r.userEmail = ReadRegistryString(root, key.c_str(), L"UserEmail");
        records.push_back(std::move(r));
    }
    return records;
}

EdgeUpdateSource ReadEdgeUpdate(const wchar_t* key) {
    EdgeUpdateSource e;
    e.uid = ReadRegistryString(kLm, key, L"uid");
    if (e.uid.empty()) return e;
    e.createTime = ReadRegistryDword(kLm, key, L"uid-create-time");
    e.rotations = ReadRegistryDword(kLm, key, L"uid-num-rotations");
    e.oldUid = ReadRegistryString(kLm, key, L"old-uid");
    return e;
}

// The file when it holds 1 to `limit` bytes; shared for reading, writing and deleting.
Bytes ReadSmallFile(const std::wstring& path, size_t limit) {
    UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) return {};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f.get(), &size) || size.QuadPart <= 0 || static_cast<uint64_t>(size.QuadPart) > limit) return {};
    Bytes data(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr)) return {};
    data.resize(read);
    return data;
}

Bytes ReadCdpSettings() {
    wchar_t folder[261] = {};
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, 261);
    if (n == 0 || n > 260) return {};
    return ReadSmallFile(std::wstring(folder, n) + L"\\ConnectedDevicesPlatform\\CDPGlobalSettings.cdp", 1048576);
}

Bytes DecodeBase64(const std::string& text) {
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, nullptr, &size,
                              nullptr, nullptr) ||
        size == 0)
        return {};
    Bytes bytes(size);
    if (!CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, bytes.data(), &size,
                              nullptr, nullptr))
        return {};
    bytes.resize(size);
    return bytes;
}

void ReadLicensing(MicrosoftSource& in) {
    std::string error;
    RunWmiQuery(L"ROOT\\CIMV2", L"SELECT ClientMachineID, RemainingWindowsReArmCount FROM SoftwareLicensingService",
                [&](IWbemClassObject* row) {
                    in.clientMachineId = GetWmiString(row, L"ClientMachineID");
                    GetWmiInteger(row, L"RemainingWindowsReArmCount", in.rearmCount);
                },
                error);
    RunWmiQuery(L"ROOT\\CIMV2",
                L"SELECT Name, ProductKeyChannel, LicenseStatus FROM SoftwareLicensingProduct WHERE "
                L"ApplicationID='55c92734-d682-4d71-983e-d6ec3f16059f' AND LicenseStatus<>0",
                [&](IWbemClassObject* row) {
                    if (!in.productName.empty()) return;
                    in.productName = GetWmiString(row, L"Name");
                    in.keyChannel = GetWmiString(row, L"ProductKeyChannel");
                    GetWmiInteger(row, L"LicenseStatus", in.licenseStatus);
                },
                error);
}

void ReadEnrollments(MicrosoftSource& in) {
    constexpr wchar_t kRoot[] = L"SOFTWARE\\Microsoft\\Enrollments";
    for (const std::wstring& sub : RegEnumSubkeys(kLm, kRoot)) {
        const std::wstring key = std::wstring(kRoot) + L"\\" + sub;
        EnrollmentSource e;
        e.subkey = WStringToUtf8(sub);
        e.type = ReadRegistryDword(kLm, key.c_str(), L"EnrollmentType");
        if (!e.type) continue;
        e.providerId = ReadRegistryString(kLm, key.c_str(), L"ProviderID");
        e.upn = ReadRegistryString(kLm, key.c_str(), L"UPN");
        e.discoveryUrl = ReadRegistryString(kLm, key.c_str(), L"DiscoveryServiceFullURL");
        e.entDmid = ReadRegistryString(kLm, (key + L"\\DMClient\\MS DM Server").c_str(), L"EntDMID");
        in.enrollments.push_back(std::move(e));
    }
    in.omadmAccounts = RegEnumSubkeys(kLm, L"SOFTWARE\\Microsoft\\Provisioning\\OMADM\\Accounts").size();
}

void ReadDevDetail(MicrosoftSource& in) {
    in.devDetailOk = RunWmiQuery(L"ROOT\\CIMV2\\MDM\\DMMAP",
                                 L"SELECT DeviceHardwareData, WLANMACAddress FROM MDM_DevDetail_Ext01",
                                 [&](IWbemClassObject* row) {
                                     in.hardwareData = GetWmiString(row, L"DeviceHardwareData");
                                     in.wlanMac = GetWmiString(row, L"WLANMACAddress");
                                 },
                                 in.devDetailError);
    if (in.devDetailOk && !in.hardwareData.empty()) in.hardwareBytes = DecodeBase64(in.hardwareData);
}

}  // namespace

void CollectMicrosoft(Snapshot& s) {
    MicrosoftSource in;
    in.elevated = s.elevated;
    in.currentUserSid = CurrentUserSid();
    in.sqmMachineId = ReadRegistryString(kLm, L"SOFTWARE\\Microsoft\\SQMClient", L"MachineId");
    constexpr wchar_t kPolicies[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\DataCollection";
    in.telemetryPolicy = ReadRegistryDword(kLm, kPolicies, L"AllowTelemetry");
    in.telemetryMachine = ReadRegistryDword(kLm, L"SOFTWARE\\Policies\\Microsoft\\Windows\\DataCollection", L"AllowTelemetry");
    in.telemetryUser = ReadRegistryDword(kCu, L"SOFTWARE\\Policies\\Microsoft\\Windows\\DataCollection", L"AllowTelemetry");
    in.telemetryMdm = ReadRegistryDword(kLm, L"SOFTWARE\\Microsoft\\PolicyManager\\current\\device\\System", L"AllowTelemetry");
    in.telemetryMax = ReadRegistryDword(kLm, kPolicies, L"MaxTelemetryAllowed");
    in.ceipEnable = ReadRegistryDword(kLm, L"SOFTWARE\\Microsoft\\SQMClient\\Windows", L"CEIPEnable");
    constexpr wchar_t kAdvertising[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\AdvertisingInfo";
    in.advertisingId = ReadRegistryString(kCu, kAdvertising, L"Id");
    in.advertisingEnabled = ReadRegistryDword(kCu, kAdvertising, L"Enabled");
    Bytes validation;
    if (RegReadBinary(kLm, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate", L"SusClientIdValidation",
                      validation))
        in.susValidation = std::move(validation);
    in.xboxDeviceId = ReadRegistryString(kLm, L"SOFTWARE\\Microsoft\\XboxLive", L"DeviceId");
    const std::wstring production = L"S-1-5-18\\Software\\Microsoft\\IdentityCRL\\DeviceIdentities\\production";
    for (const std::wstring& sid : RegEnumSubkeys(HKEY_USERS, production.c_str()))
        in.msaDevices.emplace_back(WStringToUtf8(sid),
                                   ReadRegistryString(HKEY_USERS, (production + L"\\" + sid).c_str(), L"ValidDeviceId"));
    ReadLicensing(in);
    std::string user;
    if (CurrentUserName(user)) in.userName = user;
    wchar_t* joinName = nullptr;
    NETSETUP_JOIN_STATUS status = NetSetupUnknownStatus;
    const NET_API_STATUS joined = NetGetJoinInformation(nullptr, &joinName, &status);
    const UniqueResource<NetBufferTraits> ownedName(joinName);
    if (joined == NERR_Success) {
        in.joinRead = true;
        in.joinStatus = static_cast<uint32_t>(status);
        in.joinName = ToUtf8Ptr(joinName);
    }
    in.entraJoined = ReadEntraJoinInfo(kLm, L"SYSTEM\\CurrentControlSet\\Control\\CloudDomainJoin\\JoinInfo");
    in.entraRegistered = ReadEntraJoinInfo(kCu, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\WorkplaceJoin\\JoinInfo");
    ReadEnrollments(in);
    constexpr wchar_t kAutopilot[] = L"SOFTWARE\\Microsoft\\Provisioning\\Diagnostics\\AutoPilot";
    in.autopilotTenantId = ReadRegistryString(kLm, kAutopilot, L"CloudAssignedTenantId");
    in.autopilotTenantDomain = ReadRegistryString(kLm, kAutopilot, L"CloudAssignedTenantDomain");
    constexpr wchar_t kStore[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Store\\Configuration";
    in.storeOemId = ReadRegistryString(kLm, kStore, L"OEMID");
    in.storeScmId = ReadRegistryString(kLm, kStore, L"SCMID");
    in.edgeWow = ReadEdgeUpdate(L"SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate");
    if (in.edgeWow.uid.empty()) in.edgeNative = ReadEdgeUpdate(L"SOFTWARE\\Microsoft\\EdgeUpdate");
    constexpr wchar_t kC2r[] = L"SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration";
    in.officeInstallId = ReadRegistryString(kLm, kC2r, L"InstallID");
    if (!in.officeInstallId.empty()) {
        in.officeReleaseIds = ReadRegistryString(kLm, kC2r, L"ProductReleaseIds");
        in.officeVersion = ReadRegistryString(kLm, kC2r, L"VersionToReport");
        in.officePlatform = ReadRegistryString(kLm, kC2r, L"Platform");
        in.officeChannel = ReadRegistryString(kLm, kC2r, L"UpdateChannel");
        in.officeAudience = ReadRegistryString(kLm, kC2r, L"AudienceId");
    }
    in.officeMotherboardUuid =
        ReadRegistryString(kCu, L"SOFTWARE\\Microsoft\\Office\\Common\\ClientTelemetry", L"MotherboardUUID");
    constexpr wchar_t kOneDrive[] = L"SOFTWARE\\Microsoft\\OneDrive";
    in.oneDriveDeviceId = ReadRegistryString(kCu, kOneDrive, L"DeviceIdForODC");
    in.oneDriveOriginatorId = ReadRegistryString(kCu, kOneDrive, L"OriginatorIdForODC");
    in.oneDriveBoxId = ReadRegistryString(kCu, kOneDrive, L"BoxIdForOffice");
    in.officeOriginatorId = ReadRegistryString(kCu, kOneDrive, L"OfficeOriginatorID");
    in.oneDriveMachineGuids = ReadRegistryString(kCu, kOneDrive, L"MachineGuidCollection");
    in.oneDriveEverSignedIn = ReadRegistryDword(kCu, kOneDrive, L"ClientEverSignedIn");
    if (!RegEnumSubkeys(kCu, kOneDrive).empty()) {
        in.oneDriveAccounts = SubkeyNames(kCu, L"SOFTWARE\\Microsoft\\OneDrive\\Accounts");
        if (in.oneDriveAccounts.empty()) in.oneDriveAccounts.push_back("none");
    }
    in.cdpSettings = ReadCdpSettings();
    if (in.elevated) ReadDevDetail(in);
    CollectMicrosoftFrom(s, in);
}

}  // namespace vorq
