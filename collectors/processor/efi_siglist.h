// EFI signature lists (the data of the Secure Boot databases PK, KEK, db and
// dbx). Platform-free; naming a certificate is left to the caller, whose
// Windows build uses the system's certificate decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vorq {

struct EfiCertificate {
    std::string subject;
    std::string issuer;
    std::string sha256;  // of the DER bytes, 64 upper-case hex digits
};

struct SignatureListSummary {
    std::vector<EfiCertificate> certificates;
    int32_t hashEntries = 0;
    int32_t lists = 0;
    int32_t otherEntries = 0;
    size_t unparsedBytes = 0;
};

// Subject and issuer display names of one DER certificate; false when the
// bytes cannot be decoded as a certificate.
using CertNamer = std::function<bool(const uint8_t* der, size_t n, std::string* subject, std::string* issuer)>;

// Walks the lists in order; malformed data ends the walk and the rest counts
// as unparsed bytes. Never fails.
SignatureListSummary ParseSignatureList(const uint8_t* data, size_t size, const CertNamer& namer);

}  // namespace vorq
