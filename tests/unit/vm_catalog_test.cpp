#include <gtest/gtest.h>

#include <map>
#include <set>

#include "vm/catalog.h"
#include "vm/vm.h"

namespace vorq {
namespace {

VmProbe Probe(const std::string& id, int32_t result, int32_t strength = kModerate, int32_t weight = 35) {
    VmProbe p = MakeVmProbe(id, "cpu", "t", "m", kGroupCpu, strength, weight);
    p.result = result;
    return p;
}

CatalogEntry Entry(const char* related, int32_t state) { return CatalogEntry{1, "cpu", "t", "m", related, state, "c", ""}; }

const TableRow* CatalogRow(const Snapshot& s, const char* table, const std::string& id) {
    if (const Table* t = FindTable(s, table))
        for (const TableRow& r : t->rows)
            if (r.cells[0] == id) return &r;
    return nullptr;
}

TEST(VmCatalog, EntriesHaveTheirIdsStatesAndAreas) {
    const auto& methods = MethodCatalog();
    ASSERT_EQ(methods.size(), 100u);
    std::map<int32_t, int> states;
    std::map<std::string, int> areas;
    for (size_t i = 0; i < methods.size(); ++i) {
        EXPECT_EQ(methods[i].id, static_cast<int32_t>(i + 1));
        ++states[methods[i].state];
        ++areas[methods[i].area];
        EXPECT_NE(std::string(methods[i].caveat), "") << methods[i].id;
    }
    EXPECT_EQ(states, (std::map<int32_t, int>{{0, 12}, {1, 36}, {2, 13}, {3, 1}, {4, 24}, {5, 2}, {6, 5}, {7, 7}}));
    EXPECT_EQ(areas, (std::map<std::string, int>{{"os", 30}, {"hardware", 26}, {"cpu", 13}, {"timing", 7}, {"firmware", 7},
                                                 {"storage", 6}, {"cloud", 6}, {"network", 5}}));
    ASSERT_EQ(RejectedMethodCatalog().size(), 10u);
    for (const CatalogEntry& e : RejectedMethodCatalog()) EXPECT_EQ(e.state, kNotEnabled);
}

TEST(VmCatalog, RelatedIdsAreStoredWithoutBlanksOrEmptyPieces) {
    for (const auto* list : {&MethodCatalog(), &RejectedMethodCatalog()})
        for (const CatalogEntry& e : *list) {
            const std::string related = e.related;
            EXPECT_EQ(related.find(' '), std::string::npos) << e.id;
            EXPECT_EQ(related.find(",,"), std::string::npos) << e.id;
            if (!related.empty()) {
                EXPECT_NE(related.front(), ',') << e.id;
                EXPECT_NE(related.back(), ',') << e.id;
            }
        }
}

TEST(VmCatalog, EveryRelatedIdIsAProbeOfThisBuild) {
    Snapshot s;
    CollectVmFrom(s, VmSource{});
    std::set<std::string> produced;
    for (const Table& t : s.tables)
        if (t.id.rfind("vm.tests.", 0) == 0)
            for (const TableRow& r : t.rows) produced.insert(r.cells[0]);
    EXPECT_EQ(produced.size(), 85u);
    for (const auto* list : {&MethodCatalog(), &RejectedMethodCatalog()})
        for (const CatalogEntry& e : *list)
            for (const std::string& id : CatalogEntryStatus(e, {}).ids) EXPECT_EQ(produced.count(id), 1u) << e.id << " " << id;
    // No implemented entry reports a diagnostic missing from this build.
    const Table* methods = FindTable(s, table::kVmCatalogMethods);
    ASSERT_NE(methods, nullptr);
    for (const TableRow& r : methods->rows) EXPECT_NE(r.cells[10], "A referenced diagnostic is unavailable in this build.") << r.cells[0];
}

TEST(VmCatalog, StatusDerivation) {
    struct Case {
        const char* name;
        const char* related;
        int32_t state;
        VmProbeList probes;
        int32_t status;
    };
    const Case cases[] = {
        {"detected wins", "a,b", kImplemented, {Probe("a", kProbeError), Probe("b", kDetected)}, kDetected},
        {"error before inconclusive", "a,b", kImplemented, {Probe("a", kProbeError), Probe("b", kInconclusive)}, kProbeError},
        {"all not detected", "a,b", kImplemented, {Probe("a", kNotDetected), Probe("b", kNotDetected)}, kNotDetected},
        {"partial never not detected", "a", kPartial, {Probe("a", kNotDetected)}, kInconclusive},
        {"only not supported", "a", kImplemented, {Probe("a", kNotSupported)}, kNotSupported},
        {"not supported with definite", "a,b", kImplemented, {Probe("a", kNotSupported), Probe("b", kNotDetected)},
         kInconclusive},
        {"missing id", "a,zz", kImplemented, {Probe("a", kNotDetected)}, kInconclusive},
        {"missing id beside detected", "a,zz", kImplemented, {Probe("a", kDetected)}, kDetected},
        {"research never runs", "a", kResearch, {Probe("a", kDetected)}, kNotSupported},
        {"no related ids", "", kImplemented, {}, kInconclusive},
    };
    for (const Case& c : cases) {
        const CatalogStatus st = CatalogEntryStatus(Entry(c.related, c.state), c.probes);
        EXPECT_EQ(st.status, c.status) << c.name;
    }
}

TEST(VmCatalog, IdsAreSortedUniqueAndWeightIgnoresContext) {
    const VmProbeList probes = {Probe("cpu.vendor", kNotDetected, kStrong, 65), Probe("cpu.brand", kNotDetected, kModerate, 35),
                                Probe("cpu.hypervisor", kDetected, kContext, 90)};
    CatalogStatus st = CatalogEntryStatus(Entry("cpu.vendor,,cpu.vendor", kImplemented), probes);
    EXPECT_EQ(st.ids, (std::vector<std::string>{"cpu.vendor"}));
    EXPECT_EQ(st.weight, 65);
    st = CatalogEntryStatus(Entry("cpu.hypervisor,cpu.brand,nope", kImplemented), probes);
    EXPECT_EQ(st.ids, (std::vector<std::string>{"cpu.brand", "cpu.hypervisor", "nope"}));
    EXPECT_EQ(st.missing, (std::vector<std::string>{"nope"}));
    EXPECT_EQ(st.weight, 35);
}

TEST(VmCatalog, TablesShowStatusesAndEvidence) {
    VmProbeList probes = {Probe("cpu.hypervisor", kDetected, kContext, 0), Probe("timing.rdtsc", kNotSupported, kWeak, 0),
                          Probe("cpu.topology_consistency", kNotDetected, kContext, 0)};
    Snapshot s;
    AddCatalogTables(s, probes);
    ASSERT_EQ(s.tables.size(), 2u);
    EXPECT_EQ(s.tables[0].rows.size(), 100u);
    EXPECT_EQ(s.tables[1].rows.size(), 10u);
    EXPECT_EQ(s.tables[0].columns.size(), 12u);

    const TableRow* r = CatalogRow(s, table::kVmCatalogMethods, "001");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->cells[5], "Detected");
    EXPECT_EQ(r->cells[6], "0");
    EXPECT_EQ(r->cells[10], "A related check detected its documented signal; inspect that check for its meaning.");

    r = CatalogRow(s, table::kVmCatalogMethods, "012");
    EXPECT_EQ(r->cells[4], "Uncalibrated research method");
    EXPECT_EQ(r->cells[5], "Not Supported");
    EXPECT_EQ(r->cells[10], "This research method has no validated production threshold and is not executed.");

    r = CatalogRow(s, table::kVmCatalogMethods, "007");  // partial, its probe Not Detected
    EXPECT_EQ(r->cells[5], "Inconclusive");
    EXPECT_EQ(r->cells[10], "Only the documented local subset is implemented; the complete method was not evaluated.");

    r = CatalogRow(s, table::kVmCatalogMethods, "002");  // implemented, its probes absent from this list
    EXPECT_EQ(r->cells[9], "cpu.partition, cpu.secondary_xen, cpu.vendor");
    EXPECT_EQ(r->cells[10], "A referenced diagnostic is unavailable in this build.");

    r = CatalogRow(s, table::kVmCatalogRejected, "W003");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->cells[5], "Not Supported");
    EXPECT_EQ(r->cells[9], "timing.rdtsc");
    EXPECT_EQ(r->cells[10], "No host probe is executed for this catalog entry.");
}

TEST(VmCatalog, SecondRunKeepsOneTableOfEachId) {
    Snapshot s;
    VmSource env;
    CollectVmFrom(s, env);
    CollectVmFrom(s, env);
    int methods = 0, rejected = 0;
    for (const Table& t : s.tables) {
        methods += t.id == table::kVmCatalogMethods;
        rejected += t.id == table::kVmCatalogRejected;
    }
    EXPECT_EQ(methods, 1);
    EXPECT_EQ(rejected, 1);
}

}  // namespace
}  // namespace vorq
