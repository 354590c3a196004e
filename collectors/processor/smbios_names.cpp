#include "collectors/processor/smbios_names.h"

#include <cstring>

#include "core/text.h"

namespace vorq {

namespace {

constexpr uint8_t kPlaceholderUuids[][16] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    {0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00, 0x09},
    {0x03, 0x00, 0x02, 0x00, 0x04, 0x00, 0x05, 0x00, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00, 0x09},
};

struct CodeName {
    uint8_t code;
    const char* name;
};

template <size_t N>
const char* Lookup(const CodeName (&table)[N], uint8_t code, const char* otherwise) {
    for (const CodeName& e : table)
        if (e.code == code) return e.name;
    return otherwise;
}

constexpr CodeName kChassis[] = {
    {3, "Desktop"},          {4, "Low Profile Desktop"}, {5, "Pizza Box"},         {6, "Mini Tower"},
    {7, "Tower"},            {8, "Portable"},            {9, "Laptop"},            {10, "Notebook"},
    {11, "Hand Held"},       {12, "Docking Station"},    {13, "All in One"},       {14, "Sub Notebook"},
    {15, "Space-saving"},    {16, "Lunch Box"},          {17, "Main Server Chassis"}, {23, "Rack Mount Chassis"},
    {24, "Sealed-case PC"},  {30, "Tablet"},             {31, "Convertible"},      {32, "Detachable"},
    {33, "IoT Gateway"},     {34, "Embedded PC"},        {35, "Mini PC"},          {36, "Stick PC"},
};

constexpr CodeName kFormFactors[] = {
    {9, "DIMM"}, {11, "Row of chips"}, {12, "RIMM"}, {13, "SODIMM"}, {15, "FB-DIMM"}, {16, "Die"}, {17, "CAMM"},
};

constexpr CodeName kMemoryTypes[] = {
    {18, "DDR"},    {19, "DDR2"},   {24, "DDR3"},   {26, "DDR4"}, {27, "LPDDR"},
    {28, "LPDDR2"}, {29, "LPDDR3"}, {30, "LPDDR4"}, {31, "Logical non-volatile"},
    {32, "HBM"},    {33, "HBM2"},   {34, "DDR5"},   {35, "LPDDR5"}, {36, "HBM3"},
};

constexpr const char* kStructureTypes[] = {
    "BIOS Information", "System Information", "Baseboard", "System Enclosure / Chassis", "Processor",
    "Memory Controller (obsolete)", "Memory Module (obsolete)", "Cache", "Port Connector", "System Slot",
    "On Board Devices (obsolete)", "OEM Strings", "System Configuration Options", "BIOS Language",
    "Group Associations", "System Event Log", "Physical Memory Array", "Memory Device", "32-bit Memory Error",
    "Memory Array Mapped Address", "Memory Device Mapped Address", "Built-in Pointing Device", "Portable Battery",
    "System Reset", "Hardware Security", "System Power Controls", "Voltage Probe", "Cooling Device",
    "Temperature Probe", "Electrical Current Probe", "Out-of-Band Remote Access", "Boot Integrity Services",
    "System Boot Information", "64-bit Memory Error", "Management Device", "Management Device Component",
    "Management Device Threshold", "Memory Channel", "IPMI Device", "System Power Supply",
    "Additional Information", "Onboard Devices Extended", "Management Controller Host Interface", "TPM Device",
    "Processor Additional Information", "Firmware Inventory", "String Property",
};
static_assert(std::size(kStructureTypes) == 47);

constexpr const char* kWakeUp[] = {"Reserved",   "Other",        "Unknown",  "APM Timer",        "Modem Ring",
                                   "LAN Remote", "Power Switch", "PCI PME#", "AC Power Restored"};

constexpr const char* kErrorCorrection[] = {"?", "Other", "Unknown", "None", "Parity", "Single-bit ECC",
                                            "Multi-bit ECC", "CRC"};

}  // namespace

bool IsPlaceholderUuid(const uint8_t* uuid16) {
    if (!uuid16) return false;
    for (const auto& pattern : kPlaceholderUuids)
        if (std::memcmp(pattern, uuid16, 16) == 0) return true;
    return false;
}

std::string FormatSmbiosUuid(const uint8_t* u, bool uuidLittleEndian) {
    if (!u) return std::string();
    static constexpr uint8_t kStored[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    static constexpr uint8_t kSwapped[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    const uint8_t* o = uuidLittleEndian ? kSwapped : kStored;
    return Format("%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", u[o[0]], u[o[1]], u[o[2]],
                  u[o[3]], u[o[4]], u[o[5]], u[o[6]], u[o[7]], u[o[8]], u[o[9]], u[o[10]], u[o[11]], u[o[12]],
                  u[o[13]], u[o[14]], u[o[15]]);
}

std::string VendorIdText(const uint8_t* id4) {
    std::string out;
    if (!id4) return out;
    for (int i = 0; i < 4; ++i)
        if (id4[i] >= 0x20 && id4[i] <= 0x7E) out.push_back(static_cast<char>(id4[i]));
    return Trim(out);
}

const char* ChassisTypeName(uint8_t code) { return Lookup(kChassis, static_cast<uint8_t>(code & 0x7F), "Other"); }
const char* MemoryFormFactorName(uint8_t code) { return Lookup(kFormFactors, code, "Other"); }
const char* MemoryTypeName(uint8_t code) { return Lookup(kMemoryTypes, code, "Other"); }

const char* SmbiosStructureTypeName(uint8_t type) {
    if (type < std::size(kStructureTypes)) return kStructureTypes[type];
    if (type == 126) return "Inactive";
    if (type == 127) return "End-of-Table";
    return type >= 128 ? "OEM-specific" : "Unknown";
}

const char* WakeUpTypeName(uint8_t code) { return code < std::size(kWakeUp) ? kWakeUp[code] : "?"; }
const char* ErrorCorrectionName(uint8_t code) {
    return code < std::size(kErrorCorrection) ? kErrorCorrection[code] : "?";
}

const char* SlotUsageName(uint8_t code) {
    switch (code) {
        case 3: return "available";
        case 4: return "in use";
        case 5: return "unavailable";
        default: return "other/unknown";
    }
}

}  // namespace vorq
