// The Microsoft and cloud collector: identifiers Microsoft services keep for
// the device and the installation, licensing, Entra join, MDM enrollments and
// the Autopilot hardware hash. The keys below are the ones the cross-checks
// and the scoring read.
#pragma once

#include <cstddef>

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
