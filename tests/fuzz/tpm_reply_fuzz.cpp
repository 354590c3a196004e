// Any bytes as the reply of every TPM command: validation, the reader and
// each query stay inside the bytes, and the collector finishes with a
// consistent command record.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "collectors/trust/tpm.h"
#include "collectors/trust/tpm_queries.h"

namespace {

vorq::TpmTransport Answer(const uint8_t* data, size_t size) {
    return [data, size](const vorq::TpmBytes&, uint8_t* reply, uint32_t& len) -> uint32_t {
        const size_t n = size < len ? size : len;
        if (n) std::memcpy(reply, data, n);
        len = static_cast<uint32_t>(size > 0xFFFFFFFFu ? 0xFFFFFFFFu : size);
        return 0;
    };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorq;
    const CommandResult v = ValidateResponse(0, data, size);
    if (v.wellFormed && (size < 10 || size > kTpmReplyMax)) abort();
    if (!v.wellFormed && v.tpmRc != 0) abort();

    TpmChannel ch;
    ch.transport = Answer(data, size);
    TpmBytes reply;
    const CommandResult r = SubmitCommand(ch, GetCapabilityCommand(6, 0x100, 64), reply);
    if (r.wellFormed != !reply.empty() || r.wellFormed != !ch.malformed) abort();
    if (r.wellFormed && reply.size() != size) abort();

    const TpmPropertyMap props = GetTpmProperties(ch);
    if (props.size() > 16 * 1024) abort();
    GetActivePcrBanks(ch);
    GetHandles(ch, 0x81000000, 64);
    const PublicAreaInfo pub = ReadPublicKey(ch, 0x81010001);
    if (pub.present && pub.keyHash.size() != 32) abort();
    const NvPublicInfo nv = NvReadPublic(ch, 0x01C00002);
    NvPublicInfo readable = nv;
    readable.present = true;
    readable.attributes = 0x02040000;
    readable.dataSize = readable.dataSize ? readable.dataSize : 100;
    TpmBytes bytes;
    CommandResult nr;
    if (NvRead(ch, 0x01C00002, readable, NvChunkSize(props), bytes, nr) && bytes.size() < readable.dataSize) abort();
    ReadPcr(ch, 0x000B, 7);

    TpmSource src;
    src.deviceResult = 0;
    src.device.tpmVersion = 2;
    src.openContext = [] { return 0u; };
    src.transport = Answer(data, size);
    src.keyStatus = [] { return TpmKeyResult{}; };
    Snapshot s;
    CollectTpmFrom(s, src);
    const std::string status = GetFact(s, "tpm.status"), replies = GetFact(s, "tpm.command_reply_status");
    if (status != "available" && status != "error") abort();
    if ((replies == "malformed") != (status == "error")) abort();
    return 0;
}
