// TPM 2.0 command channel: command encoding, reply validation, a bounds-checked
// reply reader and the per-scan error record. Platform-free: the bytes go out
// through a transport function (TBS in the product, recorded replies or a
// simulator in the tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vorq {

using TpmBytes = std::vector<uint8_t>;

inline constexpr uint32_t kTpmReplyMax = 8192;
inline constexpr uint16_t kTpmStNoSessions = 0x8001;
inline constexpr uint16_t kTpmStSessions = 0x8002;
inline constexpr uint32_t kTbsTpmNotFound = 0x8028400F;

// Sends one command; writes the reply into `reply` (room for replyLen bytes)
// and sets replyLen to the bytes returned. Returns the TBS result (0 = success).
using TpmTransport = std::function<uint32_t(const TpmBytes& command, uint8_t* reply, uint32_t& replyLen)>;

struct CommandResult {
    uint32_t tbsResult = 0;
    uint32_t tpmRc = 0;
    bool wellFormed = false;
};

// One per scan, used by one thread.
struct TpmChannel {
    TpmTransport transport;
    uint32_t contextResult = 0;
    uint32_t firstTbsError = 0;  // first nonzero TBS result, never overwritten
    uint32_t lastTpmRc = 0;      // most recent nonzero TPM response code
    bool malformed = false;      // a reply failed validation or parsing ran short
};

TpmBytes BuildTpm2CommandHeader(uint16_t tag, uint32_t commandCode);
void PutU8(TpmBytes& b, uint8_t v);
void PutU16(TpmBytes& b, uint16_t v);
void PutU32(TpmBytes& b, uint32_t v);
void PatchCommandSize(TpmBytes& b);

CommandResult ValidateResponse(uint32_t tbsResult, const uint8_t* bytes, size_t length);
// `reply` receives the reply, empty on any failure. A channel without a
// transport answers as if TBS had no TPM.
CommandResult SubmitCommand(TpmChannel& ch, const TpmBytes& command, TpmBytes& reply);
inline bool ResponseOk(const CommandResult& r) { return r.tbsResult == 0 && r.wellFormed && r.tpmRc == 0; }

// Reads big-endian fields; a short read gives 0 or an empty buffer, keeps the
// position and clears ok for good.
struct ResponseReader {
    explicit ResponseReader(const TpmBytes& b, size_t start = 10) : bytes(b), pos(start) {}
    const TpmBytes& bytes;
    size_t pos;
    bool ok = true;
};
uint32_t GetU8(ResponseReader& r);
uint32_t GetU16(ResponseReader& r);
uint32_t GetU32(ResponseReader& r);
TpmBytes ReadBytes(ResponseReader& r, size_t n);
TpmBytes ReadSizedBuffer(ResponseReader& r);

std::string CommandStatusText(const CommandResult& r);

}  // namespace vorq
