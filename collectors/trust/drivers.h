// The running kernel drivers: the keys and table columns other collectors and
// the scoring stage read.
#pragma once

#include <cstddef>

namespace vorq::fact {
// Counts of running drivers by signature class, decimal.
inline constexpr char kDrvTotal[] = "drv.total";
inline constexpr char kDrvInbox[] = "drv.inbox";
inline constexpr char kDrvWhql[] = "drv.whql";
inline constexpr char kDrvAttest[] = "drv.attest";
inline constexpr char kDrvAuthenticode[] = "drv.authenticode";
inline constexpr char kDrvUntrusted[] = "drv.untrusted";
inline constexpr char kDrvUnsigned[] = "drv.unsigned";
inline constexpr char kDrvNotFound[] = "drv.notfound";
}  // namespace vorq::fact

namespace vorq::table {
inline constexpr char kDrivers[] = "drivers";
inline constexpr char kDriversSummary[] = "drivers.summary";
inline constexpr char kDriversVendors[] = "drivers.vendors";
}  // namespace vorq::table

namespace vorq::col::drivers {
inline constexpr size_t kDriver = 0, kDescription = 1, kCompany = 2, kVersion = 3, kSignatureClass = 4, kSigner = 5,
                        kChainRoot = 6, kVia = 7, kPnpDevices = 8, kImagePath = 9;
}
namespace vorq::col::drivers_summary {
inline constexpr size_t kSignatureClass = 0, kDrivers = 1, kMeaning = 2;
}
namespace vorq::col::drivers_vendors {
inline constexpr size_t kPublisher = 0, kRunningDrivers = 1, kCertified = 2, kAttestation = 3, kLegacy = 4, kBad = 5,
                        kCertifiedShare = 6;
}
