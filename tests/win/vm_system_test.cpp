// The artifact and context probes against the live system: this Wine prefix,
// or the scratch prefix with planted guest artifacts that
// scripts/run-planted-guest prepares (VORQ_PLANTED_GUEST=1).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "vm/vm.h"
#include "vm/vm_artifacts.h"
#include "vm/vm_system_win.h"

namespace vorq {
namespace {

bool Planted() { return std::getenv("VORQ_PLANTED_GUEST") != nullptr; }

// Status and families cells of a probe's row in the tests tables.
std::pair<std::string, std::string> Row(const Snapshot& s, const std::string& id) {
    for (const Table& t : s.tables)
        if (t.id.rfind("vm.tests.", 0) == 0)
            for (const TableRow& r : t.rows)
                if (r.cells[0] == id) return {r.cells[3], r.cells[9]};
    return {"(missing)", ""};
}

// The time-bounded scans may stop early on a loaded machine; that is an
// incomplete scan, never a finding.
void ExpectNothingFoundInTime(const Snapshot& s, const char* id) {
    const std::string status = Row(s, id).first;
    EXPECT_TRUE(status == "Not Detected" || status == "Inconclusive") << id << ": " << status;
}

TEST(VmSystemLive, WineContext) {
    VmSource env;
    env.system = LiveVmSystemAccess();
    VmProbeList probes;
    ProbeProcessContext(Snapshot{}, probes, kVmWeights, env);
    ProbeCpuInterface(Snapshot{}, probes, kVmWeights, env);
    std::map<std::string, int32_t> results;
    for (const VmProbe& p : probes) results[p.id] = p.result;
    EXPECT_EQ(results["os.wine"], kDetected);
    EXPECT_EQ(results["os.debugger_api"], kNotDetected);
    EXPECT_EQ(results["os.sandbox_modules"], kNotDetected);
    // Wine has no Windows Hypervisor Platform library.
    EXPECT_EQ(results["cpu.whp_presence"], kNotSupported);
}

TEST(VmSystemLive, NoGuestArtifactsInThePrefix) {
    if (Planted()) GTEST_SKIP() << "guest artifacts are planted";
    Snapshot s;
    CollectVm(s);
    for (const char* id : {"os.guest_software", "os.running_services", "os.guest_files", "registry.legacy_bios",
                           "os.driver_keys", "os.guest_directories", "os.guest_windows", "os.guest_devices"})
        EXPECT_EQ(Row(s, id).first, "Not Detected") << id;
    for (const char* id : {"registry.acpi", "registry.scsi", "os.guest_processes"}) ExpectNothingFoundInTime(s, id);
    // Wine mirrors the host's own SMBIOS names into the BIOS key, so on a
    // virtual build machine that exposes them this probe rightly finds them.
    const std::string bios = Row(s, "registry.bios").first;
    EXPECT_TRUE(bios == "Not Detected" || bios == "Detected") << bios;
}

TEST(PlantedGuest, GuestArtifactsAreDetected) {
    if (!Planted()) GTEST_SKIP() << "run by scripts/run-planted-guest";
    Snapshot s;
    CollectVm(s);
    for (const char* id : {"os.guest_services", "os.guest_software", "os.guest_files", "os.driver_keys",
                           "os.guest_directories"})
        EXPECT_EQ(Row(s, id), (std::pair<std::string, std::string>{"Detected", "VirtualBox"})) << id;
    ExpectNothingFoundInTime(s, "os.guest_processes");
}

}  // namespace
}  // namespace vorq
