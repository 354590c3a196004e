// Byte-exact replies of the storage I/O controls, built field by field, and a
// scripted disk behind the IoControl seam.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "collectors/devices/storage.h"

namespace vorq::test {

inline void Put32(Bytes& b, size_t off, uint32_t v) {
    if (b.size() < off + 4) b.resize(off + 4, 0);
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put16(Bytes& b, size_t off, uint16_t v) {
    if (b.size() < off + 2) b.resize(off + 2, 0);
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}
inline void PutBytes(Bytes& b, size_t off, const Bytes& v) {
    if (b.size() < off + v.size()) b.resize(off + v.size(), 0);
    std::copy(v.begin(), v.end(), b.begin() + static_cast<std::ptrdiff_t>(off));
}
inline Bytes Ascii(const std::string& s) { return Bytes(s.begin(), s.end()); }

// STORAGE_DEVICE_DESCRIPTOR with its strings after the 40-byte fixed part.
inline Bytes DeviceDescriptorReply(const std::string& vendor, const std::string& product, const std::string& revision,
                                   const std::string& serial, uint32_t bus, bool removable) {
    Bytes b(40, 0);
    b[10] = removable ? 1 : 0;
    Put32(b, 28, bus);
    const std::string* fields[] = {&vendor, &product, &revision, &serial};
    for (int i = 0; i < 4; ++i) {
        if (fields[i]->empty()) continue;  // offset 0: absent
        Put32(b, 12 + 4 * i, static_cast<uint32_t>(b.size()));
        for (char c : *fields[i]) b.push_back(static_cast<uint8_t>(c));
        b.push_back(0);
    }
    Put32(b, 0, 40);
    Put32(b, 4, static_cast<uint32_t>(b.size()));
    return b;
}

struct DesignatorSpec {
    uint32_t codeSet, type, association;
    Bytes id;
};

// STORAGE_DEVICE_ID_DESCRIPTOR with identifiers packed back to back.
inline Bytes DeviceIdReply(const std::vector<DesignatorSpec>& ds) {
    Bytes b(12, 0);
    Put32(b, 8, static_cast<uint32_t>(ds.size()));
    for (size_t i = 0; i < ds.size(); ++i) {
        size_t off = b.size();
        size_t next = 16 + ds[i].id.size();
        Put32(b, off, ds[i].codeSet);
        Put32(b, off + 4, ds[i].type);
        Put16(b, off + 8, static_cast<uint16_t>(ds[i].id.size()));
        Put16(b, off + 10, static_cast<uint16_t>(i + 1 < ds.size() ? next : 0));
        Put32(b, off + 12, ds[i].association);
        PutBytes(b, off + 16, ds[i].id);
    }
    Put32(b, 4, static_cast<uint32_t>(b.size()));
    return b;
}

// The 4144-byte protocol reply around 4096 Identify bytes.
// What the driver returns for BuildNvmeIdentifyQuery: the protocol fields of
// the query echoed after Version and Size (48 each), the Identify data where
// the query's ProtocolDataOffset points.
inline Bytes NvmeReply(const Bytes& identify) {
    Bytes b = BuildNvmeIdentifyQuery(true, 0);
    Put32(b, 0, 48);
    Put32(b, 4, 48);
    const size_t data = b.size() - kNvmeIdentifySize;
    for (size_t i = 0; i < identify.size() && data + i < b.size(); ++i) b[data + i] = identify[i];
    return b;
}

inline Bytes NvmeControllerData(const std::string& sn, const std::string& mn, const std::string& fr) {
    Bytes d(kNvmeIdentifySize, 0);
    Put16(d, 0, 0x144D);
    Put16(d, 2, 0x144D);
    auto pad = [&](size_t off, size_t n, const std::string& s) {
        for (size_t i = 0; i < n; ++i) d[off + i] = i < s.size() ? static_cast<uint8_t>(s[i]) : ' ';
    };
    pad(4, 20, sn);
    pad(24, 40, mn);
    pad(64, 8, fr);
    d[73] = 0x38;  // OUI 00-25-38, stored least significant byte first
    d[74] = 0x25;
    d[75] = 0x00;
    Put32(d, 80, 0x00010400);  // 1.4.0
    return d;
}

inline Bytes NvmeNamespaceData(const Bytes& nguid, const Bytes& eui64) {
    Bytes d(kNvmeIdentifySize, 0);
    PutBytes(d, 104, nguid);
    PutBytes(d, 120, eui64);
    return d;
}

// IDENTIFY DEVICE data: ATA strings go high byte first within each word.
inline Bytes AtaIdentifyData(const std::string& serial, const std::string& fw, const std::string& model,
                             std::vector<uint16_t> wwnWords = {}) {
    Bytes d(kAtaIdentifySize, 0);
    Put16(d, 0, 0x0040);
    auto str = [&](size_t word, size_t words, const std::string& s) {
        for (size_t i = 0; i < words * 2; ++i) {
            uint8_t c = i < s.size() ? static_cast<uint8_t>(s[i]) : ' ';
            d[2 * word + (i ^ 1)] = c;
        }
    };
    str(10, 10, serial);
    str(23, 4, fw);
    str(27, 20, model);
    if (!wwnWords.empty()) {
        Put16(d, 2 * 87, 0x4100);
        for (size_t i = 0; i < 4 && i < wwnWords.size(); ++i) Put16(d, 2 * (108 + i), wwnWords[i]);
    }
    return d;
}

inline Bytes AtaReply(const Bytes& identify, uint8_t status = 0x50) {
    Bytes b = BuildAtaIdentifyRequest();
    b[46] = status;
    PutBytes(b, 48, identify);
    return b;
}

inline Bytes GuidBytes(uint32_t d1, uint16_t d2, uint16_t d3, uint64_t d4be) {
    Bytes b(16, 0);
    Put32(b, 0, d1);
    Put16(b, 4, d2);
    Put16(b, 6, d3);
    for (int i = 0; i < 8; ++i) b[8 + i] = static_cast<uint8_t>(d4be >> (56 - 8 * i));
    return b;
}

inline Bytes EspType() { return GuidBytes(0xC12A7328, 0xF81F, 0x11D2, 0xBA4B00A0C93EC93Bull); }

struct PartitionSpec {
    uint32_t style;
    Bytes type, id;
};

inline Bytes GptLayout(const Bytes& diskGuid, const std::vector<PartitionSpec>& parts, uint32_t count) {
    Bytes b(48 + 144 * parts.size(), 0);
    Put32(b, 0, 1);
    Put32(b, 4, count);
    PutBytes(b, 8, diskGuid);
    for (size_t i = 0; i < parts.size(); ++i) {
        size_t e = 48 + 144 * i;
        Put32(b, e, parts[i].style);
        PutBytes(b, e + 32, parts[i].type);
        PutBytes(b, e + 48, parts[i].id);
    }
    return b;
}

inline Bytes MbrLayout(uint32_t signature) {
    Bytes b(48 + 144, 0);
    Put32(b, 0, 0);
    Put32(b, 4, 4);
    Put32(b, 8, signature);
    return b;
}

inline Bytes DeviceNumberReply(uint32_t number) {
    Bytes b(12, 0);
    Put32(b, 0, 7);  // FILE_DEVICE_DISK
    Put32(b, 4, number);
    return b;
}

inline Bytes GeometryReply(uint64_t size) {
    Bytes b(kGeometryReplySize - 256, 0);
    Put32(b, 24, static_cast<uint32_t>(size));
    Put32(b, 28, static_cast<uint32_t>(size >> 32));
    return b;
}

struct Reply {
    bool ok = false;
    Bytes bytes;
    uint32_t error = kErrorInvalidFunction;
};
inline Reply Ok(Bytes b) { return Reply{true, std::move(b), 0}; }
inline Reply Fail(uint32_t e) { return Reply{false, {}, e}; }

// One handle of a scripted disk: replies by control code, by storage property
// id, and for the protocol-specific query by controller/namespace.
struct FakeHandle {
    std::map<uint32_t, Reply> ioctl;
    std::map<uint32_t, Reply> property;
    std::vector<size_t> offered;  // output sizes offered to the property query, in order

    bool operator()(uint32_t code, const Bytes& in, size_t outSize, Bytes& out, uint32_t& error) {
        const Reply* r = nullptr;
        if (code == kIoctlStorageQueryProperty && in.size() >= 4) {
            uint32_t id = in[0] | in[1] << 8 | in[2] << 16 | static_cast<uint32_t>(in[3]) << 24;
            offered.push_back(outSize);
            auto it = property.find(id);
            if (it != property.end()) r = &it->second;
        } else {
            auto it = ioctl.find(code);
            if (it != ioctl.end()) r = &it->second;
        }
        if (!r || !r->ok) {
            error = r ? r->error : kErrorInvalidFunction;
            return false;
        }
        out.assign(r->bytes.begin(), r->bytes.begin() + static_cast<std::ptrdiff_t>(std::min(outSize, r->bytes.size())));
        return true;
    }
};

// A disk: the handle without access rights and, when `rwOpens`, the one with read/write access.
struct FakeDisk {
    FakeHandle base;
    FakeHandle rw;
    bool rwOpens = true;
    uint32_t rwOpenError = kErrorAccessDenied;
    int rwOpenCount = 0;

    DiskSource Access() {
        return DiskSource{[this](uint32_t c, const Bytes& i, size_t n, Bytes& o, uint32_t& e) { return base(c, i, n, o, e); },
                          [this](uint32_t& e) -> IoControl {
                              ++rwOpenCount;
                              if (!rwOpens) {
                                  e = rwOpenError;
                                  return IoControl();
                              }
                              return [this](uint32_t c, const Bytes& i, size_t n, Bytes& o, uint32_t& e2) {
                                  return rw(c, i, n, o, e2);
                              };
                          }};
    }
};

}  // namespace vorq::test
