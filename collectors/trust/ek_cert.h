// Endorsement-key certificates: decoding (the platform's certificate
// decoder), de-duplication, comparison of the certificate's public key with
// the endorsement key the TPM reports, and the rows, signals and counts of
// "tpm.ekcerts".
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "collectors/trust/tpm_queries.h"
#include "core/snapshot.h"

namespace vorq {

// What the platform's decoder reads from a DER certificate. `parsed` is false
// when it rejects the certificate; `key.type` is 0 for an unsupported key and
// RSA or ECC with empty key bytes for a malformed one.
struct DecodedCert {
    bool parsed = false;
    std::string issuer;    // simple display name of the issuer
    std::string validity;  // "YYYY-MM-DD .. YYYY-MM-DD"
    PublicKeyParams key;
};
DecodedCert DecodeCertificate(const uint8_t* der, size_t length);  // CryptoAPI; OpenSSL on the host

// Total length of a DER SEQUENCE at the start of the bytes, 0 when it has none.
size_t DerObjectLength(const std::vector<uint8_t>& bytes);
// 2 unless `hex` is 64 hexadecimal digits; else 0 when new (and kept), 1 when seen.
int RememberCertHash(std::set<std::string>& seen, std::string hex);
// 0 not comparable, 1 equal, 2 different.
int ComparePublicKeys(const PublicKeyParams& cert, const PublicKeyParams& ek);

struct EkCertContext {
    EkCertContext(Snapshot& snapshot, Table& table, const PublicAreaInfo& rsaEk, const PublicAreaInfo& eccEk)
        : s(snapshot), table(table), rsaEk(rsaEk), eccEk(eccEk) {}
    Snapshot& s;
    Table& table;
    const PublicAreaInfo& rsaEk;
    const PublicAreaInfo& eccEk;
    std::set<std::string> seen;
    uint32_t certificates = 0, bound = 0, unbound = 0, notComparable = 0, parseErrors = 0;
    std::vector<std::string> thumbprints;  // lower-case SHA-1 texts
};

void DescribeEkCertificate(EkCertContext& ctx, const std::string& source, const std::string& label,
                           const std::vector<uint8_t>& der);

// One certificate of the Windows EK certificate cache.
struct CachedEkCert {
    std::string slot;  // "RSA (Windows cache)" or "ECC (Windows cache)"
    std::vector<uint8_t> der;
};

// The "tpm.ekcerts" table and the tpm.ek_* facts: the TPM's EK certificate
// NV indices that an empty password may read, then the Windows cache.
Table CollectEkCertificates(Snapshot& s, TpmChannel& ch, const TpmPropertyMap& props, const PublicAreaInfo& rsaEk,
                            const PublicAreaInfo& eccEk, const std::vector<CachedEkCert>& cache);

}  // namespace vorq
