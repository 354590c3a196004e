#include "collectors/trust/windows_os_win.h"

// clang-format off
#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>
#include <wincrypt.h>
// clang-format on

#include <cwchar>

#include "collectors/processor/cert_name_win.h"
#include "collectors/trust/system_id_win.h"
#include "collectors/trust/windows_os.h"
#include "core/hash.h"
#include "core/registry_win.h"
#include "core/win.h"

namespace vorq {

std::string ReadRegistryString(HKEY root, const wchar_t* subkey, const wchar_t* name) {
    std::wstring value;
    if (!RegReadString(root, subkey, name, value)) return {};
    return Trim(WStringToUtf8(value));
}

std::optional<uint32_t> ReadRegistryDword(HKEY root, const wchar_t* subkey, const wchar_t* name) {
    uint32_t v = 0;
    if (!RegReadDword(root, subkey, name, v)) return std::nullopt;
    return v;
}

std::optional<uint64_t> ReadRegistryQword(HKEY root, const wchar_t* subkey, const wchar_t* name) {
    uint64_t v = 0;
    if (!RegReadQword(root, subkey, name, v)) return std::nullopt;
    return v;
}

namespace {

struct LsaPolicyTraits {
    using Type = LSA_HANDLE;
    static LSA_HANDLE Invalid() { return nullptr; }
    static void Close(LSA_HANDLE h) { LsaClose(h); }
};
struct LsaMemoryTraits {
    using Type = void*;
    static void* Invalid() { return nullptr; }
    static void Close(void* p) { LsaFreeMemory(p); }
};
struct LocalMemoryTraits {
    using Type = void*;
    static void* Invalid() { return nullptr; }
    static void Close(void* p) { LocalFree(p); }
};
struct CertStoreTraits {
    using Type = HCERTSTORE;
    static HCERTSTORE Invalid() { return nullptr; }
    static void Close(HCERTSTORE h) { CertCloseStore(h, 0); }
};

// A string SID of ConvertSidToStringSidW as UTF-8; empty on failure.
std::string SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!sid || !ConvertSidToStringSidW(sid, &text)) return {};
    UniqueResource<LocalMemoryTraits> owned(text);
    return ToUtf8Ptr(text);
}

}  // namespace

std::string CurrentUserSid() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<uint8_t> buffer(size);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    return SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

std::string GetMachineSid() {
    LSA_OBJECT_ATTRIBUTES attributes{};
    UniqueResource<LsaPolicyTraits> policy;
    if (LsaOpenPolicy(nullptr, &attributes, POLICY_VIEW_LOCAL_INFORMATION, policy.put()) != 0) return {};
    UniqueResource<LsaMemoryTraits> info;
    if (LsaQueryInformationPolicy(policy.get(), PolicyAccountDomainInformation, info.put()) != 0 || !info) return {};
    return SidText(static_cast<POLICY_ACCOUNT_DOMAIN_INFO*>(info.get())->DomainSid);
}

bool ComputerNameEx(COMPUTER_NAME_FORMAT format, std::string& name) {
    wchar_t buffer[256] = {};
    DWORD size = 256;
    if (!GetComputerNameExW(format, buffer, &size)) return false;
    name = ToUtf8(buffer, size);
    return true;
}

bool CurrentUserName(std::string& name) {
    wchar_t buffer[256] = {};
    DWORD size = 256;
    if (!GetUserNameW(buffer, &size)) return false;
    name = ToUtf8Ptr(buffer);
    return true;
}

namespace {

constexpr wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

void ReadLineage(WindowsSource& in) {
    for (const std::wstring& name : RegEnumSubkeys(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup")) {
        if (_wcsnicmp(name.c_str(), L"Source OS", 9) != 0) continue;
        const std::wstring key = L"SYSTEM\\Setup\\" + name;
        const wchar_t* k = key.c_str();
        LineageSource l;
        l.entryName = WStringToUtf8(name);
        l.productName = ReadRegistryString(HKEY_LOCAL_MACHINE, k, L"ProductName");
        l.displayVersion = ReadRegistryString(HKEY_LOCAL_MACHINE, k, L"DisplayVersion");
        l.currentBuildNumber = ReadRegistryString(HKEY_LOCAL_MACHINE, k, L"CurrentBuildNumber");
        l.currentBuild = ReadRegistryString(HKEY_LOCAL_MACHINE, k, L"CurrentBuild");
        l.ubr = ReadRegistryDword(HKEY_LOCAL_MACHINE, k, L"UBR").value_or(0);
        l.editionId = ReadRegistryString(HKEY_LOCAL_MACHINE, k, L"EditionID");
        l.installationType = ReadRegistryString(HKEY_LOCAL_MACHINE, k, L"InstallationType");
        l.buildGuid = ReadRegistryString(HKEY_LOCAL_MACHINE, k, L"BuildGUID");
        l.productId = ReadRegistryString(HKEY_LOCAL_MACHINE, k, L"ProductId");
        l.installTime = ReadRegistryQword(HKEY_LOCAL_MACHINE, k, L"InstallTime");
        l.installDate = ReadRegistryDword(HKEY_LOCAL_MACHINE, k, L"InstallDate");
        in.lineage.push_back(std::move(l));
    }
}

// The 8.3 form of a profile folder as Windows answers it: only Windows knows
// it for names outside the code page and after four folders began alike.
// Empty when the folder is missing or has no short form of its own.
std::string ShortPath(const std::string& imagePath) {
    const std::wstring path = ToWide(imagePath);
    std::wstring expanded(32768, L'\0');
    const DWORD n = ExpandEnvironmentStringsW(path.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (n == 0 || n > expanded.size()) return {};
    expanded.resize(n - 1);
    std::wstring out(MAX_PATH, L'\0');
    DWORD len = GetShortPathNameW(expanded.c_str(), out.data(), static_cast<DWORD>(out.size()));
    if (len > out.size()) {
        out.assign(len, L'\0');
        len = GetShortPathNameW(expanded.c_str(), out.data(), static_cast<DWORD>(out.size()));
    }
    if (len == 0 || len >= out.size()) return {};
    out.resize(len);
    return out == expanded ? std::string() : WStringToUtf8(out);
}

void ReadProfiles(WindowsSource& in) {
    constexpr wchar_t kList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    for (const std::wstring& sid : RegEnumSubkeys(HKEY_LOCAL_MACHINE, kList)) {
        const std::wstring key = std::wstring(kList) + L"\\" + sid;
        const wchar_t* k = key.c_str();
        ProfileSource p;
        p.sid = WStringToUtf8(sid);
        p.loadHigh = ReadRegistryDword(HKEY_LOCAL_MACHINE, k, L"LocalProfileLoadTimeHigh").value_or(0);
        p.loadLow = ReadRegistryDword(HKEY_LOCAL_MACHINE, k, L"LocalProfileLoadTimeLow").value_or(0);
        p.unloadHigh = ReadRegistryDword(HKEY_LOCAL_MACHINE, k, L"LocalProfileUnloadTimeHigh").value_or(0);
        p.unloadLow = ReadRegistryDword(HKEY_LOCAL_MACHINE, k, L"LocalProfileUnloadTimeLow").value_or(0);
        p.state = ReadRegistryDword(HKEY_LOCAL_MACHINE, k, L"State").value_or(0);
        p.imagePath = ReadRegistryString(HKEY_LOCAL_MACHINE, k, L"ProfileImagePath");
        // The profiles the report lists, and masks.
        if (ClassifyProfileSid(p.sid, in.machineSid, in.currentUserSid).kind != ProfileKind::Service)
            p.shortPath = ShortPath(p.imagePath);
        in.profiles.push_back(std::move(p));
    }
}

uint64_t Ticks(const FILETIME& ft) { return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

// The decoded structure of one extension, freed with LocalFree.
template <typename T>
struct Decoded {
    T* value = nullptr;
    ~Decoded() {
        if (value) LocalFree(value);
    }
};

CertSource ReadCertificate(PCCERT_CONTEXT cert) {
    CertSource c;
    const CERT_INFO* info = cert->pCertInfo;
    c.subject = GetCertName(cert, false);
    c.issuer = GetCertName(cert, true);
    c.selfSigned = CertCompareCertificateName(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&info->Issuer),
                                              const_cast<CERT_NAME_BLOB*>(&info->Subject)) != FALSE;
    if (const CERT_EXTENSION* e = CertFindExtension(szOID_BASIC_CONSTRAINTS2, info->cExtension, info->rgExtension)) {
        Decoded<CERT_BASIC_CONSTRAINTS2_INFO> bc;
        DWORD size = 0;
        c.basicConstraintsCa = CryptDecodeObjectEx(X509_ASN_ENCODING, X509_BASIC_CONSTRAINTS2, e->Value.pbData,
                                                   e->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &bc.value,
                                                   &size) &&
                               bc.value && bc.value->fCA;
    } else if (const CERT_EXTENSION* old =
                   CertFindExtension(szOID_BASIC_CONSTRAINTS, info->cExtension, info->rgExtension)) {
        Decoded<CERT_BASIC_CONSTRAINTS_INFO> bc;
        DWORD size = 0;
        c.subjectTypeCa = CryptDecodeObjectEx(X509_ASN_ENCODING, X509_BASIC_CONSTRAINTS, old->Value.pbData,
                                              old->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &bc.value, &size) &&
                          bc.value && bc.value->SubjectType.cbData > 0 &&
                          (bc.value->SubjectType.pbData[0] & CERT_CA_SUBJECT_FLAG) != 0;
    }
    const char* oid = info->SubjectPublicKeyInfo.Algorithm.pszObjId;
    c.keyAlgorithmOid = oid ? oid : "";
    c.keyBits = CertGetPublicKeyLength(X509_ASN_ENCODING, const_cast<CERT_PUBLIC_KEY_INFO*>(&info->SubjectPublicKeyInfo));
    c.thumbprint = Sha256Hex(cert->pbCertEncoded, cert->cbCertEncoded);
    c.notBefore = Ticks(info->NotBefore);
    c.notAfter = Ticks(info->NotAfter);
    return c;
}

CertStoreSource ReadStore(const wchar_t* name, const char* label, bool remoteDesktop) {
    CertStoreSource store;
    store.label = label;
    store.remoteDesktop = remoteDesktop;
    UniqueResource<CertStoreTraits> h(CertOpenStore(
        CERT_STORE_PROV_SYSTEM_W, 0, 0,
        CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG | CERT_STORE_READONLY_FLAG, name));
    if (!h) {
        store.error = Win32ErrorText(GetLastError());
        return store;
    }
    store.opened = true;
    PCCERT_CONTEXT cert = nullptr;
    try {
        while ((cert = CertEnumCertificatesInStore(h.get(), cert)) != nullptr) store.certs.push_back(ReadCertificate(cert));
    } catch (...) {
        // The enumeration's current context is ours until the next call; free it before the store goes.
        if (cert) CertFreeCertificateContext(cert);
        throw;
    }
    return store;
}

std::optional<std::string> PreferredUiLanguages() {
    ULONG count = 0, size = 0;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size) || size == 0) return std::nullopt;
    std::vector<wchar_t> buffer(size);
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, buffer.data(), &size)) return std::nullopt;
    std::vector<std::string> names;
    for (const wchar_t* p = buffer.data(); p < buffer.data() + buffer.size() && *p; p += wcslen(p) + 1)
        names.push_back(ToUtf8Ptr(p));
    return Join(names, ", ");
}

void ReadOsTableValues(WindowsSource& in) {
    in.tickCount = GetTickCount64();
    in.elevated = IsElevated();
    wchar_t locale[85] = {};
    if (GetUserDefaultLocaleName(locale, 85) > 0) in.locale = ToUtf8Ptr(locale);
    DYNAMIC_TIME_ZONE_INFORMATION tz{};
    if (GetDynamicTimeZoneInformation(&tz) != TIME_ZONE_ID_INVALID) in.timeZone = ToUtf8Ptr(tz.TimeZoneKeyName);
    in.uiLanguages = PreferredUiLanguages();
    for (const RegValue& v : RegEnumValues(HKEY_CURRENT_USER, L"Keyboard Layout\\Preload")) {
        std::string text = RegValueToText(v);
        if (!text.empty()) in.preloadLayouts.push_back(std::move(text));
    }
    HKL layouts[64] = {};
    const int n = GetKeyboardLayoutList(64, layouts);
    for (int i = 0; i < n && i < 64; ++i)
        in.keyboardLayouts.push_back(
            Format("%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(layouts[i]) & 0xFFFFFFFFu)));
    std::string domain;
    if (ComputerNameEx(ComputerNameDnsDomain, domain)) in.dnsDomain = domain;
    in.registeredOwner = ReadRegistryString(HKEY_LOCAL_MACHINE, kCurrentVersion, L"RegisteredOwner");
    in.registeredOrganization = ReadRegistryString(HKEY_LOCAL_MACHINE, kCurrentVersion, L"RegisteredOrganization");
    in.bootId = ReadRegistryDword(HKEY_LOCAL_MACHINE,
                      L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management\\PrefetchParameters",
                      L"BootId");
    in.geoName = ReadRegistryString(HKEY_CURRENT_USER, L"Control Panel\\International\\Geo", L"Name");
    in.geoNation = ReadRegistryString(HKEY_CURRENT_USER, L"Control Panel\\International\\Geo", L"Nation");
    in.httpsProgId = ReadRegistryString(
        HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\https\\UserChoice",
        L"ProgId");
    in.lastLoggedOnProvider = ReadRegistryString(
        HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\LogonUI",
        L"LastLoggedOnProvider");
    std::vector<std::wstring> clone;
    if (RegReadMultiSz(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup", L"CloneTag", clone) && !clone.empty())
        in.cloneTag = WStringToUtf8(clone.front());
    in.generalizationState = ReadRegistryDword(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup\\Status\\SysprepStatus", L"GeneralizationState");
    in.imageState =
        ReadRegistryString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\State", L"ImageState");
    in.upgrade = ReadRegistryDword(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup", L"Upgrade");
}

}  // namespace

void CollectWindows(Snapshot& s) {
    WindowsSource in;
    const HKEY lm = HKEY_LOCAL_MACHINE;
    in.productName = ReadRegistryString(lm, kCurrentVersion, L"ProductName");
    in.editionId = ReadRegistryString(lm, kCurrentVersion, L"EditionID");
    in.displayVersion = ReadRegistryString(lm, kCurrentVersion, L"DisplayVersion");
    in.currentBuildNumber = ReadRegistryString(lm, kCurrentVersion, L"CurrentBuildNumber");
    if (in.currentBuildNumber.empty()) in.currentBuild = ReadRegistryString(lm, kCurrentVersion, L"CurrentBuild");
    in.ubr = ReadRegistryDword(lm, kCurrentVersion, L"UBR").value_or(0);
    in.buildLabEx = ReadRegistryString(lm, kCurrentVersion, L"BuildLabEx");
    in.installationType = ReadRegistryString(lm, kCurrentVersion, L"InstallationType");
    in.productId = ReadRegistryString(lm, kCurrentVersion, L"ProductId");
    in.buildGuid = ReadRegistryString(lm, kCurrentVersion, L"BuildGUID");
    in.installTime = ReadRegistryQword(lm, kCurrentVersion, L"InstallTime");
    in.installDate = ReadRegistryDword(lm, kCurrentVersion, L"InstallDate");

    in.machineGuid = ReadRegistryString(lm, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid");
    in.machineSid = GetMachineSid();
    HW_PROFILE_INFOW profile{};
    if (GetCurrentHwProfileW(&profile)) in.hwProfileGuid = Trim(ToUtf8Ptr(profile.szHwProfileGuid));
    in.susClientId = ReadRegistryString(lm, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate", L"SusClientId");
    in.sqmMachineId = ReadRegistryString(lm, L"SOFTWARE\\Microsoft\\SQMClient", L"MachineId");
    std::string computer;
    if (ComputerNameEx(ComputerNameDnsHostname, computer)) in.computerName = computer;
    in.defenderSenseId = ReadRegistryString(lm, L"SOFTWARE\\Microsoft\\Windows Advanced Threat Protection", L"senseId");
    const std::vector<std::wstring> joins =
        RegEnumSubkeys(lm, L"SYSTEM\\CurrentControlSet\\Control\\CloudDomainJoin\\JoinInfo");
    if (!joins.empty()) in.entraJoinFirstSubkey = WStringToUtf8(joins.front());

    ReadLineage(in);
    in.currentUserSid = CurrentUserSid();
    ReadProfiles(in);
    CurrentUserName(in.userName);
    in.certStores.push_back(ReadStore(L"Remote Desktop", "Remote Desktop", true));
    in.certStores.push_back(ReadStore(L"My", "personal (My)", false));
    in.systemId = sysid::Query();

    constexpr wchar_t kSystemInformation[] = L"SYSTEM\\CurrentControlSet\\Control\\SystemInformation";
    in.chid = ReadRegistryString(lm, kSystemInformation, L"ComputerHardwareId");
    std::vector<std::wstring> chids;
    if (RegReadMultiSz(lm, kSystemInformation, L"ComputerHardwareIds", chids))
        for (const std::wstring& id : chids) in.chids.push_back(WStringToUtf8(id));
    ReadOsTableValues(in);

    CollectWindowsFrom(s, in);
}

}  // namespace vorq
