// The "Cross-checks" collector: the two WMI readings and the OS memory size;
// the comparisons themselves work on the Snapshot.
#include <windows.h>

#include "assessment/crosschecks.h"
#include "core/wmi_win.h"

namespace vorq {

void CollectCrossChecks(Snapshot& s) {
    CrossChecksSource in;
    std::string error;  // a failed query leaves its text empty; the checks then say a source is unavailable
    RunWmiQuery(L"ROOT\\CIMV2", L"SELECT UUID FROM Win32_ComputerSystemProduct",
                [&](IWbemClassObject* row) { in.wmiUuid = GetWmiString(row, L"UUID"); }, error);
    RunWmiQuery(L"ROOT\\CIMV2", L"SELECT SerialNumber FROM Win32_BaseBoard",
                [&](IWbemClassObject* row) {
                    if (in.wmiBoardSerial.empty()) in.wmiBoardSerial = GetWmiString(row, L"SerialNumber");
                },
                error);
    MEMORYSTATUSEX mem{};
    mem.dwLength = sizeof mem;
    if (GlobalMemoryStatusEx(&mem)) in.totalPhysicalBytes = mem.ullTotalPhys;
    CollectCrossChecksFrom(s, in);
}

}  // namespace vorq
