// Guest artifact and registry/namespace artifact probes over a hand-made system.
#include <gtest/gtest.h>

#include "tests/unit/vm_fake_system.h"
#include "vm/vm.h"
#include "vm/vm_artifacts.h"

namespace vorq {
namespace {

VmProbeList RunGuest(FakeSystem& sys) {
    VmSource env;
    env.system = sys.Access();
    VmProbeList probes;
    ProbeGuestArtifacts(Snapshot{}, probes, kVmWeights, env);
    return probes;
}

VmProbeList RunRegistry(FakeSystem& sys) {
    VmSource env;
    env.system = sys.Access();
    VmProbeList probes;
    ProbeRegistryArtifacts(Snapshot{}, probes, kVmWeights, env);
    return probes;
}

// A machine with the locations present but no guest trace.
FakeSystem CleanMachine() {
    FakeSystem sys;
    sys.SetString("HARDWARE\\DESCRIPTION\\System\\BIOS", "SystemManufacturer", "Contoso");
    sys.SetString("HARDWARE\\DESCRIPTION\\System\\BIOS", "SystemProductName", "Desk 9");
    sys.Key("HARDWARE\\ACPI\\DSDT").subkeys = {"ALASKA"};
    sys.services["VMTools"] = ServiceStateQuery{0, 0, 1};  // installed, stopped
    sys.processes = {"System", "explorer.exe"};
    sys.AddFile("C:\\windows\\system32\\drivers\\vboxsf.sys", true);  // a folder of that name does not count
    sys.SetBytes("HARDWARE\\DESCRIPTION\\System", "SystemBiosVersion", kRegMultiSz, MultiSzBytes({"ALASKA - 1072009"}));
    sys.Key("HARDWARE\\DEVICEMAP\\Scsi");
    sys.folders[0] = KnownFolderRead{0, "C:\\Program Files"};
    sys.folders[1] = KnownFolderRead{0, "C:\\Program Files (x86)"};
    return sys;
}

TEST(GuestArtifacts, CleanMachineIsNotDetectedWithOwnCaveats) {
    FakeSystem sys = CleanMachine();
    const VmProbeList probes = RunGuest(sys);
    ASSERT_EQ(probes.size(), 6u);
    const char* ids[] = {"registry.bios",  "registry.acpi",  "os.guest_software",
                         "os.running_services", "os.guest_files", "os.guest_processes"};
    const int weights[] = {35, 30, 10, 15, 8, 8};
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(ids[i]);
        EXPECT_EQ(probes[i].id, ids[i]);
        EXPECT_EQ(probes[i].result, kNotDetected);
        EXPECT_EQ(probes[i].evidence, "No selected guest artifact was found.");
        EXPECT_EQ(probes[i].weight, weights[i]);
        EXPECT_FALSE(probes[i].caveat.empty());
        EXPECT_NE(probes[i].caveat, "Some optional artifact probes could not be completed.");
    }
    EXPECT_EQ(probes[0].caveat, "Registry BIOS values and SMBIOS share the firmware evidence group.");
    EXPECT_EQ(probes[0].group, kGroupFirmware);
    EXPECT_EQ(probes[0].strength, kModerate);
    EXPECT_EQ(probes[5].group, kGroupOs);
    EXPECT_EQ(probes[5].strength, kWeak);
}

TEST(GuestArtifacts, PlantedArtifactsAreDetectedWithTheirFamilies) {
    FakeSystem sys = CleanMachine();
    sys.SetString("HARDWARE\\DESCRIPTION\\System\\BIOS", "SystemManufacturer", "innotek GmbH");
    sys.SetString("HARDWARE\\DESCRIPTION\\System\\BIOS", "SystemProductName", "VirtualBox");
    sys.SetString("HARDWARE\\DESCRIPTION\\System\\BIOS", "BIOSVendor", "SeaBIOS");
    sys.SetString("HARDWARE\\DESCRIPTION\\System\\BIOS", "BIOSVersion", "");
    sys.Key("HARDWARE\\ACPI\\FADT").subkeys = {"ALASKA", "VBOX  "};  // trailing blanks are dropped
    sys.Key("software\\vmware, inc.\\vmware tools@32");
    sys.services["VMTools"] = ServiceStateQuery{0, 0, kServiceRunning};
    sys.AddFile("C:\\windows\\system32\\drivers\\netkvm.sys");
    sys.processes = {"System", "QEMU-GA.EXE"};
    const VmProbeList probes = RunGuest(sys);
    struct Case {
        const char* id;
        const char* families;
    } cases[] = {{"registry.bios", "VirtualBox"},   {"registry.acpi", "VirtualBox"}, {"os.guest_software", "VMware"},
                 {"os.running_services", "VMware"}, {"os.guest_files", "virtio"},    {"os.guest_processes", "KVM/QEMU"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const VmProbe& p = ProbeById(probes, c.id);
        EXPECT_EQ(p.result, kDetected);
        EXPECT_EQ(p.families, c.families);
        EXPECT_EQ(p.evidence, c.families);
    }
}

TEST(GuestArtifacts, ExactAcpiSubkeyMatches) {
    FakeSystem sys;
    sys.Key("HARDWARE\\ACPI\\DSDT").subkeys = {"VBOX__"};
    const ArtifactScan scan = ScanRegistryAcpi(sys.Access());
    EXPECT_EQ(scan.families, std::set<std::string>{"VirtualBox"});
    sys.Key("HARDWARE\\ACPI\\DSDT").subkeys = {"VBOXX", "QEMUS"};
    EXPECT_TRUE(ScanRegistryAcpi(sys.Access()).families.empty());
}

TEST(GuestArtifacts, AcpiRootBeyondTheSubkeyBound) {
    FakeSystem sys;
    std::vector<std::string> many;
    for (int i = 0; i < 70; ++i) many.push_back("OEM" + std::to_string(i));
    sys.Key("HARDWARE\\ACPI\\DSDT").subkeys = many;
    VmProbe p = ProbeById(RunGuest(sys), "registry.acpi");
    EXPECT_EQ(p.result, kInconclusive);
    EXPECT_EQ(p.evidence, "The bounded artifact scan was incomplete.");
    EXPECT_EQ(p.caveat, "The bounded artifact scan was incomplete.");

    many[3] = "QEMU";
    sys.Key("HARDWARE\\ACPI\\DSDT").subkeys = many;
    p = ProbeById(RunGuest(sys), "registry.acpi");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.families, "KVM/QEMU");
    EXPECT_EQ(p.caveat, "The bounded artifact scan was incomplete.");

    // Exactly 64 subkeys is complete.
    many.resize(64);
    sys.Key("HARDWARE\\ACPI\\DSDT").subkeys = many;
    EXPECT_FALSE(ScanRegistryAcpi(sys.Access()).incomplete);
}

TEST(GuestArtifacts, AcpiWalkStopsAtItsTimeBound) {
    FakeSystem sys;
    sys.step = 30;  // every clock reading is 30 ms later
    sys.Key("HARDWARE\\ACPI\\DSDT").subkeys = {"A", "B", "C", "D", "E", "VBOX"};
    const ArtifactScan scan = ScanRegistryAcpi(sys.Access());
    EXPECT_TRUE(scan.incomplete);
    EXPECT_TRUE(scan.families.empty());
}

TEST(GuestArtifacts, AcpiEnumerationFailureIsAnAccessError) {
    FakeSystem sys;
    FakeKey& k = sys.Key("HARDWARE\\ACPI\\RSDT");
    k.subkeys = {"VMWARE", "X"};
    k.enumErrorAt = 1;
    k.enumError = kErrAccessDenied;
    const VmProbe p = ProbeById(RunGuest(sys), "registry.acpi");
    EXPECT_EQ(p.result, kDetected);  // a finding wins over the flag
    EXPECT_EQ(p.caveat, "Some optional artifact probes could not be completed.");
}

TEST(GuestArtifacts, ServiceFailures) {
    FakeSystem sys;
    sys.services["VGAuthService"] = ServiceStateQuery{kErrAccessDenied, 0, 0};
    VmProbe p = ProbeById(RunGuest(sys), "os.running_services");
    EXPECT_EQ(p.result, kProbeError);
    EXPECT_EQ(p.evidence, "Artifact access was incomplete.");
    EXPECT_EQ(p.caveat, "Some optional artifact probes could not be completed.");

    sys.services.clear();
    sys.services["qemu-ga"] = ServiceStateQuery{0, kErrAccessDenied, 0};
    EXPECT_EQ(ProbeById(RunGuest(sys), "os.running_services").result, kProbeError);

    sys.scmError = kErrAccessDenied;
    EXPECT_EQ(ProbeById(RunGuest(sys), "os.running_services").result, kProbeError);
}

TEST(GuestArtifacts, MissingBiosKeyIsNotDetected) {
    FakeSystem sys;
    EXPECT_EQ(ProbeById(RunGuest(sys), "registry.bios").result, kNotDetected);
    sys.Key("HARDWARE\\DESCRIPTION\\System\\BIOS").openError = kErrAccessDenied;
    EXPECT_EQ(ProbeById(RunGuest(sys), "registry.bios").result, kProbeError);
}

TEST(GuestArtifacts, BoardAndBiosIdentities) {
    FakeSystem sys;
    const std::string key = "HARDWARE\\DESCRIPTION\\System\\BIOS";
    sys.SetString(key, "BaseBoardManufacturer", "Red Hat");
    sys.SetString(key, "BaseBoardProduct", "KVM");
    sys.SetString(key, "BIOSVendor", "VMware, Inc.");
    sys.SetString(key, "BIOSVersion", "VMW71.00V");
    EXPECT_EQ(JoinSet(ScanRegistryBios(sys.Access()).families), "KVM/QEMU, VMware");
}

TEST(GuestArtifacts, WindowsDirectoryFailure) {
    FakeSystem sys;
    sys.windowsDirResult = 0;
    EXPECT_EQ(ProbeById(RunGuest(sys), "os.guest_files").result, kProbeError);
    sys.windowsDirResult = 40000;
    EXPECT_EQ(ProbeById(RunGuest(sys), "os.guest_files").result, kProbeError);
    // A directory given with its trailing backslash is not doubled.
    sys.windowsDirResult = 11;
    sys.windowsDir = "C:\\windows\\";
    sys.AddFile("C:\\windows\\system32\\vboxhook.dll");
    EXPECT_EQ(ProbeById(RunGuest(sys), "os.guest_files").families, "VirtualBox");
}

TEST(GuestArtifacts, ProcessWalkBounds) {
    FakeSystem sys;
    sys.processes.assign(9000, "svchost.exe");
    sys.processes.back() = "vmtoolsd.exe";
    VmProbe p = ProbeById(RunGuest(sys), "os.guest_processes");
    EXPECT_EQ(p.result, kInconclusive);
    EXPECT_EQ(p.evidence, "The bounded artifact scan was incomplete.");

    sys.processes.assign(8192, "svchost.exe");
    sys.processes.back() = "vmtoolsd.exe";
    EXPECT_EQ(ProbeById(RunGuest(sys), "os.guest_processes").families, "VMware");

    sys.processes = {"a.exe", "b.exe", "vboxtray.exe"};
    sys.step = 60;  // the third entry is read after 100 ms
    p = ProbeById(RunGuest(sys), "os.guest_processes");
    EXPECT_EQ(p.result, kInconclusive);
}

TEST(GuestArtifacts, ProcessWalkFailures) {
    struct Case {
        ProcessWalkEnd end;
        std::vector<std::string> processes;
        int32_t result;
    } cases[] = {
        {{kErrAccessDenied, 0, 0}, {}, kProbeError},
        {{0, kErrNoMoreFiles, 0}, {}, kNotDetected},
        {{0, kErrAccessDenied, 0}, {}, kProbeError},
        {{0, 0, kErrAccessDenied}, {"a.exe"}, kProbeError},
        {{0, 0, kErrNoMoreFiles}, {"a.exe"}, kNotDetected},
    };
    for (const Case& c : cases) {
        FakeSystem sys;
        sys.processEnd = c.end;
        sys.processes = c.processes;
        EXPECT_EQ(ScanGuestProcesses(sys.Access()).accessError, c.result == kProbeError);
        EXPECT_EQ(ProbeById(RunGuest(sys), "os.guest_processes").result, c.result);
    }
}

TEST(GuestArtifacts, NoSystemAccessIsNotSupported) {
    EXPECT_EQ(ArtifactScanResult(ArtifactScan{}), kNotSupported);
    VmProbeList probes;
    ProbeGuestArtifacts(Snapshot{}, probes, kVmWeights, VmSource{});
    ProbeRegistryArtifacts(Snapshot{}, probes, kVmWeights, VmSource{});
    ASSERT_EQ(probes.size(), 12u);
    for (const VmProbe& p : probes)
        EXPECT_EQ(p.result, kNotSupported) << p.id;
}

TEST(RegistryArtifacts, CleanMachineIsNotDetected) {
    FakeSystem sys = CleanMachine();
    const VmProbeList probes = RunRegistry(sys);
    ASSERT_EQ(probes.size(), 6u);
    const char* ids[] = {"registry.legacy_bios", "registry.scsi",  "os.driver_keys",
                         "os.guest_directories", "os.guest_windows", "os.guest_devices"};
    const int32_t groups[] = {kGroupFirmware, kGroupHardware, kGroupOs, kGroupOs, kGroupOs, kGroupOs};
    const int weights[] = {35, 10, 8, 6, 8, 10};
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(ids[i]);
        EXPECT_EQ(probes[i].id, ids[i]);
        EXPECT_EQ(probes[i].result, kNotDetected);
        EXPECT_EQ(probes[i].evidence, "No selected Windows guest artifact was found.");
        EXPECT_EQ(probes[i].caveat, "Registry mirrors and guest package artifacts share their existing evidence group.");
        EXPECT_EQ(probes[i].strength, kWeak);
        EXPECT_EQ(probes[i].group, groups[i]);
        EXPECT_EQ(probes[i].weight, weights[i]);
    }
}

TEST(RegistryArtifacts, LegacyBiosWords) {
    struct Case {
        std::vector<std::string> bios;
        std::string video;
        std::string families;
    } cases[] = {
        {{"VBOX   - 1"}, "", "VirtualBox"},
        {{"VBOXED - 1", "XVBOX2"}, "", ""},
        {{"ALASKA - 1"}, "Plex BOCHS VGA", "KVM/QEMU"},
        {{"QEMU - 1", "VirtualBox"}, "", "KVM/QEMU, VirtualBox"},
        {{"Hyper-VMware"}, "", "VMware"},  // a hyphen is not part of a word
    };
    for (const Case& c : cases) {
        FakeSystem sys;
        sys.SetBytes("HARDWARE\\DESCRIPTION\\System", "SystemBiosVersion", kRegMultiSz, MultiSzBytes(c.bios));
        if (!c.video.empty()) sys.SetString("HARDWARE\\DESCRIPTION\\System", "VideoBiosVersion", c.video);
        const ArtifactScan scan = ScanLegacyBiosRegistry(sys.Access());
        EXPECT_EQ(JoinSet(scan.families), c.families) << c.bios[0];
        EXPECT_FALSE(scan.accessError);
    }
}

TEST(RegistryArtifacts, SystemInformationMirror) {
    FakeSystem sys;
    sys.SetString("SYSTEM\\CurrentControlSet\\Control\\SystemInformation", "SystemManufacturer", "Microsoft Corporation");
    sys.SetString("SYSTEM\\CurrentControlSet\\Control\\SystemInformation", "SystemProductName", "Virtual Machine");
    const VmProbe p = ProbeById(RunRegistry(sys), "registry.legacy_bios");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.evidence, "A selected Windows guest artifact was found.");
    EXPECT_EQ(p.families, "Hyper-V");
}

TEST(RegistryArtifacts, RegistryStringData) {
    ArtifactScan scan;
    EXPECT_EQ(ParseRegistryStrings(kRegSz, MultiSzBytes({"one", "two"}), scan), std::vector<std::string>{"one"});
    EXPECT_EQ(ParseRegistryStrings(kRegMultiSz, MultiSzBytes({"one", "two"}), scan),
              (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(ParseRegistryStrings(kRegMultiSz, MultiSzBytes({"one", "", "two"}), scan), std::vector<std::string>{"one"});
    EXPECT_TRUE(ParseRegistryStrings(kRegSz, {}, scan).empty());
    EXPECT_FALSE(scan.accessError);

    std::vector<uint8_t> odd = Utf16Bytes("abc");
    odd.push_back(0x41);
    EXPECT_TRUE(ParseRegistryStrings(kRegSz, odd, scan).empty());
    EXPECT_TRUE(scan.accessError);

    ArtifactScan unterminated;
    EXPECT_TRUE(ParseRegistryStrings(kRegSz, Utf16Bytes("abc", false), unterminated).empty());
    EXPECT_TRUE(unterminated.accessError);

    // Only the first 4096 units are walked: a string ending after them has no terminator there.
    ArtifactScan longData;
    EXPECT_TRUE(ParseRegistryStrings(kRegSz, Utf16Bytes(std::string(4096, 'x')), longData).empty());
    EXPECT_TRUE(longData.accessError);
}

TEST(RegistryArtifacts, ContainsWord) {
    struct Case {
        const char* text;
        const char* word;
        bool found;
    } cases[] = {
        {"VBOX   - 1", "VBOX", true},   {"vbox", "VBOX", true},         {"VBOXED", "VBOX", false},
        {"XVBOX", "VBOX", false},       {"VBOX2 VBOX", "VBOX", true},   {"(vbox)", "VBOX", true},
        {"", "VBOX", false},            {"VBOX_1", "VBOX", true},
    };
    for (const Case& c : cases) EXPECT_EQ(ContainsWord(c.text, c.word), c.found) << c.text;
}

TEST(RegistryArtifacts, ScsiDeviceMap) {
    FakeSystem sys;
    const std::string root = "HARDWARE\\DEVICEMAP\\Scsi";
    sys.Key(root).subkeys = {"Scsi Port 0"};
    sys.Key(root + "\\Scsi Port 0").subkeys = {"Scsi Bus 0"};
    sys.Key(root + "\\Scsi Port 0\\Scsi Bus 0").subkeys = {"Target Id 0"};
    sys.Key(root + "\\Scsi Port 0\\Scsi Bus 0\\Target Id 0").subkeys = {"Logical Unit Id 0"};
    sys.SetString(root + "\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0", "Identifier", "VBOX HARDDISK");
    VmProbe p = ProbeById(RunRegistry(sys), "registry.scsi");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.families, "VirtualBox");
    EXPECT_EQ(p.category, "storage");

    // Below depth 4 nothing is visited.
    sys.Key(root + "\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0").subkeys = {"Deeper"};
    sys.SetString(root + "\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0\\Deeper", "Identifier", "QEMU HARDDISK");
    EXPECT_EQ(ProbeById(RunRegistry(sys), "registry.scsi").families, "VirtualBox");

    // An odd-sized identifier is an access failure.
    FakeSystem odd;
    odd.Key(root);
    odd.SetBytes(root, "Identifier", kRegSz, {0x41, 0, 0});
    p = ProbeById(RunRegistry(odd), "registry.scsi");
    EXPECT_EQ(p.result, kProbeError);
    EXPECT_EQ(p.caveat, "Some optional artifact probes could not be completed.");
}

TEST(RegistryArtifacts, ScsiWalkBounds) {
    const std::string root = "HARDWARE\\DEVICEMAP\\Scsi";
    // 20 ports of 20 buses: more than 256 keys.
    FakeSystem wide;
    for (int i = 0; i < 20; ++i) {
        const std::string port = "Port " + std::to_string(i);
        wide.Key(root).subkeys.push_back(port);
        for (int j = 0; j < 20; ++j) wide.Key(root + "\\" + port).subkeys.push_back("Bus " + std::to_string(j));
    }
    VmProbe p = ProbeById(RunRegistry(wide), "registry.scsi");
    EXPECT_EQ(p.result, kInconclusive);
    EXPECT_EQ(p.evidence, "The bounded Windows artifact check was incomplete.");
    EXPECT_EQ(p.caveat, "Some optional artifact probes could not be completed.");

    // More than 32 children of one key.
    FakeSystem many;
    for (int i = 0; i < 33; ++i) many.Key(root).subkeys.push_back("Port " + std::to_string(i));
    EXPECT_TRUE(ScanScsiDeviceMap(many.Access()).incomplete);
    many.Key(root).subkeys.resize(32);
    EXPECT_FALSE(ScanScsiDeviceMap(many.Access()).incomplete);

    // The 50 ms bound.
    FakeSystem slow;
    slow.step = 20;
    slow.Key(root).subkeys = {"A", "B", "C", "D"};
    EXPECT_TRUE(ScanScsiDeviceMap(slow.Access()).incomplete);
}

TEST(RegistryArtifacts, DriverKeysAndDosDevices) {
    FakeSystem sys;
    sys.Key("SYSTEM\\CurrentControlSet\\Services\\xenvbd");
    sys.Key("SYSTEM\\CurrentControlSet\\Services\\vioscsi");
    sys.dosDevices["HGFS"] = 0;
    const VmProbeList probes = RunRegistry(sys);
    EXPECT_EQ(ProbeById(probes, "os.driver_keys").families, "Xen, virtio");
    EXPECT_EQ(ProbeById(probes, "os.guest_devices").families, "VMware");

    FakeSystem denied;
    denied.dosDevices["VBoxMiniRdrDN"] = kErrAccessDenied;
    const VmProbe p = ProbeById(RunRegistry(denied), "os.guest_devices");
    EXPECT_EQ(p.result, kProbeError);
    EXPECT_EQ(p.evidence, "Windows artifact access was incomplete.");
}

TEST(RegistryArtifacts, GuestToolsDirectories) {
    FakeSystem sys = CleanMachine();
    sys.AddFile("C:\\Program Files\\VMware\\VMware Tools", true);
    EXPECT_EQ(ProbeById(RunRegistry(sys), "os.guest_directories").families, "VMware");

    FakeSystem file = CleanMachine();
    file.AddFile("C:\\Program Files (x86)\\Oracle\\VirtualBox Guest Additions");  // a file, not a folder
    EXPECT_EQ(ProbeById(RunRegistry(file), "os.guest_directories").result, kNotDetected);

    struct Case {
        KnownFolderRead folder;
        uint32_t driveType;
    } failures[] = {
        {{0, "\\\\server\\share"}, kDriveFixed},
        {{0, "D:\\Apps"}, 4},  // a network drive
        {{static_cast<int32_t>(0x80070005u), ""}, kDriveFixed},
    };
    for (const Case& c : failures) {
        FakeSystem sys2 = CleanMachine();
        sys2.folders[1] = c.folder;
        sys2.driveTypes["D:\\"] = c.driveType;
        EXPECT_EQ(ProbeById(RunRegistry(sys2), "os.guest_directories").result, kProbeError) << c.folder.path;
    }
}

TEST(RegistryArtifacts, TrayWindows) {
    FakeSystem sys;
    EXPECT_EQ(ProbeById(RunRegistry(sys), "os.guest_windows").result, kNotDetected);
    sys.windowClasses.insert("VBoxTrayToolWnd");
    EXPECT_EQ(ProbeById(RunRegistry(sys), "os.guest_windows").families, "VirtualBox");
}

}  // namespace
}  // namespace vorq
