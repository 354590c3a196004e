#include <windows.h>

#include <thread>

#include "collectors/trust/driver_signature_win.h"
#include "collectors/trust/drivers.h"
#include "collectors/trust/worker_pool.h"
#include "core/registry_win.h"
#include "core/win.h"

namespace vorq {

namespace {

struct ServiceTraits {
    using Type = SC_HANDLE;
    static SC_HANDLE Invalid() { return nullptr; }
    static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
using UniqueService = UniqueResource<ServiceTraits>;

std::u16string U16(const std::wstring& w) { return std::u16string(reinterpret_cast<const char16_t*>(w.data()), w.size()); }
std::wstring W(const std::u16string& u) { return std::wstring(reinterpret_cast<const wchar_t*>(u.data()), u.size()); }

uint32_t ExpandEnvironment(const std::u16string& src, char16_t* dst, uint32_t capacity) {
    return ExpandEnvironmentStringsW(reinterpret_cast<const wchar_t*>(src.c_str()), reinterpret_cast<wchar_t*>(dst),
                                     capacity);
}

// The configured image path of a service, or empty.
std::wstring ConfiguredPath(SC_HANDLE manager, const wchar_t* name) {
    UniqueService service(OpenServiceW(manager, name, SERVICE_QUERY_CONFIG));
    if (!service) return {};
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    if (needed == 0) return {};
    std::vector<uint64_t> buf((needed + 16 + 7) / 8, 0);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buf.data());
    if (!QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buf.size() * 8), &needed)) return {};
    return config->lpBinaryPathName ? std::wstring(config->lpBinaryPathName) : std::wstring();
}

// Fills rows and paths with the running drivers; false with the note's text.
bool EnumerateRunningDrivers(DriversSource& src, std::vector<std::wstring>& paths) {
    UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) {
        src.failure = "OpenSCManager failed: " + Win32ErrorText(GetLastError());
        return false;
    }
    DWORD needed = 0, count = 0, resume = 0;
    EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_DRIVER, SERVICE_ACTIVE, nullptr, 0, &needed, &count,
                          &resume, nullptr);
    const DWORD size = needed + 16384;
    std::vector<uint64_t> buf((size + 7) / 8, 0);
    count = 0;
    resume = 0;
    if (!EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_DRIVER, SERVICE_ACTIVE,
                               reinterpret_cast<BYTE*>(buf.data()), size, &needed, &count, &resume, nullptr)) {
        src.failure = "EnumServicesStatusEx failed: " + Win32ErrorText(GetLastError());
        return false;
    }
    wchar_t windows[260] = {};
    const UINT wlen = GetWindowsDirectoryW(windows, 260);
    const std::u16string windowsDir = U16(std::wstring(windows, wlen < 260 ? wlen : 0));

    const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buf.data());
    src.rows.reserve(count);
    paths.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        const ENUM_SERVICE_STATUS_PROCESSW& svc = services[i];
        if (svc.ServiceStatusProcess.dwCurrentState != SERVICE_RUNNING || !svc.lpServiceName) continue;
        DriverRow row;
        row.name = ToUtf8Ptr(svc.lpServiceName);
        row.displayName = ToUtf8Ptr(svc.lpDisplayName);
        std::wstring raw = ConfiguredPath(manager.get(), svc.lpServiceName);
        if (raw.empty())
            RegReadString(HKEY_LOCAL_MACHINE, (L"SYSTEM\\CurrentControlSet\\Services\\" + std::wstring(svc.lpServiceName)).c_str(),
                          L"ImagePath", raw);
        const std::wstring path =
            W(ResolveDriverImagePath(U16(raw), U16(svc.lpServiceName), windowsDir, &ExpandEnvironment));
        row.imagePath = WStringToUtf8(path);
        src.rows.push_back(std::move(row));
        paths.push_back(path);
    }
    return true;
}

}  // namespace

void CollectDrivers(Snapshot& s) {
    DriversSource src;
    std::vector<std::wstring> paths;
    if (EnumerateRunningDrivers(src, paths)) {
        std::atomic<uint64_t> index{0};
        RunOnThreads(DriverPoolThreads(std::thread::hardware_concurrency()),
                     [&] { VerifyDriverSignatures(index, src.rows, paths); });
    }
    CollectDriversFrom(s, std::move(src));
}

}  // namespace vorq
