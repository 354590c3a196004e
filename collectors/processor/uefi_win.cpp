#include <windows.h>

#include <array>

#include "collectors/processor/cert_name_win.h"
#include "collectors/processor/uefi.h"
#include "core/registry_win.h"
#include "core/win.h"

namespace vorq {
namespace {

// true only when the privilege was really adjusted (ERROR_NOT_ALL_ASSIGNED counts as failure).
bool EnablePrivilege(const wchar_t* name, bool enable) {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return false;
    TOKEN_PRIVILEGES tp{};
    if (!LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid)) return false;
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!AdjustTokenPrivileges(token.get(), FALSE, &tp, 0, nullptr, nullptr)) return false;
    return GetLastError() == ERROR_SUCCESS;
}

// Missing from older systems and from Wine: a static import would end the process.
uint32_t QueryFirmwareType() {
    using Fn = BOOL(WINAPI*)(FIRMWARE_TYPE*);
    auto fn = GetProc<Fn>(GetModuleHandleW(L"kernel32.dll"), "GetFirmwareType");
    FIRMWARE_TYPE type = FirmwareTypeUnknown;
    if (!fn || !fn(&type)) return kFirmwareTypeUnknown;
    return static_cast<uint32_t>(type);
}

std::vector<EsrtEntry> ReadEsrt() {
    const std::wstring root = L"HARDWARE\\UEFI\\ESRT";
    std::vector<EsrtEntry> out;
    for (const std::wstring& name : RegEnumSubkeys(HKEY_LOCAL_MACHINE, root.c_str())) {
        const std::wstring key = root + L"\\" + name;
        EsrtEntry e;
        e.guid = WStringToUtf8(name);
        RegReadDword(HKEY_LOCAL_MACHINE, key.c_str(), L"Type", e.type);
        RegReadDword(HKEY_LOCAL_MACHINE, key.c_str(), L"Version", e.version);
        RegReadDword(HKEY_LOCAL_MACHINE, key.c_str(), L"LowestSupportedVersion", e.lowestSupported);
        RegReadDword(HKEY_LOCAL_MACHINE, key.c_str(), L"LastAttemptVersion", e.lastAttemptVersion);
        RegReadDword(HKEY_LOCAL_MACHINE, key.c_str(), L"LastAttemptStatus", e.lastAttemptStatus);
        out.push_back(std::move(e));
    }
    return out;
}

GenerationIdRead ReadGenerationId() {
    GenerationIdRead g;
    const wchar_t* path = L"\\\\.\\VmGenerationCounter";
    UniqueFile h(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr));
    if (!h) h.reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!h) {
        g.openError = GetLastError();
        return g;
    }
    g.opened = true;
    std::array<uint8_t, 16> out{};
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(h.get(), 0x32C004, nullptr, 0, out.data(), static_cast<DWORD>(out.size()), &returned,
                                    nullptr);
    g.readError = GetLastError();
    if (ok && returned >= out.size()) {
        g.readOk = true;
        g.bytes = out;
    }
    return g;
}

}  // namespace

void CollectUefi(Snapshot& s) {
    UefiSource src;
    src.esrt = ReadEsrt;
    src.firmwareType = QueryFirmwareType;
    src.systemEnvironmentPrivilege = [](bool enable) { return EnablePrivilege(L"SeSystemEnvironmentPrivilege", enable); };
    src.getVariable = [](const std::string& name, const std::string& guid, void* buffer, uint32_t size,
                         uint32_t* error) -> uint32_t {
        const DWORD n = GetFirmwareEnvironmentVariableW(ToWide(name).c_str(), ToWide(guid).c_str(), buffer, size);
        if (n == 0) *error = GetLastError();
        return n;
    };
    src.certNamer = NameDerCertificate;
    src.regString = [](const std::string& subkey, const std::string& name, std::string* out) {
        std::wstring v;
        if (!RegReadString(HKEY_LOCAL_MACHINE, ToWide(subkey).c_str(), ToWide(name).c_str(), v)) return false;
        *out = WStringToUtf8(v);
        return true;
    };
    src.regMultiSz = [](const std::string& subkey, const std::string& name, std::vector<std::string>* out) {
        std::vector<std::wstring> v;
        if (!RegReadMultiSz(HKEY_LOCAL_MACHINE, ToWide(subkey).c_str(), ToWide(name).c_str(), v)) return false;
        out->clear();
        for (const std::wstring& w : v) out->push_back(WStringToUtf8(w));
        return true;
    };
    src.guestParameters = [](int32_t* status) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const RegValue& v :
             RegEnumValues(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Virtual Machine\\Guest\\Parameters", status))
            out.emplace_back(WStringToUtf8(v.name), RegValueToText(v));
        return out;
    };
    src.generationId = ReadGenerationId;
    src.errorText = [](uint32_t code) { return Win32ErrorText(code); };
    CollectUefiFrom(s, src);
}

}  // namespace vorq
