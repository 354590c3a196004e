#include <windows.h>

#include "collectors/trust/platform.h"
#include "core/hash.h"
#include "core/registry_win.h"
#include "core/win.h"
#include "core/wmi_win.h"

namespace vorq {

namespace {

constexpr wchar_t kSecureBootState[] = L"SYSTEM\\CurrentControlSet\\Control\\SecureBoot\\State";
constexpr wchar_t kSecureBootServicing[] = L"SYSTEM\\CurrentControlSet\\Control\\SecureBoot\\Servicing";
constexpr wchar_t kCiConfig[] = L"SYSTEM\\CurrentControlSet\\Control\\CI\\Config";
constexpr wchar_t kCiPolicy[] = L"SYSTEM\\CurrentControlSet\\Control\\CI\\Policy";

std::optional<uint32_t> Dword(const wchar_t* subkey, const wchar_t* name) {
    uint32_t v = 0;
    if (!RegReadDword(HKEY_LOCAL_MACHINE, subkey, name, v)) return std::nullopt;
    return v;
}

// Not exported by every kernel32 (nor by Wine's): a static import would end the process at load.
uint32_t FirmwareType() {
    using Fn = BOOL(WINAPI*)(DWORD*);
    const auto fn = GetProc<Fn>(GetModuleHandleW(L"kernel32.dll"), "GetFirmwareType");
    DWORD type = 0;
    if (!fn || !fn(&type)) return 0;
    return type;
}

std::optional<uint32_t> CodeIntegrityOptions() {
    struct CodeIntegrityInformation {
        ULONG Length;
        ULONG CodeIntegrityOptions;
    };
    using Fn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    const auto fn = GetProc<Fn>(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation");
    if (!fn) return std::nullopt;
    CodeIntegrityInformation info{sizeof(info), 0};
    ULONG returned = 0;
    if (fn(103, &info, sizeof(info), &returned) != 0) return std::nullopt;
    return info.CodeIntegrityOptions;
}

void OnDeviceGuardRow(DeviceGuardReading& dg, IWbemClassObject* row) {
    int64_t status = dg.vbsStatus;
    if (GetWmiInteger(row, L"VirtualizationBasedSecurityStatus", status)) dg.vbsStatus = status;
    dg.servicesRunning = GetWmiIntegerArray(row, L"SecurityServicesRunning");
    dg.availableProperties = GetWmiIntegerArray(row, L"AvailableSecurityProperties");
}

}  // namespace

void CollectPlatform(Snapshot& s) {
    PlatformSource src;
    src.firmwareType = FirmwareType();
    src.secureBoot = Dword(kSecureBootState, L"UEFISecureBootEnabled");
    src.servicing = RegEnumValues(HKEY_LOCAL_MACHINE, kSecureBootServicing);
    src.ciOptions = CodeIntegrityOptions();

    std::string error;
    if (!RunWmiQuery(L"ROOT\\Microsoft\\Windows\\DeviceGuard", L"SELECT * FROM Win32_DeviceGuard",
                     [&](IWbemClassObject* row) { OnDeviceGuardRow(src.deviceGuard, row); }, error))
        src.deviceGuardError = error;

    src.blocklist = Dword(kCiConfig, L"VulnerableDriverBlocklistEnable");
    src.smartAppControl = Dword(kCiPolicy, L"VerifiedAndReputablePolicyState");

    using AttestFn = BOOL(WINAPI*)(UCHAR*, UINT16, UINT64, PVOID, UINT32*);
    AttestFn attest = GetProc<AttestFn>(GetModuleHandleW(L"kernelbase.dll"), "GetRuntimeAttestationReport");
    if (!attest) attest = GetProc<AttestFn>(GetModuleHandleW(L"kernel32.dll"), "GetRuntimeAttestationReport");
    if (attest)
        src.attestation = [attest](const uint8_t* nonce, uint16_t version, uint64_t types, void* buffer, uint32_t* size,
                                   uint32_t* lastError) {
            SetLastError(0);
            const BOOL ok = attest(const_cast<UCHAR*>(nonce), version, types, buffer, reinterpret_cast<UINT32*>(size));
            *lastError = ok ? 0 : GetLastError();
            return ok != FALSE;
        };
    src.random = [](uint8_t* buffer, size_t n) { return RandomBytes(buffer, n); };
    src.errorText = [](uint32_t code) { return Win32ErrorText(code); };

    static constexpr struct {
        const wchar_t* cls;
        const char* category;
    } kClasses[] = {{L"AntiVirusProduct", "antivirus"}, {L"AntiSpywareProduct", "antispyware"}, {L"FirewallProduct", "firewall"}};
    for (const auto& c : kClasses) {
        std::vector<SecurityProduct> rows;
        std::string wscError;
        const bool ok = RunWmiQuery(
            L"ROOT\\SecurityCenter2", std::wstring(L"SELECT displayName, productState, timestamp FROM ") + c.cls,
            [&](IWbemClassObject* row) {
                SecurityProduct p;
                p.displayName = GetWmiString(row, L"displayName");
                GetWmiInteger(row, L"productState", p.productState);
                p.timestamp = GetWmiString(row, L"timestamp");
                rows.push_back(std::move(p));
            },
            wscError);
        if (!ok) continue;
        src.productQueryOk = true;
        src.products.emplace_back(c.category, std::move(rows));
    }

    CollectPlatformFrom(s, src);
}

}  // namespace vorq
