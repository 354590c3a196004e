// Process context probes: debugger readings of this process, loaded sandbox
// modules, the Wine compatibility layer and remote sessions. Context only:
// reported, never weighed, and nothing about the process is changed.
#include <utility>

#include "vm/vm.h"

namespace vorq {

namespace {

constexpr const char* kUnsupportedText = "The required process query is not supported.";
constexpr const char* kFailureText = "The process context query could not be completed.";

constexpr uint32_t kStatusPortNotSet = 0xC0000353u;

bool Failed(int32_t status) { return status < 0; }

bool Unsupported(int32_t status) {
    const uint32_t s = static_cast<uint32_t>(status);
    return s == 0xC0000002u || s == 0xC0000003u || s == 0xC00000BBu;
}

VmProbe MakeProcessContextProbe(const char* id, const char* title, const char* method) {
    VmProbe p = MakeVmProbe(id, "os", title, method, kGroupOs, kContext, 0);
    p.caveat = "This context does not establish that Windows is a virtual guest and does not change the score.";
    return p;
}

void Set(VmProbe& p, int32_t result, const char* evidence) {
    p.result = result;
    p.evidence = evidence;
}

void ProbeDebuggerContext(VmProbeList& probes, const VmSystemAccess& sys) {
    {
        VmProbe p = MakeProcessContextProbe("os.debugger_api", "Debugger API context",
                                            "Read IsDebuggerPresent and CheckRemoteDebuggerPresent for this process only.");
        if (!sys.debuggerApi) {
            Set(p, kNotSupported, kUnsupportedText);
        } else {
            const DebuggerApiRead r = sys.debuggerApi();
            if (r.present) {
                Set(p, kDetected, "A debugger is reported for this process.");
            } else if (!r.remoteOk) {
                Set(p, kProbeError, kFailureText);
            } else if (r.remote) {
                Set(p, kDetected, "A debugger is reported for this process.");
            } else {
                Set(p, kNotDetected, "No debugger is reported for this process.");
            }
        }
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeProcessContextProbe("os.debugger_peb", "PEB debugger context",
                                            "Read this process's PEB BeingDebugged field using the Windows SDK structure definition.");
        const PebDebuggerRead r = sys.pebDebugger ? sys.pebDebugger() : PebDebuggerRead{};
        if (!r.available) {
            Set(p, kNotSupported, kUnsupportedText);
        } else if (Failed(r.status)) {
            Set(p, Unsupported(r.status) ? kNotSupported : kProbeError, Unsupported(r.status) ? kUnsupportedText : kFailureText);
        } else if (r.peb == 0 || !r.readOk || r.bytesRead != 1) {
            Set(p, kProbeError, kFailureText);
        } else {
            SetDetected(p, r.beingDebugged != 0, "The process PEB debugger flag is set.",
                        "The process PEB debugger flag is clear.");
        }
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeProcessContextProbe("os.debugger_native", "Native process debugger context",
                                            "Query this process's debug port, debug flags and debug object without changing process state.");
        const NativeDebugRead r = sys.nativeDebug ? sys.nativeDebug() : NativeDebugRead{};
        if (!r.available) {
            Set(p, kNotSupported, kUnsupportedText);
        } else {
            const bool portOk = !Failed(r.portStatus);
            const bool flagsOk = !Failed(r.flagsStatus);
            const bool objectOk = !Failed(r.objectStatus);
            const bool objectAnswered = objectOk || static_cast<uint32_t>(r.objectStatus) == kStatusPortNotSet;
            const bool debugObject = objectOk && r.object != 0 && r.object != UINT64_MAX;
            const bool debuggerState = (portOk && r.port != 0) || (flagsOk && r.flags == 0) || debugObject;
            if (debuggerState) {
                Set(p, kDetected, "Native process queries report a debugger-related state.");
            } else if (portOk && flagsOk && objectAnswered) {
                Set(p, kNotDetected, "Native process queries report no debugger-related state.");
            } else {
                const bool allUnsupported =
                    Unsupported(r.portStatus) && Unsupported(r.flagsStatus) && Unsupported(r.objectStatus);
                const bool hardFailure = (!portOk && !Unsupported(r.portStatus)) ||
                                         (!flagsOk && !Unsupported(r.flagsStatus)) ||
                                         (!objectAnswered && !Unsupported(r.objectStatus));
                if (allUnsupported) {
                    Set(p, kNotSupported, kUnsupportedText);
                } else if (hardFailure) {
                    Set(p, kProbeError, kFailureText);
                } else {
                    Set(p, kInconclusive, "Only some native process queries are supported.");
                }
            }
        }
        AppendProbe(probes, std::move(p));
    }
}

}  // namespace

void ProbeProcessContext(const Snapshot&, VmProbeList& probes, const VmWeights&, const VmSource& env) {
    const VmSystemAccess& sys = env.system;
    ProbeDebuggerContext(probes, sys);
    {
        VmProbe p = MakeProcessContextProbe("os.sandbox_modules", "Loaded sandbox integration modules",
                                            "Check exact Sandboxie and Comodo container module names already loaded in this process.");
        if (!sys.moduleLoaded) {
            Set(p, kNotSupported, kUnsupportedText);
        } else {
            bool loaded = false;
            for (const char* m : {"SbieDll.dll", "SbieDll64.dll", "cmdvrt32.dll", "cmdvrt64.dll"}) loaded = loaded || sys.moduleLoaded(m);
            SetDetected(p, loaded, "A recognized sandbox integration module is loaded.",
                        "No selected sandbox integration module is loaded.");
        }
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeProcessContextProbe("os.wine", "Wine compatibility-layer context",
                                            "Check Wine-specific exports in already loaded ntdll and kernel32 modules without loading a library.");
        const int ntdll = sys.moduleExport ? sys.moduleExport("ntdll.dll", "wine_get_version") : -1;
        const int kernel32 = sys.moduleExport ? sys.moduleExport("kernel32.dll", "wine_get_unix_file_name") : -1;
        if (ntdll < 0 || kernel32 < 0) {
            Set(p, kNotSupported, kUnsupportedText);
        } else {
            SetDetected(p, ntdll > 0 || kernel32 > 0, "A Wine compatibility-layer export is present.",
                        "No selected Wine compatibility-layer export was found.");
        }
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeProcessContextProbe("os.remote_session", "Remote Windows session context",
                                            "Read the Windows remote-session and remote-control session metrics.");
        if (!sys.systemMetric) {
            Set(p, kNotSupported, kUnsupportedText);
        } else {
            const bool remote = sys.systemMetric(kSmRemoteSession) != 0 || sys.systemMetric(kSmRemoteControl) != 0;
            SetDetected(p, remote, "Windows reports a remote or remotely controlled session.",
                        "The session metrics do not report remote access.");
        }
        AppendProbe(probes, std::move(p));
    }
}

}  // namespace vorq
