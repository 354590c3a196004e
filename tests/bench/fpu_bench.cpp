// Prints the run time of the collector "FPU" and the throughput of the
// approximation table sweeps on this machine.
#include <chrono>
#include <cstdio>

#include "collectors/processor/cpu.h"
#include "collectors/processor/fpu.h"
#include "collectors/processor/fpu_sweep.h"

namespace {

double SecondsOf(void (*f)()) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Sweep(const char* name, double inputs, vorq::ApproxTableResult (*sweep)()) {
    vorq::ApproxTableResult r;
    const auto start = std::chrono::steady_clock::now();
    r = sweep();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-10s %6.1f ms  %7.1f M results/s  %7.1f MiB/s hashed  %s\n", name, s * 1e3, inputs / s / 1e6,
                inputs * 4 / s / (1 << 20), r.hash.c_str());
}

vorq::Snapshot* g_snapshot = nullptr;

}  // namespace

int main() {
    vorq::Snapshot s;
    vorq::CollectCpu(s);
    for (int run = 0; run < 3; ++run) {
        vorq::Snapshot copy = s;
        g_snapshot = &copy;
        const double t = SecondsOf([] { vorq::CollectFpu(*g_snapshot); });
        std::printf("collector FPU: %.1f ms, %s subtests, status %s\n", t * 1e3,
                    vorq::GetFact(copy, "fpu.tests").c_str(), vorq::GetFact(copy, "fpu.status").c_str());
    }
    const vorq::FpuCapabilities caps = vorq::ProbeFpuCapabilities(s);
    Sweep("RCPPS", 1 << 23, vorq::HashApproximationTable);
    Sweep("RSQRTPS", 1 << 24, vorq::HashRsqrtTable);
    if (caps.avx512f) {
        Sweep("VRCP14PS", 1 << 23, vorq::HashRcp14Table);
        Sweep("VRSQRT14PS", 1 << 24, vorq::HashRsqrt14Table);
    } else {
        std::printf("AVX-512F not enabled: no 14-bit sweeps\n");
    }
    return 0;
}
