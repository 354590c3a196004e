// Guest artifact probes: the BIOS identity Windows mirrors in the registry,
// ACPI OEM subkeys, guest software keys, running guest services, guest driver
// files and guest process names. Each runs one bounded scan.
#include <algorithm>
#include <utility>

#include "core/text.h"
#include "vm/signatures.h"
#include "vm/vm.h"
#include "vm/vm_artifacts.h"

namespace vorq {

namespace {

const NameFamily kGuestSoftwareKeys[] = {
    {"software\\oracle\\virtualbox guest additions", "VirtualBox"},
    {"software\\sun\\virtualbox guest additions", "VirtualBox"},
    {"software\\innotek\\virtualbox guest additions", "VirtualBox"},
    {"software\\vmware, inc.\\vmware tools", "VMware"},
    {"software\\parallels\\parallels tools", "Parallels"},
    {"software\\microsoft\\windows\\currentversion\\uninstall\\virtualbox guest additions", "VirtualBox"},
};

const NameFamily kGuestServices[] = {
    {"VBoxService", "VirtualBox"}, {"VMTools", "VMware"},   {"VGAuthService", "VMware"},
    {"qemu-ga", "KVM/QEMU"},       {"xenservice", "Xen"},   {"prl_tools", "Parallels"},
};

const NameFamily kGuestFiles[] = {
    {"system32\\drivers\\vboxguest.sys", "VirtualBox"},
    {"system32\\drivers\\vboxsf.sys", "VirtualBox"},
    {"system32\\drivers\\vboxvideo.sys", "VirtualBox"},
    {"system32\\drivers\\vboxwddm.sys", "VirtualBox"},
    {"system32\\vboxhook.dll", "VirtualBox"},
    {"system32\\drivers\\vmhgfs.sys", "VMware"},
    {"system32\\drivers\\vmmouse.sys", "VMware"},
    {"system32\\drivers\\vm3dmp.sys", "VMware"},
    {"system32\\drivers\\vmmemctl.sys", "VMware"},
    {"system32\\drivers\\xenbus.sys", "Xen"},
    {"system32\\drivers\\xeniface.sys", "Xen"},
    {"system32\\drivers\\xenvbd.sys", "Xen"},
    {"system32\\drivers\\xennet.sys", "Xen"},
    {"system32\\drivers\\viostor.sys", "virtio"},
    {"system32\\drivers\\vioscsi.sys", "virtio"},
    {"system32\\drivers\\netkvm.sys", "virtio"},
    {"system32\\drivers\\vioser.sys", "virtio"},
    {"system32\\drivers\\viorng.sys", "virtio"},
    {"system32\\drivers\\viosock.sys", "virtio"},
    {"system32\\drivers\\viofs.sys", "virtio"},
    {"system32\\drivers\\viogpudo.sys", "virtio"},
    {"system32\\drivers\\viomem.sys", "virtio"},
    {"system32\\drivers\\fwcfg.sys", "KVM/QEMU"},
    {"system32\\drivers\\pvpanic.sys", "KVM/QEMU"},
    {"system32\\drivers\\prl_tg.sys", "Parallels"},
    {"system32\\drivers\\prl_fs.sys", "Parallels"},
    {"system32\\drivers\\prl_eth.sys", "Parallels"},
};

const NameFamily kGuestProcessNames[] = {
    {"vboxservice.exe", "VirtualBox"}, {"vboxtray.exe", "VirtualBox"},    {"vmtoolsd.exe", "VMware"},
    {"vgauthservice.exe", "VMware"},   {"qemu-ga.exe", "KVM/QEMU"},      {"xenservice.exe", "Xen"},
    {"prl_tools.exe", "Parallels"},    {"prl_cc.exe", "Parallels"},
};

const NameFamily kAcpiOemIdFamilies[] = {
    {"vbox__", "VirtualBox"}, {"vbox_", "VirtualBox"}, {"vbox", "VirtualBox"}, {"vmware", "VMware"},
    {"qemu", "KVM/QEMU"},     {"bochs", "KVM/QEMU"},   {"bxpc", "KVM/QEMU"},  {"xen", "Xen"},
};

const char* const kAcpiRoots[] = {"HARDWARE\\ACPI\\DSDT", "HARDWARE\\ACPI\\FADT", "HARDWARE\\ACPI\\FACP",
                                  "HARDWARE\\ACPI\\RSDT"};

// RegGetValueW of a string value into a 4096-byte buffer; the empty text on
// failure.
std::string ReadRegistryText(const VmSystemAccess& sys, const std::string& path, const char* value, ArtifactScan& scan) {
    const RegValueRead r = sys.regReadValue(path, value, false, 4096);
    if (r.error != 0) {
        ClassifyLookup(scan, r.error);
        return {};
    }
    return RegValueToText(kRegSz, r.data.data(), r.data.size());
}

constexpr uint64_t kAcpiWalkMs = 99;
constexpr uint32_t kAcpiSubkeys = 64;
constexpr uint64_t kProcessWalkMs = 100;
constexpr uint32_t kProcessEntries = 8192;

}  // namespace

int32_t ArtifactScanResult(const ArtifactScan& scan) {
    if (!scan.families.empty()) return kDetected;
    if (scan.accessError) return kProbeError;
    if (scan.incomplete) return kInconclusive;
    if (scan.examined) return kNotDetected;
    return kNotSupported;
}

bool ClassifyLookup(ArtifactScan& scan, uint32_t error) {
    if (error == 0 || error == kErrFileNotFound || error == kErrPathNotFound) {
        scan.examined = true;
    } else {
        scan.accessError = true;
    }
    return error == 0;
}

bool BoundedSubkeyEntry(ArtifactScan& scan, uint32_t index, uint32_t bound, uint32_t error) {
    if (index == bound) {  // one past the bound: only whether more subkeys exist
        if (error == 0 || error == kErrMoreData) {
            scan.incomplete = true;
        } else if (error != kErrNoMoreItems) {
            scan.accessError = true;
        }
        return false;
    }
    if (error != 0 && error != kErrNoMoreItems) scan.accessError = true;
    return error == 0;
}

VmProbe MakeArtifactProbe(std::string id, std::string category, std::string title, std::string method, int32_t group,
                          int32_t strength, int32_t weight, const ArtifactScan& scan, std::string caveat) {
    VmProbe p = MakeVmProbe(std::move(id), std::move(category), std::move(title), std::move(method), group, strength, weight);
    p.result = ArtifactScanResult(scan);
    p.families = JoinSet(scan.families);
    switch (p.result) {
        case kDetected: p.evidence = p.families; break;
        case kProbeError: p.evidence = "Artifact access was incomplete."; break;
        case kInconclusive: p.evidence = "The bounded artifact scan was incomplete."; break;
        default: p.evidence = "No selected guest artifact was found."; break;
    }
    if (scan.accessError) {
        p.caveat = "Some optional artifact probes could not be completed.";
    } else if (scan.incomplete) {
        p.caveat = "The bounded artifact scan was incomplete.";
    } else {
        p.caveat = std::move(caveat);
    }
    return p;
}

ArtifactScan ScanRegistryBios(const VmSystemAccess& sys) {
    ArtifactScan scan;
    if (!sys.regOpenKey || !sys.regReadValue) return scan;
    const std::string key = "HARDWARE\\DESCRIPTION\\System\\BIOS";
    if (!ClassifyLookup(scan, sys.regOpenKey(key, RegView::kDefault))) return scan;
    const std::string manufacturer = ReadRegistryText(sys, key, "SystemManufacturer", scan);
    const std::string product = ReadRegistryText(sys, key, "SystemProductName", scan);
    const std::string boardMaker = ReadRegistryText(sys, key, "BaseBoardManufacturer", scan);
    const std::string boardProduct = ReadRegistryText(sys, key, "BaseBoardProduct", scan);
    const std::string biosVendor = ReadRegistryText(sys, key, "BIOSVendor", scan);
    const std::string biosVersion = ReadRegistryText(sys, key, "BIOSVersion", scan);
    const SmbiosVendorMatch system = SmbiosVendorFamily(manufacturer, product, "");
    if (system.virtual_) scan.families.insert(system.family);
    const std::string board = BoardProductFamily(boardMaker + " " + boardProduct);
    if (!board.empty()) scan.families.insert(board);
    const std::string bios = BiosVendorFamily(biosVendor, biosVersion);
    if (!bios.empty()) scan.families.insert(bios);
    return scan;
}

ArtifactScan ScanRegistryAcpi(const VmSystemAccess& sys) {
    ArtifactScan scan;
    if (!sys.regEnumSubkeys) return scan;
    const uint64_t start = NowMs(sys);
    auto overTime = [&] { return NowMs(sys) - start > kAcpiWalkMs; };
    bool stop = false;
    for (const char* root : kAcpiRoots) {
        if (overTime()) {
            scan.incomplete = true;
            break;
        }
        uint32_t index = 0;
        const uint32_t openError = sys.regEnumSubkeys(root, [&](uint32_t error, const std::string& name) {
            if (!BoundedSubkeyEntry(scan, index, kAcpiSubkeys, error)) return false;
            std::string oem = name;
            while (!oem.empty() && oem.back() == ' ') oem.pop_back();
            if (const char* family = LookupFamily(kAcpiOemIdFamilies, LowerAscii(oem))) scan.families.insert(family);
            ++index;
            if (index < kAcpiSubkeys && overTime()) {
                scan.incomplete = true;
                stop = true;
                return false;
            }
            return true;
        });
        ClassifyLookup(scan, openError);
        if (stop) break;
    }
    return scan;
}

ArtifactScan ScanGuestSoftwareKeys(const VmSystemAccess& sys) {
    ArtifactScan scan;
    if (!sys.regOpenKey) return scan;
    for (const NameFamily& key : kGuestSoftwareKeys)
        for (RegView view : {RegView::k64, RegView::k32})
            if (ClassifyLookup(scan, sys.regOpenKey(key.name, view))) scan.families.insert(key.family);
    return scan;
}

ArtifactScan ScanRunningGuestServices(const VmSystemAccess& sys) {
    ArtifactScan scan;
    if (!sys.queryServices) return scan;
    std::vector<std::string> names;
    for (const NameFamily& s : kGuestServices) names.emplace_back(s.name);
    std::vector<ServiceStateQuery> answers;
    if (sys.queryServices(names, answers) != 0) {
        scan.accessError = true;
        return scan;
    }
    for (size_t i = 0; i < std::size(kGuestServices); ++i) {
        if (i >= answers.size()) {
            scan.accessError = true;
            break;
        }
        const ServiceStateQuery& a = answers[i];
        if (a.openError == kErrServiceDoesNotExist) {
            scan.examined = true;
        } else if (a.openError != 0 || a.queryError != 0) {
            scan.accessError = true;
        } else {
            scan.examined = true;
            if (a.state == kServiceRunning) scan.families.insert(kGuestServices[i].family);
        }
    }
    return scan;
}

ArtifactScan ScanGuestFiles(const VmSystemAccess& sys) {
    ArtifactScan scan;
    if (!sys.windowsDirectory || !sys.fileAttributes) return scan;
    std::string dir;
    const uint32_t n = sys.windowsDirectory(dir);
    if (n == 0 || n > 32767) {
        scan.accessError = true;
        return scan;
    }
    if (dir.empty() || dir.back() != '\\') dir += '\\';
    for (const NameFamily& file : kGuestFiles) {
        const FileAttributesRead a = sys.fileAttributes(dir + file.name);
        if (!a.valid) {
            ClassifyLookup(scan, a.error);
            continue;
        }
        scan.examined = true;
        if (!(a.attributes & kFileAttributeDirectory)) scan.families.insert(file.family);
    }
    return scan;
}

ArtifactScan ScanGuestProcesses(const VmSystemAccess& sys) {
    ArtifactScan scan;
    if (!sys.walkProcesses) return scan;
    uint32_t examined = 0;
    uint64_t start = 0;
    const ProcessWalkEnd end = sys.walkProcesses([&](const std::string& exe) {
        if (examined == 0) start = NowMs(sys);
        if (examined >= kProcessEntries || NowMs(sys) - start >= kProcessWalkMs) {
            scan.incomplete = true;
            return false;
        }
        ++examined;
        if (const char* family = LookupFamily(kGuestProcessNames, LowerAscii(exe))) scan.families.insert(family);
        return true;
    });
    if (end.snapshotError != 0) {
        scan.accessError = true;
    } else if (end.firstError != 0) {
        if (end.firstError == kErrNoMoreFiles) {
            scan.examined = true;
        } else {
            scan.accessError = true;
        }
    } else {
        scan.examined = true;
        if (end.nextError != 0 && end.nextError != kErrNoMoreFiles) scan.accessError = true;
    }
    return scan;
}

void ProbeGuestArtifacts(const Snapshot&, VmProbeList& probes, const VmWeights& w, const VmSource& env) {
    const VmSystemAccess& sys = env.system;
    AppendProbe(probes, MakeArtifactProbe("registry.bios", "firmware", "Registry BIOS and system identity",
                                          "Read fixed BIOS registry values and match specific virtual manufacturer and model pairs.",
                                          kGroupFirmware, kModerate, w[kWRegistryBios], ScanRegistryBios(sys),
                                          "Registry BIOS values and SMBIOS share the firmware evidence group."));
    AppendProbe(probes, MakeArtifactProbe("registry.acpi", "firmware", "Registry ACPI OEM signatures",
                                          "Inspect bounded OEM subkeys under four fixed ACPI registry roots.", kGroupFirmware,
                                          kModerate, w[kWRegistryAcpi], ScanRegistryAcpi(sys),
                                          "Exact ACPI OEM components share the firmware evidence group."));
    AppendProbe(probes, MakeArtifactProbe("os.guest_software", "os", "Guest software registry keys",
                                          "Read fixed guest software keys in both registry views.", kGroupOs, kWeak,
                                          w[kWGuestSoftware], ScanGuestSoftwareKeys(sys),
                                          "Installed guest software can remain after migration."));
    AppendProbe(probes, MakeArtifactProbe("os.running_services", "os", "Running guest integration services",
                                          "Query the current state of selected guest services without starting them.", kGroupOs,
                                          kWeak, w[kWRunningServices], ScanRunningGuestServices(sys),
                                          "Only SERVICE_RUNNING is matched; guest software requires hardware corroboration."));
    AppendProbe(probes, MakeArtifactProbe("os.guest_files", "os", "Guest integration files",
                                          "Check a fixed list of guest files under the Windows directory without scanning folders.",
                                          kGroupOs, kWeak, w[kWGuestFiles], ScanGuestFiles(sys),
                                          "Guest files may be inactive or copied; host and inbox Hyper-V files are excluded."));
    AppendProbe(probes, MakeArtifactProbe("os.guest_processes", "os", "Guest integration process names",
                                          "Match exact guest executable basenames in one bounded process snapshot.", kGroupOs,
                                          kWeak, w[kWGuestProcesses], ScanGuestProcesses(sys),
                                          "Only selected family labels are retained; executable names are spoofable."));
}

}  // namespace vorq
