// Certificate names through the system's certificate decoder.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorq {

// Simple display name of the subject (issuer false) or the issuer, as UTF-8;
// empty when the certificate has none.
std::string GetCertName(PCCERT_CONTEXT cert, bool issuer);

// Decodes one DER certificate and names its subject and issuer; false when
// the bytes are not a certificate. Fits CertNamer.
bool NameDerCertificate(const uint8_t* der, size_t n, std::string* subject, std::string* issuer);

}  // namespace vorq
