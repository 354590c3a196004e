// The "VM Detection" collector: the live CPUID fallback and the registry key
// scans; everything else works on the Snapshot.
#include <winsock2.h>
// clang-format off
#include <ws2tcpip.h>
#include <iphlpapi.h>
// clang-format on
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include <cpuid.h>

#include "core/win.h"
#include "vm/vm.h"
#include "vm/vm_system_win.h"

namespace vorq {

static CpuidLeafRegs LiveCpuid(uint32_t leaf) {
    CpuidLeafRegs r;
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid_count(leaf, 0, a, b, c, d);
    r.eax = a;
    r.ebx = b;
    r.ecx = c;
    r.edx = d;
    r.valid = true;
    return r;
}

static ServiceKeyScan ScanServiceKeys(const ServiceKey* keys, size_t count) {
    ServiceKeyScan scan;
    for (size_t i = 0; i < count; ++i) {
        HKEY raw = nullptr;
        LSTATUS st = RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(keys[i].path), 0, KEY_QUERY_VALUE, &raw);
        UniqueHKey key(raw);
        if (st == ERROR_SUCCESS) {
            scan.families.insert(keys[i].family);
        } else if (st != ERROR_FILE_NOT_FOUND && st != ERROR_PATH_NOT_FOUND) {
            scan.incomplete = true;
        }
    }
    return scan;
}

// ---- consistency context probes ----

// The IP Helper tables are owned until the reading scope ends.
struct MibTableFree {
    void operator()(void* t) const { FreeMibTable(t); }
};

static RouteTablesRead ReadRouteTables() {
    RouteTablesRead r;
    PMIB_IPFORWARD_TABLE2 rawRoutes = nullptr;
    const bool routesRead = GetIpForwardTable2(AF_UNSPEC, &rawRoutes) == NO_ERROR;
    const std::unique_ptr<MIB_IPFORWARD_TABLE2, MibTableFree> routes(rawRoutes);
    if (routesRead && routes) {
        r.routesOk = true;
        r.routeCount = routes->NumEntries;
        // One row past the walk's bound is enough to show it was reached.
        const ULONG keep = std::min<ULONG>(routes->NumEntries, static_cast<ULONG>(kRouteWalkMaxRows + 1));
        r.routes.reserve(keep);
        for (ULONG i = 0; i < keep; ++i) {
            const MIB_IPFORWARD_ROW2& row = routes->Table[i];
            r.routes.push_back(RouteRow{row.Loopback != FALSE, row.DestinationPrefix.PrefixLength, row.ValidLifetime});
        }
    }
    PMIB_IPNET_TABLE2 rawNeighbors = nullptr;
    const bool neighborsRead = GetIpNetTable2(AF_UNSPEC, &rawNeighbors) == NO_ERROR;
    const std::unique_ptr<MIB_IPNET_TABLE2, MibTableFree> neighbors(rawNeighbors);
    if (neighborsRead && neighbors) {
        r.neighborsOk = true;
        r.neighborCount = neighbors->NumEntries;
    }
    return r;
}

static WtsProtocolRead QueryWtsProtocol() {
    WtsProtocolRead r;
    r.ok = QueryCurrentSessionProtocol(r.protocol);
    return r;
}

static NativeVhdRead QueryNativeVhdBoot() {
    NativeVhdRead r;
    using IsNativeVhdBootFn = BOOL(WINAPI*)(PBOOL);
    // kernel32 is always loaded; the function is absent before Windows 8.
    const auto fn = GetProc<IsNativeVhdBootFn>(GetModuleHandleW(L"kernel32.dll"), "IsNativeVhdBoot");
    if (!fn) return r;
    r.supported = true;
    BOOL native = FALSE;
    r.ok = fn(&native) != FALSE;
    r.native = r.ok && native != FALSE;
    return r;
}

void CollectVm(Snapshot& s) {
    VmSource env;
    env.cpuid = LiveCpuid;
    env.scanServiceKeys = ScanServiceKeys;
    env.system = LiveVmSystemAccess();
    env.readRouteTables = ReadRouteTables;
    env.queryWtsProtocol = QueryWtsProtocol;
    env.queryNativeVhdBoot = QueryNativeVhdBoot;
    CollectVmFrom(s, env);
}

}  // namespace vorq
