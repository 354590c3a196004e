#include <gtest/gtest.h>

#include "tests/unit/test_support.h"

#include "collectors/devices/devices.h"
#include "collectors/devices/display.h"
#include "vm/vm.h"

namespace vorq {
namespace {

// A "devices" row: class, device name, hardware id, service.
struct Dev {
    const char* cls;
    const char* device;
    const char* hwid;
    const char* service;
};

void AddDevices(Snapshot& s, std::initializer_list<Dev> devs) {
    Table t = MakeTable("devices", table::kDevices, "Present PnP devices",
                        test::MakerColumns({"Class", "Device", "Manufacturer", "Hardware ID", "Instance ID", "Driver", "Service",
                         "Container ID", "PCIe link"}));
    for (const Dev& d : devs) AddRow(t, {d.cls, d.device, "", d.hwid, "", "", d.service, "", ""});
    s.tables.push_back(t);
}

void AddTable(Snapshot& s, const char* id, size_t columns, std::initializer_list<std::vector<std::string>> rows) {
    Table t = MakeTable("display", id, id, test::MakerColumns(std::vector<std::string>(columns, "c")));
    for (const auto& r : rows) AddRow(t, r);
    s.tables.push_back(t);
}

VmProbeList RunAll(const Snapshot& s) {
    VmProbeList probes;
    ProbePnpHardware(s, probes, kVmWeights, VmSource{});
    return probes;
}

VmProbe ProbeOf(const Snapshot& s, const std::string& id) {
    for (const VmProbe& p : RunAll(s))
        if (p.id == id) return p;
    ADD_FAILURE() << "no probe " << id;
    return {};
}

TEST(VmPnpProbes, NoInventoryIsInconclusive) {
    const VmProbeList probes = RunAll(Snapshot{});
    const char* ids[] = {"hardware.pnp",        "hardware.bound_drivers", "hardware.graphics",      "hardware.monitor_edid",
                         "storage.controllers", "network.pnp",            "hardware.remote_display"};
    ASSERT_EQ(probes.size(), std::size(ids));
    for (size_t i = 0; i < probes.size(); ++i) {
        EXPECT_EQ(probes[i].id, ids[i]);
        EXPECT_EQ(probes[i].result, kInconclusive) << ids[i];
        EXPECT_EQ(probes[i].evidence, "The required inventory is unavailable.");
        EXPECT_EQ(probes[i].group, kGroupHardware);
    }
    EXPECT_EQ(probes[6].strength, kContext);
    EXPECT_EQ(probes[6].weight, 0);
}

TEST(VmPnpProbes, IdsFromTheCollectorsFact) {
    Snapshot s;
    AddDevices(s, {{"System", "Xen PV bus", "", ""}});
    SetFact(s, std::string(fact::kVmPnpIds) + "0", "ACPI\\PNP0A03\nXENBUS\\VEN_XSC000&DEV_VIF&REV_00000001\n");
    const VmProbe p = ProbeOf(s, "hardware.pnp");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.families, "Xen");
    EXPECT_EQ(p.group, kGroupHardware);
    EXPECT_TRUE(p.independent);
}

TEST(VmPnpProbes, FirmwareConfigurationDeviceAloneIsFirmwareEvidence) {
    Snapshot s;
    AddDevices(s, {{"System", "QEMU FWCfg", "ACPI\\QEMU0002\\1", "FWCFG"}, {"Mouse", "PS/2", "ACPI\\PNP0F13", "i8042prt"}});
    VmProbe p = ProbeOf(s, "hardware.pnp");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.group, kGroupFirmware);
    EXPECT_EQ(p.caveat, "ACPI and SMBIOS share one firmware evidence group.");
    p = ProbeOf(s, "hardware.bound_drivers");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.group, kGroupFirmware);

    AddRow(s.tables[0], {"Net", "Red Hat VirtIO Ethernet Adapter", "", "PCI\\VEN_1AF4&DEV_1000", "", "", "netkvm", "", ""});
    p = ProbeOf(s, "hardware.bound_drivers");
    EXPECT_EQ(p.group, kGroupHardware);
    EXPECT_EQ(p.families, "virtio");
    EXPECT_EQ(p.caveat, "Bound guest drivers can survive system migration and need corroboration.");
}

TEST(VmPnpProbes, StorageAndNetworkControllers) {
    Snapshot s;
    AddDevices(s, {{"SCSIAdapter", "Red Hat VirtIO SCSI controller", "PCI\\VEN_1AF4&DEV_1001", "viostor"},
                   {"Net", "Red Hat VirtIO Ethernet Adapter", "PCI\\VEN_1AF4&DEV_1000", "netkvm"},
                   {"Net", "Red Hat VirtIO Ethernet Adapter #2", "PCI\\VEN_1AF4&DEV_1000", "netkvm"}});
    const VmProbeList probes = RunAll(s);
    for (const VmProbe& p : probes) {
        if (p.id == "storage.controllers" || p.id == "network.pnp") {
            EXPECT_EQ(p.result, kDetected) << p.id;
            EXPECT_TRUE(p.independent);
        }
        if (p.id == "hardware.graphics") {
            EXPECT_EQ(p.result, kInconclusive);  // no display seen
        }
    }
}

TEST(VmPnpProbes, DisplayTables) {
    Snapshot s;
    AddTable(s, table::kDisplayDxgi, 7, {{"Microsoft Basic Render Driver", "1414:008C", "", "", "", "", "Software"}});
    VmProbe graphics = ProbeOf(s, "hardware.graphics");
    VmProbe remote = ProbeOf(s, "hardware.remote_display");
    EXPECT_EQ(graphics.result, kInconclusive);  // a software adapter is no hardware display
    EXPECT_EQ(remote.result, kDetected);
    EXPECT_EQ(remote.evidence, "A remote, indirect, fallback or software display adapter is present.");
    EXPECT_EQ(remote.families, "");

    AddTable(s, table::kDisplayGpus, 8, {{"VMware SVGA 3D", "PCI\\VEN_15AD&DEV_0405", "", "", "", "", "", ""}});
    graphics = ProbeOf(s, "hardware.graphics");
    EXPECT_EQ(graphics.result, kDetected);
    EXPECT_EQ(graphics.families, "VMware SVGA");

    AddTable(s, table::kDisplayMonitors, 8, {{"QEMU Monitor", "RHT 1234", "", "", "", "", "", ""}});
    const VmProbe monitor = ProbeOf(s, "hardware.monitor_edid");
    EXPECT_EQ(monitor.result, kDetected);
    EXPECT_EQ(monitor.strength, kWeak);
}

TEST(VmPnpProbes, FailedDisplayCollectorOnlyMattersWithoutRows) {
    Snapshot s;
    s.collectors.push_back(CollectorRun{"Display", 1.0, "error", "boom"});
    EXPECT_EQ(ProbeOf(s, "hardware.graphics").result, kProbeError);
    EXPECT_EQ(ProbeOf(s, "hardware.remote_display").result, kProbeError);
    EXPECT_EQ(ProbeOf(s, "hardware.monitor_edid").result, kProbeError);
    EXPECT_EQ(ProbeOf(s, "hardware.pnp").result, kInconclusive);
    AddTable(s, table::kDisplayGpus, 8, {{"NVIDIA GeForce GTX 470", "PCI\\VEN_10DE&DEV_06CD", "", "", "", "", "", ""}});
    EXPECT_EQ(ProbeOf(s, "hardware.graphics").result, kNotDetected);
    EXPECT_EQ(ProbeOf(s, "hardware.remote_display").result, kNotDetected);

    Snapshot pnp;
    DevicesSource unopened;
    unopened.listOpened = false;
    unopened.listError = "error 5";
    CollectDevicesFrom(pnp, unopened);
    EXPECT_EQ(ProbeOf(pnp, "hardware.pnp").result, kProbeError);
    EXPECT_EQ(ProbeOf(pnp, "hardware.pnp").evidence, "The required inventory could not be read completely.");
}

}  // namespace
}  // namespace vorq
