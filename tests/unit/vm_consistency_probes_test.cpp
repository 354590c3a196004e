#include <gtest/gtest.h>

#include "tests/unit/test_support.h"

#include "assessment/crosschecks.h"
#include "collectors/devices/battery.h"
#include "collectors/devices/network.h"
#include "collectors/devices/peripherals.h"
#include "collectors/devices/storage.h"
#include "collectors/processor/acpi.h"
#include "collectors/processor/cpu.h"
#include "collectors/processor/smbios.h"
#include "collectors/processor/uefi.h"
#include "collectors/trust/platform.h"
#include "collectors/trust/tpm.h"
#include "vm/probes_consistency.h"
#include "vm/vm.h"

namespace vorq {
namespace {

constexpr char kReadFailed[] = "The required local inventory could not be read.";
constexpr char kMissing[] = "The required local inventory is unavailable or incomplete.";

VmProbeList RunAll(const Snapshot& s, const VmSource& env = VmSource{}) {
    VmProbeList probes;
    ProbeConsistencyContext(s, probes, kVmWeights, env);
    return probes;
}

VmProbe ProbeOf(const Snapshot& s, const std::string& id, const VmSource& env = VmSource{}) {
    for (const VmProbe& p : RunAll(s, env))
        if (p.id == id) return p;
    ADD_FAILURE() << "no probe " << id;
    return {};
}

TEST(VmConsistencyProbes, NothingCollectedIsInconclusiveNotError) {
    const VmProbeList probes = RunAll(Snapshot{});
    ASSERT_EQ(probes.size(), 16u);
    for (const VmProbe& p : probes) {
        EXPECT_EQ(p.strength, kContext) << p.id;
        EXPECT_EQ(p.weight, 0) << p.id;
        if (p.id == "storage.native_vhd") {
            EXPECT_EQ(p.result, kNotSupported);
        } else if (p.id == "network.route_context" || p.id == "os.wts_protocol") {
            EXPECT_EQ(p.result, kProbeError) << p.id;  // no reader answered
        } else {
            EXPECT_EQ(p.result, kInconclusive) << p.id;
            EXPECT_EQ(p.evidence, kMissing) << p.id;
        }
    }
}

TEST(VmConsistencyProbes, FactCounts) {
    Snapshot s;
    const std::pair<const char*, uint64_t> cases[] = {{"12", 12}, {" +7", 7}, {"12abc", 0}, {"-1", 0}, {"", 0},
                                                      {"99999999999999999999", 0}};
    for (const auto& [text, want] : cases) {
        SetFact(s, "k", text);
        EXPECT_EQ(GetFactUInt(s, "k"), want) << text;
    }
}

TEST(VmConsistencyProbes, SmbiosStructure) {
    struct Case {
        const char* status;
        const char* duplicates;
        int32_t result;
        const char* evidence;
    };
    const Case cases[] = {
        {"complete", "0", kNotDetected, "The inspected SMBIOS records have consistent lengths, handles and string indices."},
        {"complete", "2", kDetected, "SMBIOS contains a duplicate handle, unresolved reference or invalid string index."},
        // Read whole and broken is a finding, not a failed read.
        {"malformed", "0", kDetected, "SMBIOS structures overrun the table or its stated length."},
        {"malformed", "1", kDetected, "SMBIOS contains a duplicate handle, unresolved reference or invalid string index."},
        {"error", "0", kProbeError, kReadFailed},
        {"limited", "0", kInconclusive, kMissing},
    };
    for (const Case& c : cases) {
        Snapshot s;
        SetFact(s, fact::kVmSmbiosStructureStatus, c.status);
        SetFact(s, fact::kVmSmbiosDuplicateHandles, c.duplicates);
        const VmProbe p = ProbeOf(s, "firmware.structure");
        EXPECT_EQ(p.result, c.result) << c.status << c.duplicates;
        EXPECT_EQ(p.evidence, c.evidence) << c.status << c.duplicates;
    }
}

TEST(VmConsistencyProbes, ProcessorCounts) {
    struct Case {
        const char* logical;
        const char* threads;
        const char* madt;
        int32_t result;
    };
    const Case cases[] = {{"8", "8", "16", kNotDetected}, {"8", "8", "4", kDetected}, {"8", "0", "0", kInconclusive},
                          {"8", "6", "", kDetected},      {"0", "8", "8", kInconclusive}};
    for (const Case& c : cases) {
        Snapshot s;
        SetFact(s, fact::kCpuLogical, c.logical);
        SetFact(s, fact::kSmbiosCpuThreads, c.threads);
        SetFact(s, fact::kAcpiMadtCpus, c.madt);
        EXPECT_EQ(ProbeOf(s, "firmware.cpu_consistency").result, c.result) << c.logical << c.threads << c.madt;
    }
}

TEST(VmConsistencyProbes, TpmComparisons) {
    EXPECT_EQ(CompareTpmVendor("MSFT", "TFSM"), kAgree);
    EXPECT_EQ(CompareTpmVendor(" ifx ", "IFX"), kAgree);
    EXPECT_EQ(CompareTpmVendor("IFX", "NTC"), kDiffer);
    EXPECT_EQ(CompareTpmVendor("", "NTC"), kNotComparable);
    EXPECT_TRUE(IsTpmEmulatorName(" swtpm "));
    EXPECT_FALSE(IsTpmEmulatorName("IBM SW TPM"));

    Snapshot s;
    SetFact(s, fact::kTpmDeviceStatus, "complete");
    SetFact(s, fact::kTpmVersion, "2.0");
    SetFact(s, fact::kAcpiVmTablesStatus, "complete");
    SetFact(s, fact::kAcpiTpm2, "0");
    EXPECT_EQ(ProbeOf(s, "firmware.tpm_consistency").result, kDetected);  // TBS sees a TPM 2.0 firmware does not list
    SetFact(s, fact::kAcpiTpm2, "1");
    EXPECT_EQ(ProbeOf(s, "firmware.tpm_consistency").result, kNotDetected);
    SetFact(s, fact::kTpmStatus, "error");
    EXPECT_EQ(ProbeOf(s, "firmware.tpm_consistency").evidence, kReadFailed);

    Snapshot emu;
    SetFact(emu, fact::kTpmCapabilityStatus, "complete");
    SetFact(emu, fact::kTpmManufacturer, "IBM");
    EXPECT_EQ(ProbeOf(emu, "os.tpm_emulator_context").result, kInconclusive);
    SetFact(emu, fact::kTpmVendorString, "SW   TPM");
    EXPECT_EQ(ProbeOf(emu, "os.tpm_emulator_context").result, kInconclusive);
    SetFact(emu, fact::kTpmVendorString, "swtpm");
    EXPECT_EQ(ProbeOf(emu, "os.tpm_emulator_context").result, kDetected);
    SetFact(emu, fact::kTpmCapabilityStatus, "error");
    EXPECT_EQ(ProbeOf(emu, "os.tpm_emulator_context").result, kProbeError);
}

TEST(VmConsistencyProbes, StorageSerials) {
    EXPECT_EQ(CompareStorageSerials("S3Z9-NX0K 123", "s3z9nx0k123", "", "", false), kAgree);
    EXPECT_EQ(CompareStorageSerials("0025_3881_0142_1A2B.", "S4EWNX0N", "", "0025388101421A2B", false), kAgree);
    EXPECT_EQ(CompareStorageSerials("ABC", "XYZ", "", "", false), kDiffer);
    EXPECT_EQ(CompareStorageSerials("", "XYZ", "", "", false), kNotComparable);
    // Some drivers report an ATA serial as hex of its byte-swapped string.
    EXPECT_EQ(CompareStorageSerials("4457572d4343344e", "WD-WCCN4", "", "", true), kAgree);
    EXPECT_EQ(CompareStorageSerials("4457572d4343344e", "WD-WCCN4", "", "", false), kDiffer);
}

TEST(VmConsistencyProbes, StorageIdentityAgreesWhereTheCrossCheckDoes) {
    // 20 bytes of ATA serial delivered as 40 hex digits, each 16-bit word byte-swapped.
    Snapshot s;
    SetFact(s, std::string(fact::kAtaSnPrefix) + "Disk 0", "WD-WCC4N1234567");
    SetFact(s, std::string(fact::kAtaDescPrefix) + "Disk 0", "4457572d43434e34323134333635203720202020");
    SetFact(s, std::string(fact::kNvmeSnPrefix) + "Disk 1", "S4EWNX0N");
    SetFact(s, std::string(fact::kNvmeDescPrefix) + "Disk 1", "0025_3881_0142_1A2B.");
    SetFact(s, std::string(fact::kNvmeEui64Prefix) + "Disk 1", "0025388101421A2B");
    VmProbe p = ProbeOf(s, "storage.identity_consistency");
    EXPECT_EQ(p.result, kNotDetected);
    EXPECT_EQ(p.evidence, "The comparable storage identities agree across collected read paths.");
    Snapshot checked = s;
    CollectCrossChecksFrom(checked, {});
    int ata = -1;
    for (const Check& c : checked.checks)
        if (c.id == "x.ata") ata = c.status;
    EXPECT_EQ(ata, kPass);

    SetFact(s, std::string(fact::kAtaSnPrefix) + "Disk 2", "OTHER");
    SetFact(s, std::string(fact::kAtaDescPrefix) + "Disk 2", "SOMETHING");
    EXPECT_EQ(ProbeOf(s, "storage.identity_consistency").result, kDetected);
}

TEST(VmConsistencyProbes, StorageCapabilityHints) {
    Snapshot s;
    Table disks = MakeTable("storage", table::kStorageDisks, "Physical disks",
                            test::MakerColumns({"Disk", "Model", "Bus", "Media", "Size", "Serial (descriptor)", "Firmware", "Partition style",
                             "Disk GUID / signature", "System"}));
    AddRow(disks, {"Disk 0", "m", "NVMe", "SSD", "", "", "", "", "", ""});
    s.tables.push_back(disks);
    EXPECT_EQ(ProbeOf(s, "storage.capability_context").result, kNotDetected);
    AddRow(s.tables[0], {"Disk 1", "m", "nvme", "HDD", "", "", "", "", "", ""});
    EXPECT_EQ(ProbeOf(s, "storage.capability_context").result, kDetected);
}

TEST(VmConsistencyProbes, NativeVhdAndSessionProtocol) {
    struct Vhd {
        NativeVhdRead read;
        int32_t result;
    };
    const Vhd vhd[] = {{{false, false, false}, kNotSupported},
                       {{true, false, false}, kProbeError},
                       {{true, true, true}, kDetected},
                       {{true, true, false}, kNotDetected}};
    for (const Vhd& c : vhd) {
        VmSource env;
        env.queryNativeVhdBoot = [&] { return c.read; };
        EXPECT_EQ(ProbeOf(Snapshot{}, "storage.native_vhd", env).result, c.result);
    }
    struct Wts {
        WtsProtocolRead read;
        int32_t result;
    };
    const Wts wts[] = {{{false, 0}, kProbeError}, {{true, 2}, kDetected}, {{true, 0}, kNotDetected}, {{true, 1}, kInconclusive}};
    for (const Wts& c : wts) {
        VmSource env;
        env.queryWtsProtocol = [&] { return c.read; };
        EXPECT_EQ(ProbeOf(Snapshot{}, "os.wts_protocol", env).result, c.result);
    }
}

TEST(VmConsistencyProbes, RouteWalkIsBounded) {
    const char* kBounded = "Some local route or neighbor data was unavailable or exceeded the bounded scan.";
    RouteTablesRead big;
    big.routesOk = true;
    big.routeCount = 5000;
    big.routes.assign(kRouteWalkMaxRows + 1, RouteRow{false, 0, 0xFFFFFFFF});
    big.neighborsOk = true;
    uint64_t now = 0;
    int ticks = 0;
    VmSource env;
    env.readRouteTables = [&] { return big; };
    env.system.tickMs = [&] {
        ++ticks;
        return now;
    };
    VmProbe p = ProbeOf(Snapshot{}, "network.route_context", env);
    EXPECT_EQ(p.result, kDetected);  // default routes found before the bound
    EXPECT_EQ(p.caveat, kBounded);
    EXPECT_LE(ticks, static_cast<int>(kRouteWalkMaxRows) + 2);

    // A clock that jumps past the time bound stops the walk before any row.
    env.system.tickMs = [&] { return now += 51; };
    p = ProbeOf(Snapshot{}, "network.route_context", env);
    EXPECT_EQ(p.result, kInconclusive);
    EXPECT_EQ(p.evidence, kMissing);

    // Too many neighbours count the bound and mark the scan incomplete.
    RouteTablesRead neighbours;
    neighbours.routesOk = true;
    neighbours.neighborsOk = true;
    neighbours.neighborCount = 10000;
    env.readRouteTables = [&] { return neighbours; };
    env.system.tickMs = [] { return uint64_t{0}; };
    p = ProbeOf(Snapshot{}, "network.route_context", env);
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.caveat, kBounded);

    RouteTablesRead quiet;
    quiet.routesOk = quiet.neighborsOk = true;
    quiet.routeCount = 1;
    quiet.routes = {RouteRow{true, 0, 0xFFFFFFFF}};  // loopback only
    env.readRouteTables = [&] { return quiet; };
    p = ProbeOf(Snapshot{}, "network.route_context", env);
    EXPECT_EQ(p.result, kNotDetected);

    env.readRouteTables = [] { return RouteTablesRead{}; };
    EXPECT_EQ(ProbeOf(Snapshot{}, "network.route_context", env).evidence, kReadFailed);
}

TEST(VmConsistencyProbes, ReusedFacts) {
    struct Case {
        const char* id;
        std::vector<std::pair<std::string, std::string>> facts;
        int32_t result;
    };
    const Case cases[] = {
        {"os.tpm_inventory", {{fact::kTpmDeviceStatus, "absent"}}, kNotDetected},
        {"os.tpm_inventory", {{fact::kTpmDeviceStatus, "complete"}, {fact::kTpmCapabilityStatus, "complete"}}, kDetected},
        {"os.tpm_inventory", {{fact::kTpmDeviceStatus, "complete"}, {fact::kTpmCapabilityStatus, "error"}}, kProbeError},
        {"os.ek_material", {{fact::kTpmEk, "0"}, {fact::kTpmEkCerts, "0"}}, kNotDetected},
        {"os.ek_material", {{fact::kTpmEk, "0"}, {fact::kTpmEkCerts, "2"}}, kDetected},
        {"os.ek_material", {{fact::kTpmEk, "1"}, {fact::kTpmCapabilityStatus, "error"}}, kProbeError},
        {"os.ek_binding", {{fact::kTpmEkUnbound, "1"}, {fact::kTpmEkParseErrors, "1"}}, kDetected},
        {"os.ek_binding", {{fact::kTpmEkParseErrors, "1"}, {fact::kTpmEkBound, "1"}}, kProbeError},
        {"os.ek_binding", {{fact::kTpmEkBound, "1"}}, kNotDetected},
        {"os.measured_boot", {{fact::kTpmLog, "mismatch"}}, kDetected},
        {"os.measured_boot", {{fact::kTpmLog, "match"}, {fact::kTpmLogParse, "malformed"}}, kProbeError},
        {"os.measured_boot", {{fact::kTpmLog, "unavailable"}}, kInconclusive},
        {"firmware.uefi_context", {{fact::kUefiVarsDenied, "1"}, {fact::kPlatUefi, "1"}}, kInconclusive},
        {"firmware.uefi_context", {{fact::kPlatUefi, "1"}}, kDetected},
        {"hardware.subsystem_context", {{fact::kBatteryCount, "0"}, {fact::kAudioActive, "0"}}, kNotDetected},
        {"hardware.subsystem_context", {{fact::kAcpiPmProfile, "Mobile"}}, kDetected},
        {"hardware.subsystem_context", {{fact::kAcpiPmProfile, "?"}}, kInconclusive},
    };
    for (const Case& c : cases) {
        Snapshot s;
        for (const auto& [key, value] : c.facts) SetFact(s, key, value);
        EXPECT_EQ(ProbeOf(s, c.id).result, c.result) << c.id << " " << c.facts.front().first;
    }
}

TEST(VmConsistencyProbes, LegacyBiosFromThePostureTable) {
    Snapshot s;
    Table posture = MakeTable("platform", table::kPlatformPosture, "Platform posture", test::MakerColumns({"Feature", "State", "Evidence"}));
    AddRow(posture, {"Firmware type", "Legacy BIOS", ""});
    s.tables.push_back(posture);
    EXPECT_EQ(ProbeOf(s, "firmware.uefi_context").result, kNotDetected);
}

TEST(VmConsistencyProbes, AdapterContext) {
    Snapshot s;
    SetFact(s, fact::kVmNetStatus, "error");
    EXPECT_EQ(ProbeOf(s, "network.adapter_context").result, kProbeError);
    SetFact(s, fact::kVmNetStatus, "complete");
    SetFact(s, fact::kVmNetLocalActive, "0");
    EXPECT_EQ(ProbeOf(s, "network.adapter_context").result, kNotDetected);
    SetFact(s, fact::kVmNetSoftwareActive, "1");
    EXPECT_EQ(ProbeOf(s, "network.adapter_context").result, kDetected);
}

}  // namespace
}  // namespace vorq
