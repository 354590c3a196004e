#include "collectors/processor/acpi_scan.h"

#include <cstring>
#include <map>
#include <string_view>

#include "core/byte_order.h"

namespace vorq {
namespace {

bool SignatureChar(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '!'; }

// One AML named string object: NameOp, the four-character name, StringPrefix,
// the identifier and its terminating NUL.
template <size_t N>
struct AmlPattern {
    uint8_t bytes[N + 6];
    constexpr AmlPattern(const char (&name)[5], const char (&id)[N]) : bytes{} {
        bytes[0] = 0x08;
        for (size_t i = 0; i < 4; ++i) bytes[1 + i] = static_cast<uint8_t>(name[i]);
        bytes[5] = 0x0D;
        for (size_t i = 0; i < N; ++i) bytes[6 + i] = static_cast<uint8_t>(id[i]);  // id[N-1] is the NUL
    }
    static constexpr size_t size() { return N + 6; }
};

constexpr AmlPattern kQemuDevice("_HID", "QEMU0002");
constexpr AmlPattern kQemuVgid("_HID", "QEMUVGID");
constexpr AmlPattern kVmGenCounter("_CID", "VM_Gen_Counter");
constexpr AmlPattern kAmazonClock("_HID", "AMZNC10C");
constexpr AmlPattern kVmClock("_CID", "VMCLOCK");

static_assert(kQemuDevice.size() == 15 && kVmGenCounter.size() == 21 && kVmClock.size() == 14);

// Plain byte comparison at every offset of the AML body [36, length).
template <size_t N>
bool FindInBody(const uint8_t* p, size_t length, const AmlPattern<N>& pat) {
    const size_t n = pat.size();
    if (length < kAcpiHeaderSize + n) return false;
    const uint8_t first = pat.bytes[0];
    for (size_t o = kAcpiHeaderSize; o + n <= length; ++o) {
        if (p[o] == first && std::memcmp(p + o, pat.bytes, n) == 0) return true;
    }
    return false;
}

}  // namespace

AcpiScanResult ScanAcpiTable(const uint8_t* bytes, size_t size) {
    AcpiScanResult r;
    if (!bytes || size < kAcpiHeaderSize || size > kAcpiMaxTableSize) return r;
    const size_t length = Le32(bytes + 4);
    if (length < kAcpiHeaderSize || length > size || length > kAcpiMaxTableSize) return r;
    for (size_t i = 0; i < 4; ++i)
        if (!SignatureChar(bytes[i])) return r;
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    if (sum != 0) return r;

    const std::string_view sig(reinterpret_cast<const char*>(bytes), 4);
    r.headerOk = true;
    r.isAml = sig == "DSDT" || sig == "SSDT";
    r.waetValid = sig == "WAET" && length >= 40 && bytes[8] == 1;
    if (!r.isAml) return r;

    r.qemuDevice = FindInBody(bytes, length, kQemuDevice);
    r.vmGenId = FindInBody(bytes, length, kQemuVgid) || FindInBody(bytes, length, kVmGenCounter);
    r.vmClock = FindInBody(bytes, length, kAmazonClock) || FindInBody(bytes, length, kVmClock);
    return r;
}

const std::string& DescribeAcpiSignature(const std::string& signature) {
    static const std::map<std::string, std::string> kNames = {
        {"FACP", "Fixed ACPI Description (FADT)"},
        {"DSDT", "Differentiated System Description"},
        {"SSDT", "Secondary System Description"},
        {"APIC", "Multiple APIC Description (MADT)"},
        {"HPET", "High Precision Event Timer"},
        {"MCFG", "PCI Express config space (ECAM)"},
        {"DMAR", "DMA Remapping (Intel VT-d)"},
        {"IVRS", "I/O Virtualization Reporting (AMD-Vi)"},
        {"TPM2", "TPM 2.0 interface"},
        {"WSMT", "Windows SMM Security Mitigations"},
        {"WPBT", "Windows Platform Binary Table"},
        {"BGRT", "Boot Graphics Resource (OEM logo)"},
        {"FPDT", "Firmware Performance Data"},
        {"MSDM", "Microsoft Data Management (OEM activation)"},
        {"SLIC", "Software Licensing (OEM)"},
        {"UEFI", "UEFI ACPI data"},
        {"BERT", "Boot Error Record"},
        {"SRAT", "System Resource Affinity"},
        {"SLIT", "System Locality Distance"},
        {"VFCT", "AMD video BIOS"},
        {"LPIT", "Low Power Idle"},
        {"DBGP", "Debug Port"},
        {"DBG2", "Debug Port 2"},
        {"CRAT", "Component Resource Attribute"},
        {"CDIT", "Component Distance"},
        {"NHLT", "Non HD Audio Link"},
        {"PHAT", "Platform Health Assessment"},
        {"SDEV", "Secure Devices"},
        {"IORT", "I/O Remapping (ARM)"},
        {"GTDT", "Generic Timer (ARM)"},
        {"SPCR", "Serial Port Console Redirection"},
        {"EINJ", "Error Injection"},
        {"HEST", "Hardware Error Source"},
        {"ERST", "Error Record Serialization"},
        {"NFIT", "NVDIMM Firmware Interface"},
        {"PCCT", "Platform Communications Channel"},
        {"PPTT", "Processor Properties Topology"},
        {"SBST", "Smart Battery"},
        {"ECDT", "Embedded Controller Boot Resources"},
        {"WDAT", "Watchdog Action"},
        {"SDEI", "Software Delegated Exception"},
        {"WAET", "Windows ACPI Emulated Devices"},
        {"ASF!", "Alert Standard Format"},
    };
    static const std::string kNone;
    auto it = kNames.find(signature);
    return it == kNames.end() ? kNone : it->second;
}

const char* Tpm2StartMethodName(uint32_t code) {
    switch (code) {
        case 2: return "ACPI start";
        case 6: return "TIS / FIFO (memory-mapped)";
        case 7: return "Command Response Buffer (CRB)";
        case 8: return "CRB + ACPI start";
        case 11: return "CRB + ARM SMC";
        case 12: return "FIFO over I2C";
        case 13: return "CRB + AMD mailbox";
        case 14: return "CRB + Pluton";
        default: return "other";
    }
}

}  // namespace vorq
