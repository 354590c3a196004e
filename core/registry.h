// Registry values as data: the record an enumeration yields and its display
// text. Platform-free, so malformed data (odd lengths, missing terminators,
// short integers) is exercised under the sanitizers and the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/text.h"

namespace vorq {

// Registry value types (winnt.h values).
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

// One value of a key as enumerated; `data` has the length the registry reported.
struct RegValue {
    std::wstring name;  // empty for the default value
    uint32_t type = 0;
    Bytes data;
};

// Text of a value by its type: strings up to the first NUL, multi-strings
// joined with "; ", "%u (0x%X)" / "%llu (0x%llX)" for DWORD / QWORD, and
// everything else (short integers included) as hexadecimal of at most 64
// bytes, with "…" when the data is longer.
std::string RegValueToText(uint32_t type, const uint8_t* data, size_t size);
inline std::string RegValueToText(const RegValue& v) { return RegValueToText(v.type, v.data.data(), v.data.size()); }

// Little-endian UTF-16 strings one after the other, each ended by a NUL,
// until an empty string or the end of the data (a last string without its
// NUL still counts; an odd trailing byte is ignored). Shared by REG_MULTI_SZ
// and device string lists.
std::vector<std::u16string> SplitUtf16Strings(const uint8_t* data, size_t size);
// The first string of such data: the units up to the first NUL or the end.
std::u16string FirstUtf16String(const uint8_t* data, size_t size);

}  // namespace vorq
