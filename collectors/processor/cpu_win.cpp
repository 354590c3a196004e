// The live services of the collector "CPU": the architecture, CPU-set,
// extended-state and topology queries, the affinity walk and the registry.
#include <windows.h>

#include "collectors/processor/cpu.h"
#include "core/registry_win.h"
#include "core/text.h"
#include "core/win.h"

namespace vorq {

namespace {

// Entry points older Windows versions (and the mingw-w64 headers) lack.
using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
using GetSystemCpuSetInformationFn = BOOL(WINAPI*)(void*, ULONG, PULONG, HANDLE, ULONG);
using GetEnabledXStateFeaturesFn = DWORD64(WINAPI*)();

constexpr DWORD kPfAvxInstructionsAvailable = 39;
constexpr int kRelationAll = 0xFFFF;

template <typename Fn>
Fn Kernel32Proc(const char* name) {
    return GetProc<Fn>(GetModuleHandleW(L"kernel32.dll"), name);
}

bool ProbeProcessArchitecture(Snapshot& s) {
    USHORT process = 0, native = 0;
    auto fn = Kernel32Proc<IsWow64Process2Fn>("IsWow64Process2");
    if (!fn) return RecordArchitecture(s, "not_supported", 0, 0, ArchitectureKind::Unknown);
    const bool ok = fn(GetCurrentProcess(), &process, &native) != FALSE;
    return RecordArchitecture(s, ok ? "complete" : "error", process, native,
                              ClassifyArchitecture(ok, process, native, 0x8664));
}

void ProbeCpuSets(Snapshot& s) {
    auto fn = Kernel32Proc<GetSystemCpuSetInformationFn>("GetSystemCpuSetInformation");
    if (!fn) {
        ProbeCpuSetsWith(s, nullptr);
        return;
    }
    const SizedQuery query = [fn](uint8_t* buffer, uint32_t size, uint32_t& returned, uint32_t& error) {
        ULONG got = 0;
        const bool ok = fn(buffer, size, &got, nullptr, 0) != FALSE;
        returned = got;
        error = ok ? 0 : GetLastError();
        return ok;
    };
    ProbeCpuSetsWith(s, &query);
}

void ProbeXStateFeatures(Snapshot& s) {
    auto fn = Kernel32Proc<GetEnabledXStateFeaturesFn>("GetEnabledXStateFeatures");
    SetFact(s, fact::kCpuXStateStatus, fn ? "complete" : "not_supported");
    if (!fn) return;
    SetFact(s, fact::kCpuXStateEnabled, Hex64(fn()));
    SetFact(s, fact::kCpuXStateWindowsAvx, IsProcessorFeaturePresent(kPfAvxInstructionsAvailable) ? "1" : "0");
}

ProcessorTopology ReadProcessorTopology() {
    return ReadProcessorTopologyWith([](uint8_t* buffer, uint32_t size, uint32_t& returned, uint32_t& error) {
        DWORD length = size;
        const bool ok = GetLogicalProcessorInformationEx(static_cast<LOGICAL_PROCESSOR_RELATIONSHIP>(kRelationAll),
                                                         reinterpret_cast<PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX>(buffer),
                                                         &length) != FALSE;
        returned = length;
        error = ok ? 0 : GetLastError();
        return ok;
    });
}

bool ReadMicrocode(std::vector<uint8_t>& value) {
    return RegReadBinary(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"Update Revision",
                         value);
}

}  // namespace

void CollectCpu(Snapshot& s) {
    GROUP_AFFINITY saved{};
    CpuSource p;
    p.cpuid = QueryCpuid;
    p.probeArchitecture = ProbeProcessArchitecture;
    p.probeCpuSets = ProbeCpuSets;
    p.probeXState = ProbeXStateFeatures;
    p.readTopology = ReadProcessorTopology;
    p.activeProcessorCount = [] { return static_cast<uint32_t>(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS)); };
    p.readMicrocode = ReadMicrocode;
    p.affinity.save = [&saved] { return GetThreadGroupAffinity(GetCurrentThread(), &saved) != FALSE; };
    p.affinity.pinTo = [](uint16_t group, uint8_t number) {
        GROUP_AFFINITY one{};
        one.Mask = static_cast<KAFFINITY>(1) << number;
        one.Group = group;
        if (!SetThreadGroupAffinity(GetCurrentThread(), &one, nullptr)) return false;
        SwitchToThread();  // be running on the new processor before the CPUID reads
        return true;
    };
    p.affinity.restore = [&saved] { SetThreadGroupAffinity(GetCurrentThread(), &saved, nullptr); };
    p.affinity.processAffinity = [](uint16_t& group, uint64_t& mask) {
        // The process mask is 0 when the process spans several groups.
        DWORD_PTR process = 0, system = 0;
        GROUP_AFFINITY current{};
        if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) ||
            !GetThreadGroupAffinity(GetCurrentThread(), &current))
            return false;
        group = current.Group;
        mask = process;
        return true;
    };
    CollectCpuFrom(s, p);
}

}  // namespace vorq
