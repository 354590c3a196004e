// The measured-boot event log (TCG PC Client format, legacy SHA-1 or
// crypto-agile): structural validation, parsing into event records, and the
// names and descriptions shown for events and PCRs. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorq {

inline constexpr uint64_t kTcgLogMaxBytes = 16u * 1024 * 1024;
inline constexpr size_t kTcgLogMaxRecords = 20000;

enum TcgLogStatus : int { kTcgLogWellFormed = 0, kTcgLogMalformed = 1, kTcgLogLimited = 2 };

struct TcgEventRecord {
    uint32_t pcr = 0;
    uint32_t type = 0;
    std::vector<uint8_t> sha1;    // 20 bytes when the record carries a SHA-1 digest
    std::vector<uint8_t> sha256;  // 32 bytes when it carries a SHA-256 digest
    std::string details;
};

struct TcgLog {
    bool cryptoAgile = false;
    uint8_t startupLocality = 0;
    std::vector<TcgEventRecord> events;
};

TcgLogStatus ValidateTcgLog(const uint8_t* bytes, uint64_t length);
// False only when not even the first record can be read; a defect later ends
// the parse and keeps the events read before it.
bool ParseTcgLog(const std::vector<uint8_t>& bytes, TcgLog& log);

std::string DescribeEventData(uint32_t type, const uint8_t* data, size_t size);
std::string EventTypeName(uint32_t type);
std::string PcrMeaning(uint32_t index);
std::string PrintableExcerpt(const uint8_t* data, size_t size);
std::string DevicePathFileName(const uint8_t* data, size_t size);
// Little-endian UTF-16 units up to the first zero unit or maxCount units.
std::string Utf16ToText(const uint8_t* units, size_t maxCount);

}  // namespace vorq
