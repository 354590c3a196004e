// The "vorq.snapshot/1" report: one compact UTF-8 JSON object per Snapshot,
// in the "ui", "safe" or "raw" mode, with HMAC pseudonyms for sensitive
// values. The writer itself is platform-free and takes the key bytes; the
// per-installation key comes from LoadHmacKey (Windows build).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/snapshot.h"
#include "core/text.h"

namespace vorq {

inline constexpr char kToolName[] = "VornixQuelm";
inline constexpr char kToolVersion[] = "1.4.0";

// 0 "ui", 1 "safe", any other value "raw".
enum ReportMode : int { kReportUi = 0, kReportSafe = 1, kReportRaw = 2 };

// 0 "per-unit", 1 "per-model", 2 "per-install", 3 "per-boot", else "state".
std::string ScopeName(int32_t scope);

// 24 upper-case hex digits: the first 12 bytes of HMAC-SHA256 under `key`
// over context, 0x1F, value.
std::string HmacId(const Bytes& key, std::string_view context, std::string_view value);

// The first 8 upper-case hex digits of the key's SHA-256.
std::string HmacKeyId(const Bytes& key);

// Appends the report of `s` to `out` under `key`. A non-empty `keyNote`
// (the key is for this process only) is written as one more note.
void WriteSnapshotJsonWithKey(std::string& out, const Snapshot& s, int mode, const Bytes& key,
                              std::string_view keyNote = {});

// Windows build only: the per-installation key from hmac.key, made on first
// use and cached for the process; `note` (optional) receives the note to
// report when the key could not be made from random bytes.
Bytes LoadHmacKey(std::string* note = nullptr);
// The report under the installation's key: returned, or appended to `out`.
std::string WriteSnapshotJson(const Snapshot& s, int mode);
void WriteSnapshotJson(std::string& out, const Snapshot& s, int mode);

}  // namespace vorq
