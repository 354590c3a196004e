// The running kernel drivers: the keys and table columns other collectors and
// the scoring stage read, and the platform-free rules of the collector (image
// paths, signature classes, publishers, the three tables and the facts).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/snapshot.h"

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

namespace vorq {

// One running driver: the service's names and resolved image, then what the
// verification found.
struct DriverRow {
    std::string name;
    std::string displayName;
    std::string imagePath;
    std::string company;
    std::string description;
    std::string version;
    std::string signatureClass;
    std::string signer;
    std::string chainRoot;
    std::string detail;
    uint32_t result = 0;  // the verification result that decided the class
    bool viaCatalog = false;
    bool imageFound = true;
};

// The signer of a finished verification; empty when it had none.
struct SignerInfo {
    bool hasLeaf = false;
    std::string signer;
    std::string chainRoot;
    std::vector<std::string> ekus;
};

// What the platform side gathered: the rows after verification, or the text of
// the note that ended the enumeration.
struct DriversSource {
    std::string failure;
    std::vector<DriverRow> rows;
};

inline constexpr char kDriversOrigin[] = "Kernel drivers";
inline constexpr char kClassImageNotFound[] = "Image not found";
inline constexpr char kClassInvalidSignature[] = "Invalid signature";

// ExpandEnvironmentStringsW's contract: writes at most `capacity` units into
// `dst` and returns the units the whole expansion needs (terminator included),
// 0 on failure.
using ExpandEnvFn = std::function<uint32_t(const std::u16string& src, char16_t* dst, uint32_t capacity)>;

// The expansion of `path`, or `path` itself when expanding fails. A first
// attempt into 520 units; a larger need is retried at the size asked for.
std::u16string ExpandDriverPath(const std::u16string& path, const ExpandEnvFn& expand);

// The full path of a driver image from the configured path, the service name
// and the Windows folder.
std::u16string ResolveDriverImagePath(std::u16string_view raw, std::u16string_view service,
                                      std::u16string_view windowsDir, const ExpandEnvFn& expand);

// Publisher key: lower-case letters and digits, one legal suffix removed; a
// name with no ASCII letter or digit is its own key.
std::string NormalizeCompanyName(std::string_view text);

// Sets result, signer, chain root, class and detail; `resultText` is the
// system's text of a non-zero result.
void ClassifySignature(DriverRow& row, uint32_t result, const SignerInfo& signer, std::string resultText);

// What one verification route (catalog or embedded signature) answered.
struct SignatureVerdict {
    uint32_t result = 0;
    SignerInfo signer;
};

// Picks the route that decides the row and classifies by it: a catalog that
// verifies; else the embedded signature, unless that fails too while a catalog
// was found, whose answer then decides. `embedded` runs only when needed.
void DecideSignature(DriverRow& row, const std::optional<SignatureVerdict>& catalog,
                     const std::function<SignatureVerdict()>& embedded,
                     const std::function<std::string(uint32_t)>& resultText);
int RankSignatureClass(std::string_view cls);
// "[ok] ", "[info] " or "[bad] ".
const char* SignatureClassTag(std::string_view cls);
uint32_t CountForClass(const std::map<std::string, uint32_t>& counts, std::string_view cls);

// A verification that ended by an exception or a processor fault.
void MarkVerificationFailure(DriverRow& row, uint32_t code, std::string detail);

// Threads for the verification pool from the hardware concurrency.
unsigned DriverPoolThreads(unsigned hardware);

// Sorts the rows, writes "drivers.summary", "drivers.vendors", "drivers" and
// the "drv." facts; or, for a failed enumeration, only the note.
void CollectDriversFrom(Snapshot& s, DriversSource source);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectDrivers(Snapshot& s);

}  // namespace vorq
