// Requests and replies of the storage I/O controls, by byte offset. Every
// offset or length taken from a reply is checked against the reply's size.
#include <algorithm>

#include "collectors/devices/storage.h"
#include "core/placeholders.h"

namespace vorq {

namespace {

void PutLe32(Bytes& b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutLe16(Bytes& b, size_t off, uint16_t v) {
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}

bool Fits(const Bytes& b, size_t off, size_t n) { return off <= b.size() && n <= b.size() - off; }

bool AllZero(const uint8_t* p, size_t n) {
    return std::all_of(p, p + n, [](uint8_t c) { return c == 0; });
}

std::string FixedText(const Bytes& b, size_t off, size_t n) { return Trim(Latin1ToUtf8(b.data() + off, n)); }

constexpr size_t kMaxPropertyReply = 0x100000;

}  // namespace

bool ReadLe16(const Bytes& b, size_t off, uint16_t& v) {
    if (!Fits(b, off, 2)) return false;
    v = static_cast<uint16_t>(b[off] | b[off + 1] << 8);
    return true;
}

bool ReadLe32(const Bytes& b, size_t off, uint32_t& v) {
    if (!Fits(b, off, 4)) return false;
    v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | b[off + i];
    return true;
}

bool ReadLe64(const Bytes& b, size_t off, uint64_t& v) {
    if (!Fits(b, off, 8)) return false;
    v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | b[off + i];
    return true;
}

Bytes BuildPropertyQuery(uint32_t propertyId) {
    Bytes q(12, 0);
    PutLe32(q, 0, propertyId);  // QueryType 0: standard query
    return q;
}

bool QueryStorageProperty(const IoControl& io, uint32_t propertyId, Bytes& out) {
    const Bytes query = BuildPropertyQuery(propertyId);
    size_t capacity = 4096;
    uint32_t error = 0;
    out.clear();
    if (!io(kIoctlStorageQueryProperty, query, capacity, out, error)) return false;
    uint32_t size = 0;
    if (out.size() >= 8 && ReadLe32(out, 4, size) && size > capacity && size < kMaxPropertyReply) {
        capacity = size;
        out.clear();
        if (!io(kIoctlStorageQueryProperty, query, capacity, out, error)) return false;
    }
    if (out.size() > capacity) out.resize(capacity);  // a seam never returns more than it was offered
    return !out.empty();
}

std::string ReadDescriptorString(const Bytes& reply, uint32_t offset) {
    if (offset == 0 || offset >= reply.size()) return std::string();
    return Trim(Latin1ToUtf8(reply.data() + offset, reply.size() - offset));
}

const char* GetScsiDesignatorTypeName(uint32_t type) {
    static const char* const kNames[] = {"vendor-specific", "T10 vendor ID",  "EUI-64",     "NAA",
                                         "relative port",   "target port group", "LU group", "MD5 LU ID",
                                         "SCSI name string"};
    return type < 9 ? kNames[type] : "other";
}

const char* GetBusTypeName(uint32_t busType) {
    static const char* const kNames[] = {"Unknown", "SCSI", "ATAPI", "ATA", "1394", "SSA", "Fibre Channel",
                                         "USB", "RAID", "iSCSI", "SAS", "SATA", "SD", "MMC", "Virtual",
                                         "File-backed virtual", "Storage Spaces", "NVMe", "SCM", "UFS"};
    return busType < 20 ? kNames[busType] : "Unknown";
}

Bytes BuildNvmeIdentifyQuery(bool controller, uint32_t namespaceId) {
    Bytes q(kNvmeQuerySize, 0);
    PutLe32(q, 0, controller ? kStorageAdapterProtocolSpecificProperty : kStorageDeviceProtocolSpecificProperty);
    PutLe32(q, 4, 0);                           // standard query
    PutLe32(q, 8, 3);                           // ProtocolTypeNvme
    PutLe32(q, 12, 1);                          // NVMeDataTypeIdentify
    PutLe32(q, 16, controller ? 1 : 0);         // CNS
    PutLe32(q, 20, controller ? 0 : namespaceId);
    PutLe32(q, kNvmeDataOffsetField, 40);       // data follows the 40-byte protocol header
    PutLe32(q, kNvmeDataLengthField, static_cast<uint32_t>(kNvmeIdentifySize));
    return q;
}

bool ParseNvmeIdentifyReply(const Bytes& reply, Bytes& identify, uint32_t& error) {
    uint32_t version = 0, size = 0, dataOffset = 0, dataLength = 0;
    bool ok = ReadLe32(reply, 0, version) && ReadLe32(reply, 4, size) && ReadLe32(reply, kNvmeDataOffsetField, dataOffset) &&
              ReadLe32(reply, kNvmeDataLengthField, dataLength) && version == 48 && size == 48 && dataOffset >= 40 &&
              dataLength >= kNvmeIdentifySize &&
              kNvmeProtocolFields + static_cast<uint64_t>(dataOffset) + kNvmeIdentifySize <= kNvmeQuerySize &&
              Fits(reply, kNvmeProtocolFields + static_cast<size_t>(dataOffset), kNvmeIdentifySize);
    if (!ok) {
        error = kErrorInvalidData;
        return false;
    }
    const auto* p = reply.data() + kNvmeProtocolFields + dataOffset;
    identify.assign(p, p + kNvmeIdentifySize);
    return true;
}

bool QueryNvmeIdentify(const IoControl& io, bool controller, uint32_t namespaceId, Bytes& out, uint32_t& error) {
    Bytes reply;
    if (!io(kIoctlStorageQueryProperty, BuildNvmeIdentifyQuery(controller, namespaceId), kNvmeQuerySize, reply, error))
        return false;
    return ParseNvmeIdentifyReply(reply, out, error);
}

Bytes BuildAtaIdentifyRequest() {
    Bytes b(kAtaPassThroughSize, 0);
    PutLe16(b, 0, 48);   // Length of ATA_PASS_THROUGH_EX
    PutLe16(b, 2, 3);    // ATA_FLAGS_DRDY_REQUIRED | ATA_FLAGS_DATA_IN
    PutLe32(b, 8, static_cast<uint32_t>(kAtaIdentifySize));
    PutLe32(b, 12, 5);   // seconds
    PutLe32(b, 24, 48);  // DataBufferOffset (64-bit; high half stays 0)
    b[46] = 0xEC;        // IDENTIFY DEVICE
    return b;
}

bool ParseAtaIdentifyReply(const Bytes& reply, Bytes& identify, uint32_t& error) {
    error = kErrorInvalidData;
    if (reply.size() < kAtaPassThroughSize) return false;
    if (reply[46] & 0x29) return false;  // ERR, DRQ or DF in the status register
    const uint8_t* data = reply.data() + 48;
    if (AllZero(data, kAtaIdentifySize)) return false;
    if (data[1] & 0x80) return false;  // word 0 bit 15: not an ATA device
    identify.assign(data, data + kAtaIdentifySize);
    error = 0;
    return true;
}

bool AtaIdentifyDevice(const IoControl& io, Bytes& out, uint32_t& error) {
    Bytes reply;
    if (!io(kIoctlAtaPassThrough, BuildAtaIdentifyRequest(), kAtaPassThroughSize, reply, error)) return false;
    return ParseAtaIdentifyReply(reply, out, error);
}

DeviceDescriptor ParseDeviceDescriptor(const Bytes& reply) {
    DeviceDescriptor d;
    uint32_t off = 0;
    if (ReadLe32(reply, 12, off)) d.vendor = ReadDescriptorString(reply, off);
    if (ReadLe32(reply, 16, off)) d.product = ReadDescriptorString(reply, off);
    if (ReadLe32(reply, 20, off)) d.revision = ReadDescriptorString(reply, off);
    if (ReadLe32(reply, 24, off)) d.serial = ReadDescriptorString(reply, off);
    d.removable = reply.size() > 10 && reply[10] != 0;
    d.busKnown = ReadLe32(reply, 28, d.busType);
    return d;
}

int ParseSeekPenalty(const Bytes& reply) { return reply.size() > 8 ? (reply[8] != 0 ? 1 : 0) : -1; }

std::string ParseAdapterSerial(const Bytes& reply) {
    if (reply.size() <= 8) return std::string();
    size_t avail = std::min<size_t>((reply.size() - 8) / 2, 128);
    size_t n = 0;
    while (n < avail && (reply[8 + 2 * n] | reply[9 + 2 * n]) != 0) ++n;
    return Trim(Utf16LeBytesToUtf8(reply.data() + 8, n * 2));
}

std::vector<ScsiDesignator> WalkDesignators(const Bytes& reply, size_t maxCount, bool* truncated) {
    std::vector<ScsiDesignator> out;
    if (truncated) *truncated = false;
    uint32_t total = 0;
    if (reply.size() < 16 || !ReadLe32(reply, 8, total) || total == 0) return out;
    size_t off = 12;
    uint32_t count = 0;
    for (;;) {
        if (!Fits(reply, off, 16)) break;
        uint16_t idSize = 0, next = 0;
        ReadLe16(reply, off + 8, idSize);
        ReadLe16(reply, off + 10, next);
        if (!Fits(reply, off + 16, idSize)) break;
        if (out.size() == maxCount) {
            if (truncated) *truncated = true;
            break;
        }
        ScsiDesignator d;
        ReadLe32(reply, off, d.codeSet);
        ReadLe32(reply, off + 4, d.type);
        ReadLe32(reply, off + 12, d.association);
        const uint8_t* id = reply.data() + off + 16;
        d.text = (d.codeSet == 2 || d.codeSet == 3) ? Trim(Latin1ToUtf8(id, idSize)) : HexEncode(id, idSize);
        out.push_back(std::move(d));
        if (next == 0) break;
        off += next;
        if (++count >= total) break;
    }
    return out;
}

NvmeController ParseNvmeController(const Bytes& id) {
    NvmeController c;
    if (id.size() < kNvmeIdentifySize) return c;
    uint16_t vid = 0, ssvid = 0;
    uint32_t ver = 0;
    ReadLe16(id, 0, vid);
    ReadLe16(id, 2, ssvid);
    ReadLe32(id, 80, ver);
    c.vid = Format("%04X", vid);
    c.ssvid = Format("%04X", ssvid);
    c.serial = FixedText(id, 4, 20);
    c.model = FixedText(id, 24, 40);
    c.firmware = FixedText(id, 64, 8);
    c.oui = Format("%02X-%02X-%02X", id[75], id[74], id[73]);
    c.version = Format("%u.%u.%u", ver >> 16, (ver >> 8) & 0xFF, ver & 0xFF);
    if (!AllZero(id.data() + 112, 16)) c.fruGuid = HexEncode(id.data() + 112, 16);
    c.subnqn = FixedText(id, 768, 256);
    return c;
}

NvmeNamespace ParseNvmeNamespace(const Bytes& id) {
    NvmeNamespace n;
    if (id.size() < kNvmeIdentifySize) return n;
    if (!AllZero(id.data() + 104, 16)) n.nguid = HexEncode(id.data() + 104, 16);
    if (!AllZero(id.data() + 120, 8)) n.eui64 = HexEncode(id.data() + 120, 8);
    return n;
}

std::string AtaIdString(const uint8_t* words, size_t wordCount) {
    std::vector<uint8_t> chars;
    chars.reserve(wordCount * 2);
    for (size_t i = 0; i < wordCount; ++i) {
        chars.push_back(words[2 * i + 1]);
        chars.push_back(words[2 * i]);
    }
    return Trim(Latin1ToUtf8(chars.data(), chars.size()));
}

bool AtaWwnSupported(uint16_t word) { return (word & 0xC100) == 0x4100; }

AtaIdentity ParseAtaIdentity(const Bytes& id) {
    AtaIdentity a;
    if (id.size() < kAtaIdentifySize) return a;
    auto word = [&](size_t n) { return static_cast<uint16_t>(id[2 * n] | id[2 * n + 1] << 8); };
    a.serial = AtaIdString(id.data() + 2 * 10, 10);
    a.firmware = AtaIdString(id.data() + 2 * 23, 4);
    a.model = AtaIdString(id.data() + 2 * 27, 20);
    if (AtaWwnSupported(word(87)) || AtaWwnSupported(word(84))) {
        uint8_t wwn[8];
        for (size_t i = 0; i < 4; ++i) {
            wwn[2 * i] = static_cast<uint8_t>(word(108 + i) >> 8);
            wwn[2 * i + 1] = static_cast<uint8_t>(word(108 + i));
        }
        if (!AllZero(wwn, 8) && (wwn[0] >> 4) == 5) a.wwn = HexEncode(wwn, 8);
    }
    return a;
}

bool ParseDeviceNumber(const Bytes& reply, int32_t& number) {
    uint32_t v = 0;
    if (!ReadLe32(reply, 4, v)) return false;
    number = static_cast<int32_t>(v);
    return true;
}

bool ParseDiskSize(const Bytes& reply, uint64_t& size) { return ReadLe64(reply, 24, size); }

DriveLayout ParseDriveLayout(const Bytes& reply) {
    DriveLayout l;
    uint32_t style = 0, count = 0;
    if (!ReadLe32(reply, 0, style)) {
        l.style.assign(1, '?');
        return l;
    }
    if (style == 0) {
        l.style.assign("MBR", 3);
        uint32_t sig = 0;
        if (ReadLe32(reply, 8, sig)) l.identity = Format("signature %08X", sig);
    } else if (style == 1) {
        l.style.assign("GPT", 3);
        if (Fits(reply, 8, 16)) l.identity = FormatGuid(GuidFromBytes(reply.data() + 8));
        ReadLe32(reply, 4, count);
        for (uint32_t i = 0; i < std::min<uint32_t>(count, 128); ++i) {
            size_t e = 48 + static_cast<size_t>(i) * 144;
            uint32_t entryStyle = 0;
            if (!ReadLe32(reply, e, entryStyle) || !Fits(reply, e + 32, 32)) break;
            if (entryStyle == 1 && FormatGuid(GuidFromBytes(reply.data() + e + 32)) == kEfiSystemPartitionType)
                l.espGuid = FormatGuid(GuidFromBytes(reply.data() + e + 48));
        }
    } else {
        l.style.assign("RAW", 3);
    }
    return l;
}

std::string ParsePartitionType(const Bytes& reply) {
    // PartitionStyle at 0, the style's union at 32: the MBR type byte or the GPT type GUID.
    uint32_t style = 0;
    if (!ReadLe32(reply, 0, style) || !Fits(reply, 32, 16)) return std::string();
    if (style == 0) return Format("0x%02X", static_cast<unsigned>(reply[32]));
    if (style == 1) return FormatGuid(GuidFromBytes(reply.data() + 32));
    return std::string();
}

uint32_t ParseFirstExtentDisk(const Bytes& reply) {
    uint32_t n = 0, disk = 0;
    if (!ReadLe32(reply, 0, n) || n == 0 || !ReadLe32(reply, 8, disk)) return 0xFFFFFFFF;
    return disk;
}

}  // namespace vorq
