// Host stand-in for the CNG hashing interface, over OpenSSL's libcrypto.
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include "core/hash.h"
#include "core/text.h"

namespace vorq {

Sha256Hash CreateSha256Hash() {
    Sha256Hash h;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    if (ctx && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) == 1) {
        h.handle = ctx;
    } else {
        EVP_MD_CTX_free(ctx);
    }
    return h;
}

void Sha256Update(Sha256Hash& h, const void* data, size_t n) {
    if (!h.handle || n == 0) return;
    EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(h.handle), data, n);
}

std::vector<uint8_t> Sha256Finish(Sha256Hash& h) {
    std::vector<uint8_t> d(32, 0);
    if (h.handle) EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(h.handle), d.data(), nullptr);
    return d;
}

void DestroyHash(Sha256Hash& h) {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(h.handle));
    h.handle = nullptr;
}

std::string Sha1(const void* data, size_t n) {
    uint8_t d[20];
    unsigned len = 0;
    if (EVP_Digest(data, n, d, &len, EVP_sha1(), nullptr) != 1 || len != 20) return {};
    return HexEncode(d, 20);
}

std::vector<uint8_t> Sha256(const void* data, size_t n) {
    std::vector<uint8_t> d(32, 0);
    EVP_Digest(data, n, d.data(), nullptr, EVP_sha256(), nullptr);
    return d;
}

std::vector<uint8_t> HmacSha256(const std::vector<uint8_t>& key, const void* data, size_t n) {
    std::vector<uint8_t> d(32, 0);
    static const uint8_t kEmpty = 0;
    unsigned len = 0;
    HMAC(EVP_sha256(), key.empty() ? &kEmpty : key.data(), static_cast<int>(key.size()),
         static_cast<const uint8_t*>(data), n, d.data(), &len);
    return d;
}

bool RandomBytes(void* buf, size_t n) { return RAND_bytes(static_cast<unsigned char*>(buf), static_cast<int>(n)) == 1; }

}  // namespace vorq
