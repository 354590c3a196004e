#include "collectors/trust/tpm_registry_win.h"

#include <wincrypt.h>

#include "core/registry_win.h"
#include "core/win.h"

namespace vorq {

// The certificates of Windows' EK certificate cache (registry certificate stores).
std::vector<CachedEkCert> ReadEkCertCache(HKEY root, const std::wstring& wmiKey) {
    static const struct {
        const wchar_t* path;
        const char* slot;
    } kStores[] = {{L"\\Endorsement\\EKCertStore", "RSA (Windows cache)"},
                   {L"\\Endorsement\\EKCertStoreECC", "ECC (Windows cache)"}};
    std::vector<CachedEkCert> certs;
    for (const auto& store : kStores) {
        UniqueHKey key;
        if (RegOpenKeyExW(root, (wmiKey + store.path).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) continue;
        HCERTSTORE h = CertOpenStore(CERT_STORE_PROV_REG, 0, 0, CERT_STORE_READONLY_FLAG, key.get());
        if (!h) continue;
        for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(h, nullptr); c; c = CertEnumCertificatesInStore(h, c))
            certs.push_back({store.slot, std::vector<uint8_t>(c->pbCertEncoded, c->pbCertEncoded + c->cbCertEncoded)});
        CertCloseStore(h, 0);
    }
    return certs;
}

ProvisioningInputs ReadProvisioning(HKEY root, const std::wstring& wmiKey) {
    const std::wstring pcrInfo = wmiKey + L"\\PcrInfo";
    ProvisioningInputs in;
    in.record.wmi = RegEnumValues(root, wmiKey.c_str());
    in.record.provisionInfo = RegEnumValues(root, (wmiKey + L"\\ProvisionInfo").c_str());
    in.record.taskStates = RegEnumValues(root, (wmiKey + L"\\TaskStates").c_str());
    for (const std::wstring& name : RegEnumSubkeys(root, pcrInfo.c_str()))
        in.record.pcrSubkeys.emplace_back(name.begin(), name.end());
    in.readPcrRecord = [root, pcrInfo](const std::u16string& name) {
        return RegEnumValues(root, (pcrInfo + L"\\" + std::wstring(name.begin(), name.end())).c_str());
    };
    in.hresultText = [](uint32_t code) { return HResultText(static_cast<HRESULT>(code)); };
    return in;
}

}  // namespace vorq
