#include "collectors/trust/driver_signature_win.h"

#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>

#include <cwchar>
#include <optional>

#include "collectors/processor/cert_name_win.h"
#include "core/fault_guard_win.h"
#include "core/win.h"
#include "collectors/trust/worker_pool.h"

namespace vorq {

namespace {

// The current WINTRUST_DATA (88 bytes; mingw-w64 declares the older 80-byte
// form without the signature settings) and the two choices used here.
struct TrustData {
    DWORD cbStruct;
    void* pPolicyCallbackData;
    void* pSIPClientData;
    DWORD dwUIChoice;
    DWORD fdwRevocationChecks;
    DWORD dwUnionChoice;
    void* pChoice;
    DWORD dwStateAction;
    HANDLE hWVTStateData;
    WCHAR* pwszURLReference;
    DWORD dwProvFlags;
    DWORD dwUIContext;
    void* pSignatureSettings;
};
static_assert(sizeof(TrustData) == 88);

struct TrustFileInfo {
    DWORD cbStruct;
    LPCWSTR pcwszFilePath;
    HANDLE hFile;
    const GUID* pgKnownSubject;
};
static_assert(sizeof(TrustFileInfo) == 32);

struct TrustCatalogInfo {
    DWORD cbStruct;
    DWORD dwCatalogVersion;
    LPCWSTR pcwszCatalogFilePath;
    LPCWSTR pcwszMemberTag;
    LPCWSTR pcwszMemberFilePath;
    HANDLE hMemberFile;
    BYTE* pbCalculatedFileHash;
    DWORD cbCalculatedFileHash;
    const void* pcCatalogContext;
    HCATADMIN hCatAdmin;
};
static_assert(sizeof(TrustCatalogInfo) == 72);

struct CatalogFileInfo {
    DWORD cbStruct;
    WCHAR wszCatalogFile[MAX_PATH];
};
static_assert(sizeof(CatalogFileInfo) == 524);

constexpr DWORD kUiNone = 2, kRevokeNone = 0, kChoiceFile = 1, kChoiceCatalog = 2;
constexpr DWORD kStateVerify = 1, kStateClose = 2;
constexpr DWORD kProvFlags = 0x1010;  // no revocation check, cached URL retrieval only
constexpr uint32_t kUnexpected = 0x8000FFFF;

// WINTRUST_ACTION_GENERIC_VERIFY_V2
const GUID kGenericVerifyV2 = {0x00AAC56B, 0xCD44, 0x11d0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};

// Not in mingw-w64's import library: looked up once, for the whole process.
using AcquireContext2Fn = BOOL(WINAPI*)(HCATADMIN*, const GUID*, PCWSTR, const void*, DWORD);
using CalcHash2Fn = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);
struct CatalogApi {
    AcquireContext2Fn acquire = nullptr;
    CalcHash2Fn calcHash = nullptr;
};
const CatalogApi& Catalog() {
    static const CatalogApi api = [] {
        CatalogApi a;
        // wintrust is linked, so this module stays loaded.
        HMODULE m = GetModuleHandleW(L"wintrust.dll");
        a.acquire = GetProc<AcquireContext2Fn>(m, "CryptCATAdminAcquireContext2");
        a.calcHash = GetProc<CalcHash2Fn>(m, "CryptCATAdminCalcHashFromFileHandle2");
        return a;
    }();
    return api;
}

uint32_t RunTrust(DWORD choice, void* info, SignerInfo& signer) {
    TrustData d{};
    d.cbStruct = sizeof(d);
    d.dwUIChoice = kUiNone;
    d.fdwRevocationChecks = kRevokeNone;
    d.dwUnionChoice = choice;
    d.pChoice = info;
    d.dwStateAction = kStateVerify;
    d.dwProvFlags = kProvFlags;
    GUID action = kGenericVerifyV2;
    const LONG r = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &d);
    if (d.hWVTStateData) {
        signer = ReadSignerInfo(d.hWVTStateData);
        d.dwStateAction = kStateClose;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &d);
    }
    return static_cast<uint32_t>(r);
}

std::vector<std::string> ReadEkus(PCCERT_CONTEXT cert) {
    std::vector<std::string> out;
    DWORD size = 0;
    if (!CertGetEnhancedKeyUsage(cert, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, nullptr, &size) || size == 0) return out;
    std::vector<uint64_t> buf((size + 7) / 8);
    auto* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(buf.data());
    if (!CertGetEnhancedKeyUsage(cert, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, usage, &size)) return out;
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i)
        if (usage->rgpszUsageIdentifier[i]) out.emplace_back(usage->rgpszUsageIdentifier[i]);
    return out;
}

std::string FormatVersionQuery(const void* block, WORD language, WORD codePage, const wchar_t* name) {
    wchar_t query[96];
    swprintf(query, 96, L"\\StringFileInfo\\%04x%04x\\%ls", language, codePage, name);
    LPVOID value = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(block, query, &value, &len) || !value || len == 0) return {};
    const auto* text = static_cast<const wchar_t*>(value);
    return Trim(ToUtf8(text, wcsnlen(text, len)));
}

}  // namespace

void ReadVersionStrings(const std::wstring& path, DriverRow& row) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return;
    std::vector<uint64_t> block((size + 7) / 8, 0);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return;
    LPVOID trans = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &trans, &len) || !trans || len <= 3) return;
    const auto* t = static_cast<const WORD*>(trans);
    row.company = FormatVersionQuery(block.data(), t[0], t[1], L"CompanyName");
    row.description = FormatVersionQuery(block.data(), t[0], t[1], L"FileDescription");
    row.version = FormatVersionQuery(block.data(), t[0], t[1], L"FileVersion");
}

SignerInfo ReadSignerInfo(HANDLE stateData) {
    SignerInfo info;
    CRYPT_PROVIDER_DATA* prov = WTHelperProvDataFromStateData(stateData);
    if (!prov) return info;
    CRYPT_PROVIDER_SGNR* sgnr = WTHelperGetProvSignerFromChain(prov, 0, FALSE, 0);
    if (!sgnr || sgnr->csCertChain == 0 || !sgnr->pasCertChain) return info;
    PCCERT_CONTEXT leaf = sgnr->pasCertChain[0].pCert;
    PCCERT_CONTEXT root = sgnr->pasCertChain[sgnr->csCertChain - 1].pCert;
    if (!leaf) return info;
    info.hasLeaf = true;
    info.signer = GetCertName(leaf, false);
    if (root) info.chainRoot = GetCertName(root, false);
    info.ekus = ReadEkus(leaf);
    return info;
}

bool VerifyCatalogSignature(const std::wstring& path, const wchar_t* hashAlgorithm, uint32_t& result, SignerInfo& signer,
                            std::wstring& catalogPath) {
    const CatalogApi& api = Catalog();
    if (!api.acquire || !api.calcHash) return false;
    HCATADMIN admin = nullptr;
    if (!api.acquire(&admin, nullptr, hashAlgorithm, nullptr, 0) || !admin) return false;
    struct AdminHolder {
        HCATADMIN h;
        ~AdminHolder() { CryptCATAdminReleaseContext(h, 0); }
    } adminHolder{admin};

    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    DWORD size = 0;
    api.calcHash(admin, file.get(), &size, nullptr, 0);
    if (size == 0 || size > 64) return false;
    std::vector<BYTE> hash(size);
    if (!api.calcHash(admin, file.get(), &size, hash.data(), 0) || size == 0 || size > hash.size()) return false;
    hash.resize(size);

    HCATINFO cat = CryptCATAdminEnumCatalogFromHash(admin, hash.data(), size, 0, nullptr);
    if (!cat) return false;
    struct CatHolder {
        HCATADMIN admin;
        HCATINFO h;
        ~CatHolder() { CryptCATAdminReleaseCatalogContext(admin, h, 0); }
    } catHolder{admin, cat};
    CatalogFileInfo ci{};
    ci.cbStruct = sizeof(ci);
    if (!CryptCATCatalogInfoFromContext(cat, reinterpret_cast<CATALOG_INFO*>(&ci), 0)) return false;
    ci.wszCatalogFile[MAX_PATH - 1] = L'\0';

    const std::wstring tag = ToWide(HexEncode(hash.data(), hash.size()));
    TrustCatalogInfo info{};
    info.cbStruct = sizeof(info);
    info.dwCatalogVersion = 0;
    info.pcwszCatalogFilePath = ci.wszCatalogFile;
    info.pcwszMemberTag = tag.c_str();
    info.pcwszMemberFilePath = path.c_str();
    info.pbCalculatedFileHash = hash.data();
    info.cbCalculatedFileHash = size;
    info.hCatAdmin = admin;
    result = RunTrust(kChoiceCatalog, &info, signer);
    catalogPath = ci.wszCatalogFile;
    return true;
}

uint32_t VerifyEmbeddedSignature(const std::wstring& path, SignerInfo& signer) {
    TrustFileInfo file{};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    return RunTrust(kChoiceFile, &file, signer);
}

void VerifyDriverRow(DriverRow& row, const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        row.imageFound = false;
        row.signatureClass = kClassImageNotFound;
        row.detail = "path could not be resolved from user mode";
        return;
    }
    ReadVersionStrings(path, row);
    std::optional<SignatureVerdict> catalog(std::in_place);
    std::wstring catalogPath;
    if (!VerifyCatalogSignature(path, L"SHA256", catalog->result, catalog->signer, catalogPath) &&
        !VerifyCatalogSignature(path, nullptr, catalog->result, catalog->signer, catalogPath))
        catalog.reset();
    DecideSignature(
        row, catalog,
        [&] {
            SignatureVerdict v;
            v.result = VerifyEmbeddedSignature(path, v.signer);
            return v;
        },
        [](uint32_t r) { return HResultText(static_cast<HRESULT>(r)); });
}

void VerifyDriverSignatures(std::atomic<uint64_t>& index, std::vector<DriverRow>& rows,
                            const std::vector<std::wstring>& paths, DriverVerifier verify) {
    DrainWorkQueue(
        index, std::min(rows.size(), paths.size()),
        [&](size_t i) {
            // The guard covers only this thread; the driver's guard sees nothing of a worker.
            const FaultResult r = RunFaultGuarded([&] { verify(rows[i], paths[i]); });
            if (r.faulted)
                MarkVerificationFailure(rows[i], r.code,
                                        Format("verification ended by processor fault 0x%08lX", r.code));
        },
        [&](size_t i, const std::string& what) {
            MarkVerificationFailure(rows[i], kUnexpected, "verification failed: " + what);
        });
}

}  // namespace vorq
