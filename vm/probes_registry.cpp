// Registry and namespace artifact probes: legacy BIOS strings and the system
// information mirror, the volatile SCSI device map, guest driver service keys,
// guest tools directories, guest tray windows and guest DOS device aliases.
#include <algorithm>
#include <deque>
#include <utility>

#include "core/text.h"
#include "vm/signatures.h"
#include "vm/vm.h"
#include "vm/vm_artifacts.h"

namespace vorq {

namespace {

const NameFamily kGuestDriverServices[] = {
    {"vboxguest", "VirtualBox"}, {"vboxmouse", "VirtualBox"}, {"vboxsf", "VirtualBox"}, {"vboxvideo", "VirtualBox"},
    {"vmhgfs", "VMware"},        {"vmmemctl", "VMware"},      {"virtioserial", "virtio"}, {"virtrng", "virtio"},
    {"viostor", "virtio"},       {"vioscsi", "virtio"},       {"xenbus", "Xen"},          {"xenvbd", "Xen"},
    {"xenvif", "Xen"},
};

const NameFamily kGuestToolsDirectories[] = {
    {"\\Oracle\\VirtualBox Guest Additions", "VirtualBox"},
    {"\\VMware\\VMware Tools", "VMware"},
};

const NameFamily kGuestDosDevices[] = {{"VBoxGuest", "VirtualBox"}, {"VBoxMiniRdrDN", "VirtualBox"}, {"HGFS", "VMware"}};

constexpr size_t kScsiKeys = 256;
constexpr uint64_t kScsiWalkMs = 50;
constexpr int kScsiDepth = 4;
constexpr uint32_t kScsiChildren = 32;
constexpr size_t kRegStringBuffer = 8192;
constexpr size_t kRegStringUnits = 4096;

bool OpenHklmKeyForScan(const VmSystemAccess& sys, const std::string& path, ArtifactScan& scan) {
    return ClassifyLookup(scan, sys.regOpenKey(path, RegView::kDefault));
}

std::vector<std::string> ReadRegistryStrings(const VmSystemAccess& sys, const std::string& path, const char* value,
                                             ArtifactScan& scan) {
    const RegValueRead r = sys.regReadValue(path, value, true, kRegStringBuffer);
    if (r.error != 0) {
        ClassifyLookup(scan, r.error);
        return {};
    }
    return ParseRegistryStrings(r.type, r.data, scan);
}

std::string ReadRegistryFirstString(const VmSystemAccess& sys, const std::string& path, const char* value,
                                    ArtifactScan& scan) {
    std::vector<std::string> strings = ReadRegistryStrings(sys, path, value, scan);
    return strings.empty() ? std::string() : std::move(strings.front());
}

void CheckGuestToolsDirectory(const VmSystemAccess& sys, ArtifactScan& scan, KnownFolder folder, const NameFamily& dir) {
    const KnownFolderRead f = sys.knownFolder(folder);
    if (f.hr < 0) {
        scan.accessError = true;
        return;
    }
    // Only a folder on a local fixed drive says something about this system.
    if (f.path.size() <= 2 || f.path[1] != ':' || f.path[2] != '\\' || sys.driveType(f.path.substr(0, 3)) != kDriveFixed) {
        scan.accessError = true;
        return;
    }
    const FileAttributesRead a = sys.fileAttributes(f.path + dir.name);
    if (!a.valid) {
        ClassifyLookup(scan, a.error);
        return;
    }
    scan.examined = true;
    if (a.attributes & kFileAttributeDirectory) scan.families.insert(dir.family);
}

}  // namespace

std::vector<std::string> ParseRegistryStrings(uint32_t type, const std::vector<uint8_t>& data, ArtifactScan& scan) {
    std::vector<std::string> out;
    if (data.size() % 2 != 0) {
        scan.accessError = true;
        return out;
    }
    const size_t units = std::min(data.size() / 2, kRegStringUnits);
    auto unit = [&data](size_t i) { return static_cast<uint16_t>(data[2 * i] | data[2 * i + 1] << 8); };
    size_t pos = 0;
    while (pos < units && unit(pos) != 0) {
        size_t end = pos;
        while (end < units && unit(end) != 0) ++end;
        if (end == units) {
            scan.accessError = true;
            break;
        }
        out.push_back(Utf16LeBytesToUtf8(data.data() + 2 * pos, 2 * (end - pos)));
        if (type != kRegMultiSz) break;
        pos = end + 1;
    }
    return out;
}

bool ContainsWord(std::string_view text, std::string_view word) {
    if (word.empty()) return false;
    const std::string t = LowerAscii(text);
    const std::string w = LowerAscii(word);
    auto alnum = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); };
    for (size_t at = t.find(w); at != std::string::npos; at = t.find(w, at + 1)) {
        const bool before = at > 0 && alnum(t[at - 1]);
        const bool after = at + w.size() < t.size() && alnum(t[at + w.size()]);
        if (!before && !after) return true;
    }
    return false;
}

void AddWindowsArtifactProbe(VmProbeList& probes, std::string id, std::string category, std::string title,
                             std::string method, int32_t group, int32_t weight, const ArtifactScan& scan) {
    VmProbe p = MakeVmProbe(std::move(id), std::move(category), std::move(title), std::move(method), group, kWeak, weight);
    p.result = ArtifactScanResult(scan);
    p.families = JoinSet(scan.families);
    switch (p.result) {
        case kDetected: p.evidence = "A selected Windows guest artifact was found."; break;
        case kProbeError: p.evidence = "Windows artifact access was incomplete."; break;
        case kInconclusive: p.evidence = "The bounded Windows artifact check was incomplete."; break;
        default: p.evidence = "No selected Windows guest artifact was found."; break;
    }
    p.caveat = scan.accessError || scan.incomplete ? "Some optional artifact probes could not be completed."
                                                   : "Registry mirrors and guest package artifacts share their existing evidence group.";
    AppendProbe(probes, std::move(p));
}

ArtifactScan ScanLegacyBiosRegistry(const VmSystemAccess& sys) {
    ArtifactScan scan;
    if (!sys.regOpenKey || !sys.regReadValue) return scan;
    const std::string system = "HARDWARE\\DESCRIPTION\\System";
    if (OpenHklmKeyForScan(sys, system, scan)) {
        for (const char* value : {"SystemBiosVersion", "VideoBiosVersion"}) {
            for (const std::string& text : ReadRegistryStrings(sys, system, value, scan)) {
                if (ContainsWord(text, "VirtualBox") || ContainsWord(text, "VBOX")) scan.families.insert("VirtualBox");
                if (ContainsWord(text, "VMware")) scan.families.insert("VMware");
                if (ContainsWord(text, "QEMU") || ContainsWord(text, "BOCHS")) scan.families.insert("KVM/QEMU");
            }
        }
    }
    const std::string info = "SYSTEM\\CurrentControlSet\\Control\\SystemInformation";
    if (OpenHklmKeyForScan(sys, info, scan)) {
        const std::string manufacturer = ReadRegistryFirstString(sys, info, "SystemManufacturer", scan);
        const std::string product = ReadRegistryFirstString(sys, info, "SystemProductName", scan);
        const SmbiosVendorMatch m = SmbiosVendorFamily(manufacturer, product, "");
        if (m.virtual_) scan.families.insert(m.family);
    }
    return scan;
}

ArtifactScan ScanScsiDeviceMap(const VmSystemAccess& sys) {
    ArtifactScan scan;
    if (!sys.regOpenKey || !sys.regReadValue || !sys.regEnumSubkeys) return scan;
    struct Entry {
        std::string path;
        int depth;
    };
    std::deque<Entry> queue{{"HARDWARE\\DEVICEMAP\\Scsi", 0}};
    const uint64_t start = NowMs(sys);
    for (size_t i = 0; i < queue.size(); ++i) {
        if (i >= kScsiKeys || NowMs(sys) - start >= kScsiWalkMs) {
            scan.incomplete = true;
            break;
        }
        const Entry entry = queue[i];
        if (!OpenHklmKeyForScan(sys, entry.path, scan)) continue;
        // Only the model identifiers are read, never a serial number.
        for (const std::string& id : ReadRegistryStrings(sys, entry.path, "Identifier", scan)) {
            const std::string family = DiskModelFamily(id);
            if (!family.empty()) scan.families.insert(family);
        }
        if (entry.depth >= kScsiDepth) continue;
        uint32_t index = 0;
        const uint32_t openError = sys.regEnumSubkeys(entry.path, [&](uint32_t error, const std::string& name) {
            if (!BoundedSubkeyEntry(scan, index, kScsiChildren, error)) return false;
            if (queue.size() >= kScsiKeys) {
                scan.incomplete = true;
                return false;
            }
            queue.push_back({entry.path + "\\" + name, entry.depth + 1});
            ++index;
            return true;
        });
        ClassifyLookup(scan, openError);
    }
    return scan;
}

ArtifactScan ScanGuestDriverKeys(const VmSystemAccess& sys) {
    ArtifactScan scan;
    if (!sys.regOpenKey) return scan;
    for (const NameFamily& svc : kGuestDriverServices)
        if (OpenHklmKeyForScan(sys, std::string("SYSTEM\\CurrentControlSet\\Services\\") + svc.name, scan))
            scan.families.insert(svc.family);
    return scan;
}

ArtifactScan ScanGuestDirectories(const VmSystemAccess& sys) {
    ArtifactScan scan;
    if (!sys.knownFolder || !sys.driveType || !sys.fileAttributes) return scan;
    for (KnownFolder folder : {KnownFolder::kProgramFiles, KnownFolder::kProgramFilesX86})
        for (const NameFamily& dir : kGuestToolsDirectories) CheckGuestToolsDirectory(sys, scan, folder, dir);
    return scan;
}

ArtifactScan ScanGuestTrayWindows(const VmSystemAccess& sys) {
    ArtifactScan scan;
    if (!sys.findWindowClass) return scan;
    scan.examined = true;
    if (sys.findWindowClass("VBoxTrayToolWndClass") || sys.findWindowClass("VBoxTrayToolWnd"))
        scan.families.insert("VirtualBox");
    return scan;
}

ArtifactScan ScanGuestDosDevices(const VmSystemAccess& sys) {
    ArtifactScan scan;
    if (!sys.queryDosDevice) return scan;
    for (const NameFamily& dev : kGuestDosDevices)
        if (ClassifyLookup(scan, sys.queryDosDevice(dev.name))) scan.families.insert(dev.family);
    return scan;
}

void ProbeRegistryArtifacts(const Snapshot&, VmProbeList& probes, const VmWeights& w, const VmSource& env) {
    const VmSystemAccess& sys = env.system;
    AddWindowsArtifactProbe(probes, "registry.legacy_bios", "firmware", "Legacy BIOS registry signatures",
                            "Read legacy BIOS string arrays and the current control set system manufacturer and model.",
                            kGroupFirmware, w[kWRegistryBios], ScanLegacyBiosRegistry(sys));
    AddWindowsArtifactProbe(probes, "registry.scsi", "storage", "Volatile SCSI registry identifiers",
                            "Inspect a bounded local SCSI device map for specific virtual disk identifiers without reading serials.",
                            kGroupHardware, w[kWRegistryScsi], ScanScsiDeviceMap(sys));
    AddWindowsArtifactProbe(probes, "os.driver_keys", "os", "Installed guest driver registry keys",
                            "Read fixed guest driver keys in the current control set; host and inbox Hyper-V keys are excluded.",
                            kGroupOs, w[kWDriverKeys], ScanGuestDriverKeys(sys));
    AddWindowsArtifactProbe(probes, "os.guest_directories", "os", "Guest tools installation directories",
                            "Check exact guest additions and VMware Tools directories in both Program Files locations.",
                            kGroupOs, w[kWGuestDirectories], ScanGuestDirectories(sys));
    AddWindowsArtifactProbe(probes, "os.guest_windows", "os", "Guest tray window classes",
                            "Find exact VirtualBox guest tray window classes without sending window messages.", kGroupOs,
                            w[kWGuestWindows], ScanGuestTrayWindows(sys));
    AddWindowsArtifactProbe(probes, "os.guest_devices", "os", "Guest device namespace aliases",
                            "Query selected local DOS device aliases without opening devices, connecting pipes or sending IOCTLs.",
                            kGroupOs, w[kWGuestDevices], ScanGuestDosDevices(sys));
}

}  // namespace vorq
