// Every matcher over arbitrary text answers empty or a known family name.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "vm/signatures.h"

static void Check(const std::string& f) {
    static const std::set<std::string> kFamilies = {
        "",          "VirtualBox", "VMware",     "Hyper-V",   "KVM/QEMU",    "Xen",
        "virtio",    "Parallels",  "bhyve",      "QEMU/TCG",  "QEMU",        "QEMU/Bochs",
        "Bochs",     "VMware SVGA", "OpenStack", "Google Compute Engine",    "AWS EC2"};
    if (!kFamilies.count(f)) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string all(reinterpret_cast<const char*>(data), size);
    size_t cut = all.find('\x1f');
    std::string a = all.substr(0, cut), b = cut == std::string::npos ? "" : all.substr(cut + 1);
    using namespace vorq;
    Check(HypervisorVendorFamily(a));
    SmbiosVendorMatch m = SmbiosVendorFamily(a, b, a);
    Check(m.family);
    Check(BiosVendorFamily(a, b));
    Check(BoardProductFamily(a));
    Check(CpuBrandFamily(a));
    Check(OemStringFamily(a));
    Check(DriverNameFamily(a));
    Check(NicDescriptionFamily(a));
    Check(MacOuiFamily(a));
    Check(PciIdFamily(a));
    Check(PciTextFamily(a));
    Check(DiskModelFamily(a));
    Check(DeviceIdFamily(a));
    Check(DisplayAdapterFamily(a, b));
    Check(MonitorEdidFamily(a, b));
    Check(InputDeviceFamily(a, b));
    Check(NicDriverFamily(a, b, b, a));
    Check(StorageAdapterFamily(a, b, a));
    (void)IsSoftwareDisplayAdapter(a, b);
    (void)IsHostOrTunnelAdapter(a);
    return 0;
}
