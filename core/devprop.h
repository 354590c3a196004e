// Device property data as bytes: decoding a property buffer by its type, the
// fields of a PCI hardware id, and the PCIe link text. Platform-free, so the
// sizes and terminators taken from device data are checked under the
// sanitizers and the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"

namespace vorq {

// DEVPROPTYPE values the readers accept.
inline constexpr uint32_t kDevPropTypeInt32 = 0x06;
inline constexpr uint32_t kDevPropTypeUint32 = 0x07;
inline constexpr uint32_t kDevPropTypeGuid = 0x0D;
inline constexpr uint32_t kDevPropTypeString = 0x12;
inline constexpr uint32_t kDevPropTypeStringList = 0x2012;

// A string: the units up to its first NUL; a string list: its first string;
// any other type: empty.
std::u16string DevPropBufferString(uint32_t type, const uint8_t* data, size_t size);
// A string: one entry, even an empty one; a string list: its strings up to
// the first empty one; any other type: no entries.
std::vector<std::u16string> DevPropBufferStringList(uint32_t type, const uint8_t* data, size_t size);
// INT32 or UINT32 with at least 4 bytes; `value` is untouched otherwise.
bool DevPropBufferUint32(uint32_t type, const uint8_t* data, size_t size, uint32_t& value);
// GUID with at least 16 bytes; `value` is untouched otherwise.
bool DevPropBufferGuid(uint32_t type, const uint8_t* data, size_t size, Guid& value);

// The fields of a PCI hardware id, upper case; a field the id lacks is empty.
struct PciIds {
    std::string ven;     // 4 characters after "VEN_"
    std::string dev;     // 4 after "DEV_"
    std::string subsys;  // 8 after "SUBSYS_": subsystem device id, then vendor id
    std::string rev;     // 2 after "REV_"
};
// `hardwareId` in UTF-8; each field is taken after the first occurrence of
// its tag (in any letter case), shorter when the id ends earlier.
PciIds ParsePciIds(std::string_view hardwareId);

// "Gen3 8 GT/s x16"; "?" for a speed code of 0 or above 6.
std::string PcieLinkText(uint32_t speedCode, uint32_t width);

}  // namespace vorq
