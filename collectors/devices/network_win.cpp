// The network collector's Windows side: the interface table, the registry
// values of the network stack, Bluetooth radios and remembered devices, and
// the mobile-broadband modem through WinRT. Everything is gathered into
// NetworkSource and turned into records by the shared part.
#include <winsock2.h>
// clang-format off
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <bluetoothapis.h>
// clang-format on

#include <cwchar>
#include <exception>
#include <memory>

#include "collectors/devices/network.h"
#include "collectors/devices/wwan_winrt_win.h"
#include "core/fault_guard_win.h"
#include "core/registry_win.h"
#include "core/win.h"

namespace vorq {

namespace {

static_assert(sizeof(BLUETOOTH_RADIO_INFO) == 520);
static_assert(sizeof(BLUETOOTH_DEVICE_INFO) == 560);
static_assert(sizeof(BLUETOOTH_DEVICE_SEARCH_PARAMS) == 40);
static_assert(sizeof(MIB_IF_ROW2::PhysicalAddress) == kMaxMacBytes);

constexpr const wchar_t* kTcpip6Parameters = L"SYSTEM\\CurrentControlSet\\Services\\Tcpip6\\Parameters";
constexpr const wchar_t* kSignatures =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkList\\Signatures\\Unmanaged";
constexpr const wchar_t* kProfiles = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkList\\Profiles";
constexpr size_t kBtNameChars = 248;

// A fixed wide field up to its first NUL, never past its end.
template <size_t N>
std::string FieldText(const WCHAR (&field)[N], size_t max = N) {
    const size_t limit = max < N ? max : N;
    return ToUtf8(field, wcsnlen(field, limit));
}

SystemTimeFields TimeFields(const SYSTEMTIME& t) {
    SystemTimeFields f;
    f.year = t.wYear;
    f.month = t.wMonth;
    f.dayOfWeek = t.wDayOfWeek;
    f.day = t.wDay;
    f.hour = t.wHour;
    f.minute = t.wMinute;
    f.second = t.wSecond;
    f.milliseconds = t.wMilliseconds;
    return f;
}

struct MibTableFree {
    void operator()(MIB_IF_TABLE2* t) const { FreeMibTable(t); }
};

struct RadioFindTraits {
    using Type = HBLUETOOTH_RADIO_FIND;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { BluetoothFindRadioClose(h); }
};
struct DeviceFindTraits {
    using Type = HBLUETOOTH_DEVICE_FIND;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { BluetoothFindDeviceClose(h); }
};

void ReadInterfaces(NetworkSource& in) {
    MIB_IF_TABLE2* raw = nullptr;
    if (GetIfTable2(&raw) != NO_ERROR || !raw) return;
    const std::unique_ptr<MIB_IF_TABLE2, MibTableFree> table(raw);
    in.ifTableOk = true;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IF_ROW2& r = table->Table[i];
        NetIfRow row;
        row.guid.Data1 = r.InterfaceGuid.Data1;
        row.guid.Data2 = r.InterfaceGuid.Data2;
        row.guid.Data3 = r.InterfaceGuid.Data3;
        for (int k = 0; k < 8; ++k) row.guid.Data4[k] = r.InterfaceGuid.Data4[k];
        row.description = FieldText(r.Description);
        row.type = r.Type;
        row.medium = static_cast<uint32_t>(r.PhysicalMediumType);
        row.hardware = r.InterfaceAndOperStatusFlags.HardwareInterface != 0;
        row.filter = r.InterfaceAndOperStatusFlags.FilterInterface != 0;
        row.operStatus = static_cast<uint32_t>(r.OperStatus);
        row.mediaConnectState = static_cast<uint32_t>(r.MediaConnectState);
        row.transmitLinkSpeed = r.TransmitLinkSpeed;
        row.addressLength = r.PhysicalAddressLength;
        memcpy(row.current, r.PhysicalAddress, kMaxMacBytes);
        memcpy(row.permanent, r.PermanentPhysicalAddress, kMaxMacBytes);
        in.interfaces.push_back(std::move(row));
    }
}

void ReadNetworkList(NetworkSource& in) {
    for (const std::wstring& name : RegEnumSubkeys(HKEY_LOCAL_MACHINE, kSignatures)) {
        const std::wstring path = std::wstring(kSignatures) + L"\\" + name;
        std::wstring guid;
        if (!RegReadString(HKEY_LOCAL_MACHINE, path.c_str(), L"ProfileGuid", guid)) continue;
        NetSignature sig;
        sig.profileGuid = WStringToUtf8(guid);
        std::wstring dns;
        if (RegReadString(HKEY_LOCAL_MACHINE, path.c_str(), L"DnsSuffix", dns)) sig.dnsSuffix = WStringToUtf8(dns);
        RegReadBinary(HKEY_LOCAL_MACHINE, path.c_str(), L"DefaultGatewayMac", sig.gatewayMac);
        in.signatures.push_back(std::move(sig));
    }
    for (const std::wstring& name : RegEnumSubkeys(HKEY_LOCAL_MACHINE, kProfiles)) {
        const std::wstring path = std::wstring(kProfiles) + L"\\" + name;
        NetProfile p;
        p.guid = WStringToUtf8(name);
        std::wstring profileName;
        if (RegReadString(HKEY_LOCAL_MACHINE, path.c_str(), L"ProfileName", profileName))
            p.name = WStringToUtf8(profileName);
        if (!RegReadDword(HKEY_LOCAL_MACHINE, path.c_str(), L"Category", p.category)) p.category = 0;
        if (!RegReadDword(HKEY_LOCAL_MACHINE, path.c_str(), L"NameType", p.nameType)) p.nameType = 0;
        RegReadBinary(HKEY_LOCAL_MACHINE, path.c_str(), L"DateCreated", p.created);
        RegReadBinary(HKEY_LOCAL_MACHINE, path.c_str(), L"DateLastConnected", p.lastConnected);
        in.profiles.push_back(std::move(p));
    }
}

void ReadBluetooth(NetworkSource& in) {
    BLUETOOTH_FIND_RADIO_PARAMS params{};
    params.dwSize = sizeof params;
    HANDLE radio = nullptr;
    if (UniqueResource<RadioFindTraits> find(BluetoothFindFirstRadio(&params, &radio)); find) {
        do {
            UniqueHandle holder(radio);
            BLUETOOTH_RADIO_INFO info{};
            info.dwSize = sizeof info;
            if (BluetoothGetRadioInfo(radio, &info) == ERROR_SUCCESS) {
                BtRadio r;
                r.name = FieldText(info.szName, kBtNameChars);
                memcpy(r.address, info.address.rgBytes, 6);
                r.manufacturer = info.manufacturer;
                r.lmpSubversion = info.lmpSubversion;
                r.classOfDevice = info.ulClassofDevice;
                in.radios.push_back(std::move(r));
            }
            radio = nullptr;
        } while (BluetoothFindNextRadio(find.get(), &radio));
    }
    if (in.radios.empty()) return;

    // The stack's cache only: no inquiry goes over the air.
    BLUETOOTH_DEVICE_SEARCH_PARAMS search{};
    search.dwSize = sizeof search;
    search.fReturnAuthenticated = TRUE;
    search.fReturnRemembered = TRUE;
    search.fReturnConnected = TRUE;
    BLUETOOTH_DEVICE_INFO info{};
    info.dwSize = sizeof info;
    UniqueResource<DeviceFindTraits> devices(BluetoothFindFirstDevice(&search, &info));
    if (!devices) return;
    do {
        BtDevice d;
        d.name = FieldText(info.szName, kBtNameChars);
        memcpy(d.address, info.Address.rgBytes, 6);
        d.classOfDevice = info.ulClassofDevice;
        d.connected = info.fConnected != FALSE;
        d.authenticated = info.fAuthenticated != FALSE;
        d.lastSeen = TimeFields(info.stLastSeen);
        d.lastUsed = TimeFields(info.stLastUsed);
        in.btDevices.push_back(std::move(d));
        info = BLUETOOTH_DEVICE_INFO{};
        info.dwSize = sizeof info;
    } while (BluetoothFindNextDevice(devices.get(), &info));
}

struct WinRtApi {
    UniqueModule module;
    wwan::RoGetActivationFactoryFn getFactory = nullptr;
    wwan::WindowsCreateStringReferenceFn makeReference = nullptr;
    wwan::WindowsGetStringRawBufferFn rawBuffer = nullptr;
    wwan::WindowsDeleteStringFn deleteString = nullptr;
};

template <typename Object>
std::string ReadWinRtString(const WinRtApi& api, Object* object, HRESULT (STDMETHODCALLTYPE Object::*getter)(HSTRING*)) {
    HSTRING h = nullptr;
    if (FAILED((object->*getter)(&h))) return {};
    UINT32 length = 0;
    const PCWSTR buffer = api.rawBuffer(h, &length);
    std::string text = buffer ? ToUtf8(buffer, length) : std::string();
    if (h) api.deleteString(h);
    return text;
}

void QueryModem(ModemInfo& m) {
    WinRtApi api;
    api.module = LoadSystemLibrary(L"combase.dll");
    api.getFactory = GetProc<wwan::RoGetActivationFactoryFn>(api.module.get(), "RoGetActivationFactory");
    api.makeReference =
        GetProc<wwan::WindowsCreateStringReferenceFn>(api.module.get(), "WindowsCreateStringReference");
    api.rawBuffer = GetProc<wwan::WindowsGetStringRawBufferFn>(api.module.get(), "WindowsGetStringRawBuffer");
    api.deleteString = GetProc<wwan::WindowsDeleteStringFn>(api.module.get(), "WindowsDeleteString");
    if (!api.getFactory || !api.makeReference || !api.rawBuffer || !api.deleteString) {
        // Windows before 8 has no WinRT at all.
        m.outcome = ModemOutcome::Failed;
        m.failure = HResultText(HRESULT_FROM_WIN32(api.module ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND));
        return;
    }

    // Held outside the guarded call so a fault inside it still releases them.
    ComPtr<wwan::IModemStatics> statics;
    ComPtr<wwan::IModem> modem;
    ComPtr<wwan::IModem> checked;
    ComPtr<wwan::IDeviceInformation> info;
    HRESULT failed = S_OK;
    bool raised = false;
    const FaultResult fault = RunFaultGuarded([&] {
        try {
            HSTRING_HEADER header{};
            HSTRING name = nullptr;
            HRESULT hr = api.makeReference(wwan::kModemClass, static_cast<UINT32>(wcslen(wwan::kModemClass)), &header,
                                           &name);
            if (SUCCEEDED(hr)) hr = api.getFactory(name, wwan::kIidModemStatics, statics.put_void());
            if (SUCCEEDED(hr)) hr = statics->GetDefault(modem.put());
            // The modem's own interface id confirms the slots called next.
            if (SUCCEEDED(hr) && modem) hr = modem->QueryInterface(wwan::kIidModem, checked.put_void());
            if (SUCCEEDED(hr) && checked) hr = checked->get_DeviceInformation(info.put());
            if (FAILED(hr)) {
                failed = hr;
                return;
            }
            if (!info) return;
            ComPtr<wwan::IDeviceInformation> device;
            if (FAILED(hr = info->QueryInterface(wwan::kIidDeviceInformation, device.put_void()))) {
                failed = hr;
                return;
            }
            wwan::IDeviceInformation* d = device.get();
            m.imei = ReadWinRtString(api, d, &wwan::IDeviceInformation::get_MobileEquipmentId);
            m.deviceId = ReadWinRtString(api, d, &wwan::IDeviceInformation::get_DeviceId);
            m.manufacturer = ReadWinRtString(api, d, &wwan::IDeviceInformation::get_Manufacturer);
            m.model = ReadWinRtString(api, d, &wwan::IDeviceInformation::get_Model);
            m.firmware = ReadWinRtString(api, d, &wwan::IDeviceInformation::get_FirmwareInformation);
        } catch (...) {
            raised = true;
        }
    });
    info.reset();
    checked.reset();
    modem.reset();
    statics.reset();
    if (fault.faulted || raised) {
        m = ModemInfo{};
        m.outcome = ModemOutcome::Raised;
    } else if (FAILED(failed)) {
        m.outcome = ModemOutcome::Failed;
        m.failure = HResultText(failed);
    } else {
        m.outcome = ModemOutcome::Answered;
    }
}

}  // namespace

void CollectNetwork(Snapshot& s) {
    NetworkSource in;
    in.elevated = s.elevated;
    ReadInterfaces(in);
    if (RegReadBinary(HKEY_LOCAL_MACHINE, kTcpip6Parameters, L"Dhcpv6DUID", in.duid)) in.duidFound = true;
    ReadNetworkList(in);
    ReadBluetooth(in);
    try {
        QueryModem(in.modem);
    } catch (...) {
        in.modem = ModemInfo{};
        in.modem.outcome = ModemOutcome::Raised;
    }
    CollectNetworkFrom(s, in);
}

}  // namespace vorq
