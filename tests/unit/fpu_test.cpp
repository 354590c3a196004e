#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "collectors/processor/cpu.h"
#include "collectors/processor/fpu.h"
#include "collectors/processor/fpu_list.h"
#include "core/hash.h"
#include "core/text.h"
#include "cpuid_fake.h"

namespace vorq {
namespace {

using test::FakeCpu;

constexpr uint32_t kFma = 1u << 12, kSse41 = 1u << 19, kXsave = 1u << 26, kOsxsave = 1u << 27, kAvx = 1u << 28;

// CPUID, feature queries and XCR0 of a made-up processor.
struct FakeFpuHost {
    std::shared_ptr<FakeCpu> cpu = std::make_shared<FakeCpu>();
    std::set<uint32_t> features = {17, 37, 39, 41};
    bool xcr0Readable = true;
    uint64_t xcr0 = 0xE7;
    std::shared_ptr<std::vector<uint32_t>> asked = std::make_shared<std::vector<uint32_t>>();

    FakeFpuHost() {
        cpu->Set(0, 0, {0xD, 0, 0, 0});
        cpu->Set(1, 0, {0, 0, kFma | kSse41 | kXsave | kOsxsave | kAvx, 0});
        cpu->Set(7, 0, {0, 1u << 16, 0, 0});
        cpu->Set(0x80000000u, 0, {0x80000008u, 0, 0, 0});
        cpu->Set(0x80000001u, 0, {0, 0, 0, 0});
    }
    void SetEcx1(uint32_t ecx) { cpu->Set(1, 0, {0, 0, ecx, 0}); }

    FpuSource Platform() const {
        FpuSource p;
        p.cpuid = test::Fn(cpu);
        p.featurePresent = [f = features, asked = asked](uint32_t id) {
            asked->push_back(id);
            return f.count(id) != 0;
        };
        p.readXcr0 = [ok = xcr0Readable, v = xcr0](uint64_t& out) {
            out = ok ? v : 0;
            return ok;
        };
        p.sweeps.rcp = [] { return ApproxTableResult{"11111111111111111111111111111111", 0.25}; };
        p.sweeps.rsqrt = [] { return ApproxTableResult{"22222222222222222222222222222222", 0.0}; };
        p.sweeps.rcp14 = [] { return ApproxTableResult{"33333333333333333333333333333333", 0.5}; };
        p.sweeps.rsqrt14 = [] { return ApproxTableResult{"44444444444444444444444444444444", 0.5}; };
        return p;
    }
};

Snapshot SafeSnapshot(const char* xstateStatus = "complete", const char* enabled = "00000000000000E7") {
    Snapshot s;
    SetFact(s, fact::kCpuArchCpuidSafe, "1");
    SetFact(s, fact::kCpuXStateStatus, xstateStatus);
    if (enabled) SetFact(s, fact::kCpuXStateEnabled, enabled);
    return s;
}

std::string CapsText(const FpuCapabilities& c) {
    return Format("sse41=%d avx=%d fma3=%d fma4=%d avx512f=%d", c.sse41, c.avx, c.fma3, c.fma4, c.avx512f);
}

TEST(FpuCapabilities, Probe) {
    struct Case {
        const char* name;
        void (*change)(FakeFpuHost&);
        const char* status;
        const char* enabled;
        const char* want;
    } cases[] = {
        {"everything", [](FakeFpuHost&) {}, "complete", "00000000000000E7",
         "sse41=1 avx=1 fma3=1 fma4=0 avx512f=1"},
        {"FMA4 bit", [](FakeFpuHost& h) { h.cpu->Set(0x80000001u, 0, {0, 0, 1u << 16, 0}); }, "complete",
         "00000000000000E7", "sse41=1 avx=1 fma3=1 fma4=1 avx512f=1"},
        {"FMA4 leaf beyond the extended maximum",
         [](FakeFpuHost& h) {
             h.cpu->Set(0x80000000u, 0, {0x80000000u, 0, 0, 0});
             h.cpu->Set(0x80000001u, 0, {0, 0, 1u << 16, 0});
         },
         "complete", "00000000000000E7", "sse41=1 avx=1 fma3=1 fma4=0 avx512f=1"},
        // What Wine reports: the OS mask without the AVX-512 state.
        {"enabled mask x87, SSE, AVX", [](FakeFpuHost&) {}, "complete", "0000000000000007",
         "sse41=1 avx=1 fma3=1 fma4=0 avx512f=0"},
        {"XCR0 without the high ZMM state", [](FakeFpuHost& h) { h.xcr0 = 0x67; }, "complete", "00000000000000E7",
         "sse41=1 avx=1 fma3=1 fma4=0 avx512f=0"},
        {"XCR0 without the AVX state", [](FakeFpuHost& h) { h.xcr0 = 0x3; }, "complete", "00000000000000E7",
         "sse41=1 avx=0 fma3=0 fma4=0 avx512f=0"},
        {"XGETBV faulted", [](FakeFpuHost& h) { h.xcr0Readable = false; }, "complete", "00000000000000E7",
         "sse41=1 avx=0 fma3=0 fma4=0 avx512f=0"},
        {"extended state not queried", [](FakeFpuHost&) {}, "not_supported", "00000000000000E7",
         "sse41=1 avx=0 fma3=0 fma4=0 avx512f=0"},
        {"mask missing", [](FakeFpuHost&) {}, "complete", nullptr, "sse41=1 avx=0 fma3=0 fma4=0 avx512f=0"},
        {"mask empty", [](FakeFpuHost&) {}, "complete", "", "sse41=1 avx=0 fma3=0 fma4=0 avx512f=0"},
        {"mask with a prefix", [](FakeFpuHost&) {}, "complete", "0xE7", "sse41=1 avx=0 fma3=0 fma4=0 avx512f=0"},
        {"mask too large", [](FakeFpuHost&) {}, "complete", "100000000000000E7",
         "sse41=1 avx=0 fma3=0 fma4=0 avx512f=0"},
        {"mask in lower case, leading zeros", [](FakeFpuHost&) {}, "complete", "0000000000000000e7",
         "sse41=1 avx=1 fma3=1 fma4=0 avx512f=1"},
        {"OSXSAVE clear", [](FakeFpuHost& h) { h.SetEcx1(kFma | kSse41 | kXsave | kAvx); }, "complete",
         "00000000000000E7", "sse41=1 avx=0 fma3=0 fma4=0 avx512f=0"},
        {"XSAVE not enabled by Windows", [](FakeFpuHost& h) { h.features.erase(17); }, "complete",
         "00000000000000E7", "sse41=1 avx=0 fma3=0 fma4=0 avx512f=0"},
        {"Windows without AVX", [](FakeFpuHost& h) { h.features.erase(39); }, "complete", "00000000000000E7",
         "sse41=1 avx=0 fma3=0 fma4=0 avx512f=0"},
        {"no FMA bit", [](FakeFpuHost& h) { h.SetEcx1(kSse41 | kXsave | kOsxsave | kAvx); }, "complete",
         "00000000000000E7", "sse41=1 avx=1 fma3=0 fma4=0 avx512f=1"},
        {"SSE4.1 bit without Windows' word", [](FakeFpuHost& h) { h.features.erase(37); }, "complete",
         "00000000000000E7", "sse41=0 avx=1 fma3=1 fma4=0 avx512f=1"},
        {"basic leaves end below 7", [](FakeFpuHost& h) { h.cpu->Set(0, 0, {6, 0, 0, 0}); }, "complete",
         "00000000000000E7", "sse41=1 avx=1 fma3=1 fma4=0 avx512f=0"},
    };
    for (const Case& c : cases) {
        FakeFpuHost host;
        c.change(host);
        const Snapshot s = SafeSnapshot(c.status, c.enabled);
        EXPECT_EQ(CapsText(ProbeFpuCapabilitiesWith(s, host.Platform())), c.want) << c.name;
    }
}

TEST(FpuCapabilities, Avx512QueriesOnlyWhenEverythingElseHolds) {
    FakeFpuHost host;
    host.xcr0 = 0x7;
    ProbeFpuCapabilitiesWith(SafeSnapshot(), host.Platform());
    EXPECT_EQ(std::count(host.asked->begin(), host.asked->end(), 41u), 0);

    FakeFpuHost low;
    low.cpu->Set(0, 0, {6, 0, 0, 0});
    ProbeFpuCapabilitiesWith(SafeSnapshot(), low.Platform());
    EXPECT_EQ(low.cpu->asked.count({7, 0}), 0u);
}

bool HostRuns(const FpuCapabilities& c) {
    return (!c.sse41 || __builtin_cpu_supports("sse4.1")) && (!c.avx || __builtin_cpu_supports("avx")) &&
           (!c.fma3 || __builtin_cpu_supports("fma")) && (!c.avx512f || __builtin_cpu_supports("avx512f"));
}

std::map<std::string, std::string> BitsById(const Table& t) {
    std::map<std::string, std::string> bits;
    for (const TableRow& r : t.rows) bits[r.cells[0]] = r.cells[3];
    return bits;
}

// Hosts that lack an instruction set of the full list skip that case.
struct Scan {
    Snapshot s;
    bool ran = false;
};

Scan RunCollector(FakeFpuHost host, const char* enabled = "00000000000000E7") {
    Scan scan;
    scan.s = SafeSnapshot("complete", enabled);
    const FpuSource p = host.Platform();
    if (!HostRuns(ProbeFpuCapabilitiesWith(scan.s, p))) return scan;
    CollectFpuFrom(scan.s, p);
    scan.ran = true;
    return scan;
}

TEST(FpuCollector, RowsPerCapabilitySet) {
    FakeFpuHost noSse41;
    noSse41.features.erase(37);
    struct Case {
        const char* name;
        FakeFpuHost host;
        const char* enabled;
        const char* ids;
    } cases[] = {
        {"full", FakeFpuHost(), "00000000000000E7",
         "E01 E02 E03 E04 E05 E06 E07 E08 E09 E10 E11 E12 E13 E14 E15 E16 D01 D02 D03 D04 D05 D06 D07 D08 D09 D10 "
         "F01 F02 F03 F04 F05 I01 I02 I03 I04 I05 I06 I07 I08 I09 I10 I11 H01 H02 H03 H04 H05 H06 G01 G02 G03 G04 "
         "C01 C02 C03 C04 C05 C06 C07 C08 C09 C10 C11 C12 C13 C14 C15 C16 C17 C18"},
        {"no AVX", FakeFpuHost(), "0000000000000003",
         "E01 E02 E03 E04 E05 E06 E07 E08 E09 E12 E13 D01 D02 D03 D04 D05 D06 D07 D08 D10 F05 I01 I02 I03 I04 I05 I06 "
         "I07 I08 I09 I10 I11 H01 H02 H03 H04 H05 H06 G01 G02 G03 G04 C01 C02 C03 C04 C05 C06 C07 C08 C09 C10 C11 "
         "C12 C13 C14 C15 C16 C17 C18"},
        {"no AVX, no SSE4.1", noSse41, "0000000000000003",
         "E01 E02 E03 E04 E05 E06 E07 E08 E09 E12 E13 D01 D02 D03 D04 D05 D06 D07 D08 F05 I01 I02 I03 I04 I05 I06 I07 "
         "I08 I09 I10 I11 H01 H02 H03 H04 H05 H06 G01 G02 G03 G04 C01 C02 C03 C04 C05 C06 C07 C08 C09 C10 C11 C12 "
         "C13 C14 C15 C16 C17 C18"},
    };
    const size_t wantCounts[] = {70, 60, 59};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        Scan scan = RunCollector(c.host, c.enabled);
        if (!scan.ran) continue;
        const Table* t = FindTable(scan.s, table::kFpuTests);
        ASSERT_NE(t, nullptr) << c.name;
        std::vector<std::string> ids;
        for (const TableRow& r : t->rows) ids.push_back(r.cells[0]);
        EXPECT_EQ(Join(ids, " "), c.ids) << c.name;
        EXPECT_EQ(t->rows.size(), wantCounts[i]) << c.name;
        EXPECT_EQ(GetFact(scan.s, fact::kFpuTests), std::to_string(wantCounts[i])) << c.name;
        EXPECT_EQ(GetFact(scan.s, fact::kFpuStatus), "complete") << c.name;
    }
}

TEST(FpuCollector, ArchitecturallyDefinedRows) {
    Scan scan = RunCollector(FakeFpuHost());
    if (!scan.ran) GTEST_SKIP() << "this host lacks an instruction set of the full list";
    const std::map<std::string, std::string> bits = BitsById(*FindTable(scan.s, table::kFpuTests));
    const std::map<std::string, std::string> want = {
        {"E12", "11111111111111111111111111111111  max rel. error 2.5000e-01 (2^-2.00)"},
        {"E13", "22222222222222222222222222222222  max rel. error 0"},
        {"D01", "3FF6A09E667F3BCD"},
        {"D02", "3FD5555555555555"},
        {"D03", "3FD3333333333334"},
        {"D04", "7FF0000000000000"},
        {"D05", "3FB504F3"},
        {"D06", "3EAAAAAB"},
        {"D07", "3EAAAAAB"},
        {"D08", "43E0000000000000"},
        {"D09", "3FF6A09E667F3BCD 3FFBB67AE8584CAA 4001E3779B97F4A8 40052A7FA9D2F8EA"},
        {"D10", "2 / 2 / 3 / 2"},
        // Only the fused form keeps the product's low bits.
        {"F01", "fused BC90000000000000 / mul+add 0000000000000000"},
        {"F02", "fused B2800000 / mul+add 00000000"},
        {"F03", "0000000000000000 8000000000000000"},
        {"F04", "000C000000000001"},
        {"F05", "FMA3 yes, FMA4 no"},
        {"I01", "FFF8000000000000"},
        {"I02", "FFF8000000000000"},
        {"I03", "FFF8000000000000"},
        {"I04", "7FF8000000000001"},
        {"I05", "7FF8000000000001"},
        {"I06", "8000000000000000 0000000000000000"},
        {"I07", "3FF0000000000000 7FF8000000000001"},
        {"I08", "3F800000 7FC00001"},
        {"I09", "8000000000000000 8000000000000000"},
        {"I10", "7F800000 7FF8000020000000"},
        {"I11", "8000000000000000 0000000000000000 8000000000000000"},
        {"H02", "0000000000000000"},
        {"H03", "0008000000000000"},
        {"H04", "0000000000000000"},
        {"H05", "0000000000000000"},
        {"G01", "3FD5555555555555 3FD5555555555555 3FD5555555555556 3FD5555555555555"},
        {"G02", "3FF6A09E667F3BCC 3FF6A09E667F3BCD"},
        {"G03", "2/-2  2/-3  3/-2  2/-2"},
        {"G04", "3F800000 3F800001"},
        {"C04", "403F:8000000000000000 (1.8446744073709552e+19) [C2]"},
        {"C11", "3FFF:B504F333F9DE6484 (1.4142135623730951)"},
        {"C13", "3FFF:8000000000000000 (1)"},
        {"C14", "4009:C000000000000000 (1536)"},
        {"C15", "3FFF:A000000000000000 (1.25) | 4000:C000000000000000 (3)"},
    };
    for (const auto& [id, text] : want) EXPECT_EQ(bits.at(id), text) << id;
    EXPECT_EQ(GetFact(scan.s, fact::kFpuDefaultNan), "FFF8000000000000");
    EXPECT_EQ(GetFact(scan.s, fact::kFpuIntIndefinite), "8000000000000000");
}

TEST(FpuCollector, ClassesOfTheRows) {
    Scan scan = RunCollector(FakeFpuHost(), "0000000000000003");
    ASSERT_TRUE(scan.ran);
    std::map<std::string, std::string> cls;
    for (const TableRow& r : FindTable(scan.s, table::kFpuTests)->rows) cls[r.cells[0]] = r.cells[4];
    EXPECT_EQ(cls["E01"], "vendor/uarch");
    EXPECT_EQ(cls["F05"], "vendor/uarch");
    EXPECT_EQ(cls["H01"], "state");
    EXPECT_EQ(cls["H04"], "x86-semantics");
    EXPECT_EQ(cls["H06"], "vendor/uarch");
    EXPECT_EQ(cls["D01"], "IEEE-exact");
    for (const char* id : {"C01", "C02", "C03", "C04", "C05", "C06", "C07", "C08", "C09", "C10", "C12"})
        EXPECT_EQ(cls[id], "vendor/uarch") << id;
    for (const char* id : {"C11", "C13", "C14", "C15", "C16", "C17", "C18"}) EXPECT_EQ(cls[id], "IEEE-exact") << id;
}

TEST(FpuCollector, HashesOverRowLines) {
    const std::vector<FpuTestRow> rows = {
        {"E01", "Approximation", "t", "3F7FF000", "vendor/uarch"},
        {"D01", "IEEE-exact", "t", "3FF6A09E667F3BCD", "IEEE-exact"},
        {"H01", "MXCSR / subnormal", "t", "1F80", "state"},
        {"C01", "x87 80-bit", "t", "3FFE:D76AA47848677021 (0.8414709848078965)", "vendor/uarch"},
    };
    const auto prefix = [](const std::string& text) { return Sha256Hex(text.data(), text.size()).substr(0, 32); };
    const FpuHashes h = HashFpuRows(rows);
    EXPECT_EQ(h.profile, prefix("E01=3F7FF000\nD01=3FF6A09E667F3BCD\nC01=3FFE:D76AA47848677021 (0.8414709848078965)\n"));
    EXPECT_EQ(h.approx, prefix("E01=3F7FF000\n"));
    EXPECT_EQ(h.x87, prefix("C01=3FFE:D76AA47848677021 (0.8414709848078965)\n"));
    // No rows of a group: the hash of the empty text.
    EXPECT_EQ(HashFpuRows({}).x87, "E3B0C44298FC1C149AFBF4C8996FB924");
}

TEST(FpuCollector, EntryStateShowsOnlyInH01AndIsRestored) {
    const uint16_t x87Before = ReadX87ControlWord();
    const uint32_t original = ReadMxcsr();
    std::string profile;
    for (uint32_t entry : {0x1F80u, 0x1FA0u, 0x7F80u, 0x9FC0u}) {
        WriteMxcsr(entry);
        Scan scan = RunCollector(FakeFpuHost(), "0000000000000003");
        const uint32_t after = ReadMxcsr();
        WriteMxcsr(original);
        ASSERT_TRUE(scan.ran);
        EXPECT_EQ(after, entry);
        EXPECT_EQ(ReadX87ControlWord(), x87Before);
        EXPECT_EQ(BitsById(*FindTable(scan.s, table::kFpuTests)).at("H01"), Format("%04X", entry));
        const std::string p = GetFact(scan.s, fact::kFpuTests) + FindTable(scan.s, table::kFpuSummary)->rows[0].cells[1];
        if (profile.empty()) profile = p;
        EXPECT_EQ(p, profile) << std::hex << entry;
    }
}

TEST(FpuCollector, Outputs) {
    Scan scan = RunCollector(FakeFpuHost(), "0000000000000003");
    ASSERT_TRUE(scan.ran);
    const Snapshot& s = scan.s;
    ASSERT_EQ(s.tables.size(), 2u);
    const Table& tests = s.tables[0];
    EXPECT_EQ(tests.id, "fpu.tests");
    EXPECT_EQ(tests.tab, "cpu");
    EXPECT_EQ(tests.title, "FPU_PROFILE_V1 - deterministic floating-point signature");
    EXPECT_EQ(Join(tests.columns, "|"), "ID|Group|Test|Result bits|Class");
    EXPECT_EQ(tests.groupCol, 1);
    EXPECT_EQ(tests.sens, 0u);
    EXPECT_EQ(tests.rows[0].cells[2], "RCPSS(1.0)");

    const Table& summary = s.tables[1];
    EXPECT_EQ(summary.id, "fpu.summary");
    EXPECT_EQ(summary.title, "FPU profile");
    EXPECT_EQ(summary.groupCol, -1);
    ASSERT_EQ(summary.rows.size(), 6u);
    std::vector<std::string> properties;
    for (const TableRow& r : summary.rows) properties.push_back(r.cells[0]);
    EXPECT_EQ(Join(properties, "|"),
              "FPU_PROFILE_V1 hash|Approximation-unit hash (RCP/RSQRT)|x87 transcendental hash|Subtests|Uniqueness|"
              "Not used");
    EXPECT_EQ(summary.rows[3].cells[1], "60");

    std::vector<FpuTestRow> rows;
    for (const TableRow& r : tests.rows) rows.push_back({r.cells[0], r.cells[1], r.cells[2], r.cells[3], r.cells[4]});
    const FpuHashes h = HashFpuRows(rows);
    ASSERT_EQ(s.signals.size(), 3u);
    const std::string want[3][4] = {{"fpu.profile", h.profile, "3", "60 subtests"},
                                    {"fpu.approx", h.approx, "2", ""},
                                    {"fpu.x87", h.x87, "2", ""}};
    for (int i = 0; i < 3; ++i) {
        const Signal& sig = s.signals[i];
        EXPECT_EQ(sig.key, want[i][0]);
        EXPECT_EQ(sig.value, want[i][1]);
        EXPECT_EQ(summary.rows[i].cells[1], want[i][1]);
        EXPECT_EQ(std::to_string(sig.w), want[i][2]);
        EXPECT_EQ(sig.note, want[i][3]);
        EXPECT_EQ(sig.cat, "CPU");
        EXPECT_EQ(sig.group, "cpu");
        EXPECT_EQ(sig.scope, 1);
        EXPECT_FALSE(Sensitive(sig));
        EXPECT_EQ(sig.value.size(), 32u);
    }
}

TEST(FpuCollector, StopsAtTheCpuidGate) {
    Snapshot s;
    SetFact(s, fact::kCpuArchCpuidSafe, "0");
    const uint32_t before = ReadMxcsr();
    CollectFpuFrom(s, FakeFpuHost().Platform());
    EXPECT_EQ(ReadMxcsr(), before);
    EXPECT_EQ(s.facts.size(), 2u);
    EXPECT_EQ(GetFact(s, fact::kFpuStatus), "not_supported");
    EXPECT_TRUE(s.tables.empty());
    EXPECT_TRUE(s.signals.empty());
}

}  // namespace
}  // namespace vorq
