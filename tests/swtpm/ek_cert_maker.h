// Test-only: an EK certificate for an RSA public key, issued by a throwaway
// test CA (OpenSSL), as a TPM maker would issue one for its EK.
#pragma once

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/x509.h>

#include <cstdint>
#include <vector>

namespace vorq::swtpm {

inline std::vector<uint8_t> MakeRsaEkCertificate(const std::vector<uint8_t>& modulus, uint32_t exponent) {
    std::vector<uint8_t> der;
    BIGNUM* n = BN_bin2bn(modulus.data(), static_cast<int>(modulus.size()), nullptr);
    BIGNUM* e = BN_new();
    BN_set_word(e, exponent ? exponent : 65537);
    OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n);
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e);
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(bld);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* ek = nullptr;
    EVP_PKEY* ca = EVP_RSA_gen(2048);
    X509* cert = X509_new();
    if (ctx && EVP_PKEY_fromdata_init(ctx) == 1 && EVP_PKEY_fromdata(ctx, &ek, EVP_PKEY_PUBLIC_KEY, params) == 1 && ca &&
        cert) {
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_NAME* issuer = X509_NAME_new();
        X509_NAME_add_entry_by_txt(issuer, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Test TPM Maker"), -1, -1, 0);
        X509_NAME_add_entry_by_txt(issuer, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Test EK CA"), -1, -1, 0);
        X509_set_issuer_name(cert, issuer);
        X509_NAME_free(issuer);
        X509_NAME* subject = X509_NAME_new();  // EK certificates carry an empty subject
        X509_set_subject_name(cert, subject);
        X509_NAME_free(subject);
        ASN1_TIME_set_string(X509_getm_notBefore(cert), "20240101000000Z");
        ASN1_TIME_set_string(X509_getm_notAfter(cert), "20440101000000Z");
        X509_set_pubkey(cert, ek);
        if (X509_sign(cert, ca, EVP_sha256()) > 0) {
            unsigned char* out = nullptr;
            const int len = i2d_X509(cert, &out);
            if (len > 0) der.assign(out, out + len);
            OPENSSL_free(out);
        }
    }
    X509_free(cert);
    EVP_PKEY_free(ca);
    EVP_PKEY_free(ek);
    EVP_PKEY_CTX_free(ctx);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(bld);
    BN_free(e);
    BN_free(n);
    return der;
}

}  // namespace vorq::swtpm
