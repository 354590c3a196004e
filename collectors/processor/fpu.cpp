#include "collectors/processor/fpu.h"

#include "collectors/processor/cpu.h"
#include "collectors/processor/hypervisor.h"
#include "core/hash.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr uint32_t kPfXsaveEnabled = 17;
constexpr uint32_t kPfSse41 = 37;
constexpr uint32_t kPfAvx = 39;
constexpr uint32_t kPfAvx512f = 41;

bool Bit(uint32_t reg, int bit) { return (reg >> bit) & 1u; }

std::string HashText(const std::string& text) { return Sha256Hex(text.data(), text.size()).substr(0, 32); }

}  // namespace

bool ParseXStateMask(const std::string& text, uint64_t& value) {
    if (text.empty()) return false;
    uint64_t v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        if (v >> 60) return false;  // a 17th significant digit
        v = v << 4 | static_cast<uint64_t>(d);
    }
    value = v;
    return true;
}

FpuCapabilities ProbeFpuCapabilitiesWith(const Snapshot& s, const FpuSource& p) {
    FpuCapabilities caps;
    const uint32_t maxBasic = p.cpuid(0, 0).eax;
    const uint32_t ecx1 = p.cpuid(1, 0).ecx;
    const bool fma = Bit(ecx1, 12), sse41 = Bit(ecx1, 19), xsave = Bit(ecx1, 26), osxsave = Bit(ecx1, 27),
               avx = Bit(ecx1, 28);

    caps.sse41 = sse41 && p.featurePresent(kPfSse41);

    uint64_t enabled = 0;
    const bool maskOk = ParseXStateMask(GetFact(s, fact::kCpuXStateEnabled), enabled);
    const bool xstateOk = GetFact(s, fact::kCpuXStateStatus) == "complete" && maskOk;

    bool avxState = false, zmmState = false;
    uint64_t xcr0 = 0;
    if (xsave && osxsave && p.featurePresent(kPfXsaveEnabled) && xstateOk && p.readXcr0(xcr0)) {
        const uint64_t m = xcr0 & enabled;
        avxState = (m & 0x06) == 0x06;
        zmmState = (m & 0xE6) == 0xE6;
    }

    caps.avx = avx && avxState && p.featurePresent(kPfAvx);
    caps.fma3 = caps.avx && fma;
    caps.avx512f = maxBasic >= 7 && caps.avx && Bit(p.cpuid(7, 0).ebx, 16) && zmmState && p.featurePresent(kPfAvx512f);
    caps.fma4 = p.cpuid(0x80000000u, 0).eax >= 0x80000001u && caps.avx && Bit(p.cpuid(0x80000001u, 0).ecx, 16);
    return caps;
}

FpuHashes HashFpuRows(const std::vector<FpuTestRow>& rows) {
    std::string profile, approx, x87;
    for (const FpuTestRow& r : rows) {
        if (r.cls == "state") continue;
        const std::string line = r.id + "=" + r.bits + "\n";
        profile += line;
        if (r.group == "Approximation") approx += line;
        if (r.group == "x87 80-bit") x87 += line;
    }
    return FpuHashes{HashText(profile), HashText(approx), HashText(x87)};
}

void ReclassifyX87Rows(std::vector<FpuTestRow>& rows) {
    static const char* const kExactIds[] = {"C11", "C13", "C14", "C15", "C16", "C17", "C18"};
    for (FpuTestRow& r : rows) {
        if (r.group != "x87 80-bit") continue;
        for (const char* id : kExactIds)
            if (r.id == id) r.cls = "IEEE-exact";
    }
}

void WriteFpuOutputs(Snapshot& s, const std::vector<FpuTestRow>& rows, const FpuHashes& hashes) {
    const std::string count = Format("%zu", rows.size());

    Table tests = MakeTable("cpu", table::kFpuTests, "FPU_PROFILE_V1 - deterministic floating-point signature",
                            {{"ID", Role::Program}, {"Group", Role::Program}, {"Test", Role::Program}, {"Result bits", Role::Maker}, {"Class", Role::Program}},
                            "vendor/uarch = implementation-defined low bits (distinguishes vendors and "
                            "microarchitectures, not individual chips); x86-semantics = architecturally defined x86 "
                            "behaviour; IEEE-exact = must be identical on every conforming CPU.");
    tests.groupCol = 1;
    for (const FpuTestRow& r : rows) AddRow(tests, {r.id, r.group, r.test, r.bits, r.cls});
    s.tables.push_back(std::move(tests));

    Table summary = MakeTable("cpu", table::kFpuSummary, "FPU profile", {{"Property", Role::Program}, {"Value", Role::Maker}});
    AddRow(summary, {"FPU_PROFILE_V1 hash", hashes.profile});
    AddRow(summary, {"Approximation-unit hash (RCP/RSQRT)", hashes.approx});
    AddRow(summary, {"x87 transcendental hash", hashes.x87});
    AddRow(summary, {"Subtests", count});
    AddRow(summary, {"Uniqueness", "per-model / per-microarchitecture (identical CPUs produce identical results)"});
    AddRow(summary, {"Not used", "timing measurements, frequency behaviour (noisy and environment-dependent)"});
    s.tables.push_back(std::move(summary));

    s.signals.push_back(MakeSignal(sig::kFpuProfile, "CPU", "FPU_PROFILE_V1 hash", hashes.profile, SignalScope::PerModel,
                                   3, "cpu", Role::Maker, "SSE/AVX/AVX-512/FMA/x87 deterministic subtests",
                                   count + " subtests", 1.0));
    s.signals.push_back(MakeSignal(sig::kFpuApprox, "CPU", "RCP/RSQRT approximation table hash", hashes.approx,
                                   SignalScope::PerModel, 2, "cpu", Role::Maker, "RCPPS/RSQRTPS sweeps", "", 1.0));
    s.signals.push_back(MakeSignal(sig::kFpuX87, "CPU", "x87 transcendental hash", hashes.x87, SignalScope::PerModel, 2,
                                   "cpu", Role::Maker, "FSIN/FCOS/FPTAN/FPATAN/FYL2X/F2XM1", "", 1.0));
}

void CollectFpuFrom(Snapshot& s, const FpuSource& p) {
    SetFact(s, fact::kFpuStatus, "not_supported");
    if (!IsCpuidSafe(s)) return;
    SetFact(s, fact::kFpuStatus, "unavailable");
    const FpuCapabilities caps = ProbeFpuCapabilitiesWith(s, p);

    const uint32_t entryMxcsr = ReadMxcsr();
    MxcsrScope working(kMxcsrNearest);  // restores the entry value on every way out
    std::vector<FpuTestRow> rows = BuildFpuRows(s, caps, entryMxcsr, p.sweeps);
    ReclassifyX87Rows(rows);
    const FpuHashes hashes = HashFpuRows(rows);
    WriteFpuOutputs(s, rows, hashes);
    SetFact(s, fact::kFpuTests, Format("%zu", rows.size()));
    SetFact(s, fact::kFpuStatus, "complete");
}

}  // namespace vorq
