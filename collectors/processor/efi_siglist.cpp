#include "collectors/processor/efi_siglist.h"

#include <cstring>

#include "core/byte_view.h"
#include "core/hash.h"

namespace vorq {
namespace {

constexpr uint8_t kCertX509[16] = {0xa1, 0x59, 0xc0, 0xa5, 0xe4, 0x94, 0xa7, 0x4a,
                                   0x87, 0xb5, 0xab, 0x15, 0x5c, 0x2b, 0xf0, 0x72};
constexpr uint8_t kCertSha256[16] = {0x26, 0x16, 0xc4, 0xc1, 0x4c, 0x50, 0x92, 0x40,
                                     0xac, 0xa9, 0x41, 0xf9, 0x36, 0x93, 0x43, 0x28};
constexpr uint64_t kListHeader = 28;
constexpr uint64_t kOwnerSize = 16;

}  // namespace

SignatureListSummary ParseSignatureList(const uint8_t* data, size_t size, const CertNamer& namer) {
    SignatureListSummary out;
    const ByteView bytes(data, size);
    // All sums in 64 bits: every size here comes from firmware.
    const uint64_t end = bytes.size();
    uint64_t off = 0;
    for (;;) {
        const ByteView list = bytes.From(off);
        const std::optional<uint64_t> listSize = list.Le32(16), headerSize = list.Le32(20), entrySize = list.Le32(24);
        if (!listSize || !headerSize || !entrySize) break;  // no whole list header left
        if (*listSize < kListHeader || off + *listSize > end || *entrySize < kOwnerSize ||
            *headerSize > *listSize - kListHeader)
            break;
        ++out.lists;
        const bool x509 = std::memcmp(list.data(), kCertX509, 16) == 0;
        const bool sha256 = !x509 && std::memcmp(list.data(), kCertSha256, 16) == 0;
        const uint64_t listEnd = off + *listSize;
        for (uint64_t e = off + kListHeader + *headerSize; e + *entrySize <= listEnd; e += *entrySize) {
            if (x509) {
                const ByteView entry = *bytes.Slice(e, *entrySize);  // inside the list, checked above
                const uint8_t* der = entry.data() + kOwnerSize;
                const size_t derSize = static_cast<size_t>(*entrySize - kOwnerSize);
                EfiCertificate cert;
                cert.sha256 = Sha256Hex(der, derSize);
                if (!namer || !namer(der, derSize, &cert.subject, &cert.issuer)) {
                    cert.subject = "(unparseable certificate)";
                    cert.issuer.clear();
                }
                out.certificates.push_back(std::move(cert));
            } else if (sha256) {
                ++out.hashEntries;
            } else {
                ++out.otherEntries;
            }
        }
        off = listEnd;
    }
    out.unparsedBytes = static_cast<size_t>(end - off);
    return out;
}

}  // namespace vorq
