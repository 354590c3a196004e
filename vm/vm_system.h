// What the artifact, process-context and hypervisor-platform probes ask of the
// running system, as plain answers (Win32 error codes with 0 for success,
// NTSTATUS values, HRESULTs). vm_system_win.cpp supplies the live answers;
// host tests fill in the functions they need. A function left empty makes its
// probe "Not Supported".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/registry.h"

namespace vorq {

// Win32 codes the probes classify (winerror.h values).
inline constexpr uint32_t kErrFileNotFound = 2;
inline constexpr uint32_t kErrPathNotFound = 3;
inline constexpr uint32_t kErrAccessDenied = 5;
inline constexpr uint32_t kErrNoMoreFiles = 18;
inline constexpr uint32_t kErrModNotFound = 126;
inline constexpr uint32_t kErrBadExeFormat = 193;
inline constexpr uint32_t kErrMoreData = 234;
inline constexpr uint32_t kErrNoMoreItems = 259;
inline constexpr uint32_t kErrServiceDoesNotExist = 1060;
inline constexpr uint32_t kErrDllNotFound = 1157;

inline constexpr uint32_t kFileAttributeDirectory = 0x10;
inline constexpr uint32_t kDriveFixed = 3;
inline constexpr uint32_t kServiceRunning = 4;

inline constexpr int kSmRemoteSession = 0x1000;
inline constexpr int kSmRemoteControl = 0x2001;

// Registry views of an open: as the process sees it, or one of the two
// explicit views of a 64-bit system.
enum class RegView { kDefault, k64, k32 };

struct RegValueRead {
    uint32_t error = 0;
    uint32_t type = 0;
    std::vector<uint8_t> data;  // exactly the bytes the read reported
};

struct ServiceStateQuery {
    uint32_t openError = 0;   // OpenServiceW
    uint32_t queryError = 0;  // QueryServiceStatusEx, when the service opened
    uint32_t state = 0;       // dwCurrentState on success
};

struct FileAttributesRead {
    bool valid = false;  // false: INVALID_FILE_ATTRIBUTES, with error
    uint32_t attributes = 0;
    uint32_t error = 0;
};

enum class KnownFolder { kProgramFiles, kProgramFilesX86 };

struct KnownFolderRead {
    int32_t hr = 0;
    std::string path;  // UTF-8
};

// How a process walk ended: errors of the snapshot, of the first entry, and
// of the entry that stopped it (0 when the visitor stopped the walk).
struct ProcessWalkEnd {
    uint32_t snapshotError = 0;
    uint32_t firstError = 0;
    uint32_t nextError = 0;
};

struct WhpPresenceRead {
    uint32_t loadError = 0;  // 0: the library loaded
    bool hasExport = false;
    int32_t hr = 0;
    uint32_t written = 0;
    uint32_t value = 0;
};

struct DebuggerApiRead {
    bool present = false;
    bool remoteOk = false;
    bool remote = false;
};

struct PebDebuggerRead {
    bool available = false;  // the native query entry point exists
    int32_t status = 0;
    uint64_t peb = 0;
    bool readOk = false;
    uint64_t bytesRead = 0;
    uint8_t beingDebugged = 0;
};

struct NativeDebugRead {
    bool available = false;
    int32_t portStatus = 0;
    uint64_t port = 0;
    int32_t flagsStatus = 0;
    uint32_t flags = 1;
    int32_t objectStatus = 0;
    uint64_t object = 0;  // a returned debug object is closed by the live reader
};

struct VmSystemAccess {
    // Milliseconds of a monotonic clock (GetTickCount64); bounds the walks.
    std::function<uint64_t()> tickMs;

    // Registry under HKEY_LOCAL_MACHINE; paths are UTF-8.
    std::function<uint32_t(const std::string& path, RegView view)> regOpenKey;  // opened for query, closed at once
    // A string value, not expanded, into a buffer of `bufferBytes`; with
    // `multi` a REG_MULTI_SZ value is accepted too.
    std::function<RegValueRead(const std::string& path, const std::string& value, bool multi, size_t bufferBytes)>
        regReadValue;
    // Opens the key for enumeration and hands the outcome of index 0, 1, ...
    // (error and UTF-8 name) to the visitor until it returns false. Returns
    // the open's error.
    std::function<uint32_t(const std::string& path, const std::function<bool(uint32_t error, const std::string& name)>&)>
        regEnumSubkeys;

    // Service states without starting anything; returns the service
    // manager's open error and fills one answer per name on success.
    std::function<uint32_t(const std::vector<std::string>& names, std::vector<ServiceStateQuery>& out)> queryServices;

    // GetWindowsDirectoryW's return value and the directory (UTF-8).
    std::function<uint32_t(std::string& dir)> windowsDirectory;
    std::function<FileAttributesRead(const std::string& path)> fileAttributes;
    std::function<KnownFolderRead(KnownFolder)> knownFolder;
    std::function<uint32_t(const std::string& root)> driveType;

    // One process snapshot; the visitor gets each executable name (UTF-8)
    // and returns false to stop.
    std::function<ProcessWalkEnd(const std::function<bool(const std::string& exe)>&)> walkProcesses;
    std::function<bool(const std::string& windowClass)> findWindowClass;
    std::function<uint32_t(const std::string& name)> queryDosDevice;  // 0 when the alias exists

    // The Windows Hypervisor Platform's "hypervisor present" capability.
    std::function<WhpPresenceRead()> whpHypervisorPresent;

    // This process's own context.
    std::function<DebuggerApiRead()> debuggerApi;
    std::function<PebDebuggerRead()> pebDebugger;
    std::function<NativeDebugRead()> nativeDebug;
    std::function<bool(const std::string& module)> moduleLoaded;
    // -1 when the module is not loaded, else whether it exports the name.
    std::function<int(const std::string& module, const std::string& exportName)> moduleExport;
    std::function<int(int index)> systemMetric;
};

}  // namespace vorq
