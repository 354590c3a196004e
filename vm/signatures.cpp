#include "vm/signatures.h"

#include <cstdint>
#include <initializer_list>

#include "core/text.h"

namespace vorq {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsHexDigit(char c) { return HexDigitValue(c) >= 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWith(std::string_view s, std::string_view p) { return s.size() >= p.size() && s.compare(0, p.size(), p) == 0; }
bool Contains(std::string_view s, std::string_view p) { return s.find(p) != std::string_view::npos; }
bool OneOf(std::string_view s, std::initializer_list<std::string_view> list) {
    for (std::string_view e : list)
        if (s == e) return true;
    return false;
}

uint32_t HexValue(std::string_view digits) {
    uint32_t v = 0;
    for (char c : digits) v = v * 16 + static_cast<uint32_t>(HexDigitValue(c));
    return v;
}

// The text after `at` is the end, '&' or '\'.
bool BoundaryAt(std::string_view s, size_t at) { return at == s.size() || s[at] == '&' || s[at] == '\\'; }

}  // namespace

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

std::string TrimBlank(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return std::string(text.substr(b, e - b));
}

std::string NormalizeMatchText(std::string_view text) { return LowerAscii(TrimBlank(text)); }

std::string NormalizeDriverName(std::string_view text) {
    std::string s = NormalizeMatchText(text);
    if (s.size() >= 5 && s.compare(s.size() - 4, 4, ".sys") == 0) s.resize(s.size() - 4);
    return s;
}

std::string HypervisorVendorFamily(std::string_view vendorId) {
    const std::string v = TrimBlank(vendorId);
    struct Entry {
        std::string_view id;
        const char* family;
    };
    static const Entry kVendors[] = {
        {"VMwareVMware", "VMware"},    {"VBoxVBoxVBox", "VirtualBox"}, {"KVMKVMKVM", "KVM/QEMU"},
        {"TCGTCGTCGTCG", "QEMU/TCG"},  {"XenVMMXenVMM", "Xen"},        {"prl hyperv", "Parallels"},
        {"lrpepyh vr", "Parallels"},   {"lrpepyh  vr", "Parallels"},   {"bhyve bhyve", "bhyve"},
        {"BHyVE BHyVE", "bhyve"},
    };
    for (const Entry& e : kVendors)
        if (v == e.id) return e.family;
    return {};
}

// An EC2 virtual instance type such as "m5.large" (bare-metal types contain "metal").
static bool LooksLikeInstanceType(const std::string& p) {
    if (p.empty()) return false;
    for (char c : p)
        if (!((c >= 'a' && c <= 'z') || IsDigit(c) || c == '-' || c == '.')) return false;
    size_t dot = p.find('.');
    if (dot == std::string::npos || dot == 0 || dot == p.size() - 1) return false;
    return !Contains(p, "metal");
}

SmbiosVendorMatch SmbiosVendorFamily(std::string_view manufacturer, std::string_view product, std::string_view serial) {
    const std::string m = NormalizeMatchText(manufacturer);
    const std::string p = NormalizeMatchText(product);
    const std::string s = NormalizeMatchText(serial);
    SmbiosVendorMatch r;
    auto set = [&r](const char* family, const char* cloud = "") {
        r.family = family;
        r.cloud = cloud;
        r.virtual_ = true;
    };
    if (p == "virtualbox") set("VirtualBox");
    else if (p == "vmware virtual platform") set("VMware");
    else if (m == "vmware, inc." && p == "vmware7,1") set("VMware");
    else if ((m == "microsoft corporation" || m == "microsoft") && p == "virtual machine") set("Hyper-V");
    else if (m == "qemu" && !p.empty()) set("KVM/QEMU");
    else if ((m == "red hat" || m == "red hat, inc.") && p == "kvm") set("KVM/QEMU");
    else if (m == "xen" && (p == "hvm domu" || p == "xen")) set("Xen");
    else if (p == "xen hvm domu") set("Xen");
    else if (p == "parallels virtual platform" || p == "parallels arm virtual machine") set("Parallels");
    else if (p == "bhyve" || m == "bhyve") set("bhyve");
    else if (m == "bochs" && p == "bochs") set("Bochs");
    else if (m == "openstack foundation" && p == "openstack nova") set("OpenStack", "OpenStack");

    if (m == "google" && p == "google compute engine") {
        r.cloud = "Google Cloud";
        if (StartsWith(s, "googlecloud-") && !StartsWith(s, "googlecloud-bm-")) {
            r.family = "Google Compute Engine";
            r.virtual_ = true;
        }
    } else if (m == "amazon ec2") {
        r.cloud = "AWS EC2";
        if (LooksLikeInstanceType(p)) {
            r.family = "AWS EC2";
            r.virtual_ = true;
        }
    } else if (m == "digitalocean" && p == "droplet") {
        r.family = "KVM/QEMU";
        r.cloud = "DigitalOcean";
        r.virtual_ = true;
    } else if (m == "alibaba cloud" || m == "alibaba cloud computing") {
        r.cloud = "Alibaba Cloud";
    }
    return r;
}

std::string BiosVendorFamily(std::string_view vendor, std::string_view version) {
    const std::string v = NormalizeMatchText(vendor);
    const std::string ver = NormalizeMatchText(version);
    if (ver == "virtualbox" && (v == "innotek gmbh" || v == "oracle corporation")) return "VirtualBox";
    if (v == "qemu" && !ver.empty()) return "KVM/QEMU";
    if ((v == "vmware, inc." || v == "vmware") && !ver.empty()) return "VMware";
    return {};
}

bool SmbiosDescribesVirtualMachine(const SmbiosIdentity& id) {
    if (id.vmFlag || !BiosVendorFamily(id.biosVendor, id.biosVersion).empty() ||
        SmbiosVendorFamily(id.manufacturer, id.product, "").virtual_ ||
        !BoardProductFamily(std::string(id.boardManufacturer) + " " + std::string(id.boardProduct)).empty())
        return true;
    const std::string v = NormalizeMatchText(id.biosVendor);
    // Vendors of firmware no physical machine ships; "EDK II" alone is also a
    // physical board's, so OVMF counts by its older name or the flag.
    if (OneOf(v, {"seabios", "efi development kit ii / ovmf", "bochs", "the bochs project", "xen", "innotek gmbh",
                  "qemu", "vmware, inc.", "parallels software international inc."}))
        return true;
    return v == "microsoft corporation" && StartsWith(NormalizeMatchText(id.biosVersion), "hyper-v");
}

bool IsHypervisorDefaultName(std::string_view text) {
    const std::string t = NormalizeMatchText(text);
    // What QEMU, VirtualBox, VMware, Hyper-V, Xen, Parallels, Bochs and bhyve
    // write into types 1, 2 and 3 by default, and the versions they stamp.
    if (OneOf(t, {"qemu", "standard pc (i440fx + piix, 1996)", "standard pc (q35 + ich9, 2009)", "red hat", "red hat, inc.",
                  "kvm", "innotek gmbh", "oracle corporation", "virtualbox", "vmware, inc.", "vmware virtual platform",
                  "vmware7,1", "intel corporation", "440bx desktop reference platform", "no enclosure", "none",
                  "microsoft corporation", "virtual machine", "hyper-v", "xen", "hvm domu", "bochs", "bhyve",
                  "parallels software international inc.", "parallels international gmbh.",
                  "parallels virtual platform", "parallels arm virtual machine"}))
        return true;
    // QEMU's machine types ("pc-q35-8.2", "pc-i440fx-7.2") and the short
    // version numbers the others stamp ("1.2", "7.0").
    auto versionTail = [](std::string_view v) {
        if (v.empty() || v.size() > 8) return false;
        for (char c : v)
            if (!IsDigit(c) && c != '.') return false;
        return IsDigit(v.front()) && IsDigit(v.back());
    };
    for (std::string_view machine : {"pc-q35-", "pc-i440fx-", "pc-"})
        if (StartsWith(t, machine) && versionTail(std::string_view(t).substr(machine.size()))) return true;
    return versionTail(t) && t.find('.') != std::string::npos;
}

std::string BoardProductFamily(std::string_view text) {
    const std::string t = NormalizeMatchText(text);
    if (OneOf(t, {"oracle corporation virtualbox", "innotek gmbh virtualbox"})) return "VirtualBox";
    if (OneOf(t, {"vmware, inc. vmware virtual platform", "vmware, inc. vmware7,1"})) return "VMware";
    if (OneOf(t, {"microsoft corporation virtual machine", "microsoft virtual machine"})) return "Hyper-V";
    if (StartsWith(t, "qemu ") && t.size() >= 6) return "KVM/QEMU";
    if (OneOf(t, {"red hat kvm", "red hat, inc. kvm"})) return "KVM/QEMU";
    return {};
}

std::string CpuBrandFamily(std::string_view brand) {
    const std::string b = NormalizeMatchText(brand);
    if (b == "common kvm processor" || b == "common 32-bit kvm processor") return "KVM/QEMU";
    static constexpr std::string_view kQemu = "qemu virtual cpu version ";
    if (StartsWith(b, kQemu) && b.size() >= 26 && b.size() <= 48 && IsDigit(b[25])) {
        for (size_t i = 25; i < b.size(); ++i)
            if (!(IsDigit(b[i]) || b[i] == '.' || b[i] == '+' || b[i] == '-')) return {};
        return "KVM/QEMU";
    }
    return {};
}

std::string OemStringFamily(std::string_view text) {
    const std::string t = NormalizeMatchText(text);
    auto allDigits = [](std::string_view s) {
        if (s.empty()) return false;
        for (char c : s)
            if (!IsDigit(c)) return false;
        return true;
    };
    if (StartsWith(t, "vboxver_")) {
        std::string_view v = std::string_view(t).substr(8);
        size_t a = v.find('.');
        if (a == std::string_view::npos) return {};
        size_t b = v.find('.', a + 1);
        if (b == std::string_view::npos) return {};
        if (allDigits(v.substr(0, a)) && allDigits(v.substr(a + 1, b - a - 1)) && allDigits(v.substr(b + 1)))
            return "VirtualBox";
        return {};
    }
    if (StartsWith(t, "vboxrev_") && allDigits(std::string_view(t).substr(8))) return "VirtualBox";
    return {};
}

std::string DriverNameFamily(std::string_view name) {
    std::string n = LowerAscii(name);
    if (n.size() >= 5 && n.compare(n.size() - 4, 4, ".sys") == 0) n.resize(n.size() - 4);
    struct Entry {
        const char* family;
        std::initializer_list<std::string_view> names;
    };
    static const Entry kDrivers[] = {
        {"VirtualBox", {"vboxguest", "vboxsf", "vboxvideo", "vboxwddm"}},
        {"VMware", {"vmhgfs", "vmmouse", "vm3dmp", "vm3dmp_loader", "vmmemctl", "vmxnet3", "vmxnet", "pvscsi"}},
        {"Xen",
         {"xenbus", "xeniface", "xenvbd", "xennet", "xenvif", "xenfilt", "xencons", "xenhid", "xenvkbd", "xencrsh"}},
        {"virtio",
         {"viostor", "vioscsi", "netkvm", "balloon", "vioinput", "vioser", "virtioserial", "viorng", "virtrng", "viosock",
          "virtiosocket", "viofs", "virtiofsdrv", "viogpu", "viogpudod", "viomem", "fwcfg", "pvpanic"}},
        {"Parallels", {"prl_tg", "prl_fs", "prl_eth"}},
    };
    for (const Entry& e : kDrivers)
        if (OneOf(n, e.names)) return e.family;
    return {};
}

bool IsHostOrTunnelAdapter(std::string_view text) {
    const std::string t = LowerAscii(text);
    for (std::string_view k : {"host-only", "host only", "hostonly", "vmnet", "vethernet", "vpn", "wireguard", "tap-windows",
                               "tunnel"})
        if (Contains(t, k)) return true;
    return false;
}

std::string NicDescriptionFamily(std::string_view description) {
    if (IsHostOrTunnelAdapter(description)) return {};
    const std::string d = LowerAscii(description);
    struct Entry {
        std::string_view part;
        const char* family;
    };
    static const Entry kNics[] = {
        {"vmxnet", "VMware"}, {"vmware accelerated amd", "VMware"}, {"virtio", "virtio"},
        {"xen net", "Xen"},   {"xenserver pv", "Xen"},              {"parallels ethernet", "Parallels"},
    };
    for (const Entry& e : kNics)
        if (Contains(d, e.part)) return e.family;
    return {};
}

std::string MacOuiFamily(std::string_view mac) {
    std::string digits;
    for (char c : mac)
        if (IsHexDigit(c)) digits.push_back(c);
    digits = UpperAscii(digits);
    if (digits.size() != 12 || StartsWith(digits, "005056C0")) return {};
    const std::string_view oui = std::string_view(digits).substr(0, 6);
    if (OneOf(oui, {"000569", "000C29", "001C14", "005056"})) return "VMware";
    if (oui == "080027") return "VirtualBox";
    if (oui == "00163E") return "Xen";
    if (oui == "001C42") return "Parallels";
    return {};
}

std::string PciIdFamily(std::string_view id) {
    const std::string u = UpperAscii(id);
    if (!StartsWith(u, "PCI\\") || u.find("VEN_") != 4) return {};
    const size_t p = u.find("DEV_");
    if (p == std::string::npos || p == 0 || u[p - 1] != '&') return {};
    if (u.size() < 12 || u.size() < p + 8) return {};
    if (!(u.size() == 12 || u[12] == '&')) return {};
    if (!(u.size() == p + 8 || u[p + 8] == '&')) return {};
    const std::string_view ven = std::string_view(u).substr(8, 4);
    const std::string_view dev = std::string_view(u).substr(p + 4, 4);
    for (char c : ven)
        if (!IsHexDigit(c)) return {};
    for (char c : dev)
        if (!IsHexDigit(c)) return {};
    const uint32_t v = HexValue(ven), d = HexValue(dev);
    auto in = [d](uint32_t lo, uint32_t hi) { return d >= lo && d <= hi; };
    auto any = [d](std::initializer_list<uint32_t> l) {
        for (uint32_t x : l)
            if (d == x) return true;
        return false;
    };
    switch (v) {
        case 0x1234: return d == 0x1111 ? "QEMU/Bochs" : "";
        case 0x15AD:
            return in(0x0405, 0x0409) || any({0x0720, 0x0730, 0x0740, 0x07B0, 0x07C0, 0x07E0, 0x07F0}) ? "VMware" : "";
        case 0x1AB8: return any({0x4005, 0x4006}) ? "Parallels" : "";
        case 0x1AF4: return in(0x1000, 0x1005) || any({0x1009, 0x1012}) || in(0x1040, 0x10EF) ? "virtio" : "";
        case 0x1B36: return in(0x0001, 0x0004) || any({0x0008, 0x0010, 0x0100}) || in(0x000C, 0x000E) ? "QEMU" : "";
        case 0x5853: return any({0x0001, 0x0002}) ? "Xen" : "";
        case 0x80EE: return any({0xBEEF, 0xCAFE}) ? "VirtualBox" : "";
        default: return {};
    }
}

std::string PciTextFamily(std::string_view text) {
    const std::string t = NormalizeMatchText(text);
    if (t.size() > 8 && t[4] == ':') {
        bool hex = true;
        for (size_t i : {0, 1, 2, 3, 5, 6, 7, 8})
            hex = hex && IsHexDigit(t[i]);
        if (hex && (t.size() == 9 || t[9] == ' '))
            return PciIdFamily("PCI\\VEN_" + t.substr(0, 4) + "&DEV_" + t.substr(5, 4));
    }
    return PciIdFamily(text);
}

std::string DiskModelFamily(std::string_view model) {
    const std::string m = LowerAscii(model);
    if (Contains(m, "vmware virtual")) return "VMware";
    if (Contains(m, "vbox harddisk") || Contains(m, "vbox cd-rom")) return "VirtualBox";
    if (Contains(m, "qemu harddisk") || Contains(m, "qemu nvme") || Contains(m, "qemu dvd-rom")) return "KVM/QEMU";
    if (Contains(m, "xen vbd") || Contains(m, "xensrc pvdisk")) return "Xen";
    return {};
}

bool HasDeviceIdPrefix(std::string_view id, std::string_view prefix) {
    return StartsWith(id, prefix) && BoundaryAt(id, prefix.size());
}

std::string DeviceIdFamily(std::string_view id) {
    const std::string n = NormalizeMatchText(id);
    if (HasDeviceIdPrefix(n, "acpi\\qemu0002") || HasDeviceIdPrefix(n, "acpi\\ven_qemu&dev_0002")) return "QEMU";
    if (StartsWith(n, "xenbus\\ven_") && n.size() >= 12) {
        const size_t at = n.find("&dev_");
        if (at != std::string::npos && at >= 12) {
            const size_t start = at + 5;
            size_t end = n.find_first_of("&\\", start);
            if (end == std::string::npos) end = n.size();
            if (OneOf(std::string_view(n).substr(start, end - start), {"vbd", "vif", "iface", "cons", "vkbd"})) return "Xen";
        }
    }
    return {};
}

bool IsSoftwareDisplayAdapter(std::string_view name, std::string_view id) {
    const std::string n = NormalizeMatchText(name);
    const std::string i = NormalizeMatchText(id);
    for (std::string_view k : {"remote display", "indirect display", "displaylink", "spacedesk", "citrix", "parsec",
                               "virtual display driver", "basic render", "basic display"})
        if (Contains(n, k)) return true;
    if (n == "warp" || n == "microsoft warp") return true;
    for (std::string_view p : {"root\\rdpidd", "root\\basicdisplay", "root\\basicrender"})
        if (HasDeviceIdPrefix(i, p)) return true;
    return false;
}

std::string DisplayAdapterFamily(std::string_view name, std::string_view id) {
    std::string f = PciTextFamily(id);
    if (!f.empty()) return f == "VMware" ? "VMware SVGA" : f;
    if (IsSoftwareDisplayAdapter(name, id)) return {};
    const std::string n = NormalizeMatchText(name);
    if (OneOf(n, {"vmware svga 3d", "vmware svga ii", "vmware svga"})) return "VMware SVGA";
    if (OneOf(n, {"virtualbox graphics adapter", "virtualbox graphics adapter (wddm)",
                  "virtualbox graphics adapter for windows 8"}))
        return "VirtualBox";
    if (OneOf(n, {"red hat qxl controller", "red hat qxl gpu", "qxl controller"})) return "QEMU";
    if (OneOf(n, {"red hat virtio gpu", "red hat virtio gpu dod controller"})) return "virtio";
    return {};
}

std::string MonitorEdidFamily(std::string_view name, std::string_view edid) {
    const std::string n = NormalizeMatchText(name);
    const std::string e = NormalizeMatchText(edid);
    if (n == "qemu monitor" && e == "rht 1234") return "QEMU";
    if (n == "vbox monitor" && e == "vbx 0000") return "VirtualBox";
    return {};
}

std::string InputDeviceFamily(std::string_view deviceClass, std::string_view id) {
    const std::string c = LowerAscii(deviceClass);
    if (c != "hidclass" && c != "mouse") return {};
    const std::string i = LowerAscii(id);
    for (std::string_view bus : {"usb\\", "hid\\"}) {
        for (std::string_view product : {"0020", "0021", "0022", "0023"}) {
            std::string prefix = std::string(bus) + "vid_80ee&pid_" + std::string(product);
            if (HasDeviceIdPrefix(i, prefix)) return "VirtualBox";
        }
    }
    return {};
}

// The first occurrence of `part` in `n` exists and is followed by a boundary.
static bool FirstOccurrenceBounded(const std::string& n, std::string_view part) {
    const size_t at = n.find(part);
    return at != std::string::npos && BoundaryAt(n, at + part.size());
}

std::string NicDriverFamily(std::string_view deviceClass, std::string_view description, std::string_view id,
                            std::string_view driver) {
    if (NormalizeMatchText(deviceClass) != "net" || IsHostOrTunnelAdapter(description)) return {};
    std::string f = PciTextFamily(id);
    if (!f.empty()) return f;
    const std::string n = NormalizeMatchText(id);
    if (DeviceIdFamily(n) == "Xen" && FirstOccurrenceBounded(n, "&dev_vif")) return "Xen";
    const std::string d = NormalizeDriverName(driver);
    if (OneOf(d, {"netkvm", "vmxnet", "vmxnet3", "xennet", "xenvif", "prl_eth"})) {
        f = DriverNameFamily(d);
        if (!f.empty()) return f;
    }
    return NicDescriptionFamily(description);
}

std::string StorageAdapterFamily(std::string_view deviceClass, std::string_view id, std::string_view driver) {
    const std::string c = NormalizeMatchText(deviceClass);
    if (c != "scsiadapter" && c != "hdc") return {};
    std::string f = PciTextFamily(id);
    if (!f.empty()) return f;
    const std::string n = NormalizeMatchText(id);
    if (DeviceIdFamily(n) == "Xen" && FirstOccurrenceBounded(n, "&dev_vbd")) return "Xen";
    const std::string d = NormalizeDriverName(driver);
    if (OneOf(d, {"viostor", "vioscsi", "pvscsi", "xenvbd"})) return DriverNameFamily(d);
    return {};
}

}  // namespace vorq
