// Digests, HMAC and random bytes. The product takes them from the platform's
// CNG provider; the host build links a stand-in with the same interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorq {

// One incremental SHA-256. A null handle (creation failed) is accepted
// everywhere: updates do nothing and the digest is 32 zero bytes.
struct Sha256Hash {
    void* handle = nullptr;
};

Sha256Hash CreateSha256Hash();
void Sha256Update(Sha256Hash& h, const void* data, size_t n);
std::vector<uint8_t> Sha256Finish(Sha256Hash& h);
void DestroyHash(Sha256Hash& h);

// Owns a Sha256Hash for one scope.
class Sha256Stream {
public:
    Sha256Stream() : h_(CreateSha256Hash()) {}
    ~Sha256Stream() { DestroyHash(h_); }
    Sha256Stream(const Sha256Stream&) = delete;
    Sha256Stream& operator=(const Sha256Stream&) = delete;
    void Update(const void* data, size_t n) { Sha256Update(h_, data, n); }
    void Update(const std::string& s) { Sha256Update(h_, s.data(), s.size()); }
    // Only once per stream.
    std::vector<uint8_t> Finish() { return Sha256Finish(h_); }

private:
    Sha256Hash h_;
};

std::string Sha1(const void* data, size_t n);  // 40 hex digits, empty on failure
std::vector<uint8_t> Sha256(const void* data, size_t n);
std::string Sha256Hex(const void* data, size_t n);
std::vector<uint8_t> HmacSha256(const std::vector<uint8_t>& key, const void* data, size_t n);
bool RandomBytes(void* buf, size_t n);

}  // namespace vorq
