// Platform-free text helpers: formatting, hexadecimal, case-folded tests,
// trimming and UTF-16/Latin-1 conversions. Nothing here throws for ordinary
// input; failures give an empty text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorq {

using Bytes = std::vector<uint8_t>;

// GUID with the Windows layout, usable without <windows.h>.
struct Guid {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};
};

// printf-style formatting, never cut; empty on an encoding error.
#if defined(__MINGW32__) && !defined(__clang__)
#define VORQ_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))  // mingw's C99 formatter
#else
#define VORQ_PRINTF(f, a) __attribute__((format(printf, f, a)))
#endif
std::string Format(const char* fmt, ...) VORQ_PRINTF(1, 2);

inline bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// 0..15 for an ASCII hexadecimal digit of either case, -1 otherwise.
inline int HexDigitValue(char c) {
    return (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
}

std::string Hex16(uint32_t v);
std::string Hex32(uint64_t v);
std::string Hex64(uint64_t v);
std::string FormatGuid(const Guid& g);
// 16 bytes in the Windows GUID memory layout (little-endian first three fields).
Guid GuidFromBytes(const uint8_t* p);
std::string HexEncode(const void* data, size_t n);
std::string HexEncodeSep(const void* data, size_t n, char sep);
inline std::string HexEncode(const Bytes& b) { return HexEncode(b.data(), b.size()); }
std::string FormatBytes(uint64_t n);
inline const char* YesNo(bool b) { return b ? "yes" : "no"; }

bool ContainsNoCase(std::string_view text, std::string_view part);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool WStartsWithNoCase(std::u16string_view text, std::u16string_view prefix);
std::string Join(const std::vector<std::string>& items, const char* sep);
// The runs of ASCII letters and digits in `text`, in order; a character of
// `inner` also joins a word ("-_": "BRN-3C2A" is one word).
std::vector<std::string_view> AsciiWords(std::string_view text, std::string_view inner = {});
std::string Trim(std::string_view text);
// `text` trimmed, without its final full stops (ASCII or ideographic): a
// system message set inside a sentence of ours, "(... not found)." not ".).".
std::string WithoutFinalStop(std::string_view text);
std::string ToLower(std::string s);
std::string ToUpper(std::string s);

// UTF-16 to UTF-8 without the platform; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const char16_t* p, size_t n);
// Little-endian UTF-16 bytes (as registry and device data carry them); an odd
// trailing byte is dropped.
std::string Utf16LeBytesToUtf8(const uint8_t* p, size_t nbytes);
std::u16string Utf8ToUtf16(std::string_view s);
std::string Latin1ToUtf8(const uint8_t* p, size_t n);

// Time texts computed without the platform's calendar.
// FILETIME as a 64-bit count of 100 ns since 1601; empty above 0x7FFF... (the
// range FileTimeToSystemTime accepts).
std::string FormatFileTimeUtc(uint64_t fileTime);
// Seconds since 1970; empty outside what the 64-bit CRT accepts (0 to the end of 3000).
std::string FormatUnixTimeUtc(int64_t seconds);

}  // namespace vorq
