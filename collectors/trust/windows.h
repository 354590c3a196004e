// The Windows collector: the installation's version, identifiers, lineage,
// user profiles, machine certificates, system id and hardware ids. The keys
// below are the ones later collectors, the cross-checks and the scoring read.
#pragma once

#include <cstddef>

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
