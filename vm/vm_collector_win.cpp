// The "VM Detection" collector: the live CPUID fallback and the registry key
// scans; everything else works on the Snapshot.
#include <windows.h>

#include <cpuid.h>

#include "core/collectors.h"
#include "core/win.h"
#include "vm/vm_detection.h"
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

void CollectVm(Snapshot& s) {
    VmEnvironment env;
    env.cpuid = LiveCpuid;
    env.scanServiceKeys = ScanServiceKeys;
    env.system = LiveVmSystemAccess();
    RunVmDetection(s, env);
}

}  // namespace vorq
