// The ACPI collector's work on the bytes: decoding, validation, the AML scan,
// the firmware build fingerprint, rows, signals and facts. The Windows build
// binds the source to the firmware-table interface; tests bind it to files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/snapshot.h"

// Results of the AML scan and the WAET check: flags are "1" or "0"; the
// status facts hold "complete", "partial", "error" or (AML) "not_supported".
namespace vorq::fact {
inline constexpr char kAcpiVmTablesStatus[] = "acpi.vm_tables.status";
inline constexpr char kAcpiVmAmlStatus[] = "acpi.vm_aml.status";
inline constexpr char kAcpiVmAmlQemu[] = "acpi.vm_aml.qemu";
inline constexpr char kAcpiVmAmlVmgenid[] = "acpi.vm_aml.vmgenid";
inline constexpr char kAcpiVmAmlVmclock[] = "acpi.vm_aml.vmclock";
inline constexpr char kAcpiVmWaet[] = "acpi.vm_waet";
// "1" when a DMAR or IVRS table exists; "1" when it says the firmware opted
// into DMA protection.
inline constexpr char kAcpiIommu[] = "acpi.iommu";
inline constexpr char kAcpiDmaOptIn[] = "acpi.dma_optin";
}  // namespace vorq::fact

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kAcpiMadtCpus[] = "acpi.madt_cpus";
inline constexpr char kAcpiPmProfile[] = "acpi.pm_profile";
inline constexpr char kAcpiTpm2[] = "acpi.tpm2";
inline constexpr char kAcpiTpm2Start[] = "acpi.tpm2_start";
inline constexpr char kAcpiWpbt[] = "acpi.wpbt";
inline constexpr char kAcpiWsmt[] = "acpi.wsmt";
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kAcpiDsdt[] = "acpi.dsdt";
inline constexpr char kAcpiFingerprint[] = "acpi.fingerprint";
inline constexpr char kAcpiOem[] = "acpi.oem";
inline constexpr char kAcpiTables[] = "acpi.tables";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kAcpi[] = "acpi";
inline constexpr char kAcpiSummary[] = "acpi.summary";
}  // namespace vorq::table

namespace vorq::col::acpi {
inline constexpr size_t kSignature = 0, kDescription = 1, kLength = 2, kRev = 3, kOemId = 4, kOemTableId = 5,
                         kOemRev = 6, kCreator = 7, kSha256 = 8, kDetails = 9;
// Details of a table that is listed but could not be read, before the error text.
inline constexpr char kReadFailed[] = "read failed: ";
}  // namespace vorq::col::acpi

namespace vorq {

// The firmware-table interface for the ACPI provider, call for call.
struct AcpiSource {
    // Table ids into buffer (size bytes); bytes needed or written, 0 on failure.
    std::function<uint32_t(void* buffer, uint32_t size)> enumerate;
    // One whole table; bytes needed or written, 0 on failure.
    std::function<uint32_t(uint32_t id, void* buffer, uint32_t size)> read;
    // Text of the error of the call that last returned 0.
    std::function<std::string()> lastError;
};

void CollectAcpiFrom(Snapshot& s, const AcpiSource& src);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectAcpi(Snapshot& s);

}  // namespace vorq
