// The display collector: Plug and Play adapters, DXGI adapters and outputs
// with their WDDM, Direct3D and memory probes, display paths, raw input, the
// NVIDIA management library and monitor EDIDs.
#include <windows.h>
// clang-format off
#include <d3d11.h>
#include <dxgi1_6.h>
#include <setupapi.h>
// clang-format on

#include <cwchar>
#include <memory>

#include "collectors/devices/display.h"
#include "collectors/devices/display_paths.h"
#include "collectors/devices/edid.h"
#include "collectors/devices/nvml.h"
#include "collectors/devices/pcie_link_win.h"
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

void ReadPnpAdapters(std::vector<PnpAdapterRead>& out) {
    DeviceInfoList list(SetupDiGetClassDevsW(&kDisplayClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!list) return;
    for (DWORD i = 0; i < kMaxPnpAdapters; ++i) {
        SP_DEVINFO_DATA dev{};
        dev.cbSize = sizeof dev;
        if (!SetupDiEnumDeviceInfo(list.get(), i, &dev)) break;
        HDEVINFO set = list.get();
        PnpAdapterRead a;
        a.name = WStringToUtf8(DevFriendlyName(set, dev));
        const std::vector<std::wstring> ids = DevPropStringList(set, dev, DEVPKEY_Device_HardwareIds);
        if (!ids.empty()) a.hardwareId = WStringToUtf8(ids[0]);
        a.provider = WStringToUtf8(DevPropString(set, dev, DEVPKEY_Device_DriverProvider));
        a.version = WStringToUtf8(DevPropString(set, dev, DEVPKEY_Device_DriverVersion));
        a.qwMemorySize = RegBytes(set, dev, L"HardwareInformation.qwMemorySize");
        a.memorySize = RegBytes(set, dev, L"HardwareInformation.MemorySize");
        a.bios = RegText(set, dev, DIREG_DRV, L"HardwareInformation.BiosString");
        a.chip = RegText(set, dev, DIREG_DRV, L"HardwareInformation.ChipType");
        GUID container{};
        if (DevPropGuid(set, dev, DEVPKEY_Device_ContainerId, container)) a.containerId = FormatGuid(container);
        a.videoId = RegText(set, dev, DIREG_DEV, L"VideoID");
        a.pcieLink = PcieLinkOf(set, dev);
        out.push_back(std::move(a));
    }
}

D3dCapsRead ReadD3d11(IDXGIAdapter1* adapter) {
    D3dCapsRead r;
    ComPtr<ID3D11Device> device;
    D3D_FEATURE_LEVEL level{};
    r.hr = D3D11CreateDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_SINGLETHREADED, nullptr, 0,
                             D3D11_SDK_VERSION, device.put(), &level, nullptr);
    if (FAILED(r.hr) || !device) return r;
    r.created = true;
    r.featureLevel = static_cast<uint32_t>(level);
    D3D11_FEATURE_DATA_THREADING threading{};
    if (SUCCEEDED(device->CheckFeatureSupport(D3D11_FEATURE_THREADING, &threading, sizeof threading)))
        r.threading = std::array<bool, 2>{threading.DriverConcurrentCreates != FALSE, threading.DriverCommandLists != FALSE};
    D3D11_FEATURE_DATA_DOUBLES doubles{};
    if (SUCCEEDED(device->CheckFeatureSupport(D3D11_FEATURE_DOUBLES, &doubles, sizeof doubles)))
        r.doubles = doubles.DoublePrecisionFloatShaderOps != FALSE;
    D3D11_FEATURE_DATA_D3D11_OPTIONS options{};
    if (SUCCEEDED(device->CheckFeatureSupport(D3D11_FEATURE_D3D11_OPTIONS, &options, sizeof options)))
        r.options = std::array<bool, 2>{options.OutputMergerLogicOp != FALSE, options.ConstantBufferOffsetting != FALSE};
    return r;
}

void ReadAdapterProbes(IDXGIAdapter1* adapter, const DXGI_ADAPTER_DESC1& desc, unsigned index, DxgiAdapterRead& a) {
    ComPtr<IDXGIAdapter4> a4;
    if (SUCCEEDED(adapter->QueryInterface(__uuidof(IDXGIAdapter4), a4.put_void())) && a4) {
        DXGI_ADAPTER_DESC3 d3{};
        a.desc3Hr = a4->GetDesc3(&d3);
        if (SUCCEEDED(*a.desc3Hr)) a.desc3Flags = static_cast<uint32_t>(d3.Flags);
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
            a.kmtStatus = query(&q);
            a.kmtType = type;
        }
    }

    ComPtr<IDXGIAdapter3> a3;
    if (SUCCEEDED(adapter->QueryInterface(__uuidof(IDXGIAdapter3), a3.put_void())) && a3) {
        const DXGI_MEMORY_SEGMENT_GROUP groups[] = {DXGI_MEMORY_SEGMENT_GROUP_LOCAL, DXGI_MEMORY_SEGMENT_GROUP_NON_LOCAL};
        for (DXGI_MEMORY_SEGMENT_GROUP g : groups) {
            DXGI_QUERY_VIDEO_MEMORY_INFO info{};
            MemorySegmentRead m;
            m.local = g == DXGI_MEMORY_SEGMENT_GROUP_LOCAL;
            m.hr = a3->QueryVideoMemoryInfo(0, g, &info);
            m.budget = info.Budget;
            m.usage = info.CurrentUsage;
            m.available = info.AvailableForReservation;
            m.reserved = info.CurrentReservation;
            a.segments.push_back(m);
        }
    }

    if (index < kMaxD3dAdapters && !IsDxgiSoftwareAdapter(desc.Flags)) a.d3d = ReadD3d11(adapter);
}

void ReadOutputs(IDXGIAdapter1* adapter, GetDpiForMonitorFn getDpi, std::vector<OutputRead>& out) {
    for (UINT j = 0; j < kMaxOutputs; ++j) {
        ComPtr<IDXGIOutput> output;
        if (FAILED(adapter->EnumOutputs(j, output.put())) || !output) break;
        DXGI_OUTPUT_DESC d{};
        if (FAILED(output->GetDesc(&d))) continue;
        OutputRead o;
        o.device = WideField(d.DeviceName, 32);
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        if (EnumDisplaySettingsW(d.DeviceName, ENUM_CURRENT_SETTINGS, &mode))
            o.mode = std::array<uint32_t, 4>{mode.dmPelsWidth, mode.dmPelsHeight, mode.dmDisplayFrequency, mode.dmBitsPerPel};
        UINT x = 0, y = 0;
        if (getDpi && d.Monitor && getDpi(d.Monitor, 0, &x, &y) == S_OK) o.dpi = x;
        o.left = d.DesktopCoordinates.left;
        o.top = d.DesktopCoordinates.top;
        o.right = d.DesktopCoordinates.right;
        o.bottom = d.DesktopCoordinates.bottom;
        o.rotation = static_cast<uint32_t>(d.Rotation);
        o.attached = d.AttachedToDesktop != FALSE;
        out.push_back(std::move(o));
    }
}

void ReadDxgiAdapters(GetDpiForMonitorFn getDpi, std::vector<DxgiAdapterRead>& out) {
    ComPtr<IDXGIFactory1> factory;
    if (FAILED(CreateDXGIFactory1(__uuidof(IDXGIFactory1), factory.put_void())) || !factory) return;
    for (UINT i = 0; i < kMaxDxgiAdapters; ++i) {
        ComPtr<IDXGIAdapter1> adapter;
        if (FAILED(factory->EnumAdapters1(i, adapter.put())) || !adapter) break;
        DXGI_ADAPTER_DESC1 desc{};
        if (FAILED(adapter->GetDesc1(&desc))) continue;
        DxgiAdapterRead a;
        a.index = i;
        a.description = WideField(desc.Description, 128);
        a.vendorId = desc.VendorId;
        a.deviceId = desc.DeviceId;
        a.subSysId = desc.SubSysId;
        a.revision = desc.Revision;
        a.dedicatedVideoMemory = desc.DedicatedVideoMemory;
        a.sharedSystemMemory = desc.SharedSystemMemory;
        a.luidHigh = static_cast<uint32_t>(desc.AdapterLuid.HighPart);
        a.luidLow = desc.AdapterLuid.LowPart;
        a.flags = desc.Flags;
        ReadAdapterProbes(adapter.get(), desc, i, a);
        ReadOutputs(adapter.get(), getDpi, a.outputs);
        out.push_back(std::move(a));
    }
}

DisplayPathSource LiveDisplayPaths() {
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
    src.remoteProtocol = QueryCurrentSessionProtocol;
    return src;
}

RawInputSource LiveRawInput() {
    // The last list read, which `info` indexes; shared by the two calls.
    auto list = std::make_shared<std::vector<RAWINPUTDEVICELIST>>();
    RawInputSource src;
    src.count = [](uint32_t& count) {
        UINT n = 0;
        if (GetRawInputDeviceList(nullptr, &n, sizeof(RAWINPUTDEVICELIST)) == static_cast<UINT>(-1)) return false;
        count = n;
        return true;
    };
    src.list = [list](uint32_t capacity, uint32_t& error) -> int64_t {
        list->assign(capacity, RAWINPUTDEVICELIST{});
        UINT n = capacity;
        const UINT got = GetRawInputDeviceList(list->data(), &n, sizeof(RAWINPUTDEVICELIST));
        if (got == static_cast<UINT>(-1)) {
            error = GetLastError();
            return -1;
        }
        return got;
    };
    src.info = [list](uint32_t index, RawInputInfo& out) {
        if (index >= list->size()) return false;
        RID_DEVICE_INFO info{};
        info.cbSize = sizeof info;
        UINT size = sizeof info;
        if (GetRawInputDeviceInfoW((*list)[index].hDevice, RIDI_DEVICEINFO, &info, &size) == static_cast<UINT>(-1))
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
    return src;
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

}  // namespace

void CollectDisplay(Snapshot& s) {
    DisplaySource src;
    ReadPnpAdapters(src.adapters.pnp);
    {
        UniqueModule shcore = LoadSystemLibrary(L"shcore.dll");
        auto getDpi = GetProc<GetDpiForMonitorFn>(shcore.get(), "GetDpiForMonitor");
        ReadDxgiAdapters(getDpi, src.adapters.dxgi);
    }
    src.paths = LiveDisplayPaths();
    src.rawInput = LiveRawInput();
    src.nvmlLoaded = LoadNvml(src.nvml);

    // The monitor list stays open while the pure part asks for friendly names.
    DeviceInfoList monitors(SetupDiGetClassDevsW(&kMonitorClass, nullptr, nullptr, DIGCF_PRESENT));
    src.monitorsListed = static_cast<bool>(monitors);
    for (DWORD i = 0; monitors && i < kMaxMonitors; ++i) {
        SP_DEVINFO_DATA dev{};
        dev.cbSize = sizeof dev;
        if (!SetupDiEnumDeviceInfo(monitors.get(), i, &dev)) break;
        src.monitors.push_back(ReadMonitorEdid(monitors.get(), dev));
    }
    src.monitorName = [&monitors](uint32_t index) {
        SP_DEVINFO_DATA dev{};
        dev.cbSize = sizeof dev;
        if (!SetupDiEnumDeviceInfo(monitors.get(), index, &dev)) return std::string();
        return WStringToUtf8(DevFriendlyName(monitors.get(), dev));
    };
    CollectDisplayFrom(s, src);
}

}  // namespace vorq
