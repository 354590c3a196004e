#include <windows.h>
#include <bcrypt.h>

#include "core/hash.h"
#include "core/text.h"

// Pseudo-handles of the CNG algorithm providers (not in the mingw-w64 headers).
#define VORQ_SHA1_ALG_HANDLE reinterpret_cast<BCRYPT_ALG_HANDLE>(static_cast<uintptr_t>(0x31))
#define VORQ_SHA256_ALG_HANDLE reinterpret_cast<BCRYPT_ALG_HANDLE>(static_cast<uintptr_t>(0x41))
#define VORQ_HMAC_SHA256_ALG_HANDLE reinterpret_cast<BCRYPT_ALG_HANDLE>(static_cast<uintptr_t>(0xB1))

namespace vorq {

namespace {
// Feeds buffers larger than 4 GiB in pieces; CNG takes 32-bit counts.
template <typename F>
void InChunks(const void* data, size_t n, F f) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n) {
        ULONG part = n > 0x40000000u ? 0x40000000u : static_cast<ULONG>(n);
        f(const_cast<PUCHAR>(p), part);
        p += part;
        n -= part;
    }
}
}  // namespace

Sha256Hash CreateSha256Hash() {
    Sha256Hash h;
    BCRYPT_HASH_HANDLE handle = nullptr;
    if (BCryptCreateHash(VORQ_SHA256_ALG_HANDLE, &handle, nullptr, 0, nullptr, 0, 0) == 0) h.handle = handle;
    return h;
}

void Sha256Update(Sha256Hash& h, const void* data, size_t n) {
    if (!h.handle || n == 0) return;
    InChunks(data, n, [&](PUCHAR p, ULONG part) { BCryptHashData(h.handle, p, part, 0); });
}

std::vector<uint8_t> Sha256Finish(Sha256Hash& h) {
    std::vector<uint8_t> d(32, 0);
    if (h.handle) BCryptFinishHash(h.handle, d.data(), 32, 0);
    return d;
}

void DestroyHash(Sha256Hash& h) {
    if (h.handle) BCryptDestroyHash(h.handle);
    h.handle = nullptr;
}

std::string Sha1(const void* data, size_t n) {
    if (n > 0xFFFFFFFFu) return {};
    uint8_t d[20];
    if (BCryptHash(VORQ_SHA1_ALG_HANDLE, nullptr, 0, const_cast<PUCHAR>(static_cast<const uint8_t*>(data)),
                   static_cast<ULONG>(n), d, 20) != 0)
        return {};
    return HexEncode(d, 20);
}

std::vector<uint8_t> Sha256(const void* data, size_t n) {
    std::vector<uint8_t> d(32, 0);
    if (n <= 0xFFFFFFFFu)
        BCryptHash(VORQ_SHA256_ALG_HANDLE, nullptr, 0, const_cast<PUCHAR>(static_cast<const uint8_t*>(data)),
                   static_cast<ULONG>(n), d.data(), 32);
    return d;
}

std::vector<uint8_t> HmacSha256(const std::vector<uint8_t>& key, const void* data, size_t n) {
    std::vector<uint8_t> d(32, 0);
    if (n <= 0xFFFFFFFFu && key.size() <= 0xFFFFFFFFu)
        BCryptHash(VORQ_HMAC_SHA256_ALG_HANDLE, const_cast<PUCHAR>(key.data()), static_cast<ULONG>(key.size()),
                   const_cast<PUCHAR>(static_cast<const uint8_t*>(data)), static_cast<ULONG>(n), d.data(), 32);
    return d;
}

bool RandomBytes(void* buf, size_t n) {
    if (n > 0xFFFFFFFFu) return false;
    return BCryptGenRandom(nullptr, static_cast<PUCHAR>(buf), static_cast<ULONG>(n), 2 /*USE_SYSTEM_PREFERRED_RNG*/) == 0;
}

}  // namespace vorq
