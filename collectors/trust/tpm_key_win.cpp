#include <windows.h>
#include <bcrypt.h>
#include <ncrypt.h>

#include "collectors/trust/tpm_key.h"
#include "core/hash.h"
#include "core/win.h"

namespace vorq {

namespace {

constexpr wchar_t kPlatformProvider[] = L"Microsoft Platform Crypto Provider";

std::wstring WideName(const std::u16string& name) { return std::wstring(name.begin(), name.end()); }

// The Platform Crypto Provider for one action; frees its handles when destroyed.
class PlatformKeyProvider final : public TpmKeyProvider {
public:
    ~PlatformKeyProvider() override {
        if (key_) NCryptFreeObject(key_);
        if (provider_) NCryptFreeObject(provider_);
    }
    uint32_t OpenProvider() override {
        return static_cast<uint32_t>(NCryptOpenStorageProvider(&provider_, kPlatformProvider, 0));
    }
    uint32_t OpenKey(const std::u16string& name) override {
        return static_cast<uint32_t>(NCryptOpenKey(provider_, &key_, WideName(name).c_str(), 0, 0));
    }
    uint32_t CreateKey(const std::u16string& name) override {
        NCRYPT_KEY_HANDLE k = 0;
        SECURITY_STATUS st = NCryptCreatePersistedKey(provider_, &k, NCRYPT_ECDSA_P256_ALGORITHM, WideName(name).c_str(), 0, 0);
        if (st == ERROR_SUCCESS) st = NCryptFinalizeKey(k, 0);
        if (st != ERROR_SUCCESS) {
            if (k) NCryptFreeObject(k);
            return static_cast<uint32_t>(st);
        }
        key_ = k;
        return 0;
    }
    uint32_t DeleteKey() override {
        const SECURITY_STATUS st = NCryptDeleteKey(key_, 0);
        if (st == ERROR_SUCCESS) key_ = 0;  // freed by the deletion
        return static_cast<uint32_t>(st);
    }
    uint32_t ExportPublicBlob(std::vector<uint8_t>& blob) override {
        DWORD size = 0;
        SECURITY_STATUS st = NCryptExportKey(key_, 0, BCRYPT_ECCPUBLIC_BLOB, nullptr, nullptr, 0, &size, 0);
        if (st != ERROR_SUCCESS) return static_cast<uint32_t>(st);
        blob.assign(size, 0);
        st = NCryptExportKey(key_, 0, BCRYPT_ECCPUBLIC_BLOB, nullptr, blob.data(), size, &size, 0);
        blob.resize(st == ERROR_SUCCESS ? size : 0);
        return static_cast<uint32_t>(st);
    }
    std::string AlgorithmName() override {
        wchar_t name[64] = {};
        DWORD size = 0;
        if (NCryptGetProperty(key_, NCRYPT_ALGORITHM_PROPERTY, reinterpret_cast<PBYTE>(name), sizeof(name) - 2, &size, 0) !=
            ERROR_SUCCESS)
            return "";
        return ToUtf8(name, wcsnlen(name, size / sizeof(wchar_t)));
    }
    bool ExportPolicy(uint32_t& policy) override {
        DWORD value = 0, size = 0;
        if (NCryptGetProperty(key_, NCRYPT_EXPORT_POLICY_PROPERTY, reinterpret_cast<PBYTE>(&value), sizeof(value), &size,
                              0) != ERROR_SUCCESS)
            return false;
        policy = value;
        return true;
    }
    uint32_t SignHash(const std::vector<uint8_t>& digest, std::vector<uint8_t>& signature) override {
        DWORD size = 0;
        PBYTE d = const_cast<PBYTE>(digest.data());
        SECURITY_STATUS st = NCryptSignHash(key_, nullptr, d, static_cast<DWORD>(digest.size()), nullptr, 0, &size, 0);
        if (st != ERROR_SUCCESS) return static_cast<uint32_t>(st);
        signature.assign(size ? size : 1, 0);
        st = NCryptSignHash(key_, nullptr, d, static_cast<DWORD>(digest.size()), signature.data(),
                            static_cast<DWORD>(signature.size()), &size, 0);
        signature.resize(st == ERROR_SUCCESS ? size : 0);
        return static_cast<uint32_t>(st);
    }
    bool Verify(const std::vector<uint8_t>& blob, const std::vector<uint8_t>& digest,
                const std::vector<uint8_t>& signature) override {
        return VerifyEcdsaP256(blob, digest, signature);
    }
    bool Random(void* buf, size_t n) override { return RandomBytes(buf, n); }
    std::string StatusText(uint32_t status) override { return HResultText(static_cast<HRESULT>(status)); }

private:
    NCRYPT_PROV_HANDLE provider_ = 0;
    NCRYPT_KEY_HANDLE key_ = 0;
};

}  // namespace

bool VerifyEcdsaP256(const std::vector<uint8_t>& blob, const std::vector<uint8_t>& digest,
                     const std::vector<uint8_t>& signature) {
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != 0) return false;
    BCRYPT_KEY_HANDLE key = nullptr;
    bool ok = false;
    if (BCryptImportKeyPair(alg, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, const_cast<PUCHAR>(blob.data()),
                            static_cast<ULONG>(blob.size()), 0) == 0) {
        ok = BCryptVerifySignature(key, nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
                                   const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), 0) == 0;
        BCryptDestroyKey(key);
    }
    BCryptCloseAlgorithmProvider(alg, 0);
    return ok;
}

TpmKeyResult RunTpmKeyAction(const std::string& action, const std::u16string& name) {
    PlatformKeyProvider provider;
    return RunTpmKeyActionWith(provider, action, name);
}

}  // namespace vorq
