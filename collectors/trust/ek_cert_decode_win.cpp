#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>

#include "collectors/trust/ek_cert.h"
#include "core/win.h"

namespace vorq {

namespace {

struct CertContextTraits {
    using Type = PCCERT_CONTEXT;
    static PCCERT_CONTEXT Invalid() { return nullptr; }
    static void Close(PCCERT_CONTEXT c) { CertFreeCertificateContext(c); }
};

std::string Day(const FILETIME& ft) { return FormatFileTimeUtc(ft).substr(0, 10); }

PublicKeyParams RsaKey(const CRYPT_BIT_BLOB& key) {
    PublicKeyParams p;
    p.type = kTpmAlgRsa;
    BYTE* blob = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, key.pbData, key.cbData, CRYPT_DECODE_ALLOC_FLAG,
                             nullptr, &blob, &size))
        return p;
    // PUBLICKEYSTRUCT (8 bytes), RSAPUBKEY (magic, bit length, exponent), modulus little-endian.
    if (size >= 20) {
        DWORD bits = 0, exponent = 0;
        std::memcpy(&bits, blob + 12, 4);
        std::memcpy(&exponent, blob + 16, 4);
        if (bits <= 65535 && bits % 8 == 0 && size >= 20 + bits / 8) {
            p.keyBits = static_cast<uint16_t>(bits);
            p.exponent = exponent;
            p.keyBytes.assign(blob + 20, blob + 20 + bits / 8);
            std::reverse(p.keyBytes.begin(), p.keyBytes.end());
        }
    }
    LocalFree(blob);
    return p;
}

uint16_t CurveOf(const CRYPT_OBJID_BLOB& parameters) {
    LPSTR* oid = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_OBJECT_IDENTIFIER, parameters.pbData, parameters.cbData,
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &oid, &size))
        return 0;
    const std::string name = oid && *oid ? *oid : "";
    LocalFree(oid);
    if (name == "1.2.840.10045.3.1.7") return 3;
    if (name == "1.3.132.0.34") return 4;
    if (name == "1.3.132.0.35") return 5;
    if (name == "1.2.156.10197.1.301") return 0x20;
    return 0;
}

}  // namespace

DecodedCert DecodeCertificate(const uint8_t* der, size_t length) {
    DecodedCert d;
    UniqueResource<CertContextTraits> cert(
        CertCreateCertificateContext(X509_ASN_ENCODING, der, static_cast<DWORD>(length)));
    if (!cert) return d;
    d.parsed = true;
    wchar_t issuer[512] = {};
    CertGetNameStringW(cert.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr, issuer, 512);
    d.issuer = ToUtf8Ptr(issuer);
    d.validity = Day(cert.get()->pCertInfo->NotBefore) + " .. " + Day(cert.get()->pCertInfo->NotAfter);
    const CERT_PUBLIC_KEY_INFO& info = cert.get()->pCertInfo->SubjectPublicKeyInfo;
    if (info.PublicKey.cUnusedBits != 0 || !info.Algorithm.pszObjId) return d;
    const std::string algorithm = info.Algorithm.pszObjId;
    if (algorithm == "1.2.840.113549.1.1.1") {
        d.key = RsaKey(info.PublicKey);
    } else if (algorithm == "1.2.840.10045.2.1" && info.PublicKey.cbData > 1 && info.PublicKey.pbData[0] == 4) {
        d.key.type = kTpmAlgEcc;
        d.key.curve = CurveOf(info.Algorithm.Parameters);
        d.key.keyBytes.assign(info.PublicKey.pbData + 1, info.PublicKey.pbData + info.PublicKey.cbData);
    }
    return d;
}

}  // namespace vorq
