// Validation of one ACPI table as read from the firmware, and the bounded
// byte search of AML bodies for the device identifiers virtual machines
// publish. Platform-free, no allocation per call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorq {

struct AcpiScanResult {
    bool headerOk = false;    // size, Length, signature characters and checksum passed
    bool isAml = false;       // DSDT or SSDT (only with headerOk)
    bool waetValid = false;   // WAET, Length >= 40, Revision 1
    bool qemuDevice = false;  // _HID "QEMU0002"
    bool vmGenId = false;     // _HID "QEMUVGID" or _CID "VM_Gen_Counter"
    bool vmClock = false;     // _HID "AMZNC10C" or _CID "VMCLOCK"
};

// Largest table accepted (4 MiB).
inline constexpr size_t kAcpiMaxTableSize = 0x400000;
inline constexpr size_t kAcpiHeaderSize = 36;

AcpiScanResult ScanAcpiTable(const uint8_t* bytes, size_t size);

// Description for the "Description" column; empty for an unknown signature
// (exact, case-sensitive match). The text lives for the process.
const std::string& DescribeAcpiSignature(const std::string& signature);

// Name of a TPM2 table's Start Method code; "other" when unknown.
const char* Tpm2StartMethodName(uint32_t code);

}  // namespace vorq
