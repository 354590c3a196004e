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

}  // namespace vorq
