#include "collectors/trust/tpm_queries.h"

#include <algorithm>
#include <iterator>

#include "core/hash.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr uint32_t kCapHandles = 1, kCapPcrs = 5, kCapTpmProperties = 6;
constexpr uint32_t kTpmRsPw = 0x40000009;
constexpr uint32_t kPropertiesPerRequest = 64, kMaxRequestsPerGroup = 8;

TpmBytes Submit(TpmChannel& ch, const TpmBytes& cmd, CommandResult& r) {
    TpmBytes reply;
    r = SubmitCommand(ch, cmd, reply);
    return reply;
}

std::string CurveName(uint16_t curve) {
    switch (curve) {
        case 3: return "NIST P-256";
        case 4: return "NIST P-384";
        case 5: return "NIST P-521";
        case 0x10: return "BN P-256";
        case 0x20: return "SM2 P-256";
        default: return "curve ?";
    }
}

TpmBytes Finish(TpmBytes b) {
    PatchCommandSize(b);
    return b;
}

}  // namespace

TpmBytes GetCapabilityCommand(uint32_t capability, uint32_t property, uint32_t count) {
    TpmBytes b = BuildTpm2CommandHeader(kTpmStNoSessions, kTpmCcGetCapability);
    PutU32(b, capability);
    PutU32(b, property);
    PutU32(b, count);
    return Finish(std::move(b));
}

TpmBytes ReadPublicCommand(uint32_t handle) {
    TpmBytes b = BuildTpm2CommandHeader(kTpmStNoSessions, kTpmCcReadPublic);
    PutU32(b, handle);
    return Finish(std::move(b));
}

TpmBytes NvReadPublicCommand(uint32_t nvIndex) {
    TpmBytes b = BuildTpm2CommandHeader(kTpmStNoSessions, kTpmCcNvReadPublic);
    PutU32(b, nvIndex);
    return Finish(std::move(b));
}

TpmBytes NvReadCommand(uint32_t nvIndex, uint16_t size, uint16_t offset) {
    TpmBytes b = BuildTpm2CommandHeader(kTpmStSessions, kTpmCcNvRead);
    PutU32(b, nvIndex);  // authorized by the index itself, empty password
    PutU32(b, nvIndex);
    PutU32(b, 9);
    PutU32(b, kTpmRsPw);
    PutU16(b, 0);
    PutU8(b, 0);
    PutU16(b, 0);
    PutU16(b, size);
    PutU16(b, offset);
    return Finish(std::move(b));
}

TpmBytes PcrReadCommand(uint16_t bank, uint32_t index) {
    TpmBytes b = BuildTpm2CommandHeader(kTpmStNoSessions, kTpmCcPcrRead);
    PutU32(b, 1);
    PutU16(b, bank);
    PutU8(b, 3);
    for (uint32_t i = 0; i < 3; ++i) PutU8(b, i == index / 8 ? static_cast<uint8_t>(1u << (index % 8)) : 0);
    return Finish(std::move(b));
}

TpmPropertyMap GetTpmProperties(TpmChannel& ch) {
    TpmPropertyMap map;
    for (uint32_t group : {0x100u, 0x200u}) {
        uint32_t property = group;
        for (uint32_t requests = 0; requests < kMaxRequestsPerGroup;) {
            CommandResult res;
            const TpmBytes reply = Submit(ch, GetCapabilityCommand(kCapTpmProperties, property, kPropertiesPerRequest), res);
            if (!ResponseOk(res)) break;
            ResponseReader r(reply);
            const uint32_t more = GetU8(r);
            GetU32(r);
            const uint32_t count = GetU32(r);
            uint32_t last = 0;
            bool shortRead = false;
            for (uint32_t i = 0; i < count; ++i) {
                if (!r.ok) {
                    shortRead = true;
                    break;
                }
                const uint32_t id = GetU32(r), value = GetU32(r);
                if (r.ok) {
                    map[id] = value;
                    last = id;
                }
            }
            if (shortRead || !r.ok) {
                ch.malformed = true;
                break;
            }
            if (more == 0 || count == 0 || last >= group + 255) break;
            property = last + 1;
            ++requests;
        }
    }
    return map;
}

std::vector<uint16_t> GetActivePcrBanks(TpmChannel& ch) {
    std::vector<uint16_t> banks;
    CommandResult res;
    const TpmBytes reply = Submit(ch, GetCapabilityCommand(kCapPcrs, 0, 1), res);
    if (!ResponseOk(res)) return banks;
    ResponseReader r(reply);
    GetU8(r);
    GetU32(r);
    const uint32_t count = GetU32(r);
    for (uint32_t i = 0; r.ok && i < count; ++i) {
        const uint16_t hash = static_cast<uint16_t>(GetU16(r));
        const TpmBytes select = ReadBytes(r, GetU8(r));
        if (!r.ok) break;
        for (uint8_t b : select)
            if (b != 0) {
                banks.push_back(hash);
                break;
            }
    }
    if (!r.ok) ch.malformed = true;
    return banks;
}

std::vector<uint32_t> GetHandles(TpmChannel& ch, uint32_t firstHandle, uint32_t count) {
    std::vector<uint32_t> handles;
    CommandResult res;
    const TpmBytes reply = Submit(ch, GetCapabilityCommand(kCapHandles, firstHandle, count), res);
    if (!ResponseOk(res)) return handles;
    ResponseReader r(reply);
    GetU8(r);  // moreData: the lists asked for are never paged
    GetU32(r);
    const uint32_t n = GetU32(r);
    for (uint32_t i = 0; r.ok && i < n; ++i) {
        const uint32_t h = GetU32(r);
        if (r.ok && (h >> 24) == (firstHandle >> 24)) handles.push_back(h);
    }
    if (!r.ok) ch.malformed = true;
    return handles;
}

void DecodePublicArea(const TpmBytes& area, PublicAreaInfo& info) {
    ResponseReader r(area, 0);
    info.type = static_cast<uint16_t>(GetU16(r));
    const uint16_t nameAlg = static_cast<uint16_t>(GetU16(r));
    GetU32(r);
    ReadSizedBuffer(r);
    if (GetU16(r) != kTpmAlgNull) {
        GetU16(r);
        GetU16(r);
    }
    if (GetU16(r) != kTpmAlgNull) GetU16(r);
    PublicKeyParams p;
    p.type = info.type;
    if (info.type == kTpmAlgRsa) {
        p.keyBits = static_cast<uint16_t>(GetU16(r));
        p.exponent = GetU32(r);
        info.keyBytes = ReadSizedBuffer(r);
        info.description = Format("RSA %u, name alg %s", static_cast<unsigned>(p.keyBits), AlgName(nameAlg).c_str());
    } else if (info.type == kTpmAlgEcc) {
        p.curve = static_cast<uint16_t>(GetU16(r));
        if (GetU16(r) != kTpmAlgNull) GetU16(r);
        TpmBytes x = ReadSizedBuffer(r);
        const TpmBytes y = ReadSizedBuffer(r);
        if (r.ok) {
            x.insert(x.end(), y.begin(), y.end());
            info.keyBytes = std::move(x);
        }
        info.description = Format("ECC %s, name alg %s", CurveName(p.curve).c_str(), AlgName(nameAlg).c_str());
    } else {
        info.description = Format("type 0x%04X", static_cast<unsigned>(info.type));
    }
    p.keyBytes = info.keyBytes;
    info.params = std::move(p);
    info.present = r.ok;
}

PublicAreaInfo ReadPublicKey(TpmChannel& ch, uint32_t handle) {
    PublicAreaInfo info;
    const TpmBytes reply = Submit(ch, ReadPublicCommand(handle), info.result);
    if (!ResponseOk(info.result)) return info;
    ResponseReader r(reply);
    const TpmBytes outPublic = ReadSizedBuffer(r);
    const TpmBytes name = ReadSizedBuffer(r);
    if (!r.ok || outPublic.size() < 8) {
        info.result.wellFormed = false;
        ch.malformed = true;
        return info;
    }
    info.keyHash = Sha256Hex(outPublic.data(), outPublic.size()).substr(0, 32);
    info.nameHex = HexEncode(name);
    DecodePublicArea(outPublic, info);
    if (!info.present) {
        info.result.wellFormed = false;
        ch.malformed = true;
    }
    return info;
}

NvPublicInfo NvReadPublic(TpmChannel& ch, uint32_t nvIndex) {
    NvPublicInfo info;
    const TpmBytes reply = Submit(ch, NvReadPublicCommand(nvIndex), info.result);
    if (!ResponseOk(info.result)) return info;
    ResponseReader r(reply);
    GetU16(r);
    GetU32(r);
    GetU16(r);
    info.attributes = GetU32(r);
    ReadSizedBuffer(r);
    info.dataSize = static_cast<uint16_t>(GetU16(r));
    info.present = r.ok;
    if (!r.ok) {
        info.result.wellFormed = false;
        ch.malformed = true;
    }
    return info;
}

bool NvAttributesReadable(uint32_t attributes) {
    // AUTHREAD and NO_DA set, READLOCKED clear, ordinary index: a read with the
    // empty password can never count against dictionary-attack protection.
    return (attributes & 0x12040000u) == 0x02040000u && (attributes & 0xF0u) == 0;
}

uint32_t NvChunkSize(const TpmPropertyMap& props) {
    const uint32_t v = LookupTpmProperty(props, 0x12C);
    return v >= 1 && v <= 512 ? v : 512;
}

bool NvRead(TpmChannel& ch, uint32_t nvIndex, const NvPublicInfo& info, uint32_t chunkSize, TpmBytes& bytes,
            CommandResult& result, const std::function<size_t(const TpmBytes&)>& objectLength) {
    bytes.clear();
    if (!info.present || !NvAttributesReadable(info.attributes) || chunkSize == 0 || info.dataSize == 0) return false;
    // A TPM that answers with far less than asked would otherwise take one
    // command per few bytes of the index; past the bound it counts as a short read.
    const uint32_t maxCommands = (info.dataSize + chunkSize - 1) / chunkSize + kNvReadSlackCommands;
    uint32_t offset = 0;
    for (uint32_t sent = 0;; ++sent) {
        if (sent == maxCommands) {
            result.wellFormed = false;
            ch.malformed = true;
            bytes.clear();
            return false;
        }
        const uint32_t size = std::min<uint32_t>(info.dataSize - offset, chunkSize);
        const TpmBytes reply = Submit(ch, NvReadCommand(nvIndex, static_cast<uint16_t>(size), static_cast<uint16_t>(offset)), result);
        if (!ResponseOk(result)) return false;
        ResponseReader r(reply);
        GetU32(r);
        const TpmBytes chunk = ReadSizedBuffer(r);
        if (!r.ok || chunk.empty() || chunk.size() > size) {
            result.wellFormed = false;
            ch.malformed = true;
            bytes.clear();
            return false;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.end());
        offset += static_cast<uint32_t>(chunk.size());
        if (offset >= info.dataSize) return true;
        if (objectLength) {
            const size_t length = objectLength(bytes);
            if (length != 0 && length <= bytes.size()) return true;  // the rest is the index's padding
        }
    }
}

TpmBytes ReadPcr(TpmChannel& ch, uint16_t bank, uint32_t index) {
    CommandResult res;
    const TpmBytes reply = Submit(ch, PcrReadCommand(bank, index), res);
    if (!ResponseOk(res)) return {};
    ResponseReader r(reply);
    GetU32(r);
    const uint32_t selections = GetU32(r);
    for (uint32_t i = 0; r.ok && i < selections; ++i) {
        GetU16(r);
        ReadBytes(r, GetU8(r));
    }
    const uint32_t digests = GetU32(r);
    TpmBytes value;
    if (r.ok && digests != 0) value = ReadSizedBuffer(r);
    if (!r.ok) {
        ch.malformed = true;
        return {};
    }
    return value;
}

uint32_t LookupTpmProperty(const TpmPropertyMap& map, uint32_t id) {
    const auto it = map.find(id);
    return it == map.end() ? 0 : it->second;
}

std::string TpmPropertyName(uint32_t id) {
    static const std::map<uint32_t, const char*> names = [] {
        static const char* const fixed[] = {
            "FAMILY_INDICATOR", "LEVEL", "REVISION", "DAY_OF_YEAR", "YEAR", "MANUFACTURER", "VENDOR_STRING_1",
            "VENDOR_STRING_2", "VENDOR_STRING_3", "VENDOR_STRING_4", "VENDOR_TPM_TYPE", "FIRMWARE_VERSION_1",
            "FIRMWARE_VERSION_2", "INPUT_BUFFER", "HR_TRANSIENT_MIN", "HR_PERSISTENT_MIN", "HR_LOADED_MIN",
            "ACTIVE_SESSIONS_MAX", "PCR_COUNT", "PCR_SELECT_MIN", "CONTEXT_GAP_MAX", nullptr, "NV_COUNTERS_MAX",
            "NV_INDEX_MAX", "MEMORY", "CLOCK_UPDATE", "CONTEXT_HASH", "CONTEXT_SYM", "CONTEXT_SYM_SIZE",
            "ORDERLY_COUNT", "MAX_COMMAND_SIZE", "MAX_RESPONSE_SIZE", "MAX_DIGEST", "MAX_OBJECT_CONTEXT",
            "MAX_SESSION_CONTEXT", "PS_FAMILY_INDICATOR", "PS_LEVEL", "PS_REVISION", "PS_DAY_OF_YEAR", "PS_YEAR",
            "SPLIT_MAX", "TOTAL_COMMANDS", "LIBRARY_COMMANDS", "VENDOR_COMMANDS", "NV_BUFFER_MAX", "MODES",
            "MAX_CAP_BUFFER"};
        static const char* const var[] = {
            "PERMANENT", "STARTUP_CLEAR", "HR_NV_INDEX", "HR_LOADED", "HR_LOADED_AVAIL", "HR_ACTIVE",
            "HR_ACTIVE_AVAIL", "HR_TRANSIENT_AVAIL", "HR_PERSISTENT", "HR_PERSISTENT_AVAIL", "NV_COUNTERS",
            "NV_COUNTERS_AVAIL", "ALGORITHM_SET", "LOADED_CURVES", "LOCKOUT_COUNTER", "MAX_AUTH_FAIL",
            "LOCKOUT_INTERVAL", "LOCKOUT_RECOVERY", "NV_WRITE_RECOVERY"};
        std::map<uint32_t, const char*> m;
        for (uint32_t i = 0; i < std::size(fixed); ++i)
            if (fixed[i]) m[0x100 + i] = fixed[i];
        for (uint32_t i = 0; i < std::size(var); ++i) m[0x200 + i] = var[i];
        return m;
    }();
    const auto it = names.find(id);
    return it == names.end() ? std::string() : std::string(it->second);
}

std::string AlgName(uint16_t alg) {
    switch (alg) {
        case 0x0001: return "RSA";
        case 0x0004: return "SHA1";
        case 0x000B: return "SHA256";
        case 0x000C: return "SHA384";
        case 0x000D: return "SHA512";
        case 0x0012: return "SM3_256";
        case 0x0023: return "ECC";
        default: return "?";
    }
}

std::string FourCcText(uint32_t value) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>(value >> shift & 0xFF);
        if (c >= 0x20 && c <= 0x7E) s.push_back(c);
    }
    return Trim(s);
}

}  // namespace vorq
