#include <gtest/gtest.h>

#include "collectors/processor/cpuid_dump.h"
#include "collectors/processor/smbios.h"
#include "vm/vm.h"
#include "vm/vm_model.h"

namespace vorq {
namespace {

TEST(VmModel, NamesOfCodes) {
    EXPECT_STREQ(ProbeResultName(7), "Inconclusive");
    EXPECT_STREQ(ProbeResultName(kNotSupported), "Not Supported");
    EXPECT_STREQ(ProbeStrengthName(-1), "Context");
    EXPECT_STREQ(ProbeStrengthName(kStrong), "Strong");
}

TEST(VmModel, ParseHex32) {
    struct Case {
        const char* text;
        bool ok;
        uint32_t value;
    } cases[] = {{"0", true, 0},           {"FFFFFFFF", true, 0xFFFFFFFF}, {"0000000001", true, 1},
                 {"100000000", false, 0},  {"", false, 0},                 {"00000000001", false, 0},
                 {"12G4", false, 0},       {"ab", true, 0xAB}};
    for (const auto& c : cases) {
        uint32_t v = 0;
        EXPECT_EQ(ParseHex32(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(VmModel, FindCpuidLeafTakesSubleafZero) {
    Snapshot s;
    EXPECT_FALSE(FindCpuidLeaf(s, 0x40000000).valid);
    Table t = MakeCpuidLeavesTable({});
    AddRow(t, {"40000000", "1", "1", "2", "3", "4", ""});
    AddRow(t, {"40000000", "0", "40000010", "4B4D564B", "564B4D56", "0000004D", ""});
    AddRow(t, {"1", "0", "zz", "0", "0", "0", ""});
    s.tables.push_back(t);
    CpuidLeafRegs r = FindCpuidLeaf(s, 0x40000000);
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.eax, 0x40000010u);
    EXPECT_EQ(LeafVendorText(r), "KVMKVMKVM");
    EXPECT_TRUE(IsHypervisorBaseLeaf(r, 0x40000000));
    EXPECT_FALSE(FindCpuidLeaf(s, 1).valid);
}

TEST(VmModel, CollectorFailedAndSignals) {
    Snapshot s;
    AddNote(s, "ACPI", "enumeration failed");  // the words alone are no failure
    AddFailureNote(s, "ACPI tables", "read failed");
    AddFailureNote(s, "ACPI", "short read", Failure::ShortRead);
    EXPECT_FALSE(CollectorFailed(s, "ACPI"));
    AddFailureNote(s, "ACPI", "enumeration failed");
    EXPECT_TRUE(CollectorFailed(s, "ACPI"));
    s.collectors.push_back(CollectorRun{"CPU", 1, "Error", "x"});
    EXPECT_FALSE(CollectorFailed(s, "CPU"));
    s.collectors.push_back(CollectorRun{"CPU", 1, "error", "x"});
    EXPECT_TRUE(CollectorFailed(s, "CPU"));

    Signal sig;
    sig.key = "smbios.system.product";
    sig.value = "  Virtual Machine\r\n";
    s.signals.push_back(sig);
    EXPECT_EQ(GetSignalValue(s, sig::kSmbiosSystemProduct), "virtual machine");
    EXPECT_EQ(GetSignalValue(s, "nope"), "");
}

TEST(VmModel, ServiceKeyScanOutcomes) {
    VmProbe p;
    ApplyServiceKeyScan(p, ServiceKeyScan{}, "found");
    EXPECT_EQ(p.result, kNotDetected);
    EXPECT_EQ(p.evidence, "No matching installed service was found.");
    ApplyServiceKeyScan(p, ServiceKeyScan{{}, true}, "found");
    EXPECT_EQ(p.result, kProbeError);
    EXPECT_EQ(p.evidence, "Registry access was incomplete.");
    ApplyServiceKeyScan(p, ServiceKeyScan{{"Xen", "VMware"}, true}, "found");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.families, "VMware, Xen");
    EXPECT_EQ(p.caveat, "Some optional registry keys could not be read.");
}

TEST(VmModel, RemovingVmOutputsKeepsOthersInOrder) {
    Snapshot s;
    s.tables = {MakeTable("cpu", "a", "", {}), MakeTable("vm", table::kVmSummary, "", {}), MakeTable("smbios", "b", "", {})};
    s.scores = {Score{"identity", "", "", "", 1, {}}, Score{"physical", "", "", "", 2, {}}, Score{"drivers", "", "", "", 3, {}}};
    RemoveVmTables(s);
    RemovePhysicalScore(s);
    ASSERT_EQ(s.tables.size(), 2u);
    EXPECT_EQ(s.tables[0].id, "a");
    EXPECT_EQ(s.tables[1].id, "b");
    ASSERT_EQ(s.scores.size(), 2u);
    EXPECT_EQ(s.scores[1].id, "drivers");
}

}  // namespace
}  // namespace vorq
