// The platform security posture: the keys and table columns other collectors
// and the scoring stage read.
#pragma once

#include <cstddef>

namespace vorq::fact {
inline constexpr char kPlatUefi[] = "plat.uefi";
inline constexpr char kPlatSecureBoot[] = "plat.secureboot";
// Written only after a successful code-integrity query, like the three below.
inline constexpr char kPlatCiOk[] = "plat.ci_ok";
inline constexpr char kPlatTestSign[] = "plat.testsign";
inline constexpr char kPlatDebug[] = "plat.debug";
inline constexpr char kPlatHvciCi[] = "plat.hvci_ci";
// Written only when Device Guard answered with a row.
inline constexpr char kPlatVbs[] = "plat.vbs";
inline constexpr char kPlatHvci[] = "plat.hvci";
inline constexpr char kPlatDmaCapable[] = "plat.dma_capable";
inline constexpr char kPlatBlocklist[] = "plat.blocklist";
// Only "1", only when a report was produced.
inline constexpr char kPlatRuntimeReport[] = "plat.runtime_report";
// Number of Security Center product rows, decimal.
inline constexpr char kPlatWsc[] = "plat.wsc";
}  // namespace vorq::fact

namespace vorq::table {
inline constexpr char kPlatformPosture[] = "platform.posture";
inline constexpr char kPlatformWsc[] = "platform.wsc";
}  // namespace vorq::table

namespace vorq::col::platform_posture {
inline constexpr size_t kFeature = 0, kState = 1, kEvidence = 2;
}
namespace vorq::col::platform_wsc {
inline constexpr size_t kCategory = 0, kProduct = 1, kState = 2, kSignatures = 3, kUpdated = 4;
}
