// The display collector: Plug and Play adapters, DXGI adapters and outputs
// with their WDDM, Direct3D and memory probes, display paths, raw input, the
// NVIDIA management library and monitor EDIDs.
#include <windows.h>
// clang-format off
#include <d3d11.h>
#include <dxgi1_6.h>
#include <setupapi.h>
#include <wtsapi32.h>
// clang-format on

#include <cwchar>

#include "collectors/devices/display.h"
#include "collectors/devices/display_paths.h"
#include "collectors/devices/edid.h"
#include "collectors/devices/nvml.h"
#include "collectors/devices/pcie_link_win.h"
#include "core/collectors.h"
#include "core/devprop_win.h"
#include "core/win.h"

namespace vorq {

namespace {

constexpr GUID kDisplayClass = {0x4D36E968, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID kMonitorClass = {0x4D36E96E, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

constexpr unsigned kMaxPnpAdapters = 16;
constexpr unsigned kMaxDxgiAdapters = 16;
constexpr unsigned kMaxOutputs = 64;
constexpr unsigned kMaxD3dAdapters = 4;
constexpr DWORD kMaxMonitors = 64;

// D3DKMT adapter queries (gdi32), resolved at run time: mingw-w64 declares none.
struct KmtOpenAdapterFromLuid {
    LUID AdapterLuid;
    UINT hAdapter;
};
struct KmtQueryAdapterInfo {
    UINT hAdapter;
    UINT Type;
    void* pPrivateDriverData;
    UINT PrivateDriverDataSize;
};
struct KmtCloseAdapter {
    UINT hAdapter;
};
constexpr UINT kKmtQaiAdapterType = 15;
using KmtOpenFn = LONG(APIENTRY*)(KmtOpenAdapterFromLuid*);
using KmtQueryFn = LONG(APIENTRY*)(KmtQueryAdapterInfo*);
using KmtCloseFn = LONG(APIENTRY*)(KmtCloseAdapter*);
static_assert(sizeof(KmtQueryAdapterInfo) == 24 && sizeof(KmtOpenAdapterFromLuid) == 12);
static_assert(sizeof(DISPLAYCONFIG_TARGET_DEVICE_NAME) == 420);

// An adapter opened through D3DKMT, closed on every path.
struct KmtAdapter {
    KmtCloseFn close;
    UINT handle;
    KmtAdapter(KmtCloseFn c, UINT h) : close(c), handle(h) {}
    KmtAdapter(const KmtAdapter&) = delete;
    KmtAdapter& operator=(const KmtAdapter&) = delete;
    ~KmtAdapter() {
        KmtCloseAdapter c{handle};
        close(&c);
    }
};

// shcore's GetDpiForMonitor, loaded at run time (MDT_EFFECTIVE_DPI is 0).
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

std::string WideField(const wchar_t* p, size_t max) { return ToUtf8(p, wcsnlen(p, max)); }

std::string RegText(HDEVINFO set, const SP_DEVINFO_DATA& dev, DWORD keyType, const wchar_t* name) {
    Bytes data;
    DWORD type = 0;
    if (!DevRegValue(set, dev, keyType, name, data, type)) return std::string();
    return RegDataToUtf8(data, type);
}

Bytes RegBytes(HDEVINFO set, const SP_DEVINFO_DATA& dev, const wchar_t* name) {
    Bytes data;
    DWORD type = 0;
    if (!DevRegValue(set, dev, DIREG_DRV, name, data, type)) data.clear();
    return data;
}

void AddPnpAdapters(Snapshot& s, Table& gpus, PnpAdapterIds& out) {
    DeviceInfoList list(SetupDiGetClassDevsW(&kDisplayClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!list) return;
    for (DWORD i = 0; i < kMaxPnpAdapters; ++i) {
        SP_DEVINFO_DATA dev{};
        dev.cbSize = sizeof dev;
        if (!SetupDiEnumDeviceInfo(list.get(), i, &dev)) break;
        HDEVINFO set = list.get();
        const std::string name = WStringToUtf8(DevFriendlyName(set, dev));
        const std::vector<std::wstring> ids = DevPropStringList(set, dev, DEVPKEY_Device_HardwareIds);
        const std::wstring first = ids.empty() ? std::wstring() : ids[0];
        const PciIds p = ParsePciIds(first);
        std::string pciCell;
        if (!p.ven.empty()) {
            pciCell = Format("%s:%s subsys %s rev %s", p.ven.c_str(), p.dev.c_str(), p.subsys.c_str(), p.rev.c_str());
            out.pciIds.push_back(p.ven + ":" + p.dev);
        } else {
            pciCell = WStringToUtf8(first);
            if (!name.empty()) out.nonPciNames.push_back(name);
        }
        const std::string driver = Trim(WStringToUtf8(DevPropString(set, dev, DEVPKEY_Device_DriverProvider)) + " " +
                                        WStringToUtf8(DevPropString(set, dev, DEVPKEY_Device_DriverVersion)));
        const std::string memory = VideoMemoryText(RegBytes(set, dev, L"HardwareInformation.qwMemorySize"),
                                                   RegBytes(set, dev, L"HardwareInformation.MemorySize"));
        const std::string vbios = VbiosChipText(RegText(set, dev, DIREG_DRV, L"HardwareInformation.BiosString"),
                                                RegText(set, dev, DIREG_DRV, L"HardwareInformation.ChipType"));
        GUID container{};
        const std::string containerId =
            DevPropGuid(set, dev, DEVPKEY_Device_ContainerId, container) ? FormatGuid(container) : std::string();
        const std::string videoId = RegText(set, dev, DIREG_DEV, L"VideoID");
        AddRow(gpus, {name, pciCell, driver, memory, vbios, PcieLinkOf(set, dev), containerId, videoId});

        s.signals.push_back(MakeSignal(sig::kGpuModel, "Display", "GPU: " + name, pciCell, SignalScope::PerModel, 2, "gpu",
                                       Sens::No, "SetupAPI DEVPKEY_Device_HardwareIds", "", 1.0));
        if (!vbios.empty())
            s.signals.push_back(MakeSignal(sig::kGpuVbios, "Display", "GPU VBIOS: " + name, vbios, SignalScope::PerModel, 1,
                                           "gpu", Sens::No, "driver key HardwareInformation.BiosString", "", 1.0));
        if (!videoId.empty())
            s.signals.push_back(MakeSignal(
                sig::kGpuVideoId, "Display", "GPU video ID: " + name, videoId, SignalScope::PerInstall, 4, "gpu", Sens::Yes,
                "device key VideoID",
                "created at first device install; survives driver updates; reset by a clean device removal or OS reinstall",
                1.0));
    }
}

struct DxgiTables {
    Table dxgi = MakeDisplayTable(table::kDisplayDxgi);
    Table outputs = MakeDisplayTable(table::kDisplayOutputs);
    Table flags = MakeDisplayTable(table::kDisplayAdapterFlags);
    Table caps = MakeDisplayTable(table::kDisplayD3dCaps);
    Table budgets = MakeDisplayTable(table::kDisplayMemoryBudgets);
};

const char* Bit(BOOL b) { return b ? "1" : "0"; }

void ProbeD3d11(Snapshot& s, IDXGIAdapter1* adapter, const std::string& label, DxgiTables& t, DxgiCounters& c) {
    ComPtr<ID3D11Device> device;
    D3D_FEATURE_LEVEL level{};
    const HRESULT hr = D3D11CreateDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_SINGLETHREADED,
                                         nullptr, 0, D3D11_SDK_VERSION, device.put(), &level, nullptr);
    if (FAILED(hr) || !device) {
        MarkProbeError(s, fact::kDisplayProbeD3dError, hr);
        return;
    }
    ++c.d3dOk;
    AddRow(t.caps, {label, "D3D11_FEATURE_LEVEL", Format("0x%04X", static_cast<unsigned>(level))});
    D3D11_FEATURE_DATA_THREADING threading{};
    if (SUCCEEDED(device->CheckFeatureSupport(D3D11_FEATURE_THREADING, &threading, sizeof threading)))
        AddRow(t.caps, {label, "D3D11_FEATURE_THREADING",
                        Format("concurrent=%s command-lists=%s", Bit(threading.DriverConcurrentCreates),
                               Bit(threading.DriverCommandLists))});
    D3D11_FEATURE_DATA_DOUBLES doubles{};
    if (SUCCEEDED(device->CheckFeatureSupport(D3D11_FEATURE_DOUBLES, &doubles, sizeof doubles)))
        AddRow(t.caps, {label, "D3D11_FEATURE_DOUBLES", Bit(doubles.DoublePrecisionFloatShaderOps)});
    D3D11_FEATURE_DATA_D3D11_OPTIONS options{};
    if (SUCCEEDED(device->CheckFeatureSupport(D3D11_FEATURE_D3D11_OPTIONS, &options, sizeof options)))
        AddRow(t.caps, {label, "D3D11_FEATURE_D3D11_OPTIONS",
                        Format("logic-op=%s constant-buffer-offset=%s", Bit(options.OutputMergerLogicOp),
                               Bit(options.ConstantBufferOffsetting))});
}

void ProbeDxgiAdapter(Snapshot& s, IDXGIAdapter1* adapter, const DXGI_ADAPTER_DESC1& desc, unsigned index,
                      DxgiTables& t, DxgiCounters& c, bool& kmtSoftwareOrIndirect) {
    const std::string label = Format("Adapter %u", index + 1);

    ComPtr<IDXGIAdapter4> a4;
    if (SUCCEEDED(adapter->QueryInterface(__uuidof(IDXGIAdapter4), a4.put_void())) && a4) {
        DXGI_ADAPTER_DESC3 d3{};
        const HRESULT hr = a4->GetDesc3(&d3);
        if (FAILED(hr)) {
            MarkProbeError(s, fact::kDisplayProbeDxgiError, hr);
        } else {
            ++c.desc3Ok;
            const bool software = IsDxgiSoftwareAdapter(static_cast<uint32_t>(d3.Flags));
            if (software) ++c.desc3Software;
            AddRow(t.flags, {label, "DXGI_ADAPTER_DESC3", Format("0x%08X", static_cast<unsigned>(d3.Flags)),
                             software ? "SOFTWARE" : "HARDWARE"});
        }
    }

    if (HMODULE gdi = GetModuleHandleW(L"gdi32.dll")) {
        auto open = GetProc<KmtOpenFn>(gdi, "D3DKMTOpenAdapterFromLuid");
        auto query = GetProc<KmtQueryFn>(gdi, "D3DKMTQueryAdapterInfo");
        auto close = GetProc<KmtCloseFn>(gdi, "D3DKMTCloseAdapter");
        KmtOpenAdapterFromLuid o{};
        o.AdapterLuid = desc.AdapterLuid;
        if (open && query && close && open(&o) >= 0) {
            const KmtAdapter opened{close, o.hAdapter};
            UINT type = 0;
            KmtQueryAdapterInfo q{};
            q.hAdapter = o.hAdapter;
            q.Type = kKmtQaiAdapterType;
            q.pPrivateDriverData = &type;
            q.PrivateDriverDataSize = sizeof type;
            const LONG status = query(&q);
            if (status >= 0) {
                ++c.kmtOk;
                if (IsVirtualKmtType(type)) ++c.kmtVirtual;
                if (IsSoftwareOrIndirectKmtType(type)) kmtSoftwareOrIndirect = true;
                AddRow(t.flags, {label, "D3DKMT_ADAPTERTYPE", Format("0x%08X", type), KmtAdapterTypeText(type)});
            } else if (IsCountedKmtFailure(static_cast<uint32_t>(status))) {
                SetFact(s, fact::kDisplayProbeWddmError, "1");
            }
        }
    }

    ComPtr<IDXGIAdapter3> a3;
    if (SUCCEEDED(adapter->QueryInterface(__uuidof(IDXGIAdapter3), a3.put_void())) && a3) {
        const DXGI_MEMORY_SEGMENT_GROUP groups[] = {DXGI_MEMORY_SEGMENT_GROUP_LOCAL, DXGI_MEMORY_SEGMENT_GROUP_NON_LOCAL};
        for (DXGI_MEMORY_SEGMENT_GROUP g : groups) {
            DXGI_QUERY_VIDEO_MEMORY_INFO info{};
            const HRESULT hr = a3->QueryVideoMemoryInfo(0, g, &info);
            if (FAILED(hr)) {
                MarkProbeError(s, fact::kDisplayProbeMemoryError, hr);
                continue;
            }
            ++c.memoryOk;
            AddRow(t.budgets, {label, g == DXGI_MEMORY_SEGMENT_GROUP_LOCAL ? "LOCAL" : "NON_LOCAL",
                               FormatBytes(info.Budget), FormatBytes(info.CurrentUsage),
                               FormatBytes(info.AvailableForReservation), FormatBytes(info.CurrentReservation)});
        }
    }

    if (index < kMaxD3dAdapters && !IsDxgiSoftwareAdapter(desc.Flags)) ProbeD3d11(s, adapter, label, t, c);
}

void AddOutputs(IDXGIAdapter1* adapter, const std::string& description, GetDpiForMonitorFn getDpi, DxgiTables& t,
                DxgiCounters& c) {
    for (UINT j = 0; j < kMaxOutputs; ++j) {
        ComPtr<IDXGIOutput> output;
        if (FAILED(adapter->EnumOutputs(j, output.put())) || !output) break;
        DXGI_OUTPUT_DESC d{};
        if (FAILED(output->GetDesc(&d))) continue;
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        std::string current;
        if (EnumDisplaySettingsW(d.DeviceName, ENUM_CURRENT_SETTINGS, &mode))
            current = Format("%lu x %lu @ %lu Hz, %lu bpp", mode.dmPelsWidth, mode.dmPelsHeight,
                             mode.dmDisplayFrequency, mode.dmBitsPerPel);
        std::string dpi;
        UINT x = 0, y = 0;
        if (getDpi && d.Monitor && getDpi(d.Monitor, 0, &x, &y) == S_OK) dpi = DpiText(x);
        const RECT& r = d.DesktopCoordinates;
        AddRow(t.outputs, {WideField(d.DeviceName, 32), description, current,
                           Format("%ld,%ld - %ld,%ld", r.left, r.top, r.right, r.bottom),
                           RotationText(static_cast<uint32_t>(d.Rotation)), dpi, d.AttachedToDesktop ? "yes" : "no"});
        ++c.outputs;
    }
}

void AddDxgiAdapters(Snapshot& s, const PnpAdapterIds& pnp, GetDpiForMonitorFn getDpi, DxgiTables& t, DxgiCounters& c) {
    ComPtr<IDXGIFactory1> factory;
    if (FAILED(CreateDXGIFactory1(__uuidof(IDXGIFactory1), factory.put_void())) || !factory) return;
    for (UINT i = 0; i < kMaxDxgiAdapters; ++i) {
        ComPtr<IDXGIAdapter1> adapter;
        if (FAILED(factory->EnumAdapters1(i, adapter.put())) || !adapter) break;
        DXGI_ADAPTER_DESC1 desc{};
        if (FAILED(adapter->GetDesc1(&desc))) continue;
        const std::string vd = Format("%04X:%04X", desc.VendorId, desc.DeviceId);
        const std::string description = WideField(desc.Description, 128);
        const bool software = IsDxgiSoftwareAdapter(desc.Flags);
        AddRow(t.dxgi, {description, vd, Format("%08X / %02X", desc.SubSysId, desc.Revision),
                        FormatBytes(desc.DedicatedVideoMemory), FormatBytes(desc.SharedSystemMemory),
                        Format("%08lX:%08lX", static_cast<unsigned long>(desc.AdapterLuid.HighPart),
                               static_cast<unsigned long>(desc.AdapterLuid.LowPart)),
                        software ? "software" : "hardware"});
        bool kmtSoftwareOrIndirect = false;
        ProbeDxgiAdapter(s, adapter.get(), desc, i, t, c, kmtSoftwareOrIndirect);
        CountDxgiAdapter(c, pnp, vd, description, desc.Flags, kmtSoftwareOrIndirect);
        AddOutputs(adapter.get(), description, getDpi, t, c);
    }
}

void AddDisplayPaths(Snapshot& s) {
    DisplayPathSource src;
    src.bufferSizes = [](uint32_t& paths, uint32_t& modes) {
        UINT32 p = 0, m = 0;
        const LONG rc = GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &p, &m);
        paths = p;
        modes = m;
        return static_cast<long>(rc);
    };
    src.query = [](uint32_t& nPaths, uint32_t& nModes, std::vector<DisplayPathInfo>& out) {
        std::vector<DISPLAYCONFIG_PATH_INFO> paths(nPaths);
        std::vector<DISPLAYCONFIG_MODE_INFO> modes(nModes);
        UINT32 p = nPaths, m = nModes;
        const LONG rc = QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &p, paths.data(), &m, modes.data(), nullptr);
        nPaths = p;
        nModes = m;
        for (size_t k = 0; rc == ERROR_SUCCESS && k < p && k < paths.size(); ++k) {
            const DISPLAYCONFIG_PATH_INFO& x = paths[k];
            DisplayPathInfo info;
            info.source = x.sourceInfo.id;
            info.target = x.targetInfo.id;
            info.technology = static_cast<uint32_t>(x.targetInfo.outputTechnology);
            info.flags = x.flags;
            info.adapter = static_cast<uint64_t>(static_cast<uint32_t>(x.targetInfo.adapterId.HighPart)) << 32 |
                           x.targetInfo.adapterId.LowPart;
            out.push_back(info);
        }
        return static_cast<long>(rc);
    };
    src.edidIdentity = [](const DisplayPathInfo& p) {
        DISPLAYCONFIG_TARGET_DEVICE_NAME name{};
        name.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
        name.header.size = sizeof name;
        name.header.adapterId.LowPart = static_cast<DWORD>(p.adapter);
        name.header.adapterId.HighPart = static_cast<LONG>(p.adapter >> 32);
        name.header.id = p.target;
        if (DisplayConfigGetDeviceInfo(&name.header) != ERROR_SUCCESS || !name.flags.edidIdsValid) return std::string();
        return Format("%04X:%04X", name.edidManufactureId, name.edidProductCodeId);
    };
    src.remoteProtocol = [](uint16_t& protocol) {
        LPWSTR buf = nullptr;
        DWORD bytes = 0;
        const bool ok = WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION,
                                                    WTSClientProtocolType, &buf, &bytes) &&
                        buf && bytes > 1;
        if (ok) memcpy(&protocol, buf, sizeof protocol);
        if (buf) WTSFreeMemory(buf);
        return ok;
    };
    AddDisplayPathsFrom(s, src);
}

void AddRawInputDevices(Snapshot& s) {
    std::vector<RAWINPUTDEVICELIST> list;
    RawInputSource src;
    src.count = [](uint32_t& count) {
        UINT n = 0;
        if (GetRawInputDeviceList(nullptr, &n, sizeof(RAWINPUTDEVICELIST)) == static_cast<UINT>(-1)) return false;
        count = n;
        return true;
    };
    src.list = [&](uint32_t capacity, uint32_t& error) -> int64_t {
        list.assign(capacity, RAWINPUTDEVICELIST{});
        UINT n = capacity;
        const UINT got = GetRawInputDeviceList(list.data(), &n, sizeof(RAWINPUTDEVICELIST));
        if (got == static_cast<UINT>(-1)) {
            error = GetLastError();
            return -1;
        }
        return got;
    };
    src.info = [&](uint32_t index, RawInputInfo& out) {
        if (index >= list.size()) return false;
        RID_DEVICE_INFO info{};
        info.cbSize = sizeof info;
        UINT size = sizeof info;
        if (GetRawInputDeviceInfoW(list[index].hDevice, RIDI_DEVICEINFO, &info, &size) == static_cast<UINT>(-1))
            return false;
        out.type = info.dwType;
        if (info.dwType == RIM_TYPEHID) {
            out.vendorId = info.hid.dwVendorId;
            out.productId = info.hid.dwProductId;
            out.usagePage = info.hid.usUsagePage;
            out.usage = info.hid.usUsage;
        }
        return true;
    };
    AddRawInputDevicesFrom(s, src);
}

MonitorEdidRead ReadMonitorEdid(HDEVINFO set, SP_DEVINFO_DATA& dev) {
    MonitorEdidRead r;
    UniqueHKey key(SetupDiOpenDevRegKey(set, &dev, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
    if (!key || key.get() == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) {
        key.release();
        r.edidError = r.overrideError = true;
        return r;
    }
    HKEY sub = nullptr;
    const LONG orc = RegOpenKeyExW(key.get(), L"EDID_OVERRIDE", 0, KEY_QUERY_VALUE, &sub);
    if (orc == ERROR_SUCCESS) {
        r.overridePresent = true;
        RegCloseKey(sub);
    }
    if (orc == ERROR_SUCCESS || orc == ERROR_FILE_NOT_FOUND || orc == ERROR_PATH_NOT_FOUND)
        r.overrideProbed = true;
    else
        r.overrideError = true;

    DWORD type = 0, size = 0;
    const LONG rc = RegQueryValueExW(key.get(), L"EDID", nullptr, &type, nullptr, &size);
    if (rc == ERROR_SUCCESS && type == REG_BINARY) {
        r.hasEdid = true;
        if (size > kMaxEdidBytes) {
            r.tooLarge = true;
        } else if (size > 0) {
            Bytes buf(size);
            DWORD got = size;
            DWORD type2 = 0;
            if (RegQueryValueExW(key.get(), L"EDID", nullptr, &type2, buf.data(), &got) != ERROR_SUCCESS ||
                type2 != REG_BINARY || got > size) {
                r.hasEdid = false;
                r.edidError = true;
            } else {
                buf.resize(got);
                r.bytes = std::move(buf);
            }
        }
    } else if (rc == ERROR_SUCCESS) {
        r.edidError = true;
    } else if (rc != ERROR_FILE_NOT_FOUND && rc != ERROR_PATH_NOT_FOUND) {
        r.edidError = true;
    }
    return r;
}

MonitorStep AddMonitors(Snapshot& s) {
    DeviceInfoList list(SetupDiGetClassDevsW(&kMonitorClass, nullptr, nullptr, DIGCF_PRESENT));
    MonitorStep m = BeginMonitorStep(static_cast<bool>(list));
    for (DWORD i = 0; list && i < kMaxMonitors; ++i) {
        SP_DEVINFO_DATA dev{};
        dev.cbSize = sizeof dev;
        if (!SetupDiEnumDeviceInfo(list.get(), i, &dev)) break;
        const MonitorEdidRead r = ReadMonitorEdid(list.get(), dev);
        AddMonitor(s, m, i, r, [&] { return WStringToUtf8(DevFriendlyName(list.get(), dev)); });
    }
    FinishMonitorStep(s, m);
    return m;
}

}  // namespace

void CollectDisplay(Snapshot& s) {
    RemoveProbeFacts(s);

    Table gpus = MakeDisplayTable(table::kDisplayGpus);
    PnpAdapterIds pnp;
    AddPnpAdapters(s, gpus, pnp);

    DxgiTables dx;
    DxgiCounters counters;
    {
        UniqueModule shcore = LoadSystemLibrary(L"shcore.dll");
        auto getDpi = GetProc<GetDpiForMonitorFn>(shcore.get(), "GetDpiForMonitor");
        AddDxgiAdapters(s, pnp, getDpi, dx, counters);
    }
    WriteDxgiFacts(s, counters, pnp.pciIds.size(), pnp.nonPciNames.size());

    AddDisplayPaths(s);
    AddRawInputDevices(s);

    NvmlTables nvml;
    {
        NvmlApi api;
        const bool loaded = LoadNvml(api);
        nvml = RunNvmlStep(s, api, loaded);
    }

    MonitorStep monitors = AddMonitors(s);

    for (Table* t : {&gpus, &dx.dxgi, &dx.outputs, &nvml.gpus, &monitors.monitors, &dx.flags, &dx.caps, &dx.budgets,
                     &nvml.modes, &nvml.telemetry, &monitors.checks})
        s.tables.push_back(std::move(*t));
}

}  // namespace vorq
