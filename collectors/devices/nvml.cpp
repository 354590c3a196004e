#include "collectors/devices/nvml.h"

#include <algorithm>

#include "collectors/devices/display.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr const char* kNvmlAbsent =
    "NVML not available (no NVIDIA driver) - AMD/Intel vendor SDKs are not queried.";

struct TelemetryContext {
    NvmlDevice device;
    uint32_t& ok;
    bool& failed;
    Table& table;
    const std::string& label;
};

void ProbeNvmlTelemetry(TelemetryContext& c, NvmlSensorFn fn, int type, const char* metric) {
    if (!fn) return;
    unsigned value = 0;
    const int code = fn(c.device, type, &value);
    if (code == kNvmlSuccess)
        ++c.ok;
    else if (code != kNvmlNotSupported)
        c.failed = true;
    AddRow(c.table, {c.label, metric, code == kNvmlSuccess ? std::to_string(value) : std::string(), std::to_string(code)});
}

}  // namespace

bool HasRequiredNvmlExports(const NvmlApi& api) {
    return api.init && api.shutdown && api.getCount && api.getHandleByIndex && api.getUuid;
}

bool IsKnownNvmlMode(unsigned mode) { return mode < 5; }
bool IsNvmlGuestMode(unsigned mode) { return mode == 1 || mode == 2; }
bool IsNvmlHostMode(unsigned mode) { return mode == 3 || mode == 4; }

std::string NvmlModeName(unsigned mode) {
    static const char* const kNames[] = {"NONE", "PASSTHROUGH", "VGPU", "HOST_VGPU", "HOST_VSGA"};
    return IsKnownNvmlMode(mode) ? kNames[mode] : "UNKNOWN";
}

std::string NvmlString(NvmlStringFn fn, NvmlDevice device, int& status) {
    if (!fn) {
        status = -1;
        return std::string();
    }
    char buf[256] = {};
    status = fn(device, buf, sizeof buf);
    if (status != kNvmlSuccess) return std::string();
    // The library may fill the whole buffer; Latin1ToUtf8 stops at a NUL but never reads past n.
    return Trim(Latin1ToUtf8(reinterpret_cast<const uint8_t*>(buf), sizeof buf));
}

NvmlTables RunNvmlStep(Snapshot& s, const NvmlApi& api, bool loaded) {
    NvmlTables t{MakeDisplayTable(table::kDisplayNvml), MakeDisplayTable(table::kDisplayNvmlModes),
                 MakeDisplayTable(table::kDisplayNvmlTelemetry)};
    uint32_t modesOk = 0, guests = 0, hosts = 0, listed = 0, telemetryOk = 0;
    bool nvmlFailed = false, telemetryFailed = false;
    auto fail = [&] { nvmlFailed = telemetryFailed = true; };

    if (!loaded) {
        t.gpus.note = kNvmlAbsent;
    } else if (int code = api.init(); code != kNvmlSuccess) {
        if (code != kNvmlNotSupported) fail();
        t.gpus.note = kNvmlAbsent;
    } else {
        unsigned count = 0;
        code = api.getCount(&count);
        if (code != kNvmlSuccess) {
            if (code != kNvmlNotSupported) fail();
            count = 0;
        }
        const unsigned n = std::min(count, kMaxNvmlGpus);
        for (unsigned g = 0; g < n; ++g) {
            const std::string label = Format("Adapter %u", g + 1);
            NvmlDevice dev = nullptr;
            if (api.getHandleByIndex(g, &dev) != kNvmlSuccess) {
                fail();
                continue;
            }
            int st = 0, serialStatus = 0;
            const std::string name = NvmlString(api.getName, dev, st);
            const std::string uuid = NvmlString(api.getUuid, dev, st);
            const std::string serial = NvmlString(api.getSerial, dev, serialStatus);
            const std::string part = NvmlString(api.getBoardPartNumber, dev, st);
            const std::string vbios = NvmlString(api.getVbiosVersion, dev, st);

            if (api.getVirtualizationMode) {
                unsigned mode = 0;
                const int mc = api.getVirtualizationMode(dev, &mode);
                if (mc == kNvmlSuccess && IsKnownNvmlMode(mode)) {
                    ++modesOk;
                    if (IsNvmlGuestMode(mode)) ++guests;
                    if (IsNvmlHostMode(mode)) ++hosts;
                } else if (mc == kNvmlSuccess || mc != kNvmlNotSupported) {
                    nvmlFailed = true;
                }
                AddRow(t.modes, {label, mc == kNvmlSuccess ? NvmlModeName(mode) : std::string(), std::to_string(mc)});
            }

            TelemetryContext ctx{dev, telemetryOk, telemetryFailed, t.telemetry, label};
            ProbeNvmlTelemetry(ctx, api.getTemperature, 0, "TEMPERATURE_C");
            ProbeNvmlTelemetry(ctx, api.getClockInfo, 0, "GRAPHICS_CLOCK_MHZ");
            ProbeNvmlTelemetry(ctx, api.getClockInfo, 2, "MEMORY_CLOCK_MHZ");
            if (api.getUtilizationRates) {
                NvmlUtilization u{};
                const int uc = api.getUtilizationRates(dev, &u);
                if (uc == kNvmlSuccess)
                    ++telemetryOk;
                else if (uc != kNvmlNotSupported)
                    telemetryFailed = true;
                const bool ok = uc == kNvmlSuccess;
                AddRow(t.telemetry, {label, "GPU_UTILIZATION_PERCENT", ok ? std::to_string(u.gpu) : "", std::to_string(uc)});
                AddRow(t.telemetry,
                       {label, "MEMORY_UTILIZATION_PERCENT", ok ? std::to_string(u.memory) : "", std::to_string(uc)});
            }

            // The board serial is per unit where the board has one.
            AddRow(t.gpus, {name, uuid, serialStatus != kNvmlSuccess ? std::string("not supported") : serial, part, vbios},
                   {Role::Undeclared, Role::Undeclared, serial.empty() ? Role::Program : Role::Identifier});
            ++listed;
            if (!uuid.empty()) {
                s.signals.push_back(MakeSignal(sig::kGpuUuid, "Display", {"GPU UUID: {x1}", {{name, Role::Maker}}}, uuid,
                                               SignalScope::PerUnit, 20, "gpu", Role::Identifier, "NVML nvmlDeviceGetUUID",
                                               "", 1.0));
            }
            if (!serial.empty()) {
                s.signals.push_back(MakeSignal(sig::kGpuSerial, "Display", {"GPU board serial: {x1}", {{name, Role::Maker}}},
                                               serial, SignalScope::PerUnit, 15, "gpu", Role::Identifier,
                                               "NVML nvmlDeviceGetSerial", "", 1.0));
            }
        }
        api.shutdown();
    }

    SetFact(s, fact::kGpuUuidCount, std::to_string(listed));
    SetFact(s, fact::kDisplayProbeNvmlStatus, ProbeStatusWord(static_cast<int>(modesOk), nvmlFailed));
    SetFact(s, fact::kDisplayProbeNvmlGuest, guests ? "1" : "0");
    SetFact(s, fact::kDisplayProbeNvmlHost, hosts ? "1" : "0");
    SetFact(s, fact::kDisplayProbeTelemetryStatus, ProbeStatusWord(static_cast<int>(telemetryOk), telemetryFailed));
    return t;
}

}  // namespace vorq
