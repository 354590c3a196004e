#include "collectors/processor/cert_name_win.h"

#include <memory>
#include <vector>

#include "core/win.h"

namespace vorq {

std::string GetCertName(PCCERT_CONTEXT cert, bool issuer) {
    if (!cert) return std::string();
    const DWORD flags = issuer ? CERT_NAME_ISSUER_FLAG : 0;
    const DWORD len = CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, nullptr, 0);
    if (len <= 1) return std::string();
    std::vector<wchar_t> buf(len, L'\0');
    const DWORD got = CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, buf.data(), len);
    if (got <= 1) return std::string();
    size_t n = 0;
    while (n < buf.size() && buf[n] != L'\0') ++n;
    return ToUtf8(buf.data(), n);
}

namespace {
struct CertContextFree {
    void operator()(PCCERT_CONTEXT c) const { CertFreeCertificateContext(c); }
};
}  // namespace

bool NameDerCertificate(const uint8_t* der, size_t n, std::string* subject, std::string* issuer) {
    if (!der || n == 0 || n > MAXDWORD) return false;
    // Freed also when naming throws (the name buffers allocate).
    const std::unique_ptr<const CERT_CONTEXT, CertContextFree> cert(
        CertCreateCertificateContext(X509_ASN_ENCODING, der, static_cast<DWORD>(n)));
    if (!cert) return false;
    *subject = GetCertName(cert.get(), false);
    *issuer = GetCertName(cert.get(), true);
    return true;
}

}  // namespace vorq
