#include <shlobj.h>
#include <wtsapi32.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/win.h"

namespace vorq {

std::wstring GetAppDataDir() {
    std::wstring dir;
    PWSTR path = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0x8000 /*KF_FLAG_CREATE*/, nullptr, &path)) && path) {
        dir = std::wstring(path) + L"\\VornixQuelm";
    } else {
        wchar_t tmp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, tmp);
        dir = std::wstring(tmp) + L"VornixQuelm";
    }
    if (path) CoTaskMemFree(path);
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

std::wstring GetExePath() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n < buf.size()) return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

bool IsElevated() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    UniqueHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) return false;
    return elevation.TokenIsElevated != 0;
}

std::string NowIso8601() {
    SYSTEMTIME st;
    GetSystemTime(&st);
    return Format("%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

std::string FormatFileTimeUtc(const FILETIME& ft) {
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&ft, &st)) return {};
    return Format("%04u-%02u-%02u %02u:%02u:%02u UTC", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

std::string ToUtf8(const wchar_t* p, size_t n) {
    if (!p || n == 0 || n > 0x7FFFFFFF) return {};
    int len = WideCharToMultiByte(CP_UTF8, 0, p, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    if (len <= 0) return {};
    std::string out(static_cast<size_t>(len), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, p, static_cast<int>(n), out.data(), len, nullptr, nullptr) != len) return {};
    return out;
}

std::string ToUtf8Ptr(const wchar_t* p) { return p ? ToUtf8(p, wcslen(p)) : std::string(); }

std::string WStringToUtf8(const std::wstring& s) { return ToUtf8(s.data(), s.size()); }

std::wstring ToWide(const std::string& s) {
    if (s.empty() || s.size() > 0x7FFFFFFF) return {};
    int len = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (len <= 0) return {};
    std::wstring out(static_cast<size_t>(len), L'\0');
    if (MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), len) != len) return {};
    return out;
}

std::string SystemMessageText(DWORD code) {
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    wchar_t* buf = nullptr;
    DWORD n = FormatMessageW(flags, nullptr, code, 1033, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    if (n == 0) {
        if (buf) LocalFree(buf);
        buf = nullptr;
        n = FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    }
    std::string text;
    if (n != 0 && buf) text = Trim(ToUtf8(buf, n));
    if (buf) LocalFree(buf);
    return text;
}

std::string HResultText(HRESULT hr) {
    std::string msg = SystemMessageText(static_cast<DWORD>(hr));
    unsigned long code = static_cast<unsigned long>(static_cast<uint32_t>(hr));
    return msg.empty() ? Format("HRESULT 0x%08lX", code) : Format("HRESULT 0x%08lX: %s", code, msg.c_str());
}

std::string Win32ErrorText(DWORD code) {
    std::string msg = SystemMessageText(code);
    unsigned long c = code;
    return msg.empty() ? Format("error %lu (0x%08lX)", c, c) : Format("error %lu: %s", c, msg.c_str());
}

void CloseHandleIfValid(HANDLE h) {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

UniqueModule LoadSystemLibrary(const wchar_t* name) {
    return UniqueModule(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

namespace {
struct WtsMemoryFree {
    void operator()(void* p) const { WTSFreeMemory(p); }
};
}  // namespace

bool QueryCurrentSessionProtocol(uint16_t& protocol) {
    LPWSTR raw = nullptr;
    DWORD bytes = 0;
    const bool ok =
        WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSClientProtocolType, &raw, &bytes) != FALSE;
    const std::unique_ptr<WCHAR, WtsMemoryFree> buffer(raw);
    if (!ok || !buffer || bytes < sizeof(USHORT)) return false;
    USHORT value = 0;
    std::memcpy(&value, buffer.get(), sizeof value);
    protocol = value;
    return true;
}

}  // namespace vorq
