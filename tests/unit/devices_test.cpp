#include <gtest/gtest.h>

#include <algorithm>

#include "collectors/devices/devices.h"

namespace vorq {
namespace {

std::vector<std::string> Cells(const Table& t, size_t row) { return t.rows.at(row).cells; }

TEST(Pnp, UsbSerialFromInstanceId) {
    struct Case {
        const char16_t* id;
        bool found;
        bool placeholder;
        const char* value;
    } cases[] = {
        {u"USB\\VID_0781&PID_5583\\4C530001230815116283", true, false, "4C530001230815116283"},
        {u"usb\\vid_0781&pid_5583\\ab12", true, false, "ab12"},            // prefix in any case; 4 is enough
        {u"USB\\VID_1234&PID_0001\\5&2C9E1B5&0&2", false, false, ""},      // '&' in the tail
        {u"USB\\VID_1234&PID_0001\\123", false, false, ""},                // 3 characters
        {u"USB\\VID_1234&PID_0001\\0000000000", true, true, "0000000000"},
        {u"USB\\VID_1234&PID_0001\\AAAA", true, true, "AAAA"},
        {u"USB\\VID_1234&PID_0001\\AAAa", true, false, "AAAa"},            // case matters for repetition
        {u"USB\\ROOT_HUB30\\4&1A2B&0&0", false, false, ""},
        {u"usb\\root_hub\\x7x7x7", false, false, ""},
        {u"USBSTOR\\DISK&VEN_X\\4C530001230815116283", false, false, ""},  // not the USB enumerator
        {u"HID\\VID_046D\\ABCDEFGH", false, false, ""},
        {u"USB\\", false, false, ""},                                      // empty tail
        {u"USB\\VID_1\\\u00C4\u00C4\u00C4\u00C4", true, true, "\xC3\x84\xC3\x84\xC3\x84\xC3\x84"},
    };
    for (const Case& c : cases) {
        const UsbSerial s = UsbSerialFromInstanceId(c.id);
        EXPECT_EQ(s.found, c.found) << c.value;
        EXPECT_EQ(s.placeholder, c.placeholder) << c.value;
        EXPECT_EQ(s.value, c.value);
    }
}

TEST(Pnp, VmRelevantIdsKeepsBusPrefixesInListOrder) {
    struct Case {
        std::vector<std::string> ids;
        const char* want;
    } cases[] = {
        {{"ACPI\\VEN_ABCD&DEV_0002", "ACPI\\ABCD0002", "*ABCD0002"}, "ACPI\\VEN_ABCD&DEV_0002\nACPI\\ABCD0002"},
        {{"HID\\VID_046D"}, ""},
        {{"pci\\ven_8086&dev_1237", "Xenbus\\vif", "vmbus\\{abc}", "ROOT\\VMBUS"}, "pci\\ven_8086&dev_1237\nXenbus\\vif\nvmbus\\{abc}"},
        {{"PCI", "ACPI", "PCIE\\X"}, ""},  // the backslash belongs to the prefix
        {{}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(VmRelevantIds(c.ids), c.want);
}

TEST(Pnp, DriverText) {
    struct Case {
        const char* provider;
        const char* version;
        const char* want;
    } cases[] = {{"", "", ""}, {"Microsoft", "", "Microsoft"}, {"", "10.0.1", "10.0.1"},
                 {"Intel", "31.0.101.4502", "Intel 31.0.101.4502"}, {" ", " ", ""}};
    for (const Case& c : cases) EXPECT_EQ(DriverText(c.provider, c.version), c.want);
}

TEST(Pnp, PcieLinkField) {
    struct Case {
        PcieLinkReads r;
        const char* want;
    } cases[] = {
        {{true, 3, 16, true, 3, 16}, "Gen3 8 GT/s x16"},
        {{true, 3, 4, true, 4, 4}, "Gen3 8 GT/s x4 (max Gen4 16 GT/s x4)"},
        {{true, 4, 1, true, 4, 16}, "Gen4 16 GT/s x1 (max Gen4 16 GT/s x16)"},
        {{true, 3, 16, false, 0, 0}, "Gen3 8 GT/s x16"},  // maximum unreadable
        {{true, 3, 0, true, 3, 16}, ""},                  // width 0
        {{false, 3, 16, true, 3, 16}, ""},                // current unreadable
    };
    for (const Case& c : cases) EXPECT_EQ(PcieLinkField(c.r), c.want);
}

TEST(Pnp, SortIsByClassNameInstanceAndIndependentOfWalkOrder) {
    auto rec = [](std::string cls, std::string dev, std::string inst, std::string svc = "") {
        DeviceRecord r;
        r.cls = std::move(cls);
        r.device = std::move(dev);
        r.instanceId = std::move(inst);
        r.service = std::move(svc);
        return r;
    };
    const std::vector<DeviceRecord> want = {
        rec("(no class)", "Same", "ROOT\\A\\0000"),
        rec("(no class)", "Same", "ROOT\\B\\0000"),
        rec("Display", "", "PCI\\X"),
        rec("Display", "Adapter", "PCI\\Y"),
        rec("Display", "Adapter", "PCI\\Y", "svc"),  // equal keys: the other fields decide
        rec("display", "Adapter", "PCI\\Z"),         // byte order: upper case first
        rec("\xC3\x84x", "", ""),                    // UTF-8 bytes above ASCII sort last
    };
    // Every walk order gives the same rows.
    std::vector<size_t> walk(want.size());
    for (size_t i = 0; i < walk.size(); ++i) walk[i] = i;
    do {
        std::vector<DeviceRecord> got;
        for (size_t i : walk) got.push_back(want[i]);
        SortDeviceRecords(got);
        for (size_t i = 0; i < want.size(); ++i) {
            ASSERT_EQ(got[i].cls, want[i].cls) << i;
            ASSERT_EQ(got[i].device, want[i].device) << i;
            ASSERT_EQ(got[i].instanceId, want[i].instanceId) << i;
            ASSERT_EQ(got[i].service, want[i].service) << i;
        }
    } while (std::next_permutation(walk.begin(), walk.end()));
}

TEST(Pnp, CountRowsLargestFirstNamesAscendingAmongEquals) {
    const std::map<std::string, uint32_t> counts = {{"USB", 3}, {"Disk", 1}, {"HID", 3}, {"System", 12}, {"Audio", 1}};
    const std::vector<std::pair<std::string, uint32_t>> want = {
        {"System", 12}, {"HID", 3}, {"USB", 3}, {"Audio", 1}, {"Disk", 1}};
    EXPECT_EQ(CountRows(counts), want);
}

TEST(Pnp, ClearVmPnpFactsRemovesOnlyThatFamily) {
    Snapshot s;
    for (const char* k : {"vm.pnp.ids:0", "vm.pnp.ids:17", "vm.pnp.ids:", "vm.pnp.id", "vm.pnp.idsx", "Vm.pnp.ids:1",
                          "vm.pnp.ids;2", "svcdev:disk"})
        SetFact(s, k, "x");
    ClearVmPnpFacts(s);
    std::vector<std::string> left;
    for (const auto& [k, v] : s.facts) left.push_back(k);
    EXPECT_EQ(left, (std::vector<std::string>{"Vm.pnp.ids:1", "svcdev:disk", "vm.pnp.id", "vm.pnp.ids;2",
                                              "vm.pnp.idsx"}));
}

DeviceProps Dev(std::string cls, std::string name, std::u16string instance, std::vector<std::string> ids,
                std::string service = "", std::string provider = "") {
    DeviceProps p;
    p.cls = std::move(cls);
    p.device = std::move(name);
    p.instanceId = std::move(instance);
    p.hardwareIds = std::move(ids);
    p.service = std::move(service);
    p.provider = std::move(provider);
    return p;
}

TEST(Pnp, InventoryWritesTablesFactsAndSignals) {
    Snapshot s;
    SetFact(s, "vm.pnp.ids:9", "stale");
    DevicesSource src;
    auto& inv = src.devices;
    // Walk order differs from the sorted order on purpose.
    inv.push_back(Dev("USB", "Mass Storage", u"USB\\VID_0781&PID_5583\\4C530001230815116283", {"USB\\VID_0781&PID_5583"},
                   "USBSTOR", "Microsoft"));
    inv.push_back(Dev("DiskDrive", "Disk A", u"SCSI\\DISK\\1", {"SCSI\\DiskQEMU"}, "Disk", "Microsoft"));
    inv.push_back(Dev("", "Same", u"ROOT\\B\\0000", {"ACPI\\VEN_ABCD&DEV_0002", "ACPI\\ABCD0002", "*ABCD0002"}));
    inv.push_back(Dev("", "Same", u"ROOT\\A\\0000", {"HID\\VID_046D"}));
    inv.push_back(Dev("DiskDrive", "Disk B", u"SCSI\\DISK\\2", {"SCSI\\DiskQEMU"}, "disk", "(Standard disk drives)"));
    inv.push_back(Dev("USB", "", u"USB\\VID_1234&PID_0001\\0000000000", {"USB\\VID_1234&PID_0001"}, "", ""));
    DeviceProps full = Dev("Display", "GPU", u"PCI\\VEN_8086&DEV_1237\\3&1", {"PCI\\VEN_8086&DEV_1237&REV_02"},
                           "vga", "Intel");
    full.manufacturer = "Intel";
    full.version = "1.2";
    full.containerId = "00000000-0000-0000-FFFF-FFFFFFFFFFFF";
    full.pcieLink = "Gen3 8 GT/s x16";
    inv.push_back(full);

    bool ranBetween = false;
    src.subInventories = [&](Snapshot& snap) {
        ASSERT_EQ(snap.tables.size(), 2u);
        snap.tables.push_back(MakeTable("devices", "devices.biometric", "", {}));
        ranBetween = true;
    };
    CollectDevicesFrom(s, src);
    ASSERT_TRUE(ranBetween);

    std::vector<std::string> ids;
    for (const Table& t : s.tables) ids.push_back(t.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"devices.classes", "devices.providers", "devices.biometric", "devices"}));

    const Table& d = *FindTable(s, "devices");
    EXPECT_EQ(d.columns, (std::vector<std::string>{"Class", "Device", "Manufacturer", "Hardware ID", "Instance ID",
                                                   "Driver", "Service", "Container ID", "PCIe link"}));
    EXPECT_EQ(d.sens, 0x90u);
    EXPECT_EQ(d.groupCol, 0);
    EXPECT_FALSE(d.safe);
    ASSERT_EQ(d.rows.size(), 7u);
    std::vector<std::string> order;
    for (const TableRow& r : d.rows) order.push_back(r.cells[4]);
    EXPECT_EQ(order, (std::vector<std::string>{"ROOT\\A\\0000", "ROOT\\B\\0000", "SCSI\\DISK\\1", "SCSI\\DISK\\2",
                                               "PCI\\VEN_8086&DEV_1237\\3&1", "USB\\VID_1234&PID_0001\\0000000000",
                                               "USB\\VID_0781&PID_5583\\4C530001230815116283"}));
    EXPECT_EQ(Cells(d, 0)[0], "(no class)");
    EXPECT_EQ(Cells(d, 4), (std::vector<std::string>{"Display", "GPU", "Intel", "PCI\\VEN_8086&DEV_1237&REV_02",
                                                     "PCI\\VEN_8086&DEV_1237\\3&1", "Intel 1.2", "vga",
                                                     "00000000-0000-0000-FFFF-FFFFFFFFFFFF", "Gen3 8 GT/s x16"}));
    for (const TableRow& r : d.rows) EXPECT_EQ(r.sens, 0u);

    // Indices follow the sorted rows and may have gaps.
    EXPECT_FALSE(HasFact(s, "vm.pnp.ids:9"));
    EXPECT_FALSE(HasFact(s, "vm.pnp.ids:0"));
    EXPECT_EQ(GetFact(s, "vm.pnp.ids:1"), "ACPI\\VEN_ABCD&DEV_0002\nACPI\\ABCD0002");
    EXPECT_EQ(GetFact(s, "vm.pnp.ids:4"), "PCI\\VEN_8086&DEV_1237&REV_02");
    size_t vmFacts = 0;
    for (const auto& [k, v] : s.facts) vmFacts += k.starts_with("vm.pnp.ids:");
    EXPECT_EQ(vmFacts, 2u);

    EXPECT_EQ(GetFact(s, "svcdev:disk"), "2");
    EXPECT_EQ(GetFact(s, "svcdev:usbstor"), "1");
    EXPECT_EQ(GetFact(s, "svcdev:vga"), "1");
    EXPECT_FALSE(HasFact(s, "svcdev:Disk"));
    EXPECT_EQ(GetFact(s, "devices.count"), "7");
    EXPECT_EQ(GetFact(s, "devices.usb_serials"), "1");

    const Table& classes = *FindTable(s, "devices.classes");
    EXPECT_EQ(classes.columns, (std::vector<std::string>{"Class", "Devices"}));
    ASSERT_EQ(classes.rows.size(), 4u);
    EXPECT_EQ(Cells(classes, 0), (std::vector<std::string>{"(no class)", "2"}));
    EXPECT_EQ(Cells(classes, 1), (std::vector<std::string>{"DiskDrive", "2"}));
    EXPECT_EQ(Cells(classes, 2), (std::vector<std::string>{"USB", "2"}));
    EXPECT_EQ(Cells(classes, 3), (std::vector<std::string>{"Display", "1"}));
    const Table& providers = *FindTable(s, "devices.providers");
    EXPECT_EQ(providers.title, "Driver providers (PnP packages)");
    ASSERT_EQ(providers.rows.size(), 3u);
    EXPECT_EQ(Cells(providers, 0), (std::vector<std::string>{"Microsoft", "2"}));
    EXPECT_EQ(Cells(providers, 1), (std::vector<std::string>{"(Standard disk drives)", "1"}));
    EXPECT_EQ(Cells(providers, 2), (std::vector<std::string>{"Intel", "1"}));

    // Serial signals in walk order; the placeholder is kept but not counted.
    ASSERT_EQ(s.signals.size(), 2u);
    const Signal& real = s.signals[0];
    EXPECT_EQ(real.key, "usb.serial");
    EXPECT_EQ(real.cat, "Peripherals");
    EXPECT_EQ(real.name, "USB serial: Mass Storage");
    EXPECT_EQ(real.value, "4C530001230815116283");
    EXPECT_EQ(real.scope, 0);
    EXPECT_EQ(real.w, 2);
    EXPECT_EQ(real.group, "peripheral");
    EXPECT_TRUE(Sensitive(real));
    EXPECT_EQ(real.src, "SetupAPI device instance ID");
    EXPECT_EQ(real.note, "removable device - low identity weight");
    EXPECT_EQ(real.q, 1.0);
    const Signal& placeholder = s.signals[1];
    EXPECT_EQ(placeholder.name, "USB serial: USB\\VID_1234&PID_0001");  // no name: the first hardware id
    EXPECT_EQ(placeholder.note, "placeholder serial (one repeated character) - ignored");
    EXPECT_EQ(placeholder.q, 0.0);
}

// A name the device's owner chose (a Bluetooth device's, a phone's, a drive's
// label) is named for the safe report, and a USB serial's signal is then named
// by the hardware ID.
TEST(Pnp, NamesOwnersChose) {
    const struct {
        const char* cls;
        const char* name;
        const char16_t* instance;
        bool chosen;
    } cases[] = {
        {"Bluetooth", "Ana's AirPods Pro", u"BTHENUM\\DEV_4C7E21A0B1C2\\7&1", true},
        {"Bluetooth", "Kowalczyk Keyboard", u"BTHLE\\Dev_4c7e21a0b1c2\\8&2", true},
        {"Bluetooth", "Intel(R) Wireless Bluetooth(R)", u"USB\\VID_8087&PID_0026\\5&1", false},
        {"Bluetooth", "Microsoft Bluetooth Enumerator", u"BTH\\MS_BTHBRB\\7&2", false},
        {"WPD", "Ana's iPhone", u"USB\\VID_05AC&PID_12A8\\00008030001E4C7E21A0B1C2", true},
        {"WPD", "\u738b\u5c0f\u660e\u7684\u8d44\u6599", u"SWD\\WPDBUSENUM\\_??_USBSTOR#1", true},
        {"WPD", "E:\\", u"SWD\\WPDBUSENUM\\_??_USBSTOR#2", false},
        {"WPD", "E:", u"SWD\\WPDBUSENUM\\_??_USBSTOR#3", false},
        {"WPD", "New Volume", u"SWD\\WPDBUSENUM\\_??_USBSTOR#4", false},
        {"USB", "USB Mass Storage Device", u"USB\\VID_0781&PID_5583\\4C530001230815116283", false},
        {"WPD", "", u"SWD\\WPDBUSENUM\\_??_USBSTOR#5", false},
    };
    DevicesSource src;
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        DeviceProps p = Dev(c.cls, c.name, c.instance, {"USB\\VID_05AC&PID_12A8"});
        EXPECT_EQ(HasChosenName(p), c.chosen) << c.name;
        if (c.chosen) expected.push_back(c.name);
        src.devices.push_back(p);
    }
    Snapshot s;
    CollectDevicesFrom(s, src);
    std::vector<std::string> named;
    for (const NamedValue& n : s.named) {
        EXPECT_EQ(n.kind, ValueKind::Chosen);
        named.push_back(n.value);
    }
    EXPECT_EQ(named, expected);
    std::vector<std::string> signals;
    for (const Signal& g : s.signals) signals.push_back(g.name);
    EXPECT_EQ(signals, (std::vector<std::string>{"USB serial: USB\\VID_05AC&PID_12A8",
                                                 "USB serial: USB Mass Storage Device"}));
}

TEST(Pnp, UnopenedListClearsOldIdsAndNotesTheFailure) {
    Snapshot s;
    SetFact(s, "vm.pnp.ids:0", "stale");
    DevicesSource src;
    src.listOpened = false;
    src.listError = "error 5";
    CollectDevicesFrom(s, src);
    EXPECT_EQ(s.notes, (std::vector<std::string>{"PnP devices: SetupDiGetClassDevs failed: error 5"}));
    EXPECT_TRUE(SourceFailed(s, "PnP devices"));
    EXPECT_TRUE(s.facts.empty());
    EXPECT_TRUE(s.tables.empty());
}

TEST(Pnp, EmptyWalkStillWritesCountsAndTables) {
    Snapshot s;
    CollectDevicesFrom(s, DevicesSource{});
    EXPECT_EQ(GetFact(s, "devices.count"), "0");
    EXPECT_EQ(GetFact(s, "devices.usb_serials"), "0");
    ASSERT_EQ(s.tables.size(), 3u);
    for (const Table& t : s.tables) EXPECT_TRUE(t.rows.empty()) << t.id;
    EXPECT_TRUE(s.signals.empty());
}

}  // namespace
}  // namespace vorq
