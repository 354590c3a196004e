#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "collectors/devices/devices.h"
#include "collectors/devices/storage.h"
#include "collectors/processor/acpi.h"
#include "collectors/processor/cpu.h"
#include "collectors/processor/cpuid_dump.h"
#include "collectors/processor/smbios.h"
#include "collectors/trust/drivers.h"
#include "core/text.h"
#include "tests/unit/storage_fixtures.h"
#include "vm/vm.h"

namespace vorq {
namespace {

// Sub-leaf 0 of each leaf, written by the CPU collector's own table builder.
void AddLeaves(Snapshot& s, const std::vector<std::array<uint32_t, 5>>& leaves) {
    std::vector<CpuidRow> rows;
    for (const auto& l : leaves) rows.push_back(CpuidRow{l[0], 0, l[1], l[2], l[3], l[4]});
    s.tables.push_back(MakeCpuidLeavesTable(rows));
    SetFact(s, fact::kCpuArchCpuidSafe, "1");
}

void AddSignal(Snapshot& s, const char* key, const char* value) {
    Signal sig;
    sig.key = key;
    sig.value = value;
    s.signals.push_back(sig);
}

struct Env {
    int cpuidCalls = 0;
    std::map<uint32_t, CpuidLeafRegs> leaves;
    ServiceKeyScan scan;
    VmSource Make() {
        VmSource e;
        e.cpuid = [this](uint32_t leaf) {
            ++cpuidCalls;
            auto it = leaves.find(leaf);
            return it == leaves.end() ? CpuidLeafRegs{0, 0, 0, 0, true} : it->second;
        };
        e.scanServiceKeys = [this](const ServiceKey*, size_t) { return scan; };
        return e;
    }
};

bool FindProbeRow(const Snapshot& s, const std::string& id, std::vector<std::string>* cells) {
    for (const Table& t : s.tables)
        if (t.id.rfind("vm.tests.", 0) == 0)
            for (const TableRow& r : t.rows)
                if (r.cells[0] == id) {
                    *cells = r.cells;
                    return true;
                }
    return false;
}

std::string Status(const Snapshot& s, const std::string& id) {
    std::vector<std::string> cells;
    return FindProbeRow(s, id, &cells) ? cells[3] : "(missing)";
}

std::string SummaryValue(const Snapshot& s, const std::string& property) {
    const Table* t = FindTable(s, table::kVmSummary);
    if (!t) return "(no table)";
    for (const TableRow& r : t->rows)
        if (r.cells[0] == property) return r.cells[1];
    return "(no row)";
}

// Kvm: hypervisor bit, KVMKVMKVM base leaf, QEMU firmware, virtio devices.
Snapshot KvmGuest() {
    Snapshot s;
    AddLeaves(s, {{1, 0x000806EC, 0, 0x80000000u, 0}, {0x40000000, 0x40000001, 0x4B4D564B, 0x564B4D56, 0x0000004D}});
    AddSignal(s, sig::kSmbiosSystemManufacturer, "QEMU");
    AddSignal(s, sig::kSmbiosSystemProduct, "Standard PC (i440FX + PIIX, 1996)");
    DeviceProps nic;
    nic.cls = "Net";
    nic.device = "Red Hat VirtIO Ethernet Adapter";
    nic.manufacturer = "Red Hat";
    nic.hardwareIds = {"PCI\\VEN_1AF4&DEV_1000&SUBSYS_00011AF4"};
    nic.service = "netkvm";
    DevicesSource devices;
    devices.devices = {nic};
    CollectDevicesFrom(s, devices);
    return s;
}

TEST(VmDetection, EmptySnapshotIsInsufficientData) {
    Snapshot s;
    Env env;
    CollectVmFrom(s, env.Make());
    EXPECT_EQ(env.cpuidCalls, 0);  // CPUID evidence not usable: never executed
    EXPECT_EQ(GetFact(s, fact::kVmGuest), "0");
    EXPECT_EQ(GetFact(s, fact::kVmHvPresent), "unknown");
    EXPECT_EQ(GetFact(s, fact::kVmHvRole), "unknown");
    EXPECT_EQ(GetFact(s, fact::kVmClassification), "Insufficient data");
    EXPECT_EQ(SummaryValue(s, "Hypervisor presence"), "Inconclusive");
    EXPECT_EQ(Status(s, "cpu.vendor"), "Not Supported");
    EXPECT_EQ(Status(s, "firmware.system"), "Inconclusive");
    EXPECT_EQ(Status(s, "timing.rdtsc"), "Not Supported");
    ASSERT_EQ(s.scores.size(), 1u);
    EXPECT_EQ(s.scores[0].id, "physical");
    EXPECT_EQ(s.scores[0].verdict, "Insufficient data");
    // The only item is the missing-data reduction, and it explains the whole distance to the ceiling.
    ASSERT_EQ(s.scores[0].items.size(), 1u);
    EXPECT_EQ(92 - s.scores[0].value, -s.scores[0].items[0].points);
}

TEST(VmDetection, KvmGuestIsConfirmed) {
    Snapshot s = KvmGuest();
    SetFact(s, fact::kCpuXenSecondaryStatus, "complete");
    Env env;
    CollectVmFrom(s, env.Make());
    EXPECT_EQ(env.cpuidCalls, 0);
    EXPECT_EQ(GetFact(s, fact::kVmGuest), "1");
    EXPECT_EQ(GetFact(s, fact::kVmHvRole), "guest");
    EXPECT_EQ(GetFact(s, fact::kVmClassification), "Virtual guest evidence confirmed");
    EXPECT_EQ(Status(s, "cpu.vendor"), "Detected");
    EXPECT_EQ(Status(s, "firmware.system"), "Detected");
    EXPECT_EQ(Status(s, "hardware.pci"), "Detected");
    EXPECT_EQ(GetFact(s, fact::kVmFamily), "KVM/QEMU, virtio");
    EXPECT_EQ(SummaryValue(s, "Partition context"), "Recognized guest CPU signature");
    const Score& physical = s.scores.back();
    EXPECT_EQ(physical.verdict, "Virtual guest evidence confirmed");
    int sum = 0;
    for (const ScoreItem& item : physical.items) sum += item.points;
    EXPECT_EQ(physical.value, 92 + sum);
}

TEST(VmDetection, HyperVRootAndGuest) {
    // "Microsoft Hv" base leaf, Hv#1 interface; the root has CreatePartitions.
    auto hyperv = [](bool root) {
        Snapshot s;
        AddLeaves(s, {{1, 0, 0, 0x80000000u, 0},
                      {0x40000000, 0x4000000B, 0x7263694D, 0x666F736F, 0x76482074},
                      {0x40000001, 0x31237648, 0, 0, 0},
                      {0x40000003, 0, root ? 1u : 0u, 0, 0}});
        SetFact(s, fact::kCpuXenSecondaryStatus, "complete");
        return s;
    };
    Snapshot root = hyperv(true);
    Env env;
    CollectVmFrom(root, env.Make());
    EXPECT_EQ(GetFact(root, fact::kVmHvRole), "root");
    EXPECT_EQ(GetFact(root, fact::kVmHvPresent), "1");
    EXPECT_EQ(Status(root, "cpu.partition"), "Detected");
    EXPECT_EQ(Status(root, "cpu.vendor"), "Inconclusive");
    EXPECT_EQ(SummaryValue(root, "Partition context"), "Root or management partition");

    Snapshot guest = hyperv(false);
    AddSignal(guest, sig::kSmbiosSystemManufacturer, "Microsoft Corporation");
    AddSignal(guest, sig::kSmbiosSystemProduct, "Virtual Machine");
    CollectVmFrom(guest, env.Make());
    EXPECT_EQ(Status(guest, "cpu.partition"), "Inconclusive");
    EXPECT_EQ(Status(guest, "firmware.system"), "Detected");
    EXPECT_EQ(GetFact(guest, fact::kVmGuest), "1");
    EXPECT_EQ(GetFact(guest, fact::kVmFamily), "Hyper-V");
    EXPECT_EQ(GetFact(guest, fact::kVmHvRole), "unknown");
}

TEST(VmDetection, CpuidFallbackWhenTheTableLacksTheHypervisorLeaf) {
    Snapshot s;
    AddLeaves(s, {{1, 0, 0, 0x80000000u, 0}});
    Env env;
    env.leaves[0x40000000] = CpuidLeafRegs{0x40000001, 0x4B4D564B, 0x564B4D56, 0x0000004D, true};
    CollectVmFrom(s, env.Make());
    EXPECT_EQ(env.cpuidCalls, 1);
    EXPECT_EQ(Status(s, "cpu.vendor"), "Detected");
}

TEST(VmDetection, DriverWithoutDeviceIsWeakAndAcpiReadFailureIsError) {
    Snapshot s = KvmGuest();
    Table drivers = MakeTable("drivers", table::kDrivers, "Drivers", {});
    std::vector<std::string> row(col::drivers::kImagePath + 1);
    row[col::drivers::kDriver] = "vioscsi";
    AddRow(drivers, std::move(row));
    s.tables.push_back(drivers);
    // The ACPI collector's row for a table it could not read.
    AcpiSource acpi;
    acpi.enumerate = [](void* buffer, uint32_t size) -> uint32_t {
        if (buffer && size >= 4) std::memcpy(buffer, "DSDT", 4);
        return 4;
    };
    acpi.read = [](uint32_t, void*, uint32_t) -> uint32_t { return 0; };
    acpi.lastError = [] { return std::string("error 5"); };
    CollectAcpiFrom(s, acpi);
    Env env;
    CollectVmFrom(s, env.Make());
    std::vector<std::string> cells;
    ASSERT_TRUE(FindProbeRow(s, "os.guest_drivers", &cells));
    EXPECT_EQ(cells[3], "Detected");
    EXPECT_EQ(cells[5], "Weak");
    EXPECT_EQ(cells[6], "8");
    EXPECT_EQ(Status(s, "firmware.acpi"), "Error");
}

TEST(VmDetection, StorageModelIsTheSystemDisksOnly) {
    // The storage collector's own table over two scripted disks: Windows runs
    // from the QEMU disk; the VirtualBox disk is a second one.
    auto disk = [](uint32_t number, const char* product) {
        test::FakeDisk d;
        d.base.ioctl[kIoctlStorageGetDeviceNumber] = test::Ok(test::DeviceNumberReply(number));
        d.base.property[kStorageDeviceProperty] = test::Ok(test::DeviceDescriptorReply("", product, "1.0", "", 11, false));
        return d;
    };
    test::FakeDisk system = disk(0, "QEMU HARDDISK"), second = disk(1, "VBOX HARDDISK");
    StorageSource src;
    src.systemDisk = 0;
    src.disks = {{0, system.Access()}, {1, second.Access()}};
    Snapshot s;
    CollectStorageFrom(s, src);
    Env env;
    CollectVmFrom(s, env.Make());
    std::vector<std::string> cells;
    ASSERT_TRUE(FindProbeRow(s, "storage.model", &cells));
    EXPECT_EQ(cells[3], "Detected");
    EXPECT_EQ(cells[9], "KVM/QEMU");
}

TEST(VmDetection, ServiceScanDeniedIsError) {
    Snapshot s;
    Env env;
    env.scan.incomplete = true;
    CollectVmFrom(s, env.Make());
    EXPECT_EQ(Status(s, "os.guest_services"), "Error");
}

TEST(VmDetection, RunningTwiceReplacesOutputs) {
    Snapshot s = KvmGuest();
    s.tables.push_back(MakeTable("other", "other", "", {}));
    Env env;
    CollectVmFrom(s, env.Make());
    s.scores.push_back(Score{"identity", "", "", "", 50, {}});
    CollectVmFrom(s, env.Make());
    int summaries = 0, tests = 0, physical = 0;
    for (const Table& t : s.tables) {
        summaries += t.id == "vm.summary";
        tests += t.id.rfind("vm.tests.", 0) == 0;
    }
    for (const Score& sc : s.scores) physical += sc.id == "physical";
    EXPECT_EQ(summaries, 1);
    EXPECT_EQ(tests, 8);
    EXPECT_EQ(physical, 1);
    EXPECT_EQ(s.scores.back().id, "physical");
    EXPECT_NE(FindTable(s, "other"), nullptr);
}

TEST(VmDetection, EachPlatformFamilyIsNamedOnce) {
    // Probes naming one family, and probes whose text names several.
    const std::pair<const char*, const char*> detected[] = {
        {"hardware.pci", "VirtualBox"},         {"cpu.vendor", "KVM/QEMU"},
        {"os.guest_services", "KVM/QEMU, VMware"}, {"storage.model", "KVM/QEMU, VirtualBox"},
        {"cloud.smbios", "Amazon EC2"},         {"cloud.metadata", "Amazon EC2, Microsoft Azure"},
    };
    VmProbeList probes;
    for (const auto& [id, families] : detected) {
        VmProbe p = MakeVmProbe(id, "hardware", id, "", kGroupHardware, kModerate, 10);
        p.result = kDetected;
        p.families = families;
        probes.push_back(p);
    }
    Snapshot s;
    WriteVmOutputs(s, probes, VmScoreResult{}, VmCpuContext{});
    EXPECT_EQ(SummaryValue(s, "Platform families"), "KVM/QEMU, VMware, VirtualBox");
    EXPECT_EQ(GetFact(s, fact::kVmFamily), "KVM/QEMU, VMware, VirtualBox");
    EXPECT_EQ(SummaryValue(s, "Cloud infrastructure"), "Amazon EC2, Microsoft Azure");
}

}  // namespace
}  // namespace vorq
