// Process and display context probes over hand-made answers and facts.
#include <gtest/gtest.h>

#include "collectors/devices/devices.h"
#include "collectors/devices/display.h"
#include "tests/unit/vm_fake_system.h"
#include "vm/vm.h"

namespace vorq {
namespace {

constexpr int32_t kNotImplemented = static_cast<int32_t>(0xC0000002u);
constexpr int32_t kNotSupportedStatus = static_cast<int32_t>(0xC00000BBu);
constexpr int32_t kAccessDeniedStatus = static_cast<int32_t>(0xC0000022u);
constexpr int32_t kPortNotSet = static_cast<int32_t>(0xC0000353u);

// A process without debugger, sandbox, Wine or remote session.
VmSystemAccess PlainProcess() {
    VmSystemAccess a;
    a.debuggerApi = [] { return DebuggerApiRead{false, true, false}; };
    a.pebDebugger = [] { return PebDebuggerRead{true, 0, 0x7FF000, true, 1, 0}; };
    a.nativeDebug = [] { return NativeDebugRead{true, 0, 0, 0, 1, kPortNotSet, 0}; };
    a.moduleLoaded = [](const std::string&) { return false; };
    a.moduleExport = [](const std::string&, const std::string&) { return 0; };
    a.systemMetric = [](int) { return 0; };
    return a;
}

VmProbeList RunProcess(const VmSystemAccess& sys) {
    VmSource env;
    env.system = sys;
    VmProbeList probes;
    ProbeProcessContext(Snapshot{}, probes, kVmWeights, env);
    return probes;
}

TEST(ProcessContext, PlainProcessIsNotDetected) {
    const VmProbeList probes = RunProcess(PlainProcess());
    ASSERT_EQ(probes.size(), 6u);
    const char* ids[] = {"os.debugger_api", "os.debugger_peb", "os.debugger_native",
                         "os.sandbox_modules", "os.wine", "os.remote_session"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(probes[i].id, ids[i]);
        EXPECT_EQ(probes[i].result, kNotDetected) << ids[i];
        EXPECT_EQ(probes[i].strength, kContext);
        EXPECT_EQ(probes[i].weight, 0);
        EXPECT_EQ(probes[i].caveat, "This context does not establish that Windows is a virtual guest and does not change the score.");
    }
}

TEST(ProcessContext, DebuggerApi) {
    struct Case {
        DebuggerApiRead read;
        int32_t result;
    } cases[] = {{{true, false, false}, kDetected}, {{false, false, false}, kProbeError},
                 {{false, true, true}, kDetected},  {{false, true, false}, kNotDetected}};
    for (const Case& c : cases) {
        VmSystemAccess sys = PlainProcess();
        sys.debuggerApi = [&c] { return c.read; };
        EXPECT_EQ(ProbeById(RunProcess(sys), "os.debugger_api").result, c.result);
    }
}

TEST(ProcessContext, PebDebugger) {
    struct Case {
        PebDebuggerRead read;
        int32_t result;
        const char* evidence;
    } cases[] = {
        {{false, 0, 0, false, 0, 0}, kNotSupported, "The required process query is not supported."},
        {{true, kNotImplemented, 0, false, 0, 0}, kNotSupported, "The required process query is not supported."},
        {{true, kAccessDeniedStatus, 0, false, 0, 0}, kProbeError, "The process context query could not be completed."},
        {{true, 0, 0, false, 0, 0}, kProbeError, "The process context query could not be completed."},
        {{true, 0, 0x1000, false, 0, 0}, kProbeError, "The process context query could not be completed."},
        {{true, 0, 0x1000, true, 0, 0}, kProbeError, "The process context query could not be completed."},
        {{true, 0, 0x1000, true, 1, 1}, kDetected, "The process PEB debugger flag is set."},
        {{true, 0, 0x1000, true, 1, 0}, kNotDetected, "The process PEB debugger flag is clear."},
    };
    for (const Case& c : cases) {
        VmSystemAccess sys = PlainProcess();
        sys.pebDebugger = [&c] { return c.read; };
        const VmProbe p = ProbeById(RunProcess(sys), "os.debugger_peb");
        EXPECT_EQ(p.result, c.result) << c.read.status << " " << c.read.peb;
        EXPECT_EQ(p.evidence, c.evidence);
    }
}

TEST(ProcessContext, NativeDebugQueries) {
    struct Case {
        NativeDebugRead read;
        int32_t result;
    } cases[] = {
        {{true, 0, 0, 0, 1, kPortNotSet, 0}, kNotDetected},
        {{true, 0, 0, 0, 0, kPortNotSet, 0}, kDetected},              // debug flags 0 alone
        {{true, 0, 0x44, 0, 1, kPortNotSet, 0}, kDetected},           // a debug port
        {{true, 0, 0, 0, 1, 0, 0x88}, kDetected},                     // a debug object
        {{true, 0, 0, 0, 1, 0, UINT64_MAX}, kNotDetected},            // -1 is no object
        {{true, kNotSupportedStatus, 0, 0, 1, kPortNotSet, 0}, kInconclusive},
        {{true, kNotSupportedStatus, 0, kNotImplemented, 1, kNotSupportedStatus, 0}, kNotSupported},
        {{true, 0, 0, kAccessDeniedStatus, 1, kPortNotSet, 0}, kProbeError},
        {{true, 0, 0, 0, 1, kAccessDeniedStatus, 0}, kProbeError},
        {{false, 0, 0, 0, 1, 0, 0}, kNotSupported},
    };
    for (const Case& c : cases) {
        VmSystemAccess sys = PlainProcess();
        sys.nativeDebug = [&c] { return c.read; };
        EXPECT_EQ(ProbeById(RunProcess(sys), "os.debugger_native").result, c.result)
            << std::hex << c.read.portStatus << " " << c.read.flagsStatus << " " << c.read.objectStatus;
    }
    VmSystemAccess sys = PlainProcess();
    sys.nativeDebug = [] { return NativeDebugRead{true, kNotSupportedStatus, 0, 0, 1, kPortNotSet, 0}; };
    EXPECT_EQ(ProbeById(RunProcess(sys), "os.debugger_native").evidence, "Only some native process queries are supported.");
}

TEST(ProcessContext, ModulesWineAndSessions) {
    VmSystemAccess sys = PlainProcess();
    sys.moduleLoaded = [](const std::string& m) { return m == "SbieDll.dll"; };
    sys.moduleExport = [](const std::string& m, const std::string& e) { return m == "ntdll.dll" && e == "wine_get_version"; };
    sys.systemMetric = [](int index) { return index == kSmRemoteControl ? 1 : 0; };
    const VmProbeList probes = RunProcess(sys);
    const VmProbe& sandbox = ProbeById(probes, "os.sandbox_modules");
    EXPECT_EQ(sandbox.result, kDetected);
    EXPECT_TRUE(sandbox.families.empty());
    EXPECT_EQ(ProbeById(probes, "os.wine").evidence, "A Wine compatibility-layer export is present.");
    EXPECT_EQ(ProbeById(probes, "os.remote_session").result, kDetected);

    sys.moduleExport = [](const std::string& m, const std::string&) { return m == "kernel32.dll" ? -1 : 1; };
    EXPECT_EQ(ProbeById(RunProcess(sys), "os.wine").result, kNotSupported);
}

TEST(ProcessContext, ContextProbesNeverScore) {
    VmSystemAccess sys = PlainProcess();
    sys.debuggerApi = [] { return DebuggerApiRead{true, true, true}; };
    sys.moduleExport = [](const std::string&, const std::string&) { return 1; };
    VmProbeList probes = RunProcess(sys);
    ScoreVmEvidence(probes, {{"cpu", 22, true}}, kVmWeights);
    for (const VmProbe& p : probes) EXPECT_EQ(p.impact, 0) << p.id;
}

VmProbeList RunDisplay(const Snapshot& s) {
    VmProbeList probes;
    ProbeDisplayContext(s, probes, kVmWeights, VmSource{});
    return probes;
}

void AddDevice(Snapshot& s, const std::string& cls, const std::string& hardwareId) {
    Table* t = nullptr;
    for (Table& x : s.tables)
        if (x.id == table::kDevices) t = &x;
    if (!t) {
        s.tables.push_back(MakeTable("devices", table::kDevices, "Present PnP devices", {}));
        t = &s.tables.back();
    }
    std::vector<std::string> row(col::devices::kPcieLink + 1);
    row[col::devices::kClass] = cls;
    row[col::devices::kHardwareId] = hardwareId;
    AddRow(*t, std::move(row));
}

TEST(DisplayContext, NoFactsIsInconclusive) {
    Snapshot s;
    VmProbeList probes = RunDisplay(s);
    ASSERT_EQ(probes.size(), 11u);
    for (const VmProbe& p : probes) {
        EXPECT_EQ(p.result, kInconclusive) << p.id;
        EXPECT_EQ(p.evidence, "The display metadata query was not completed.");
        EXPECT_EQ(p.category, "hardware");
        EXPECT_EQ(p.group, kGroupHardware);
    }
    EXPECT_EQ(probes[5].id, "hardware.nvml_guest");
    EXPECT_TRUE(probes[5].independent);
    EXPECT_EQ(probes[10].id, "hardware.hid_models");
    EXPECT_EQ(probes[10].weight, 8);

    AddDevice(s, "Mouse", "HID\\VID_046D&PID_C077");
    probes = RunDisplay(s);
    EXPECT_EQ(probes[10].result, kNotDetected);
    EXPECT_EQ(probes[10].evidence, "No selected virtual input device model was found.");
}

TEST(DisplayContext, StatusAndFlagFacts) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> facts;
        const char* id;
        int32_t result;
        const char* evidence;
    } cases[] = {
        {{{"display.probe.edid.context", "1"}, {"display.probe.edid.status", "error"}}, "hardware.edid_integrity", kDetected,
         "Cached EDID data is incomplete or structurally inconsistent."},
        {{{"display.probe.edid.status", "error"}}, "hardware.edid_integrity", kProbeError, "The display metadata query failed."},
        {{{"display.probe.paths.status", "ok"}, {"display.probe.paths.context", "0"}}, "hardware.display_paths", kNotDetected,
         "No selected remote or indirect display path was reported."},
        {{{"display.probe.nvml.status", "not_supported"}}, "hardware.nvml_guest", kNotSupported,
         "The display metadata interface is unavailable or unsupported."},
        {{{"display.probe.nvml.status", "not_supported"}}, "hardware.nvml_host", kNotSupported,
         "The display metadata interface is unavailable or unsupported."},
        {{{"display.probe.nvml.status", "ok"}, {"display.probe.nvml.host", "1"}}, "hardware.nvml_host", kDetected,
         "NVIDIA reports a virtualization host GPU mode."},
        {{{"display.probe.d3d.status", "ok"}}, "hardware.d3d_caps", kDetected,
         "Read-only Direct3D capability metadata was collected."},
        {{{"display.probe.memory.status", "error"}}, "hardware.video_memory", kProbeError, "The display metadata query failed."},
        {{{"display.probe.telemetry.status", "not_supported"}}, "hardware.nvml_telemetry", kNotSupported,
         "The display metadata interface is unavailable or unsupported."},
    };
    for (const Case& c : cases) {
        Snapshot s;
        for (const auto& [k, v] : c.facts) SetFact(s, k, v);
        const VmProbe p = ProbeById(RunDisplay(s), c.id);
        EXPECT_EQ(p.result, c.result) << c.id;
        EXPECT_EQ(p.evidence, c.evidence) << c.id;
    }
}

TEST(DisplayContext, ReadsWhatTheDisplayCollectorWrites) {
    Snapshot s;
    DxgiCounters c;
    c.desc3Ok = 1;
    c.desc3Software = 1;
    c.kmtOk = 1;
    c.d3dOk = 1;
    MarkProbeError(s, fact::kDisplayProbeMemoryError, static_cast<int32_t>(0x80004005u));
    WriteDxgiFacts(s, c, 0, 0);
    const VmProbeList probes = RunDisplay(s);
    EXPECT_EQ(ProbeById(probes, "hardware.dxgi_flags").result, kDetected);
    EXPECT_EQ(ProbeById(probes, "hardware.wddm_type").result, kNotDetected);
    EXPECT_EQ(ProbeById(probes, "hardware.d3d_caps").result, kDetected);
    EXPECT_EQ(ProbeById(probes, "hardware.video_memory").result, kProbeError);
}

TEST(DisplayContext, NvmlGuestIsWeightedEvidence) {
    Snapshot s;
    SetFact(s, fact::kDisplayProbeNvmlStatus, "ok");
    SetFact(s, fact::kDisplayProbeNvmlGuest, "1");
    VmProbeList probes = RunDisplay(s);
    const VmProbe& p = ProbeById(probes, "hardware.nvml_guest");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.families, "NVIDIA GPU virtualization");
    EXPECT_EQ(p.strength, kModerate);
    EXPECT_EQ(p.weight, 35);
    EXPECT_TRUE(p.independent);
    // The Direct3D inventory being read is context only.
    SetFact(s, fact::kDisplayProbeD3dStatus, "ok");
    probes = RunDisplay(s);
    const VmScoreResult r = ScoreVmEvidence(probes, {{"cpu", 22, true}}, kVmWeights);
    EXPECT_EQ(ProbeById(probes, "hardware.nvml_guest").impact, 35);
    EXPECT_EQ(ProbeById(probes, "hardware.d3d_caps").impact, 0);
    EXPECT_EQ(r.deduction, 35);
}

TEST(DisplayContext, VirtualInputModels) {
    Snapshot s;
    AddDevice(s, "HIDClass", "USB\\VID_80EE&PID_0021&REV_0100");
    VmProbe p = ProbeById(RunDisplay(s), "hardware.hid_models");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.families, "VirtualBox");
    EXPECT_EQ(p.evidence, "A selected virtual input device model is present.");

    Snapshot raw;
    SetFact(raw, fact::kDisplayProbeHidStatus, "ok");
    SetFact(raw, fact::kDisplayProbeHidFamily, "VirtualBox");
    EXPECT_EQ(ProbeById(RunDisplay(raw), "hardware.hid_models").families, "VirtualBox");

    Snapshot rawOnly;
    SetFact(rawOnly, fact::kDisplayProbeHidStatus, "ok");
    SetFact(rawOnly, fact::kDisplayProbeHidFamily, "");
    EXPECT_EQ(ProbeById(RunDisplay(rawOnly), "hardware.hid_models").result, kNotDetected);
}

}  // namespace
}  // namespace vorq
