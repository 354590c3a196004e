#include "collectors/trust/tpm_transport.h"

#include "core/text.h"

namespace vorq {

namespace {

uint32_t Be(const uint8_t* p, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | p[i];
    return v;
}

}  // namespace

TpmBytes BuildTpm2CommandHeader(uint16_t tag, uint32_t commandCode) {
    TpmBytes b;
    b.reserve(32);
    PutU16(b, tag);
    PutU32(b, 0);
    PutU32(b, commandCode);
    return b;
}

void PutU8(TpmBytes& b, uint8_t v) { b.push_back(v); }
void PutU16(TpmBytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
void PutU32(TpmBytes& b, uint32_t v) {
    PutU16(b, static_cast<uint16_t>(v >> 16));
    PutU16(b, static_cast<uint16_t>(v));
}

void PatchCommandSize(TpmBytes& b) {
    if (b.size() < 6) return;
    const uint32_t n = static_cast<uint32_t>(b.size());
    for (int i = 0; i < 4; ++i) b[2 + i] = static_cast<uint8_t>(n >> (24 - 8 * i));
}

CommandResult ValidateResponse(uint32_t tbsResult, const uint8_t* bytes, size_t length) {
    CommandResult r;
    r.tbsResult = tbsResult;
    if (tbsResult != 0 || !bytes || length < 10 || length > kTpmReplyMax) return r;
    const uint32_t tag = Be(bytes, 2);
    if (tag != kTpmStNoSessions && tag != kTpmStSessions) return r;
    if (Be(bytes + 2, 4) != length) return r;
    r.wellFormed = true;
    r.tpmRc = Be(bytes + 6, 4);
    return r;
}

CommandResult SubmitCommand(TpmChannel& ch, const TpmBytes& command, TpmBytes& reply) {
    reply.assign(kTpmReplyMax, 0);
    uint32_t len = kTpmReplyMax;
    const uint32_t tbs = ch.transport ? ch.transport(command, reply.data(), len) : kTbsTpmNotFound;
    // A transport that claims more than the buffer holds is treated as a bad length.
    const CommandResult r = ValidateResponse(tbs, reply.data(), len);
    if (tbs != 0) {
        if (ch.firstTbsError == 0) ch.firstTbsError = tbs;
        reply.clear();
        return r;
    }
    if (!r.wellFormed) {
        ch.malformed = true;
        reply.clear();
        return r;
    }
    if (r.tpmRc != 0) ch.lastTpmRc = r.tpmRc;
    reply.resize(len);
    return r;
}

uint32_t GetU8(ResponseReader& r) {
    if (r.pos >= r.bytes.size()) {
        r.ok = false;
        return 0;
    }
    return r.bytes[r.pos++];
}

namespace {
uint32_t GetBe(ResponseReader& r, size_t n) {
    if (r.pos > r.bytes.size() || r.bytes.size() - r.pos < n) {
        r.ok = false;
        return 0;
    }
    const uint32_t v = Be(r.bytes.data() + r.pos, n);
    r.pos += n;
    return v;
}
}  // namespace

uint32_t GetU16(ResponseReader& r) { return GetBe(r, 2); }
uint32_t GetU32(ResponseReader& r) { return GetBe(r, 4); }

TpmBytes ReadBytes(ResponseReader& r, size_t n) {
    if (n == 0) return {};
    if (r.pos > r.bytes.size() || r.bytes.size() - r.pos < n) {
        r.ok = false;
        return {};
    }
    TpmBytes out(r.bytes.begin() + static_cast<std::ptrdiff_t>(r.pos),
                 r.bytes.begin() + static_cast<std::ptrdiff_t>(r.pos + n));
    r.pos += n;
    return out;
}

TpmBytes ReadSizedBuffer(ResponseReader& r) { return ReadBytes(r, GetU16(r)); }

std::string CommandStatusText(const CommandResult& r) {
    if (r.tbsResult != 0) return Format("TBS transport error 0x%08X", static_cast<unsigned>(r.tbsResult));
    if (!r.wellFormed) return "Malformed or unavailable TPM response";
    if (r.tpmRc == 0) return "TPM command completed";
    return Format("TPM response code 0x%08X", static_cast<unsigned>(r.tpmRc));
}

}  // namespace vorq
