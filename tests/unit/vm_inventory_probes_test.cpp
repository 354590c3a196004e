#include <gtest/gtest.h>

#include "tests/unit/test_support.h"

#include "collectors/processor/acpi.h"
#include "collectors/processor/cpu.h"
#include "collectors/processor/smbios.h"
#include "vm/vm.h"

namespace vorq {
namespace {

void AddSignal(Snapshot& s, const char* key, const char* value) {
    Signal sig;
    sig.key = key;
    sig.value = value;
    s.signals.push_back(sig);
}

VmProbe ProbeOf(const Snapshot& s, const std::string& id) {
    VmProbeList probes;
    ProbeInventorySignatures(s, probes, kVmWeights, VmSource{});
    for (const VmProbe& p : probes)
        if (p.id == id) return p;
    ADD_FAILURE() << "no probe " << id;
    return {};
}

void AddSmbiosRows(Snapshot& s) {
    Table t = MakeTable("firmware", table::kSmbios, "SMBIOS structures", test::MakerColumns({"Structure", "Field", "Value"}));
    AddRow(t, {"System", "Manufacturer", "x"});
    s.tables.push_back(t);
}

TEST(VmInventoryProbes, EmptySnapshotIsInconclusiveEverywhere) {
    VmProbeList probes;
    ProbeInventorySignatures(Snapshot{}, probes, kVmWeights, VmSource{});
    const char* ids[] = {"cpu.brand",          "firmware.bios",         "firmware.baseboard",
                         "firmware.oem_strings", "firmware.acpi_devices", "firmware.waet"};
    ASSERT_EQ(probes.size(), std::size(ids));
    for (size_t i = 0; i < probes.size(); ++i) {
        EXPECT_EQ(probes[i].id, ids[i]);
        EXPECT_EQ(probes[i].result, kInconclusive) << ids[i];
        EXPECT_EQ(probes[i].evidence, "Inventory data is unavailable.");
    }
    EXPECT_EQ(probes[0].weight, 35);
    EXPECT_EQ(probes[5].strength, kWeak);
    EXPECT_FALSE(probes[5].independent);
    EXPECT_TRUE(probes[4].independent);
}

TEST(VmInventoryProbes, BrandDetectedEvenAfterAShortRead) {
    Snapshot s;
    AddSignal(s, sig::kCpuBrand, "  QEMU Virtual CPU version 2.5+ ");
    VmProbe p = ProbeOf(s, "cpu.brand");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.families, "KVM/QEMU");
    EXPECT_EQ(p.caveat, "");
    AddFailureNote(s, "CPU", "short read of the brand leaves", Failure::ShortRead);
    p = ProbeOf(s, "cpu.brand");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.caveat, "Some inventory data could not be read.");
    // Another collector's short read, or a plain note that reads like one, does not count.
    Snapshot other;
    AddSignal(other, sig::kCpuBrand, "Intel(R) Core(TM) i7");
    AddFailureNote(other, "CPU leaves", "short read", Failure::ShortRead);
    AddNote(other, "CPU", "short read failed");
    EXPECT_EQ(ProbeOf(other, "cpu.brand").result, kNotDetected);
    AddFailureNote(other, "CPU", "short read", Failure::ShortRead);
    EXPECT_EQ(ProbeOf(other, "cpu.brand").result, kProbeError);
}

TEST(VmInventoryProbes, FirmwareStrings) {
    Snapshot s;
    AddSignal(s, sig::kSmbiosBiosVendor, "American Megatrends Inc.");
    EXPECT_EQ(ProbeOf(s, "firmware.bios").result, kInconclusive);  // version missing
    AddSignal(s, sig::kSmbiosBiosVersion, "1.2.3");
    EXPECT_EQ(ProbeOf(s, "firmware.bios").result, kNotDetected);

    AddSignal(s, sig::kSmbiosBoardProduct, "Microsoft Corporation Virtual Machine");
    EXPECT_EQ(ProbeOf(s, "firmware.baseboard").families, "Hyper-V");

    AddSignal(s, sig::kSmbiosOemString, "Dell System");
    EXPECT_EQ(ProbeOf(s, "firmware.oem_strings").result, kInconclusive);  // no structures table
    AddSmbiosRows(s);
    EXPECT_EQ(ProbeOf(s, "firmware.oem_strings").result, kNotDetected);
    AddSignal(s, sig::kSmbiosOemString, "vboxVer_6.1.26");
    AddSignal(s, sig::kSmbiosOemString, "vboxRev_145957");
    const VmProbe p = ProbeOf(s, "firmware.oem_strings");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.families, "VirtualBox");

    s.collectors.push_back(CollectorRun{"SMBIOS", 1.0, "error", "boom"});
    EXPECT_EQ(ProbeOf(s, "firmware.bios").result, kProbeError);
    EXPECT_EQ(ProbeOf(s, "firmware.bios").evidence, "Inventory data could not be read completely.");
}

TEST(VmInventoryProbes, AcpiDeviceDeclarations) {
    struct Case {
        const char* status;
        const char* qemu;
        const char* vmgenid;
        int32_t result;
        const char* families;
        const char* evidence;
    };
    const char* kFirstTable =
        "Windows exposes only the first ACPI table for each signature; additional SSDT instances are not scanned.";
    const Case cases[] = {
        {"complete", "1", "0", kDetected, "KVM/QEMU", "A specific virtual platform signature was found."},
        {"complete", "0", "1", kDetected, "", "A specific virtual platform signature was found."},
        {"complete", "0", "0", kNotDetected, "", "No specific virtual platform signature was found."},
        {"partial", "0", "0", kProbeError, "", "Inventory data could not be read completely."},
        {"not_supported", "0", "0", kNotSupported, "", "No readable AML table is available."},
        {"not_supported", "1", "0", kDetected, "KVM/QEMU", "A specific virtual platform signature was found."},
    };
    for (const Case& c : cases) {
        Snapshot s;
        SetFact(s, fact::kAcpiVmAmlStatus, c.status);
        SetFact(s, fact::kAcpiVmAmlQemu, c.qemu);
        SetFact(s, fact::kAcpiVmAmlVmgenid, c.vmgenid);
        const VmProbe p = ProbeOf(s, "firmware.acpi_devices");
        EXPECT_EQ(p.result, c.result) << c.status << c.qemu << c.vmgenid;
        EXPECT_EQ(p.families, c.families);
        EXPECT_EQ(p.evidence, c.evidence);
        if (c.result == kDetected || c.result == kNotDetected) {
            EXPECT_EQ(p.caveat, kFirstTable);
        }
    }
}

TEST(VmInventoryProbes, EmulatedDevicesTable) {
    Snapshot s;
    SetFact(s, fact::kAcpiVmTablesStatus, "partial");
    SetFact(s, fact::kAcpiVmWaet, "0");
    EXPECT_EQ(ProbeOf(s, "firmware.waet").result, kProbeError);
    SetFact(s, fact::kAcpiVmWaet, "1");
    VmProbe p = ProbeOf(s, "firmware.waet");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.families, "");
    SetFact(s, fact::kAcpiVmTablesStatus, "complete");
    SetFact(s, fact::kAcpiVmWaet, "0");
    EXPECT_EQ(ProbeOf(s, "firmware.waet").result, kNotDetected);
    AddFailureNote(s, "ACPI", "EnumSystemFirmwareTables('ACPI') failed: error 5");
    EXPECT_EQ(ProbeOf(s, "firmware.waet").result, kProbeError);
}

}  // namespace
}  // namespace vorq
