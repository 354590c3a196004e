// The TPM-bound application key: one action (create, delete, or a signed
// challenge for any other action text) over a key provider, its result, the
// page message and the self-test. Platform-free; the product's provider is
// the Platform Crypto Provider (tpm_key_win.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vorq {

inline constexpr char16_t kDeviceKeyName[] = u"VornixQuelm-DeviceKey";
inline constexpr char16_t kSelfTestKeyName[] = u"VornixQuelm-SelfTest";
inline constexpr uint32_t kNteBadKeyset = 0x80090016;  // the key does not exist

struct TpmKeyResult {
    bool providerOk = false;
    bool exists = false;
    bool challengeOk = false;
    bool exportable = false;
    std::string message;
    std::string algorithm;
    std::string publicKeyHash;
    std::string nonce;
    std::string signature;
    double signMs = 0;
    // Status of opening the key: 0 opened, kNteBadKeyset when there is none;
    // anything else means the key's state could not be read.
    uint32_t openStatus = 0;
};

// True when the provider opened but the key could be neither opened nor
// ruled out (lockout, not ready, access denied, ...).
inline bool KeyStateUnreadable(const TpmKeyResult& r) {
    return r.providerOk && !r.exists && r.openStatus != 0 && r.openStatus != kNteBadKeyset;
}

// One provider session: every call of RunTpmKeyActionWith uses a fresh one,
// which frees its handles when destroyed. Statuses are HRESULT values.
class TpmKeyProvider {
public:
    virtual ~TpmKeyProvider() = default;
    virtual uint32_t OpenProvider() = 0;
    virtual uint32_t OpenKey(const std::u16string& name) = 0;
    // Creates and finalizes the key; a partial key is freed on failure.
    virtual uint32_t CreateKey(const std::u16string& name) = 0;
    virtual uint32_t DeleteKey() = 0;  // the opened key
    virtual uint32_t ExportPublicBlob(std::vector<uint8_t>& blob) = 0;
    virtual std::string AlgorithmName() = 0;
    // False when the export policy could not be read.
    virtual bool ExportPolicy(uint32_t& policy) = 0;
    virtual uint32_t SignHash(const std::vector<uint8_t>& digest, std::vector<uint8_t>& signature) = 0;
    virtual bool Verify(const std::vector<uint8_t>& publicBlob, const std::vector<uint8_t>& digest,
                        const std::vector<uint8_t>& signature) = 0;
    virtual bool Random(void* buf, size_t n) = 0;
    virtual std::string StatusText(uint32_t status) = 0;
};

// `action` is "create", "delete", or anything else for a signed challenge;
// an empty name means the device key.
TpmKeyResult RunTpmKeyActionWith(TpmKeyProvider& provider, const std::string& action, const std::u16string& name);
std::string TpmKeyResultToJson(const TpmKeyResult& r);

// The self-test's round trip over an action runner; its lines go to `print`.
// Returns the exit code.
using TpmKeyActionFn = std::function<TpmKeyResult(const std::string& action, const std::u16string& name)>;
int RunSelfTestWith(const TpmKeyActionFn& run, const std::function<void(const std::string&)>& print);

// Windows only: the product's action over the Platform Crypto Provider, and
// the BCrypt check of an ECDSA P-256 signature over a digest with an
// ECCPUBLICBLOB.
bool VerifyEcdsaP256(const std::vector<uint8_t>& publicBlob, const std::vector<uint8_t>& digest,
                     const std::vector<uint8_t>& signature);
TpmKeyResult RunTpmKeyAction(const std::string& action, const std::u16string& name = std::u16string());

}  // namespace vorq
