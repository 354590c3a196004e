// The Microsoft and cloud collector: identifiers Microsoft services keep for
// the device and the installation, licensing, Entra join, MDM enrollments and
// the Autopilot hardware hash. The keys below are the ones the cross-checks
// and the scoring read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/snapshot.h"
#include "core/text.h"

namespace vorq::fact {
inline constexpr char kMsSusValidation[] = "ms.sus_validation";      // "1" when the validation blob exists
inline constexpr char kMsRearm[] = "ms.rearm";                       // decimal, only when read
inline constexpr char kMsEntra[] = "ms.entra";                       // "1" once a join or registration exists
inline constexpr char kMsMdm[] = "ms.mdm";                           // "1" or "0", always written
inline constexpr char kMsAutopilotHash[] = "ms.autopilot_hash";      // "1" when the hardware hash was read
inline constexpr char kMsAutopilotDenied[] = "ms.autopilot_denied";  // "1" when not elevated
inline constexpr char kMsWlanMac[] = "ms.wlan_mac";                  // Wi-Fi MAC reported to MDM
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kMsEntraDeviceId[] = "ms.entra_device_id";
inline constexpr char kMsIntuneDeviceId[] = "ms.intune_device_id";
inline constexpr char kMsAutopilotHash[] = "ms.autopilot_hash";
inline constexpr char kMsWlanMac[] = "ms.wlan_mac";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kMsIds[] = "ms.ids";
inline constexpr char kMsEnrollments[] = "ms.enrollments";
inline constexpr char kMsAutopilot[] = "ms.autopilot";
}  // namespace vorq::table

namespace vorq::col::ms_ids {
inline constexpr size_t kIdentifier = 0, kValue = 1, kScope = 2, kSource = 3;
}

namespace vorq {

// One join or registration record under a JoinInfo key (named by the
// thumbprint of its certificate).
struct EntraRecord {
    std::string subkey, deviceId, tenantId, idpDomain, userEmail;
};

// One subkey of HKLM\SOFTWARE\Microsoft\Enrollments.
struct EnrollmentSource {
    std::string subkey;
    std::optional<uint32_t> type;
    std::string providerId, upn, entDmid, discoveryUrl;  // in the order of the table's columns
};

struct EdgeUpdateSource {
    std::string uid, oldUid;
    std::optional<uint32_t> createTime, rotations;
};

// What the Windows side reads; texts trimmed, absent values empty.
struct MicrosoftSource {
    bool elevated = false;
    std::string currentUserSid;
    std::string sqmMachineId;
    // AllowTelemetry: policies key, machine policy, user policy, MDM policy; then MaxTelemetryAllowed.
    std::optional<uint32_t> telemetryPolicy, telemetryMachine, telemetryUser, telemetryMdm, telemetryMax;
    std::optional<uint32_t> ceipEnable;
    std::string advertisingId;
    std::optional<uint32_t> advertisingEnabled;
    std::optional<Bytes> susValidation;
    std::string xboxDeviceId;
    std::vector<std::pair<std::string, std::string>> msaDevices;  // account SID, ValidDeviceId
    // Licensing service (WMI)
    std::string clientMachineId;
    int64_t rearmCount = -1;
    std::string productName, keyChannel;
    int64_t licenseStatus = -1;
    std::optional<std::string> userName;
    bool joinRead = false;  // NetGetJoinInformation succeeded
    uint32_t joinStatus = 0;
    std::string joinName;
    std::vector<EntraRecord> entraJoined, entraRegistered;
    std::vector<EnrollmentSource> enrollments;
    size_t omadmAccounts = 0;
    std::string autopilotTenantId, autopilotTenantDomain;
    std::string storeOemId, storeScmId;
    EdgeUpdateSource edgeWow, edgeNative;  // WOW6432Node first
    std::string officeInstallId, officeReleaseIds, officeVersion, officePlatform, officeChannel, officeAudience;
    std::string officeMotherboardUuid;
    std::string oneDriveDeviceId, oneDriveOriginatorId, oneDriveBoxId, officeOriginatorId, oneDriveMachineGuids;
    std::optional<uint32_t> oneDriveEverSignedIn;
    std::vector<std::string> oneDriveAccounts;
    Bytes cdpSettings;
    // MDM bridge (only queried when elevated)
    bool devDetailOk = false;
    std::string devDetailError, hardwareData, wlanMac;
    Bytes hardwareBytes;  // the base64 decoding of hardwareData
};

void CollectMicrosoftFrom(Snapshot& s, const MicrosoftSource& in);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectMicrosoft(Snapshot& s);

// "0 - Security ..." to "3 - Optional (full)", else "<n> - unknown value".
std::string TelemetryLevelName(uint32_t value);
// The Office update channel named by a GUID anywhere in the text; empty when none.
std::string OfficeChannelName(std::string_view text);
// Printable UTF-16LE runs of 4 or more characters, read at even and at odd offsets, joined with " | ".
std::string ExtractUtf16Strings(const uint8_t* data, size_t n);
// The string after "key": up to the next double quote; empty when missing or above 200 characters.
std::string ExtractJsonString(std::string_view text, std::string_view key);
// ASCII letters and digits, lower-cased.
std::string AlnumLower(std::string_view text);
// Licence status names of the licensing service; "unknown" for any other value.
std::string LicenseStatusName(int64_t status);

struct AutopilotHashInfo {
    bool parsed = false;
    std::string identityHash;  // SHA-256 of every record but the time stamp
    std::string harvestTime;
    std::string recordTypes;
    uint16_t totalLength = 0;
    int32_t recordCount = 0;
};
// Walks an OA3 hardware-hash record set; every size is checked against the input.
AutopilotHashInfo ParseAutopilotHash(const uint8_t* data, size_t n);

}  // namespace vorq
