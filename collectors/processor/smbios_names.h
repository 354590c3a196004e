// Names of SMBIOS codes, the placeholder rules for firmware texts and system
// UUIDs, and the UUID text form by table version. Pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/placeholders.h"

namespace vorq {

// The 16 raw bytes at offset 0x08 of the system structure.
bool IsPlaceholderUuid(const uint8_t* uuid16);
// SMBIOS 2.6 and later store the first three fields little-endian.
std::string FormatSmbiosUuid(const uint8_t* uuid16, bool uuidLittleEndian);
// The printable bytes of a TPM device's four-byte vendor id, trimmed.
std::string VendorIdText(const uint8_t* id4);

// Chassis type byte; the lock bit (bit 7) is ignored.
const char* ChassisTypeName(uint8_t code);
const char* MemoryFormFactorName(uint8_t code);
const char* MemoryTypeName(uint8_t code);
const char* SmbiosStructureTypeName(uint8_t type);
const char* WakeUpTypeName(uint8_t code);
const char* ErrorCorrectionName(uint8_t code);
const char* SlotUsageName(uint8_t code);

}  // namespace vorq
