// Platform-free parts of reading WMI values: the decimal text WMI uses for
// 64-bit properties, and which CIM types are unsigned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace vorq {

// CIM type codes (wbemcli.h values).
inline constexpr uint32_t kCimUint8 = 17;
inline constexpr uint32_t kCimUint16 = 18;
inline constexpr uint32_t kCimUint32 = 19;
inline constexpr uint32_t kCimUint64 = 21;
inline constexpr uint32_t kCimFlagArray = 0x2000;

// True for the unsigned CIM integer types, scalar or array. WMI delivers
// uint16 and uint32 in signed VARIANTs, so only the CIM type tells.
inline bool IsUnsignedCimType(uint32_t cimType) {
    uint32_t base = cimType & ~kCimFlagArray;
    return base == kCimUint8 || base == kCimUint16 || base == kCimUint32 || base == kCimUint64;
}

// A signed decimal number at the start of `n` characters: leading blanks and
// one sign allowed, reading stops at the first non-digit, 0 when no digit
// follows. A value beyond 64 bits saturates at the nearer limit.
template <typename Char>
int64_t ParseWmiDecimal(const Char* p, size_t n) {
    size_t i = 0;
    auto at = [&](size_t k) { return static_cast<uint32_t>(p[k]); };
    while (i < n && (at(i) == ' ' || at(i) == '\t' || at(i) == '\n' || at(i) == '\r' || at(i) == '\v' || at(i) == '\f')) ++i;
    bool negative = false;
    if (i < n && (at(i) == '+' || at(i) == '-')) {
        negative = at(i) == '-';
        ++i;
    }
    // Magnitude limit: 2^63 for a negative number, 2^63 - 1 otherwise.
    const uint64_t limit = negative ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    uint64_t magnitude = 0;
    for (; i < n && at(i) >= '0' && at(i) <= '9'; ++i) {
        uint64_t digit = at(i) - '0';
        if (magnitude > (limit - digit) / 10) {
            magnitude = limit;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (!negative) return static_cast<int64_t>(magnitude);
    if (magnitude == uint64_t{1} << 63) return std::numeric_limits<int64_t>::min();
    return -static_cast<int64_t>(magnitude);
}

}  // namespace vorq
