// The read-only TPM 2.0 queries of the collector and the decoders of their
// values. Each parses a reply only when it is well formed with code 0, and
// marks the channel malformed when a reply is shorter than its own fields.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "collectors/trust/tpm_transport.h"

namespace vorq {

inline constexpr uint32_t kTpmCcGetCapability = 0x17A;
inline constexpr uint32_t kTpmCcReadPublic = 0x173;
inline constexpr uint32_t kTpmCcNvReadPublic = 0x169;
inline constexpr uint32_t kTpmCcNvRead = 0x14E;
inline constexpr uint32_t kTpmCcPcrRead = 0x17E;
inline constexpr uint16_t kTpmAlgRsa = 0x0001;
inline constexpr uint16_t kTpmAlgSha1 = 0x0004;
inline constexpr uint16_t kTpmAlgSha256 = 0x000B;
inline constexpr uint16_t kTpmAlgNull = 0x0010;
inline constexpr uint16_t kTpmAlgEcc = 0x0023;

using TpmPropertyMap = std::map<uint32_t, uint32_t>;

struct NvPublicInfo {
    bool present = false;
    uint32_t attributes = 0;
    uint16_t dataSize = 0;
    CommandResult result;
};

struct PublicKeyParams {
    uint16_t type = 0;
    uint16_t keyBits = 0;
    uint16_t curve = 0;
    uint32_t exponent = 0;  // as stored; 0 means the default 65537
    TpmBytes keyBytes;      // RSA modulus, or ECC x followed by y
};

struct PublicAreaInfo {
    bool present = false;
    CommandResult result;
    uint16_t type = 0;
    std::string description;
    std::string keyHash;  // first 32 hex digits of SHA-256 over the TPMT_PUBLIC
    std::string nameHex;
    TpmBytes keyBytes;
    PublicKeyParams params;
};

TpmPropertyMap GetTpmProperties(TpmChannel& ch);
std::vector<uint16_t> GetActivePcrBanks(TpmChannel& ch);
std::vector<uint32_t> GetHandles(TpmChannel& ch, uint32_t firstHandle, uint32_t count);
PublicAreaInfo ReadPublicKey(TpmChannel& ch, uint32_t handle);
NvPublicInfo NvReadPublic(TpmChannel& ch, uint32_t nvIndex);
bool NvAttributesReadable(uint32_t attributes);
// Reads the index in chunks of at most `chunkSize`, in no more commands than
// the chunks of that size plus kNvReadSlackCommands; past that the read fails
// as a short one. `objectLength`, when given, tells the length of the object
// stored from its first bytes (0 while unknown): the read stops once it is in.
inline constexpr uint32_t kNvReadSlackCommands = 4;
bool NvRead(TpmChannel& ch, uint32_t nvIndex, const NvPublicInfo& info, uint32_t chunkSize, TpmBytes& bytes,
            CommandResult& result, const std::function<size_t(const TpmBytes&)>& objectLength = {});
// The chunk size for NvRead from TPM_PT_NV_BUFFER_MAX: the property when it is 1..512, else 512.
uint32_t NvChunkSize(const TpmPropertyMap& props);
TpmBytes ReadPcr(TpmChannel& ch, uint16_t bank, uint32_t index);

// Decoding of a TPM2B_PUBLIC's contents (the TPMT_PUBLIC), shared with ReadPublicKey.
// `present` is false when the area is shorter than its fields.
void DecodePublicArea(const TpmBytes& area, PublicAreaInfo& info);

uint32_t LookupTpmProperty(const TpmPropertyMap& map, uint32_t id);
std::string TpmPropertyName(uint32_t id);
std::string AlgName(uint16_t alg);
std::string FourCcText(uint32_t value);

// The command bytes the queries send, for recording and checking replies.
TpmBytes GetCapabilityCommand(uint32_t capability, uint32_t property, uint32_t count);
TpmBytes ReadPublicCommand(uint32_t handle);
TpmBytes NvReadPublicCommand(uint32_t nvIndex);
TpmBytes NvReadCommand(uint32_t nvIndex, uint16_t size, uint16_t offset);
TpmBytes PcrReadCommand(uint16_t bank, uint32_t index);

}  // namespace vorq
