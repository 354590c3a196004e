// The Windows collector: the installation's version, identifiers, lineage,
// user profiles, machine certificates, system id and hardware ids. The keys
// below are the ones later collectors, the cross-checks and the scoring read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/snapshot.h"

namespace vorq::fact {
inline constexpr char kOsBuild[] = "os.build";                   // decimal build number, "0" when unknown
inline constexpr char kOsText[] = "os.text";                     // "<product> <version> (build <b>.<ubr>)"
inline constexpr char kWinMachineSid[] = "win.machine_sid";      // account-domain SID text, empty when unreadable
inline constexpr char kWinSus[] = "win.sus";                     // "1" when a Windows Update client id exists
inline constexpr char kWinFirstInstall[] = "win.first_install";  // time text of the oldest lineage entry
inline constexpr char kWinLineageCount[] = "win.lineage_count";  // decimal, always written
inline constexpr char kWinRdpCerts[] = "win.rdp_certs";          // self-signed Remote Desktop certificates
inline constexpr char kWinSystemIdSource[] = "win.system_id_source";  // "TPM", "UEFI", "Registry", "None", "unavailable"
inline constexpr char kWinBootId[] = "win.boot_id";              // only when the counter exists
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kWinMachineGuid[] = "win.machine_guid";
inline constexpr char kWinMachineSid[] = "win.machine_sid";
inline constexpr char kWinSystemId[] = "win.system_id";
inline constexpr char kWinChid[] = "win.chid";
inline constexpr char kWinFirstInstall[] = "win.first_install";
inline constexpr char kWinProfileRids[] = "win.profile_rids";
inline constexpr char kWinRdpCert[] = "win.rdp_cert";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kWindowsOs[] = "windows.os";
inline constexpr char kWindowsIds[] = "windows.ids";
inline constexpr char kWindowsLineage[] = "windows.lineage";
inline constexpr char kWindowsProfiles[] = "windows.profiles";
inline constexpr char kWindowsCerts[] = "windows.certs";
inline constexpr char kWindowsChid[] = "windows.chid";
}  // namespace vorq::table

namespace vorq::col::windows_os {
inline constexpr size_t kProperty = 0, kValue = 1;
}
namespace vorq::col::windows_ids {
inline constexpr size_t kIdentifier = 0, kValue = 1, kScope = 2, kSource = 3;
}

namespace vorq {

// One "Source OS" record under HKLM\SYSTEM\Setup: an earlier Windows version
// this installation was upgraded from.
struct LineageSource {
    std::string entryName;
    std::string productName, displayVersion, currentBuildNumber, currentBuild;
    uint32_t ubr = 0;
    std::string editionId, installationType, buildGuid, productId;
    std::optional<uint64_t> installTime;  // FILETIME ticks
    std::optional<uint32_t> installDate;  // seconds since 1970
};

// One ProfileList entry.
struct ProfileSource {
    std::string sid;
    uint32_t loadHigh = 0, loadLow = 0, unloadHigh = 0, unloadLow = 0, state = 0;
    std::string imagePath;
    std::string shortPath;  // GetShortPathNameW of the expanded folder, when it answered
};

struct CertSource {
    std::string subject, issuer;
    bool selfSigned = false;
    std::optional<bool> basicConstraintsCa;  // set when that extension exists (false when it does not decode)
    std::optional<bool> subjectTypeCa;       // set when the older key-usage-restriction extension exists
    std::string keyAlgorithmOid;
    uint32_t keyBits = 0;
    std::string thumbprint;  // SHA-256 of the encoded certificate
    uint64_t notBefore = 0, notAfter = 0;  // FILETIME ticks
};

struct CertStoreSource {
    std::string label;
    bool remoteDesktop = false;
    bool opened = false;
    std::string error;  // why it could not be opened
    std::vector<CertSource> certs;
};

// Source codes of the WinRT system id: 0 none, 1 TPM, 2 UEFI, 3 registry.
struct SystemIdResult {
    bool ok = false;
    std::string idHex;  // upper-case hexadecimal of the id bytes
    int32_t source = 0;
    std::string error;  // HRESULT text or "empty buffer"
};

// What the Windows side reads; every text already trimmed, absent values empty.
struct WindowsSource {
    // HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion
    std::string productName, editionId, displayVersion, currentBuildNumber, currentBuild;
    uint32_t ubr = 0;
    std::string buildLabEx, installationType, productId, buildGuid, registeredOwner, registeredOrganization;
    std::optional<uint64_t> installTime;
    std::optional<uint32_t> installDate;

    std::string machineGuid, machineSid;
    std::optional<std::string> hwProfileGuid;  // set when GetCurrentHwProfileW succeeded
    std::string susClientId, sqmMachineId, defenderSenseId;
    std::optional<std::string> computerName;  // DNS host name, when the call succeeded
    std::string entraJoinFirstSubkey;

    std::vector<LineageSource> lineage;
    std::string currentUserSid, userName;
    std::vector<ProfileSource> profiles;
    std::vector<CertStoreSource> certStores;
    SystemIdResult systemId;
    std::string chid;
    std::vector<std::string> chids;

    // Operating-system table
    uint64_t tickCount = 0;
    bool elevated = false;
    std::string locale, timeZone;
    std::optional<std::string> uiLanguages;
    std::vector<std::string> preloadLayouts, keyboardLayouts;
    std::string dnsDomain;
    std::optional<uint32_t> bootId;
    std::string geoName, geoNation, httpsProgId, lastLoggedOnProvider, cloneTag, imageState;
    std::optional<uint32_t> generalizationState, upgrade;
};

void CollectWindowsFrom(Snapshot& s, const WindowsSource& in);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectWindows(Snapshot& s);

// The product name with the first "Windows 10" read as "Windows 11" from build 22000 on.
std::string ApplyWindows11Rule(std::string productName, int64_t build);
// The leading decimal number of a build text, 0 when there is none.
int64_t ParseBuildNumber(std::string_view text);
// Non-empty and made only of F, f, braces and hyphens: the all-ones GUID.
bool IsAllFGuidText(std::string_view text);
// The name of one of the built-in logon credential providers, empty otherwise.
std::string CredentialProviderName(std::string_view guid);
// Empty when both halves are 0, else the UTC text of the FILETIME they form.
std::string FormatFileTimeHighLow(uint32_t high, uint32_t low);
// "TPM", "UEFI", "Registry" or "None".
const char* SystemIdSourceName(int32_t source);
// The reported value: the first 32 hex digits of the SHA-256 of the id text.
std::string SystemIdValue(std::string_view idHex);

enum class ProfileKind { Service, CurrentUser, Entra, Local, Domain };
struct ProfileClass {
    ProfileKind kind = ProfileKind::Service;
    bool local = false;
    std::string rid;  // the text after the last "-"
};
ProfileClass ClassifyProfileSid(const std::string& sid, const std::string& machineSid, const std::string& currentUserSid);

struct CertClass {
    std::string kind;
    // What the subject and issuer hold; the thumbprint is always masked.
    Role subject = Role::Maker;
    Role issuer = Role::Maker;
    // The validity dates an event here: a certificate made here or issued to
    // this machine. A CA's own keeps its maker's dates.
    bool datesHere = false;
    // A CA's organization, from its subject and issuer: masked as the
    // registered organization is.
    std::vector<std::string> organizations;
};
// A browser's URL handler (ProgID) and the suffix it adds per installation:
// the part after the last "-" or "." when that is 8 or more letters and
// digits ("FirefoxURL-308046B0AF4A39CB", "ChromeHTML.PBDQNIM5QSRFYDVO"), else
// the whole ProgID and no suffix ("MSEdgeHTM", "IE.HTTPS").
std::pair<std::string_view, std::string_view> SplitHandlerSuffix(std::string_view progId);
// A CA's name without the words every CA's name holds ("Root", "CA",
// "Issuing", ...) and without words with digits ("G2", "01"): its owner's
// name, or empty.
std::string CaOrganizationName(std::string_view name);
// Kind and row mask of one certificate of a store; `personal` for the My store.
CertClass ClassifyCertificate(const CertSource& c, bool personal, const std::string& computerName,
                              const std::string& userName);

}  // namespace vorq
