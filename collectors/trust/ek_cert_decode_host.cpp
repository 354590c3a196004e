// Host stand-in for the certificate decoder, over OpenSSL.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <ctime>

#include "collectors/trust/ek_cert.h"
#include "core/text.h"

namespace vorq {

namespace {

std::string Day(const ASN1_TIME* t) {
    struct tm tm {};
    if (!t || ASN1_TIME_to_tm(t, &tm) != 1) return "";
    return Format("%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::string NameEntry(X509_NAME* name, int nid) {
    const int i = X509_NAME_get_index_by_NID(name, nid, -1);
    if (i < 0) return "";
    unsigned char* utf8 = nullptr;
    const int n = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, i)));
    std::string s = n > 0 ? std::string(reinterpret_cast<char*>(utf8), static_cast<size_t>(n)) : "";
    OPENSSL_free(utf8);
    return s;
}

std::vector<uint8_t> BnBytes(EVP_PKEY* key, const char* param) {
    BIGNUM* bn = nullptr;
    std::vector<uint8_t> out;
    if (EVP_PKEY_get_bn_param(key, param, &bn) == 1) {
        out.resize(static_cast<size_t>(BN_num_bytes(bn)));
        BN_bn2bin(bn, out.data());
    }
    BN_free(bn);
    return out;
}

}  // namespace

DecodedCert DecodeCertificate(const uint8_t* der, size_t length) {
    DecodedCert d;
    const unsigned char* p = der;
    X509* cert = d2i_X509(nullptr, &p, static_cast<long>(length));
    if (!cert) return d;
    d.parsed = true;
    X509_NAME* issuer = X509_get_issuer_name(cert);
    d.issuer = NameEntry(issuer, NID_commonName);
    if (d.issuer.empty()) d.issuer = NameEntry(issuer, NID_organizationName);
    d.validity = Day(X509_get0_notBefore(cert)) + " .. " + Day(X509_get0_notAfter(cert));
    EVP_PKEY* key = X509_get0_pubkey(cert);
    const int type = key ? EVP_PKEY_get_base_id(key) : 0;
    if (type == EVP_PKEY_RSA) {
        d.key.type = kTpmAlgRsa;
        d.key.keyBytes = BnBytes(key, OSSL_PKEY_PARAM_RSA_N);
        const std::vector<uint8_t> e = BnBytes(key, OSSL_PKEY_PARAM_RSA_E);
        for (uint8_t b : e) d.key.exponent = d.key.exponent << 8 | b;
        d.key.keyBits = static_cast<uint16_t>(d.key.keyBytes.size() * 8);
    } else if (type == EVP_PKEY_EC) {
        char group[64] = {};
        size_t n = 0;
        EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &n);
        const int nid = OBJ_sn2nid(group);
        d.key.type = kTpmAlgEcc;
        d.key.curve = nid == NID_X9_62_prime256v1 ? 3 : nid == NID_secp384r1 ? 4 : nid == NID_secp521r1 ? 5 : 0;
        unsigned char point[256];
        size_t len = 0;
        if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point, sizeof point, &len) == 1 &&
            len > 1 && point[0] == 4)
            d.key.keyBytes.assign(point + 1, point + len);
    }
    X509_free(cert);
    return d;
}

}  // namespace vorq
