// The BCrypt check of the key's challenge signature, with a software P-256
// key (Wine has no TPM key storage, but its BCrypt signs and verifies).
#include <windows.h>
#include <bcrypt.h>

#include <gtest/gtest.h>

#include <vector>

#include "collectors/trust/tpm_key.h"
#include "core/hash.h"

namespace vorq {
namespace {

TEST(TpmVerify, SoftwareKeySignatureVerifiesAndATamperedOneDoesNot) {
    BCRYPT_ALG_HANDLE alg = nullptr;
    ASSERT_EQ(BCryptOpenAlgorithmProvider(&alg, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0), 0);
    BCRYPT_KEY_HANDLE key = nullptr;
    ASSERT_EQ(BCryptGenerateKeyPair(alg, &key, 256, 0), 0);
    ASSERT_EQ(BCryptFinalizeKeyPair(key, 0), 0);
    ULONG size = 0;
    ASSERT_EQ(BCryptExportKey(key, nullptr, BCRYPT_ECCPUBLIC_BLOB, nullptr, 0, &size, 0), 0);
    std::vector<uint8_t> blob(size);
    ASSERT_EQ(BCryptExportKey(key, nullptr, BCRYPT_ECCPUBLIC_BLOB, blob.data(), size, &size, 0), 0);
    const std::string text = "VornixQuelm/challenge/v1:nonce";
    std::vector<uint8_t> digest = Sha256(text.data(), text.size());
    // Wine 8 answers the size query with 32, half of a P-256 signature.
    std::vector<uint8_t> signature(64);
    ASSERT_EQ(BCryptSignHash(key, nullptr, digest.data(), 32, signature.data(), 64, &size, 0), 0);
    EXPECT_EQ(signature.size(), 64u);
    BCryptDestroyKey(key);
    BCryptCloseAlgorithmProvider(alg, 0);

    EXPECT_TRUE(VerifyEcdsaP256(blob, digest, signature));
    std::vector<uint8_t> tampered = signature;
    tampered[10] ^= 1;
    EXPECT_FALSE(VerifyEcdsaP256(blob, digest, tampered));
    digest[0] ^= 1;
    EXPECT_FALSE(VerifyEcdsaP256(blob, digest, signature));
    EXPECT_FALSE(VerifyEcdsaP256(std::vector<uint8_t>(blob.begin(), blob.begin() + 20), digest, signature));
    EXPECT_FALSE(VerifyEcdsaP256({}, digest, signature));
}

}  // namespace
}  // namespace vorq
