// The body of the collector "CPU" with every platform service injected, so
// the whole run (facts, tables, signals) is reproducible from recorded CPUID
// tables and record buffers. cpu_win.cpp supplies the live services.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "collectors/processor/cpuid.h"
#include "collectors/processor/topology.h"
#include "core/snapshot.h"

namespace vorq::sig {
inline constexpr char kCpuBrand[] = "cpu.brand";
}  // namespace vorq::sig

namespace vorq {

struct CpuPlatform {
    CpuidFn cpuid;
    // Writes the "cpu.arch." facts; false when CPUID must not be interpreted.
    std::function<bool(Snapshot&)> probeArchitecture;
    std::function<void(Snapshot&)> probeCpuSets;
    std::function<void(Snapshot&)> probeXState;
    std::function<ProcessorTopology()> readTopology;
    std::function<uint32_t()> activeProcessorCount;
    // The raw "Update Revision" value of processor 0; false when unreadable.
    std::function<bool(std::vector<uint8_t>&)> readMicrocode;
    ThreadAffinity affinity;
};

// "0x" and eight hex digits of the revision in the registry value, or empty
// when it holds fewer than 4 bytes.
std::string MicrocodeText(const std::vector<uint8_t>& value);

void CollectCpuWith(Snapshot& s, const CpuPlatform& p);

}  // namespace vorq
