// Crafted EFI signature lists and a certificate namer over the fixture
// certificates, for tests. The names are those the certificates carry; the
// Windows tests check that the system's decoder gives the same.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "collectors/processor/efi_siglist.h"
#include "core/hash.h"
#include "tests/unit/test_support.h"

namespace vorq::test {

inline const uint8_t kX509Type[16] = {0xa1, 0x59, 0xc0, 0xa5, 0xe4, 0x94, 0xa7, 0x4a,
                                      0x87, 0xb5, 0xab, 0x15, 0x5c, 0x2b, 0xf0, 0x72};
inline const uint8_t kSha256Type[16] = {0x26, 0x16, 0xc4, 0xc1, 0x4c, 0x50, 0x92, 0x40,
                                        0xac, 0xa9, 0x41, 0xf9, 0x36, 0x93, 0x43, 0x28};
inline const uint8_t kOtherType[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

inline void PutLe32(std::vector<uint8_t>& v, size_t at, uint32_t x) { std::memcpy(v.data() + at, &x, 4); }

// One list: header, `headerSize` bytes of signature header, then each entry
// as a 16-byte owner and its data (all entries of `entrySize` bytes in all).
// `listSize` 0 means the real size.
inline std::vector<uint8_t> Esl(const uint8_t (&type)[16], uint32_t entrySize, const std::vector<std::vector<uint8_t>>& data,
                                uint32_t headerSize = 0, uint32_t listSize = 0) {
    const size_t total = 28 + headerSize + data.size() * entrySize;
    std::vector<uint8_t> v(total, 0);
    std::memcpy(v.data(), type, 16);
    PutLe32(v, 16, listSize ? listSize : static_cast<uint32_t>(total));
    PutLe32(v, 20, headerSize);
    PutLe32(v, 24, entrySize);
    size_t at = 28 + headerSize;
    for (const auto& d : data) {
        std::memset(v.data() + at, 0xAB, 16);  // owner
        std::memcpy(v.data() + at + 16, d.data(), std::min<size_t>(d.size(), entrySize - 16));
        at += entrySize;
    }
    return v;
}

inline std::vector<uint8_t> Concat(const std::vector<std::vector<uint8_t>>& parts) {
    size_t n = 0;
    for (const auto& p : parts) n += p.size();
    std::vector<uint8_t> out(n);
    size_t at = 0;
    for (const auto& p : parts) {
        if (!p.empty()) std::memcpy(out.data() + at, p.data(), p.size());
        at += p.size();
    }
    return out;
}

inline std::vector<uint8_t> Cert(const char* name) { return ReadFixture(std::string("efi/") + name + ".der"); }

// Subject and issuer of each fixture certificate, as their makers wrote them.
struct CertName {
    const char* file;
    const char* subject;
    const char* issuer;
};
inline const CertName kFixtureCerts[] = {
    {"pk", "Example Platform Key", "Example Platform Key"},
    {"ca2023", "windows uefi ca 2023", "Example Platform Key"},
    {"ca2011", "Windows Production PCA 2011", "Example Platform Key"},
    {"org_only", "Organisation Only", "Organisation Only"},
    {"noname", "", ""},
};

// Names the fixture certificates; anything else is not a certificate.
inline CertNamer FixtureNamer() {
    auto known = std::make_shared<std::map<std::string, std::pair<std::string, std::string>>>();
    for (const CertName& c : kFixtureCerts) {
        const auto der = Cert(c.file);
        (*known)[Sha256Hex(der.data(), der.size())] = {c.subject, c.issuer};
    }
    return [known](const uint8_t* der, size_t n, std::string* subject, std::string* issuer) {
        auto it = known->find(Sha256Hex(der, n));
        if (it == known->end()) return false;
        *subject = it->second.first;
        *issuer = it->second.second;
        return true;
    };
}

}  // namespace vorq::test
