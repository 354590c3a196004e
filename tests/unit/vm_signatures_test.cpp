#include <gtest/gtest.h>

#include "vm/signatures.h"

namespace vorq {
namespace {

struct One {
    const char* in;
    const char* want;
};

TEST(VmSignatures, HypervisorVendor) {
    const One cases[] = {
        {"VMwareVMware", "VMware"}, {"vmwarevmware", ""},           {" prl hyperv ", "Parallels"},
        {"lrpepyh  vr", "Parallels"}, {"KVMKVMKVM", "KVM/QEMU"},    {"Microsoft Hv", ""},
        {"BHyVE BHyVE", "bhyve"},   {"TCGTCGTCGTCG", "QEMU/TCG"},
    };
    for (const auto& c : cases) EXPECT_EQ(HypervisorVendorFamily(c.in), c.want) << c.in;
    EXPECT_EQ(HypervisorVendorFamily(std::string("KVMKVMKVM\0\0\0", 12)), "");
}

TEST(VmSignatures, SmbiosVendor) {
    struct Case {
        const char *m, *p, *s, *family, *cloud;
        bool virt;
    } cases[] = {
        {"innotek GmbH", "VirtualBox", "", "VirtualBox", "", true},
        {"QEMU", "", "", "", "", false},
        {"QEMU", "Standard PC (Q35 + ICH9, 2009)", "", "KVM/QEMU", "", true},
        {" Microsoft Corporation ", "Virtual Machine", "", "Hyper-V", "", true},
        {"Google", "Google Compute Engine", "GoogleCloud-ABC", "Google Compute Engine", "Google Cloud", true},
        {"Google", "Google Compute Engine", "GoogleCloud-BM-ABC", "", "Google Cloud", false},
        {"Amazon EC2", "m5.large", "", "AWS EC2", "AWS EC2", true},
        {"Amazon EC2", "m5.metal", "", "", "AWS EC2", false},
        {"Amazon EC2", "m5large", "", "", "AWS EC2", false},
        {"Amazon EC2", ".m5", "", "", "AWS EC2", false},
        {"Amazon EC2", "m5.", "", "", "AWS EC2", false},
        {"DigitalOcean", "Droplet", "", "KVM/QEMU", "DigitalOcean", true},
        {"Alibaba Cloud", "ECS", "", "", "Alibaba Cloud", false},
        {"OpenStack Foundation", "OpenStack Nova", "", "OpenStack", "OpenStack", true},
        {"Dell Inc.", "OptiPlex 7090", "", "", "", false},
    };
    for (const auto& c : cases) {
        SmbiosVendorMatch m = SmbiosVendorFamily(c.m, c.p, c.s);
        EXPECT_EQ(m.family, c.family) << c.m << "/" << c.p;
        EXPECT_EQ(m.cloud, c.cloud) << c.m << "/" << c.p;
        EXPECT_EQ(m.virtual_, c.virt) << c.m << "/" << c.p;
    }
}

TEST(VmSignatures, FirmwareTexts) {
    EXPECT_EQ(BiosVendorFamily("innotek GmbH", "VirtualBox"), "VirtualBox");
    EXPECT_EQ(BiosVendorFamily("QEMU", ""), "");
    EXPECT_EQ(BiosVendorFamily("VMware, Inc.", "VMW71.00V"), "VMware");
    EXPECT_EQ(BoardProductFamily("qemu"), "");
    EXPECT_EQ(BoardProductFamily("QEMU x"), "KVM/QEMU");
    EXPECT_EQ(BoardProductFamily("Microsoft Corporation Virtual Machine"), "Hyper-V");
    const One brands[] = {
        {"QEMU Virtual CPU version 2.5+", "KVM/QEMU"}, {"QEMU Virtual CPU version ", ""},
        {"QEMU Virtual CPU version x2", ""},           {"Common KVM processor", "KVM/QEMU"},
        {"Intel(R) Core(TM) i7", ""},
    };
    for (const auto& c : brands) EXPECT_EQ(CpuBrandFamily(c.in), c.want) << c.in;
    const One oem[] = {{"vboxVer_6.1.26", "VirtualBox"}, {"vboxRev_145957", "VirtualBox"}, {"vboxVer_6.1", ""},
                       {"vboxVer_6..26", ""},            {"vboxRev_", ""},                 {"vboxVer_6.1.26x", ""}};
    for (const auto& c : oem) EXPECT_EQ(OemStringFamily(c.in), c.want) << c.in;
}

TEST(VmSignatures, DevicesAndDrivers) {
    const One drivers[] = {{"VBoxGuest.sys", "VirtualBox"}, {"vboxguest", "VirtualBox"}, {" vboxguest", ""},
                           {"netkvm", "virtio"},            {"XENVBD", "Xen"},           {"prl_eth", "Parallels"},
                           {".sys", ""},                    {"disk", ""}};
    for (const auto& c : drivers) EXPECT_EQ(DriverNameFamily(c.in), c.want) << c.in;
    const One macs[] = {{"00-50-56-C0-00-08", ""}, {"00:50:56:AB:CD:EF", "VMware"}, {"08:00:27:12:34", ""},
                        {"080027123456", "VirtualBox"}, {"00-16-3e-00-00-01", "Xen"}};
    for (const auto& c : macs) EXPECT_EQ(MacOuiFamily(c.in), c.want) << c.in;
    const One pci[] = {
        {"PCI\\VEN_15AD&DEV_0405&SUBSYS_040515AD&REV_00", "VMware"},
        {"PCI\\VEN_15AD&DEV_0405", "VMware"},
        {"pci\\ven_80ee&dev_beef", "VirtualBox"},
        {"PCI\\VEN_15AD&DEV_0405\\3&1", ""},
        {"PCI\\VEN_1AF4&DEV_1041", "virtio"},
        {"PCI\\VEN_1AF4&DEV_10F0", ""},
        {"PCI\\VEN_1B36&DEV_000D", "QEMU"},
        {"PCI\\VEN_8086&DEV_1237", ""},
        {"PCI\\VEN_15AX&DEV_0405", ""},
        {"PCI\\SUBSYS_1&VEN_15AD&DEV_0405", ""},
        {"PCI\\VEN_15ADDEV_0405", ""},
    };
    for (const auto& c : pci) EXPECT_EQ(PciIdFamily(c.in), c.want) << c.in;
    EXPECT_EQ(PciTextFamily("1af4:1050"), "virtio");
    EXPECT_EQ(PciTextFamily("1AF4:1050 rev 01"), "virtio");
    EXPECT_EQ(PciTextFamily("1af4:1050x"), "");
    EXPECT_EQ(DiskModelFamily("QEMU HARDDISK"), "KVM/QEMU");
    EXPECT_EQ(DiskModelFamily("Samsung SSD 980"), "");
    EXPECT_EQ(NicDescriptionFamily("Red Hat VirtIO Ethernet Adapter"), "virtio");
    EXPECT_EQ(NicDescriptionFamily("VirtIO host-only adapter"), "");
    EXPECT_TRUE(IsHostOrTunnelAdapter("Hyper-V Virtual Ethernet Adapter (vEthernet)"));
}

TEST(VmSignatures, DeviceIdsDisplaysAndInputs) {
    EXPECT_EQ(DeviceIdFamily("XENBUS\\VEN_XSC000&DEV_VIF&REV_00000001"), "Xen");
    EXPECT_EQ(DeviceIdFamily("xenbus\\ven_x&dev_vif"), "Xen");
    EXPECT_EQ(DeviceIdFamily("xenbus\\ven_&dev_vif"), "");
    EXPECT_EQ(DeviceIdFamily("ACPI\\QEMU0002\\1"), "QEMU");
    EXPECT_EQ(DeviceIdFamily("ACPI\\QEMU00021"), "");
    EXPECT_EQ(NicDriverFamily("Net", "VirtualBox Host-Only Ethernet Adapter", "PCI\\VEN_80EE&DEV_CAFE", "netkvm"), "");
    EXPECT_EQ(NicDriverFamily("Net", "Ethernet", "XENBUS\\VEN_XSC000&DEV_VIF", ""), "Xen");
    EXPECT_EQ(NicDriverFamily("Net", "Ethernet", "", "vmxnet3.sys"), "VMware");
    EXPECT_EQ(DisplayAdapterFamily("Microsoft Basic Display Adapter", "PCI\\VEN_15AD&DEV_0405"), "VMware SVGA");
    EXPECT_EQ(DisplayAdapterFamily("Microsoft Basic Display Adapter", "ROOT\\BasicDisplay\\0000"), "");
    EXPECT_EQ(DisplayAdapterFamily("Red Hat QXL controller", ""), "QEMU");
    EXPECT_EQ(StorageAdapterFamily("SCSIAdapter", "", "pvscsi.sys"), "VMware");
    EXPECT_EQ(StorageAdapterFamily("DiskDrive", "", "pvscsi.sys"), "");
    EXPECT_EQ(MonitorEdidFamily("QEMU Monitor", "RHT 1234"), "QEMU");
    EXPECT_EQ(MonitorEdidFamily("QEMU Monitor", "RHT 1235"), "");
    EXPECT_EQ(InputDeviceFamily("HIDClass", "HID\\VID_80EE&PID_0021&MI_00"), "VirtualBox");
    EXPECT_EQ(InputDeviceFamily("Keyboard", "HID\\VID_80EE&PID_0021"), "");
    EXPECT_EQ(InputDeviceFamily("Mouse", "USB\\VID_80EE&PID_00210"), "");
}

// What hypervisors write when a guest's owner sets nothing is shown; what an
// owner typed, even beside a hypervisor's word, is not.
TEST(VmSignatures, HypervisorDefaultNames) {
    const struct {
        const char* text;
        bool hypervisors;
    } cases[] = {
        {"QEMU", true}, {"Standard PC (i440FX + PIIX, 1996)", true}, {"pc-q35-8.2", true}, {"pc-i440fx-7.2", true},
        {"innotek GmbH", true}, {"VirtualBox", true}, {"1.2", true}, {"VMware, Inc.", true}, {"VMware7,1", true},
        {"440BX Desktop Reference Platform", true}, {"Virtual Machine", true}, {"Hyper-V UEFI Release v4.1", false},
        {"HVM domU", true}, {"Parallels Virtual Platform", true},
        {"QEMU Ana", false}, {"Ana's VM", false}, {"pc-q35-ana", false}, {"12345678901", false}, {"7", false},
        {"Lindqvist build box", false}, {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsHypervisorDefaultName(c.text), c.hypervisors) << c.text;
}

}  // namespace
}  // namespace vorq
