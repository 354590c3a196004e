#include "collectors/trust/tcg_log.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

#include "core/byte_order.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr uint32_t kEvNoAction = 3;
constexpr char kSpecIdSignature[] = "Spec ID Event03";  // 15 bytes compared
constexpr char kStartupLocality[] = "StartupLocality";  // 15 bytes compared

// The digest size of the algorithms with a fixed one, else 0.
uint32_t KnownDigestSize(uint16_t alg) {
    switch (alg) {
        case 0x0004: return 20;
        case 0x000B: return 32;
        case 0x0012: return 32;
        case 0x000C: return 48;
        case 0x000D: return 64;
        default: return 0;
    }
}

bool StartsWithText(const uint8_t* data, uint64_t size, const char* text) {
    return size >= 15 && std::equal(text, text + 15, reinterpret_cast<const char*>(data));
}

// The first record (always legacy): 32-byte header, then its data.
struct FirstRecord {
    uint32_t pcr = 0, type = 0, size = 0;
    const uint8_t* digest = nullptr;
    const uint8_t* data = nullptr;
};

bool ReadFirst(const uint8_t* b, uint64_t length, FirstRecord& f) {
    if (!b || length < 32) return false;
    f.pcr = Le32(b);
    f.type = Le32(b + 4);
    f.digest = b + 8;
    f.size = Le32(b + 28);
    if (f.size > length - 32) return false;
    f.data = b + 32;
    return true;
}

std::string HexPrefix(const std::vector<uint8_t>& d, size_t n) { return HexEncode(d.data(), d.size() < n ? d.size() : n); }

}  // namespace

TcgLogStatus ValidateTcgLog(const uint8_t* b, uint64_t length) {
    if (length > kTcgLogMaxBytes) return kTcgLogLimited;
    FirstRecord first;
    if (!ReadFirst(b, length, first)) return kTcgLogMalformed;
    std::map<uint16_t, uint32_t> algs;
    const bool agile = first.type == kEvNoAction && StartsWithText(first.data, first.size, kSpecIdSignature);
    if (agile) {
        const uint64_t size = first.size;
        if (size <= 28) return kTcgLogMalformed;
        const uint32_t count = Le32(first.data + 24);
        if (count < 1 || count > 64) return kTcgLogMalformed;
        if (4ull * count + 29 > size) return kTcgLogMalformed;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = first.data + 28 + 4 * i;
            const uint16_t alg = Le16(e), digest = Le16(e + 2);
            if (digest < 1 || digest > 128) return kTcgLogMalformed;
            if (KnownDigestSize(alg) != 0 && KnownDigestSize(alg) != digest) return kTcgLogMalformed;
            if (!algs.emplace(alg, digest).second) return kTcgLogMalformed;
        }
        if (first.data[28 + 4 * count] != size - 4ull * count - 29) return kTcgLogMalformed;
    }
    uint64_t pos = 32ull + first.size;
    size_t records = 0;  // after the first
    while (pos < length) {
        if (records >= kTcgLogMaxRecords - 1) return kTcgLogLimited;
        uint64_t rest = length - pos;
        if (rest < 8) return kTcgLogMalformed;
        pos += 8;
        rest -= 8;
        if (agile) {
            if (rest < 4) return kTcgLogMalformed;
            const uint32_t count = Le32(b + pos);
            pos += 4;
            rest -= 4;
            if (count > algs.size()) return kTcgLogMalformed;
            std::set<uint16_t> seen;
            for (uint32_t i = 0; i < count; ++i) {
                if (rest < 2) return kTcgLogMalformed;
                const uint16_t alg = Le16(b + pos);
                pos += 2;
                rest -= 2;
                const auto it = algs.find(alg);
                if (it == algs.end() || !seen.insert(alg).second) return kTcgLogMalformed;
                if (it->second > rest) return kTcgLogMalformed;
                pos += it->second;
                rest -= it->second;
            }
        } else {
            if (rest < 20) return kTcgLogMalformed;
            pos += 20;
            rest -= 20;
        }
        if (rest < 4) return kTcgLogMalformed;
        const uint32_t size = Le32(b + pos);
        pos += 4;
        rest -= 4;
        if (size > rest) return kTcgLogMalformed;
        pos += size;
        ++records;
    }
    return kTcgLogWellFormed;
}

bool ParseTcgLog(const std::vector<uint8_t>& bytes, TcgLog& log) {
    log = TcgLog{};
    const uint8_t* b = bytes.data();
    const uint64_t length = bytes.size();
    FirstRecord first;
    if (!ReadFirst(b, length, first)) return false;
    std::map<uint16_t, uint32_t> algs;
    log.cryptoAgile = first.type == kEvNoAction && first.size > 27 && StartsWithText(first.data, first.size, kSpecIdSignature);
    if (log.cryptoAgile) {
        const uint32_t count = Le32(first.data + 24);
        for (uint64_t i = 0; i < count && 28 + 4 * (i + 1) <= first.size; ++i)
            algs[Le16(first.data + 28 + 4 * i)] = Le16(first.data + 30 + 4 * i);
    }
    TcgEventRecord header;
    header.pcr = first.pcr;
    header.type = first.type;
    header.sha1.assign(first.digest, first.digest + 20);
    header.details = log.cryptoAgile ? "TCG crypto-agile log header (Spec ID Event03)"
                                     : DescribeEventData(first.type, first.data, first.size);
    log.events.push_back(std::move(header));

    uint64_t pos = 32ull + first.size;
    while (length - pos >= 8 && log.events.size() < kTcgLogMaxRecords) {
        TcgEventRecord e;
        e.pcr = Le32(b + pos);
        e.type = Le32(b + pos + 4);
        uint64_t p = pos + 8;
        if (log.cryptoAgile) {
            if (length - p < 4) break;
            const uint32_t count = Le32(b + p);
            p += 4;
            bool ok = true;
            for (uint32_t i = 0; ok && i < count; ++i) {
                if (length - p < 2) {
                    ok = false;
                    break;
                }
                const uint16_t alg = Le16(b + p);
                p += 2;
                const auto it = algs.find(alg);
                if (it == algs.end() || it->second > length - p) {
                    ok = false;
                    break;
                }
                if (alg == 0x000B && it->second == 32) e.sha256.assign(b + p, b + p + 32);
                if (alg == 0x0004 && it->second == 20) e.sha1.assign(b + p, b + p + 20);
                p += it->second;
            }
            if (!ok) break;
        } else {
            if (length - p < 20) break;
            e.sha1.assign(b + p, b + p + 20);
            p += 20;
        }
        if (length - p < 4) break;
        const uint32_t size = Le32(b + p);
        p += 4;
        if (size > length - p) break;
        const uint8_t* data = b + p;
        e.details = DescribeEventData(e.type, data, size);
        if (e.type == kEvNoAction && e.pcr == 0 && size > 16 && StartsWithText(data, size, kStartupLocality))
            log.startupLocality = data[16];
        log.events.push_back(std::move(e));
        pos = p + size;
    }
    return true;
}

std::string Utf16ToText(const uint8_t* units, size_t maxCount) {
    size_t n = 0;
    while (n < maxCount && (units[2 * n] | units[2 * n + 1]) != 0) ++n;
    return Utf16LeBytesToUtf8(units, 2 * n);
}

std::string PrintableExcerpt(const uint8_t* data, size_t size) {
    std::string s;
    for (size_t i = 0; i < size && s.size() < 120; ++i) {
        if (data[i] == 0) continue;
        s.push_back(data[i] >= 32 && data[i] <= 126 ? static_cast<char>(data[i]) : '.');
    }
    return Trim(s);
}

std::string DevicePathFileName(const uint8_t* data, size_t size) {
    std::string out;
    size_t pos = 0;
    while (size - pos >= 4) {
        const uint8_t type = data[pos], subtype = data[pos + 1];
        const uint16_t len = Le16(data + pos + 2);
        if (len < 4 || len > size - pos || type == 0x7F) break;
        if (type == 4 && subtype == 4) out += Utf16ToText(data + pos + 4, (len - 4u) / 2);
        pos += len;
    }
    return out;
}

std::string DescribeEventData(uint32_t type, const uint8_t* data, size_t size) {
    switch (type) {
        case kEvNoAction:
            if (size >= 17 && StartsWithText(data, size, kStartupLocality)) return Format("startup locality %u", data[16]);
            return PrintableExcerpt(data, size < 24 ? size : 24);
        case 4: {
            std::vector<uint8_t> first(data, data + (size < 4 ? size : 4));
            return "separator " + HexPrefix(first, 4);
        }
        case 6: return "Windows boot configuration log (SIPA events)";
        case 8:
            if (size >= 4 && data[1] == 0) return Utf16ToText(data, size / 2);
            return PrintableExcerpt(data, size);
        case 0x80000001:
        case 0x80000002:
        case 0x8000000C:
        case 0x800000E0: {
            if (size < 32) return "";
            const uint64_t nameLength = Le64(data + 16);
            if (nameLength > (size - 32) / 2) return "";
            return "variable " + Utf16ToText(data + 32, static_cast<size_t>(nameLength));
        }
        case 0x80000003:
        case 0x80000004:
        case 0x80000005: {
            if (size >= 32) {
                const uint64_t pathLength = Le64(data + 24);
                if (pathLength <= size - 32) {
                    std::string path = DevicePathFileName(data + 32, static_cast<size_t>(pathLength));
                    if (!path.empty()) return path;
                }
            }
            return "UEFI image";
        }
        case 0x80000006: return "GPT partition table";
        case 0x80000008:
        case 0x8000000A:
            if (type == 0x8000000A && size > 0 && data[0] != 0 && data[0] <= size - 1)
                return "firmware blob: " + PrintableExcerpt(data + 1, data[0]);
            return "firmware blob";
        case 0x80000009:
        case 0x8000000B: return "UEFI handoff tables";
        default: return PrintableExcerpt(data, size);
    }
}

std::string EventTypeName(uint32_t type) {
    static const char* const low[] = {"EV_PREBOOT_CERT", "EV_POST_CODE", "", "EV_NO_ACTION", "EV_SEPARATOR",
                                      "EV_ACTION", "EV_EVENT_TAG", "EV_S_CRTM_CONTENTS", "EV_S_CRTM_VERSION",
                                      "EV_CPU_MICROCODE", "EV_PLATFORM_CONFIG_FLAGS", "EV_TABLE_OF_DEVICES",
                                      "EV_COMPACT_HASH", "EV_IPL", "EV_IPL_PARTITION_DATA", "EV_NONHOST_CODE",
                                      "EV_NONHOST_CONFIG", "EV_NONHOST_INFO", "EV_OMIT_BOOT_DEVICE_EVENTS",
                                      "EV_POST_CODE2"};
    if (type < std::size(low)) return low[type];
    switch (type) {
        case 0x80000001: return "EV_EFI_VARIABLE_DRIVER_CONFIG";
        case 0x80000002: return "EV_EFI_VARIABLE_BOOT";
        case 0x80000003: return "EV_EFI_BOOT_SERVICES_APPLICATION";
        case 0x80000004: return "EV_EFI_BOOT_SERVICES_DRIVER";
        case 0x80000005: return "EV_EFI_RUNTIME_SERVICES_DRIVER";
        case 0x80000006: return "EV_EFI_GPT_EVENT";
        case 0x80000007: return "EV_EFI_ACTION";
        case 0x80000008: return "EV_EFI_PLATFORM_FIRMWARE_BLOB";
        case 0x80000009: return "EV_EFI_HANDOFF_TABLES";
        case 0x8000000A: return "EV_EFI_PLATFORM_FIRMWARE_BLOB2";
        case 0x8000000B: return "EV_EFI_HANDOFF_TABLES2";
        case 0x8000000C: return "EV_EFI_VARIABLE_BOOT2";
        case 0x80000010: return "EV_EFI_HCRTM_EVENT";
        case 0x800000E0: return "EV_EFI_VARIABLE_AUTHORITY";
        case 0x800000E1: return "EV_EFI_SPDM_FIRMWARE_BLOB";
        case 0x800000E2: return "EV_EFI_SPDM_FIRMWARE_CONFIG";
        default: return "";
    }
}

std::string PcrMeaning(uint32_t index) {
    switch (index) {
        case 0: return "firmware code (SRTM / BIOS)";
        case 1: return "firmware configuration";
        case 2: return "option ROM code";
        case 3: return "option ROM configuration";
        case 4: return "boot manager code (IPL)";
        case 5: return "boot configuration / GPT";
        case 6: return "resume / state transitions";
        case 7: return "Secure Boot policy";
        case 11: return "BitLocker access control";
        case 12: return "data events, boot counters";
        case 13: return "boot module details";
        case 14: return "boot authorities";
        case 16: return "debug";
        case 23: return "application support";
        default: return index >= 17 && index <= 22 ? "DRTM" : "";
    }
}

}  // namespace vorq
