// Any system as the virtual-machine probes see it: facts, signals and tables
// left by the other collectors, CPUID leaves, registry keys and values of any
// type and size, services, files, processes, windows, debugger state, routes
// and session answers. Detection ends, stays inside its buffers and writes
// UTF-8 rows no longer than their columns.
#include <cstdlib>
#include <map>
#include <string>

#include "collectors/devices/battery.h"
#include "collectors/devices/devices.h"
#include "collectors/devices/display.h"
#include "collectors/devices/network.h"
#include "collectors/devices/peripherals.h"
#include "collectors/devices/storage.h"
#include "collectors/processor/acpi.h"
#include "collectors/processor/cpu.h"
#include "collectors/processor/hypervisor.h"
#include "collectors/processor/smbios.h"
#include "collectors/processor/uefi.h"
#include "collectors/trust/drivers.h"
#include "collectors/trust/platform.h"
#include "collectors/trust/tpm.h"
#include "tests/fuzz/fuzz_source.h"
#include "vm/catalog.h"
#include "vm/vm.h"

namespace {

using namespace vorq;
using fuzz::Feed;

// What the probes read from the other collectors.
const std::string kFacts[] = {
    fact::kAcpiMadtCpus,
    fact::kAcpiPmProfile,
    fact::kAcpiTpm2,
    fact::kAcpiVmAmlQemu,
    fact::kAcpiVmAmlStatus,
    fact::kAcpiVmAmlVmclock,
    fact::kAcpiVmAmlVmgenid,
    fact::kAcpiVmTablesStatus,
    fact::kAcpiVmWaet,
    fact::kAtaDescPrefix,
    fact::kAtaSnPrefix,
    fact::kAudioActive,
    fact::kBatteryCount,
    fact::kCpuArchKind,
    fact::kCpuArchStatus,
    fact::kCpuCores,
    fact::kCpuLogical,
    fact::kCpuPackages,
    fact::kCpuSetsLogical,
    fact::kCpuSetsStatus,
    fact::kCpuTopologyActive,
    fact::kCpuTopologyApicAvailable,
    fact::kCpuTopologyProbed,
    fact::kCpuTopologyStatus,
    fact::kCpuTopologyUniqueApic,
    fact::kCpuXStateEnabled,
    fact::kCpuXStateStatus,
    fact::kCpuXStateWindowsAvx,
    fact::kCpuXenSecondaryStatus,
    fact::kDevicesUsbSerials,
    fact::kHvParametersStatus,
    fact::kHvPresent,
    fact::kHvVendor,
    fact::kHvVmGenid,
    fact::kHvVmGenidStatus,
    fact::kNvmeDescPrefix,
    fact::kNvmeEui64Prefix,
    fact::kNvmeNguidPrefix,
    fact::kNvmeSnPrefix,
    fact::kPlatHvci,
    fact::kPlatHvciCi,
    fact::kPlatUefi,
    fact::kPlatVbs,
    fact::kSmbiosCpuThreads,
    fact::kSmbiosTpmVendor,
    fact::kSmbiosVmFlag,
    fact::kSvcDevPrefix,
    fact::kTpmCapabilityStatus,
    fact::kTpmDeviceStatus,
    fact::kTpmEk,
    fact::kTpmEkBound,
    fact::kTpmEkCerts,
    fact::kTpmEkParseErrors,
    fact::kTpmEkUnbound,
    fact::kTpmLog,
    fact::kTpmLogParse,
    fact::kTpmManufacturer,
    fact::kTpmStatus,
    fact::kTpmVendorString,
    fact::kTpmVersion,
    fact::kUefiVarsDenied,
    fact::kUefiVarsOk,
    fact::kVmClassification,
    fact::kVmCloud,
    fact::kVmCoverage,
    fact::kVmFamily,
    fact::kVmGuest,
    fact::kVmHvPresent,
    fact::kVmHvRole,
    fact::kVmModel,
    fact::kVmNetDuplicateActive,
    fact::kVmNetLocalActive,
    fact::kVmNetSoftwareActive,
    fact::kVmNetStatus,
    fact::kVmPnpIds,
    fact::kVmScore,
    fact::kVmSmbiosBadReferences,
    fact::kVmSmbiosBadStringIndices,
    fact::kVmSmbiosDuplicateHandles,
    fact::kVmSmbiosStructureStatus,
    fact::kVmVps};
const char* const kTables[] = {
    table::kAcpi,
    table::kCpuLeaves,
    table::kDevices,
    table::kDevicesClasses,
    table::kDisplayDxgi,
    table::kDisplayGpus,
    table::kDisplayMonitors,
    table::kDrivers,
    table::kNetIfaces,
    table::kPlatformHvguest,
    table::kPlatformPosture,
    table::kSmbios,
    table::kStorageDisks,
    table::kVmCatalogMethods,
    table::kVmCatalogRejected,
    table::kVmSummary};
const char* const kSignals[] = {
    sig::kCpuBrand,
    sig::kSmbiosBiosVendor,
    sig::kSmbiosBiosVersion,
    sig::kSmbiosBoardProduct,
    sig::kSmbiosOemString,
    sig::kSmbiosSystemManufacturer,
    sig::kSmbiosSystemProduct,
    sig::kSmbiosSystemSerial};

// Texts the probes look for are more likely than random ones.
std::string Value(Feed& f) {
    static const char* const kWords[] = {"0", "1", "2", "ok", "error", "not_supported", "complete", "available",
                                         "VMware", "VirtualBox", "QEMU", "Microsoft Hv", "KVMKVMKVM", "Xen",
                                         "VBOX", "[ok] enabled", "2.0", "none", "present", "TCG"};
    return f.Bool() ? kWords[f.Count(std::size(kWords) - 1)] : f.Text(32);
}

constexpr size_t kColumns = 24;

void FillSnapshot(Feed& f, Snapshot& s) {
    for (size_t n = f.Count(24); n > 0; --n) {
        std::string key = kFacts[f.Count(std::size(kFacts) - 1)];
        if (f.Bool()) key += std::to_string(f.Count(3));
        SetFact(s, key, Value(f));
    }
    for (size_t n = f.Count(6); n > 0; --n) {
        Signal sig;
        sig.key = kSignals[f.Count(std::size(kSignals) - 1)];
        sig.value = Value(f);
        s.signals.push_back(sig);
    }
    for (size_t n = f.Count(4); n > 0; --n) {
        Table t;
        t.id = kTables[f.Count(std::size(kTables) - 1)];
        t.columns.assign(kColumns, "c");
        t.rows.resize(f.Count(4));
        for (auto& row : t.rows) {
            row.cells.resize(kColumns);
            for (size_t k = f.Count(6); k > 0; --k) row.cells[f.Count(kColumns - 1)] = Value(f);
        }
        s.tables.push_back(std::move(t));
    }
}

uint32_t Error(Feed& f) {
    static const uint32_t kErrors[] = {0, kErrFileNotFound, kErrPathNotFound, kErrAccessDenied, kErrMoreData,
                                       kErrNoMoreItems, kErrServiceDoesNotExist, kErrModNotFound};
    return f.Bool() ? kErrors[f.Count(std::size(kErrors) - 1)] : f.Int<uint32_t>();
}

VmSystemAccess System(Feed& f, uint64_t& clock) {
    VmSystemAccess a;
    a.tickMs = [&f, &clock] { return clock += f.Count(20); };
    a.regOpenKey = [&f](const std::string&, RegView) { return Error(f); };
    a.regReadValue = [&f](const std::string&, const std::string&, bool, size_t bufferBytes) {
        RegValueRead r;
        r.error = Error(f);
        r.type = f.in.ConsumeIntegralInRange<uint32_t>(0, 11);
        r.data = f.in.ConsumeBytes<uint8_t>(f.Count(bufferBytes < 512 ? bufferBytes : 512));
        return r;
    };
    a.regEnumSubkeys = [&f](const std::string&, const std::function<bool(uint32_t, const std::string&)>& each) {
        for (size_t n = f.Count(5); n > 0; --n)
            if (!each(f.Bool() ? 0 : Error(f), Value(f))) break;
        return Error(f);
    };
    a.queryServices = [&f](const std::vector<std::string>& names, std::vector<ServiceStateQuery>& out) {
        out.resize(f.Bool() ? names.size() : f.Count(names.size() + 2));
        for (ServiceStateQuery& q : out) {
            q.openError = Error(f);
            q.queryError = Error(f);
            q.state = f.Bool() ? kServiceRunning : f.Word();
        }
        return Error(f);
    };
    a.windowsDirectory = [&f](std::string& dir) {
        dir = f.Bool() ? "C:\\Windows" : f.Text(32);
        return Error(f);
    };
    a.fileAttributes = [&f](const std::string&) {
        FileAttributesRead r;
        r.valid = f.Bool();
        r.attributes = f.Bool() ? kFileAttributeDirectory : f.Int<uint32_t>();
        r.error = Error(f);
        return r;
    };
    a.knownFolder = [&f](KnownFolder) { return KnownFolderRead{f.Bool() ? 0 : f.Int<int32_t>(), f.Text(32)}; };
    a.driveType = [&f](const std::string&) { return f.Bool() ? kDriveFixed : f.Word(); };
    a.walkProcesses = [&f](const std::function<bool(const std::string&)>& each) {
        for (size_t n = f.Count(6); n > 0; --n)
            if (!each(Value(f))) break;
        return ProcessWalkEnd{Error(f), Error(f), f.Bool() ? kErrNoMoreFiles : Error(f)};
    };
    a.findWindowClass = [&f](const std::string&) { return f.Bool(); };
    a.queryDosDevice = [&f](const std::string&) { return Error(f); };
    a.whpHypervisorPresent = [&f] {
        return WhpPresenceRead{Error(f), f.Bool(), f.Bool() ? 0 : f.Int<int32_t>(), f.Word(), f.Word()};
    };
    a.debuggerApi = [&f] { return DebuggerApiRead{f.Bool(), f.Bool(), f.Bool()}; };
    a.pebDebugger = [&f] {
        return PebDebuggerRead{f.Bool(), f.Int<int32_t>(), f.Int<uint64_t>(), f.Bool(), f.Int<uint64_t>(),
                               f.Int<uint8_t>()};
    };
    a.nativeDebug = [&f] {
        return NativeDebugRead{f.Bool(), f.Int<int32_t>(), f.Int<uint64_t>(), f.Int<int32_t>(), f.Word(),
                               f.Int<int32_t>(), f.Int<uint64_t>()};
    };
    a.moduleLoaded = [&f](const std::string&) { return f.Bool(); };
    a.moduleExport = [&f](const std::string&, const std::string&) { return f.in.ConsumeIntegralInRange<int>(-1, 1); };
    a.systemMetric = [&f](int) { return f.Bool() ? 0 : f.Int<int>(); };
    return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    Feed f{provider};
    Snapshot s;
    FillSnapshot(f, s);
    uint64_t clock = 0;
    std::map<uint32_t, CpuidLeafRegs> leaves;
    VmSource env;
    env.cpuid = [&](uint32_t leaf) {
        auto [it, fresh] = leaves.try_emplace(leaf);
        if (fresh) it->second = {f.Int<uint32_t>(), f.Int<uint32_t>(), f.Int<uint32_t>(), f.Int<uint32_t>(), f.Bool()};
        return it->second;
    };
    env.scanServiceKeys = [&](const ServiceKey* keys, size_t count) {
        ServiceKeyScan scan;
        for (size_t i = 0; i < count; ++i)
            if (f.Bool()) scan.families.insert(keys[i].family);
        scan.incomplete = f.Bool();
        return scan;
    };
    env.system = System(f, clock);
    if (f.Bool())
        env.readRouteTables = [&] {
            RouteTablesRead r;
            r.routesOk = f.Bool();
            r.routeCount = f.Bool() ? f.Count(8) : f.Int<uint64_t>();
            r.routes.resize(f.Count(8));
            for (RouteRow& row : r.routes) row = {f.Bool(), f.Int<uint8_t>(), f.Int<uint32_t>()};
            r.neighborsOk = f.Bool();
            r.neighborCount = f.Bool() ? f.Count(8) : f.Int<uint64_t>();
            return r;
        };
    if (f.Bool()) env.queryWtsProtocol = [&] { return WtsProtocolRead{f.Bool(), f.Int<uint16_t>()}; };
    if (f.Bool()) env.queryNativeVhdBoot = [&] { return NativeVhdRead{f.Bool(), f.Bool(), f.Bool()}; };
    CollectVmFrom(s, env);
    fuzz::CheckSnapshot(s);
    return 0;
}
