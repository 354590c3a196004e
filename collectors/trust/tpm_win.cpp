#include <windows.h>
#include <wincrypt.h>

#include "collectors/trust/tbs_win.h"
#include "collectors/trust/tpm_collect.h"
#include "core/collectors.h"
#include "core/registry_win.h"
#include "core/win.h"

namespace vorq {

namespace {

// The certificates of Windows' EK certificate cache (registry certificate stores).
std::vector<CachedEkCert> ReadEkCertCache() {
    static const struct {
        const wchar_t* path;
        const char* slot;
    } kStores[] = {{L"SYSTEM\\CurrentControlSet\\Services\\TPM\\WMI\\Endorsement\\EKCertStore", "RSA (Windows cache)"},
                   {L"SYSTEM\\CurrentControlSet\\Services\\TPM\\WMI\\Endorsement\\EKCertStoreECC", "ECC (Windows cache)"}};
    std::vector<CachedEkCert> certs;
    for (const auto& store : kStores) {
        UniqueHKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, store.path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) continue;
        HCERTSTORE h = CertOpenStore(CERT_STORE_PROV_REG, 0, 0, CERT_STORE_READONLY_FLAG, key.get());
        if (!h) continue;
        for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(h, nullptr); c; c = CertEnumCertificatesInStore(h, c))
            certs.push_back({store.slot, std::vector<uint8_t>(c->pbCertEncoded, c->pbCertEncoded + c->cbCertEncoded)});
        CertCloseStore(h, 0);
    }
    return certs;
}

ProvisioningInputs ReadProvisioning() {
    static const std::wstring kWmi = L"SYSTEM\\CurrentControlSet\\Services\\TPM\\WMI";
    static const std::wstring kPcrInfo = kWmi + L"\\PcrInfo";
    ProvisioningInputs in;
    in.record.wmi = RegEnumValues(HKEY_LOCAL_MACHINE, kWmi.c_str());
    in.record.provisionInfo = RegEnumValues(HKEY_LOCAL_MACHINE, (kWmi + L"\\ProvisionInfo").c_str());
    in.record.taskStates = RegEnumValues(HKEY_LOCAL_MACHINE, (kWmi + L"\\TaskStates").c_str());
    for (const std::wstring& name : RegEnumSubkeys(HKEY_LOCAL_MACHINE, kPcrInfo.c_str()))
        in.record.pcrSubkeys.emplace_back(name.begin(), name.end());
    in.readPcrRecord = [](const std::u16string& name) {
        return RegEnumValues(HKEY_LOCAL_MACHINE, (kPcrInfo + L"\\" + std::wstring(name.begin(), name.end())).c_str());
    };
    in.hresultText = [](uint32_t code) { return HResultText(static_cast<HRESULT>(code)); };
    return in;
}

}  // namespace

void CollectTpm(Snapshot& s) {
    TpmSource src;
    src.deviceResult = TbsGetDeviceInfo(src.device);
    TbsContext context;  // closed after the collector, only if it was opened
    src.openContext = [&context] { return context.Open(); };
    src.transport = [&context](const TpmBytes& command, uint8_t* reply, uint32_t& replyLen) {
        return context.Submit(command.data(), static_cast<uint32_t>(command.size()), reply, replyLen);
    };
    src.ekCertCache = ReadEkCertCache;
    src.readProvisioning = ReadProvisioning;
    src.logSize = [&context] { return context.LogSize(); };
    src.readLog = [&context](uint64_t size) { return context.ReadLog(size); };
    src.keyStatus = [] { return RunTpmKeyAction("status"); };
    CollectTpmFrom(s, src);
}

}  // namespace vorq
