#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "collectors/processor/acpi.h"
#include "core/snapshot.h"
#include "tests/unit/acpi_support.h"
#include "tests/unit/test_support.h"

namespace vorq {
namespace {

using test::AcpiId;
using test::AcpiTable;
using test::FakeAcpi;

FakeAcpi RealGuest() {
    FakeAcpi f;
    for (const char* sig : {"FACP", "APIC", "MCFG", "DSDT"}) f.Add(sig, test::ReadFixture(std::string("acpi/") + sig + ".bin"));
    return f;
}

Snapshot Scan(FakeAcpi& f) {
    Snapshot s;
    CollectAcpiFrom(s, f.Source());
    return s;
}

const TableRow* RowOf(const Snapshot& s, const std::string& sig) {
    const Table* t = FindTable(s, "acpi");
    if (!t) return nullptr;
    for (const TableRow& r : t->rows)
        if (r.cells[0] == sig) return &r;
    return nullptr;
}

std::string SummaryValue(const Snapshot& s, const std::string& property) {
    const Table* t = FindTable(s, "acpi.summary");
    if (!t) return "<no table>";
    for (const TableRow& r : t->rows)
        if (r.cells[0] == property) return r.cells[1];
    return "<no row>";
}

std::string SignalValue(const Snapshot& s, const std::string& key) {
    for (const Signal& sig : s.signals)
        if (sig.key == key) return sig.value;
    return "<none>";
}

TEST(CollectAcpi, RealGuestTables) {
    FakeAcpi f = RealGuest();
    for (auto& [id, bytes] : f.tables) ASSERT_FALSE(bytes.empty());
    Snapshot s = Scan(f);
    EXPECT_EQ(GetFact(s, "acpi.vm_tables.status"), "complete");
    EXPECT_EQ(GetFact(s, "acpi.vm_aml.status"), "complete");
    EXPECT_EQ(GetFact(s, "acpi.vm_aml.vmgenid"), "1");
    EXPECT_EQ(GetFact(s, "acpi.vm_aml.vmclock"), "1");
    EXPECT_EQ(GetFact(s, "acpi.vm_aml.qemu"), "0");
    EXPECT_EQ(GetFact(s, "acpi.madt_cpus"), "8");
    EXPECT_EQ(GetFact(s, "acpi.pm_profile"), "Unspecified");
    EXPECT_EQ(GetFact(s, "acpi.tpm2"), "0");
    EXPECT_EQ(GetFact(s, "acpi.iommu"), "0");
    EXPECT_FALSE(HasFact(s, "acpi.wsmt"));

    ASSERT_EQ(s.tables.size(), 2u);
    EXPECT_EQ(s.tables[0].id, "acpi.summary");
    EXPECT_EQ(s.tables[1].id, "acpi");
    const TableRow* facp = RowOf(s, "FACP");
    ASSERT_TRUE(facp);
    EXPECT_EQ(facp->cells, (std::vector<std::string>{"FACP", "Fixed ACPI Description (FADT)", "276", "6", "FIRECK",
                                                     "FCVMFADT", "0x00000000", "FCAT 0x20240119", facp->cells[8],
                                                     "PM profile: Unspecified; HW-reduced ACPI: yes; S0 low-power idle: no"}));
    EXPECT_EQ(facp->cells[8].size(), 16u);
    EXPECT_EQ(RowOf(s, "APIC")->cells[9], "8 enabled processor entries");
    EXPECT_EQ(RowOf(s, "MCFG")->cells[9], "1 PCIe segment(s)");
    EXPECT_EQ(RowOf(s, "DSDT")->cells[9], "AML 3923 bytes");

    EXPECT_EQ(SummaryValue(s, "Tables"), "4 (4 distinct signatures)");
    EXPECT_EQ(SummaryValue(s, "OEM ID / table ID (FADT)"), "FIRECK / FCVMFADT");
    EXPECT_EQ(SummaryValue(s, "DSDT SHA-256").size(), 32u);
    EXPECT_EQ(SignalValue(s, "acpi.oem"), "FIRECK / FCVMFADT");
    EXPECT_EQ(SignalValue(s, "acpi.tables"), "APIC DSDT FACP MCFG");
    EXPECT_EQ(SignalValue(s, "acpi.fingerprint").size(), 32u);
    std::vector<std::string> keys;
    for (const Signal& sig : s.signals) keys.push_back(sig.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"acpi.oem", "acpi.fingerprint", "acpi.dsdt", "acpi.tables"}));
}

TEST(CollectAcpi, FingerprintIgnoresOrderAndWithheldTables) {
    FakeAcpi a = RealGuest();
    FakeAcpi b = RealGuest();
    std::reverse(b.ids.begin(), b.ids.end());
    FakeAcpi c = RealGuest();
    c.Add("MSDM", AcpiTable("MSDM", 3, std::vector<uint8_t>(49, 0x5A)));
    c.Add("BGRT", AcpiTable("BGRT", 1, std::vector<uint8_t>(20, 1)));
    FakeAcpi d = RealGuest();
    d.Add("HPET", AcpiTable("HPET", 1, std::vector<uint8_t>(20, 1)));
    const std::string fa = SignalValue(Scan(a), "acpi.fingerprint");
    EXPECT_EQ(SignalValue(Scan(b), "acpi.fingerprint"), fa);
    Snapshot sc = Scan(c);
    EXPECT_EQ(SignalValue(sc, "acpi.fingerprint"), fa);
    EXPECT_NE(SignalValue(Scan(d), "acpi.fingerprint"), fa);

    const TableRow* msdm = RowOf(sc, "MSDM");
    ASSERT_TRUE(msdm);
    EXPECT_EQ(msdm->cells, (std::vector<std::string>{"MSDM", "Microsoft Data Management (OEM activation)", "85", "3",
                                                     "OEMID", "TABLEID", "0x00000010", "CRTR 0x00000020", "(withheld)",
                                                     "OEM licensing data - contents intentionally not read"}));
    EXPECT_EQ(SummaryValue(sc, "MSDM (OEM activation)"), "present - contents withheld");
    EXPECT_EQ(SummaryValue(sc, "Tables"), "6 (6 distinct signatures)");
}

TEST(CollectAcpi, NothingReadInFull) {
    FakeAcpi f;
    f.Add("SSDT", AcpiTable("SSDT", 1, {}));
    f.shortRead.insert(AcpiId("SSDT"));
    Snapshot s = Scan(f);
    // SHA-256 of the empty message.
    EXPECT_EQ(SignalValue(s, "acpi.fingerprint"), "E3B0C44298FC1C149AFBF4C8996FB924");
    EXPECT_EQ(SummaryValue(s, "OEM ID / table ID (FADT)"), " / ");
    EXPECT_EQ(SignalValue(s, "acpi.oem"), "<none>");
    EXPECT_FALSE(HasFact(s, "acpi.pm_profile"));
    EXPECT_EQ(GetFact(s, "acpi.vm_aml.status"), "partial");
}

// A signature whose first instance comes back short has no row, so its
// extra-instance text goes nowhere: not onto another signature's row, and not
// past the end of the rows.
TEST(CollectAcpi, ShortReadDropsExtraInstanceText) {
    FakeAcpi f;
    f.Add("SSDT", AcpiTable("SSDT", 1, {}));
    f.Add("HPET", AcpiTable("HPET", 1, std::vector<uint8_t>(20, 0)));
    f.ids.push_back(AcpiId("SSDT"));
    f.ids.push_back(AcpiId("HPET"));
    f.shortRead.insert(AcpiId("SSDT"));
    Snapshot s = Scan(f);
    const Table* t = FindTable(s, "acpi");
    ASSERT_TRUE(t);
    ASSERT_EQ(t->rows.size(), 1u);
    EXPECT_EQ(t->rows[0].cells[9],
              "event timer block ID 0x00000000; 1 more HPET table(s) present - Windows returns only the first one");
    EXPECT_EQ(GetFact(s, "acpi.vm_tables.status"), "partial");

    FakeAcpi only;
    only.Add("SSDT", AcpiTable("SSDT", 1, {}));
    only.ids.push_back(AcpiId("SSDT"));
    only.shortRead.insert(AcpiId("SSDT"));
    Snapshot s2 = Scan(only);
    EXPECT_TRUE(FindTable(s2, "acpi")->rows.empty());
    EXPECT_EQ(SummaryValue(s2, "Tables"), "2 (1 distinct signatures)");
}

TEST(CollectAcpi, TwoSsdts) {
    FakeAcpi f = RealGuest();
    f.Add("SSDT", AcpiTable("SSDT", 1, {}));
    f.ids.push_back(AcpiId("SSDT"));
    Snapshot s = Scan(f);
    EXPECT_EQ(RowOf(s, "SSDT")->cells[9], "1 more SSDT table(s) present - Windows returns only the first one");
    EXPECT_EQ(SummaryValue(s, "Tables"), "6 (5 distinct signatures)");
    EXPECT_EQ(SignalValue(s, "acpi.tables"), "APIC DSDT FACP MCFG SSDT");
    EXPECT_EQ(GetFact(s, "acpi.vm_tables.status"), "complete");
}

// Tables that fail the check keep their row and fingerprint part; the statuses turn "partial".
TEST(CollectAcpi, FailedChecks) {
    struct Case {
        const char* what;
        const char* sig;
        std::vector<uint8_t> bytes;
        const char* length;
        const char* details;
        bool amlPartial;
    };
    auto badSum = AcpiTable("HPET", 1, std::vector<uint8_t>(4, 0));
    badSum[9]++;
    auto badSsdt = AcpiTable("SSDT", 1, {0x08, '_', 'H', 'I', 'D', 0x0D, 'Q', 'E', 'M', 'U', '0', '0', '0', '2', 0});
    badSsdt[9]++;
    auto shortTable = AcpiTable("MCFG", 1, {});
    shortTable.resize(30);
    auto huge = AcpiTable("SSDT", 1, std::vector<uint8_t>(0x400000 - 35, 0));
    auto mismatch = AcpiTable("HPET", 1, std::vector<uint8_t>(4, 0));
    const Case cases[] = {
        {"checksum off by one", "HPET", badSum, "40", "event timer block ID 0x00000000", false},
        {"AML with bad checksum", "SSDT", badSsdt, "51", "", true},
        {"shorter than a header", "MCFG", shortTable, "30", "no standard header", false},
        {"4 MiB + 1", "SSDT", huge, "4194305", "", true},
        {"lower-case signature", "hpEt", AcpiTable("hpEt", 1, {}), "36", "", false},
        {"WAET revision 2", "WAET", AcpiTable("WAET", 2, std::vector<uint8_t>(4, 0)), "40", "", false},
    };
    for (const Case& c : cases) {
        FakeAcpi f;
        f.Add(c.sig, c.bytes);
        Snapshot s = Scan(f);
        EXPECT_EQ(GetFact(s, "acpi.vm_tables.status"), "partial") << c.what;
        EXPECT_EQ(GetFact(s, "acpi.vm_aml.status"), c.amlPartial ? "partial" : "not_supported") << c.what;
        EXPECT_EQ(GetFact(s, "acpi.vm_aml.qemu"), "0") << c.what;
        EXPECT_EQ(GetFact(s, "acpi.vm_waet"), "0") << c.what;
        const TableRow* row = RowOf(s, c.sig);
        ASSERT_TRUE(row) << c.what;
        EXPECT_EQ(row->cells[2], c.length) << c.what;
        EXPECT_EQ(row->cells[9], c.details) << c.what;
        if (c.bytes.size() >= 36) {
            EXPECT_NE(SignalValue(s, "acpi.fingerprint"), "E3B0C44298FC1C149AFBF4C8996FB924") << c.what;
        }
    }
    // The id says HPET, the bytes say HPEX: checked like a bad table.
    FakeAcpi f;
    f.ids.push_back(AcpiId("HPET"));
    f.tables[AcpiId("HPET")] = AcpiTable("HPEX", 1, std::vector<uint8_t>(4, 0));
    EXPECT_EQ(GetFact(Scan(f), "acpi.vm_tables.status"), "partial");
}

TEST(CollectAcpi, DecodedSecurityTables) {
    auto le32 = [](uint32_t v) {
        return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    };
    std::vector<uint8_t> tpm2Body(12, 0);
    tpm2Body.insert(tpm2Body.end(), {7, 0, 0, 0});  // start method at 48
    std::vector<uint8_t> madt = le32(0xFEE00000);
    madt.insert(madt.end(), {1, 0, 0, 0});
    madt.insert(madt.end(), {0, 8, 0, 0, 1, 0, 0, 0});                          // enabled local APIC
    madt.insert(madt.end(), {0, 8, 1, 1, 2, 0, 0, 0});                          // disabled, other flag set
    madt.insert(madt.end(), {9, 16, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0});  // enabled x2APIC
    madt.insert(madt.end(), {0, 1, 0, 0, 1, 0, 0, 0});                          // length 1 ends the walk
    madt.insert(madt.end(), {0, 8, 2, 2, 1, 0, 0, 0});
    FakeAcpi f;
    f.Add("TPM2", AcpiTable("TPM2", 4, tpm2Body));
    f.Add("WSMT", AcpiTable("WSMT", 1, le32(0)));
    f.Add("DMAR", AcpiTable("DMAR", 1, {38, 0x05}));
    f.Add("IVRS", AcpiTable("IVRS", 1, le32(0)));
    f.Add("APIC", AcpiTable("APIC", 5, madt));
    f.Add("WPBT", AcpiTable("WPBT", 1, std::vector<uint8_t>(16, 1)));
    f.Add("FACP", AcpiTable("FACP", 6, std::vector<uint8_t>(80, 0xFF)));
    Snapshot s = Scan(f);
    EXPECT_EQ(RowOf(s, "TPM2")->cells[9], "start method: Command Response Buffer (CRB) (7)");
    EXPECT_EQ(GetFact(s, "acpi.tpm2_start"), "Command Response Buffer (CRB) (7)");
    EXPECT_EQ(RowOf(s, "WSMT")->cells[9], "no SMM protections declared");
    EXPECT_EQ(SummaryValue(s, "WSMT (SMM mitigations)"), "present, flags 0x0");
    EXPECT_EQ(GetFact(s, "acpi.wsmt"), "0");
    EXPECT_EQ(RowOf(s, "DMAR")->cells[9], "host address width 39; interrupt remapping: yes; DMA protection opt-in: yes");
    // IVRS after DMAR leaves the opt-in set.
    EXPECT_EQ(RowOf(s, "IVRS")->cells[9], "IVinfo 0x00000000 (DMA remap opt-in: no)");
    EXPECT_EQ(SummaryValue(s, "IOMMU (DMAR / IVRS)"), "present, DMA-protection opt-in set");
    EXPECT_EQ(GetFact(s, "acpi.dma_optin"), "1");
    EXPECT_EQ(GetFact(s, "acpi.madt_cpus"), "2");
    EXPECT_EQ(RowOf(s, "WPBT")->cells[9], "OEM platform binary registered (16843009 bytes) - Windows runs it at boot");
    EXPECT_EQ(GetFact(s, "acpi.wpbt"), "1");
    EXPECT_EQ(GetFact(s, "acpi.pm_profile"), "?");
    EXPECT_EQ(RowOf(s, "FACP")->cells[9], "PM profile: ?; HW-reduced ACPI: yes; S0 low-power idle: yes");
    EXPECT_EQ(SummaryValue(s, "TPM2 table"), "present, Command Response Buffer (CRB) (7)");

    // A TPM2 table too short to decode: row, no decoding.
    FakeAcpi g;
    g.Add("TPM2", AcpiTable("TPM2", 4, std::vector<uint8_t>(15, 0)));
    Snapshot sg = Scan(g);
    EXPECT_EQ(RowOf(sg, "TPM2")->cells[9], "");
    EXPECT_EQ(GetFact(sg, "acpi.tpm2"), "0");
    EXPECT_FALSE(HasFact(sg, "acpi.tpm2_start"));
}

TEST(CollectAcpi, EnumerationFailures) {
    FakeAcpi fails = RealGuest();
    fails.enumFails = true;
    Snapshot s = Scan(fails);
    EXPECT_EQ(s.notes, std::vector<std::string>{"ACPI: EnumSystemFirmwareTables('ACPI') failed: error 2: not found"});
    EXPECT_TRUE(SourceFailed(s, "ACPI"));
    EXPECT_TRUE(s.tables.empty());
    EXPECT_TRUE(s.signals.empty());
    EXPECT_EQ(GetFact(s, "acpi.vm_tables.status"), "error");
    EXPECT_EQ(GetFact(s, "acpi.vm_aml.status"), "error");
    EXPECT_FALSE(HasFact(s, "acpi.tpm2"));
    EXPECT_FALSE(HasFact(s, "acpi.madt_cpus"));

    FakeAcpi grown = RealGuest();
    grown.enumSecondDelta = 4;  // more than first reported: silent return
    Snapshot sg = Scan(grown);
    EXPECT_TRUE(sg.notes.empty());
    EXPECT_TRUE(sg.tables.empty());
    EXPECT_EQ(GetFact(sg, "acpi.vm_tables.status"), "error");
    EXPECT_FALSE(HasFact(sg, "acpi.iommu"));

    FakeAcpi odd = RealGuest();
    odd.enumExtraBytes = 2;  // not a multiple of 4: the whole ids are kept
    Snapshot so = Scan(odd);
    EXPECT_EQ(FindTable(so, "acpi")->rows.size(), 4u);
    EXPECT_EQ(GetFact(so, "acpi.vm_tables.status"), "partial");
    EXPECT_EQ(GetFact(so, "acpi.vm_aml.status"), "complete");

    FakeAcpi shrunk = RealGuest();
    shrunk.enumSecondDelta = -4;
    Snapshot ss = Scan(shrunk);
    EXPECT_EQ(FindTable(ss, "acpi")->rows.size(), 3u);
    EXPECT_EQ(GetFact(ss, "acpi.vm_tables.status"), "partial");
}

TEST(CollectAcpi, SizeQueryFails) {
    FakeAcpi f = RealGuest();
    f.ids.push_back(AcpiId("SSDT"));  // enumerated but not readable
    Snapshot s = Scan(f);
    const TableRow* row = RowOf(s, "SSDT");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->cells, (std::vector<std::string>{"SSDT", "Secondary System Description", "?", "", "", "", "", "", "",
                                                    "read failed: error 2: not found"}));
    EXPECT_EQ(GetFact(s, "acpi.vm_tables.status"), "partial");
    EXPECT_EQ(GetFact(s, "acpi.vm_aml.status"), "partial");
    EXPECT_EQ(GetFact(s, "acpi.vm_aml.vmgenid"), "1");
}

}  // namespace
}  // namespace vorq
