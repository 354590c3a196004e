// The live answers behind VmSystemAccess: registry, services, files, known
// folders, the process snapshot, windows, DOS device aliases, this process's
// debugger state and the Windows Hypervisor Platform. Each call only reads;
// every handle is released in the call that acquired it.
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/text.h"
#include "core/win.h"
#include "vm/vm_system_win.h"

namespace vorq {

namespace {

struct ScTraits {
    using Type = SC_HANDLE;
    static SC_HANDLE Invalid() { return nullptr; }
    static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
using UniqueService = UniqueResource<ScTraits>;

uint32_t RegOpen(const std::string& path, RegView view) {
    REGSAM sam = KEY_QUERY_VALUE;
    if (view == RegView::k64) sam |= KEY_WOW64_64KEY;
    if (view == RegView::k32) sam |= KEY_WOW64_32KEY;
    UniqueHKey key;
    return static_cast<uint32_t>(RegOpenKeyExW(HKEY_LOCAL_MACHINE, ToWide(path).c_str(), 0, sam, key.put()));
}

RegValueRead RegRead(const std::string& path, const std::string& value, bool multi, size_t bufferBytes) {
    RegValueRead r;
    std::vector<uint8_t> buf(bufferBytes);
    DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND | RRF_ZEROONFAILURE;
    if (multi) flags |= RRF_RT_REG_MULTI_SZ;
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buf.size());
    r.error = static_cast<uint32_t>(
        RegGetValueW(HKEY_LOCAL_MACHINE, ToWide(path).c_str(), ToWide(value).c_str(), flags, &type, buf.data(), &size));
    if (r.error == 0) {
        r.type = type;
        r.data.assign(buf.begin(), buf.begin() + std::min<size_t>(size, buf.size()));
    }
    return r;
}

uint32_t RegEnum(const std::string& path, const std::function<bool(uint32_t, const std::string&)>& onEntry) {
    UniqueHKey key;
    const LSTATUS st =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, ToWide(path).c_str(), 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, key.put());
    if (st != ERROR_SUCCESS) return static_cast<uint32_t>(st);
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD len = 256;
        const LSTATUS e = RegEnumKeyExW(key.get(), index, name, &len, nullptr, nullptr, nullptr, nullptr);
        const std::string text = e == ERROR_SUCCESS ? ToUtf8(name, std::min<DWORD>(len, 255)) : std::string();
        if (!onEntry(static_cast<uint32_t>(e), text)) break;
    }
    return 0;
}

uint32_t QueryServices(const std::vector<std::string>& names, std::vector<ServiceStateQuery>& out) {
    UniqueService scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm) {
        const DWORD e = GetLastError();
        return e ? e : ERROR_ACCESS_DENIED;
    }
    for (const std::string& name : names) {
        ServiceStateQuery q;
        UniqueService svc(OpenServiceW(scm.get(), ToWide(name).c_str(), SERVICE_QUERY_STATUS));
        if (!svc) {
            q.openError = GetLastError();
            if (!q.openError) q.openError = ERROR_ACCESS_DENIED;
        } else {
            SERVICE_STATUS_PROCESS status{};
            DWORD needed = 0;
            if (QueryServiceStatusEx(svc.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                                     &needed)) {
                q.state = status.dwCurrentState;
            } else {
                q.queryError = GetLastError();
                if (!q.queryError) q.queryError = ERROR_ACCESS_DENIED;
            }
        }
        out.push_back(q);
    }
    return 0;
}

uint32_t WindowsDirectory(std::string& dir) {
    std::vector<wchar_t> buf(32768);
    const UINT n = GetWindowsDirectoryW(buf.data(), static_cast<UINT>(buf.size()));
    if (n > 0 && n < buf.size()) dir = ToUtf8(buf.data(), n);
    return n;
}

FileAttributesRead FileAttributes(const std::string& path) {
    FileAttributesRead r;
    const DWORD a = GetFileAttributesW(ToWide(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
        r.error = GetLastError();
    } else {
        r.valid = true;
        r.attributes = a;
    }
    return r;
}

KnownFolderRead ProgramFilesFolder(KnownFolder folder) {
    KnownFolderRead r;
    PWSTR path = nullptr;
    const KNOWNFOLDERID& id = folder == KnownFolder::kProgramFiles ? FOLDERID_ProgramFiles : FOLDERID_ProgramFilesX86;
    r.hr = SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
    if (SUCCEEDED(r.hr) && path) r.path = ToUtf8(path, wcslen(path));
    CoTaskMemFree(path);
    return r;
}

ProcessWalkEnd WalkProcesses(const std::function<bool(const std::string&)>& onEntry) {
    ProcessWalkEnd end;
    UniqueFile snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) {
        end.snapshotError = GetLastError();
        if (!end.snapshotError) end.snapshotError = ERROR_ACCESS_DENIED;
        return end;
    }
    PROCESSENTRY32W e{};
    e.dwSize = sizeof(e);
    if (!Process32FirstW(snap.get(), &e)) {
        end.firstError = GetLastError();
        if (!end.firstError) end.firstError = ERROR_NO_MORE_FILES;
        return end;
    }
    for (;;) {
        e.szExeFile[MAX_PATH - 1] = 0;
        if (!onEntry(ToUtf8(e.szExeFile, wcslen(e.szExeFile)))) break;
        e.dwSize = sizeof(e);
        if (!Process32NextW(snap.get(), &e)) {
            end.nextError = GetLastError();
            if (!end.nextError) end.nextError = ERROR_NO_MORE_FILES;
            break;
        }
    }
    return end;
}

uint32_t QueryDosDeviceAlias(const std::string& name) {
    std::vector<wchar_t> buf(4096);
    if (QueryDosDeviceW(ToWide(name).c_str(), buf.data(), static_cast<DWORD>(buf.size())) != 0) return 0;
    const DWORD e = GetLastError();
    return e ? e : ERROR_FILE_NOT_FOUND;
}

// The one entry point used of the Windows Hypervisor Platform, from its
// documented signature: WHvGetCapability(code, buffer, size, written).
using WhvGetCapabilityFn = HRESULT(WINAPI*)(int32_t capabilityCode, void* buffer, UINT32 bufferSize, UINT32* written);
constexpr int32_t kWhvCapabilityCodeHypervisorPresent = 0;

WhpPresenceRead WhpHypervisorPresent() {
    WhpPresenceRead r;
    UniqueModule lib = LoadSystemLibrary(L"WinHvPlatform.dll");
    if (!lib) {
        r.loadError = GetLastError();
        if (!r.loadError) r.loadError = ERROR_MOD_NOT_FOUND;
        return r;
    }
    const auto getCapability = GetProc<WhvGetCapabilityFn>(lib.get(), "WHvGetCapability");
    if (!getCapability) return r;
    r.hasExport = true;
    uint32_t value = 0;
    UINT32 written = 0;
    r.hr = getCapability(kWhvCapabilityCodeHypervisorPresent, &value, sizeof(value), &written);
    r.written = written;
    r.value = value;
    return r;
}

using NtQueryInformationProcessFn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

NtQueryInformationProcessFn NtQueryProcess() {
    return GetProc<NtQueryInformationProcessFn>(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess");
}

DebuggerApiRead DebuggerApi() {
    DebuggerApiRead r;
    r.present = IsDebuggerPresent() != FALSE;
    BOOL remote = FALSE;
    r.remoteOk = CheckRemoteDebuggerPresent(GetCurrentProcess(), &remote) != FALSE;
    r.remote = remote != FALSE;
    return r;
}

PebDebuggerRead PebDebugger() {
    PebDebuggerRead r;
    const NtQueryInformationProcessFn query = NtQueryProcess();
    if (!query) return r;
    r.available = true;
    alignas(8) uint8_t info[48] = {};  // PROCESS_BASIC_INFORMATION; the PEB address at offset 8
    r.status = query(GetCurrentProcess(), 0, info, sizeof(info), nullptr);
    if (r.status < 0) return r;
    memcpy(&r.peb, info + 8, sizeof(r.peb));
    if (r.peb == 0) return r;
    uint8_t flag = 0;
    SIZE_T read = 0;
    r.readOk = ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(static_cast<uintptr_t>(r.peb + 2)),
                                 &flag, 1, &read) != FALSE;
    r.bytesRead = read;
    r.beingDebugged = flag;
    return r;
}

NativeDebugRead NativeDebug() {
    NativeDebugRead r;
    const NtQueryInformationProcessFn query = NtQueryProcess();
    if (!query) return r;
    r.available = true;
    uint64_t port = 0;
    r.portStatus = query(GetCurrentProcess(), 7, &port, sizeof(port), nullptr);
    r.port = port;
    uint32_t flags = 1;
    r.flagsStatus = query(GetCurrentProcess(), 31, &flags, sizeof(flags), nullptr);
    r.flags = flags;
    HANDLE object = nullptr;
    r.objectStatus = query(GetCurrentProcess(), 30, &object, sizeof(object), nullptr);
    r.object = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(object));
    if (r.objectStatus >= 0 && object && object != INVALID_HANDLE_VALUE) CloseHandle(object);
    return r;
}

int ModuleExport(const std::string& module, const std::string& exportName) {
    const HMODULE m = GetModuleHandleW(ToWide(module).c_str());
    if (!m) return -1;
    return GetProcAddress(m, exportName.c_str()) ? 1 : 0;
}

}  // namespace

VmSystemAccess LiveVmSystemAccess() {
    VmSystemAccess a;
    a.tickMs = [] { return static_cast<uint64_t>(GetTickCount64()); };
    a.regOpenKey = RegOpen;
    a.regReadValue = RegRead;
    a.regEnumSubkeys = RegEnum;
    a.queryServices = QueryServices;
    a.windowsDirectory = WindowsDirectory;
    a.fileAttributes = FileAttributes;
    a.knownFolder = ProgramFilesFolder;
    a.driveType = [](const std::string& root) { return static_cast<uint32_t>(GetDriveTypeW(ToWide(root).c_str())); };
    a.walkProcesses = WalkProcesses;
    a.findWindowClass = [](const std::string& cls) { return FindWindowW(ToWide(cls).c_str(), nullptr) != nullptr; };
    a.queryDosDevice = QueryDosDeviceAlias;
    a.whpHypervisorPresent = WhpHypervisorPresent;
    a.debuggerApi = DebuggerApi;
    a.pebDebugger = PebDebugger;
    a.nativeDebug = NativeDebug;
    a.moduleLoaded = [](const std::string& m) { return GetModuleHandleW(ToWide(m).c_str()) != nullptr; };
    a.moduleExport = ModuleExport;
    a.systemMetric = [](int index) { return GetSystemMetrics(index); };
    return a;
}

}  // namespace vorq
