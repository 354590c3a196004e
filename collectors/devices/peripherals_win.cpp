#include <windows.h>
// clang-format off
#include <mmdeviceapi.h>
#include <propidl.h>
#include <winscard.h>
#include <winspool.h>
// clang-format on

#include <memory>

#include "collectors/devices/peripherals.h"
#include "core/win.h"

namespace vorq {

namespace {

// ---- Biometric framework: not declared by the toolchain, loaded at run time ----
struct WinBioUnitSchema {
    ULONG unitId;
    ULONG poolType;
    ULONG biometricFactor;
    ULONG sensorSubType;
    ULONG capabilities;
    WCHAR deviceInstanceId[256];
    WCHAR description[256];
    WCHAR manufacturer[256];
    WCHAR model[256];
    WCHAR serialNumber[256];
    DWORD firmwareMajor;
    DWORD firmwareMinor;
};
static_assert(sizeof(WinBioUnitSchema) == 5 * 4 + 5 * 512 + 8);
using WinBioEnumBiometricUnitsFn = HRESULT(WINAPI*)(ULONG factor, WinBioUnitSchema** units, SIZE_T* count);
using WinBioFreeFn = HRESULT(WINAPI*)(PVOID address);

std::string Field(const WCHAR* field) { return WideFieldToUtf8(reinterpret_cast<const char16_t*>(field), 256); }

// ---- MMDevice identifiers ----
constexpr CLSID kClsidMMDeviceEnumerator{0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr IID kIidMMDeviceEnumerator{0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr IID kIidMMEndpoint{0x1BE09788, 0x6894, 0x4089, {0x85, 0x86, 0x9A, 0x2A, 0x6C, 0x26, 0x5A, 0xC5}};
constexpr PROPERTYKEY kPkeyDeviceFriendlyName{
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};
constexpr PROPERTYKEY kPkeyDeviceInterfaceFriendlyName{
    {0x026E516E, 0xB814, 0x414B, {0x83, 0xCD, 0x85, 0x6D, 0x6F, 0xEF, 0x48, 0x22}}, 2};
constexpr PROPERTYKEY kPkeyAudioEndpointFormFactor{
    {0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}}, 0};

// A property value, cleared when it goes out of scope.
struct PropValue {
    PROPVARIANT v;
    PropValue() { PropVariantInit(&v); }
    PropValue(const PropValue&) = delete;
    PropValue& operator=(const PropValue&) = delete;
    ~PropValue() { PropVariantClear(&v); }
};

struct CoTaskMemDelete {
    void operator()(void* p) const { CoTaskMemFree(p); }
};

std::string GetPropString(IPropertyStore* store, const PROPERTYKEY& key) {
    PropValue p;
    if (SUCCEEDED(store->GetValue(key, &p.v)) && p.v.vt == VT_LPWSTR && p.v.pwszVal) return ToUtf8Ptr(p.v.pwszVal);
    return std::string();
}

AudioEndpoint ReadEndpoint(IMMDevice* device, DWORD state) {
    AudioEndpoint e;
    e.state = state;
    LPWSTR rawId = nullptr;
    const HRESULT idResult = device->GetId(&rawId);
    const std::unique_ptr<wchar_t, CoTaskMemDelete> id(rawId);
    if (SUCCEEDED(idResult) && id) e.id = ToUtf8Ptr(id.get());
    ComPtr<IPropertyStore> store;
    if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, store.put())) && store) {
        e.name = GetPropString(store.get(), kPkeyDeviceFriendlyName);
        e.adapter = GetPropString(store.get(), kPkeyDeviceInterfaceFriendlyName);
        PropValue p;
        if (SUCCEEDED(store->GetValue(kPkeyAudioEndpointFormFactor, &p.v)) && p.v.vt == VT_UI4) {
            e.hasFormFactor = true;
            e.formFactor = p.v.ulVal;
        }
    }
    ComPtr<IMMEndpoint> endpoint;
    EDataFlow flow = eRender;
    if (SUCCEEDED(device->QueryInterface(kIidMMEndpoint, endpoint.put_void())) && endpoint &&
        SUCCEEDED(endpoint->GetDataFlow(&flow)))
        e.capture = flow == eCapture;
    return e;
}

// ---- Smart cards ----
std::string ReadSmartCardAttribute(SCARDHANDLE card, DWORD attribute) {
    BYTE buf[256] = {};
    DWORD length = sizeof buf;
    if (SCardGetAttrib(card, attribute, buf, &length) != SCARD_S_SUCCESS || length == 0) return std::string();
    return SmartCardAttributeText(buf, length < sizeof buf ? length : sizeof buf);
}

// A reader connection (no card needed in direct mode), disconnected on every path.
struct CardConnection {
    SCARDHANDLE card = 0;
    CardConnection() = default;
    CardConnection(const CardConnection&) = delete;
    CardConnection& operator=(const CardConnection&) = delete;
    ~CardConnection() {
        if (card) SCardDisconnect(card, SCARD_LEAVE_CARD);
    }
};

// The resource manager's context and the reader list it allocated.
struct SmartCardSession {
    SCARDCONTEXT context = 0;
    LPWSTR readers = nullptr;
    SmartCardSession() = default;
    SmartCardSession(const SmartCardSession&) = delete;
    SmartCardSession& operator=(const SmartCardSession&) = delete;
    ~SmartCardSession() {
        if (readers) SCardFreeMemory(context, readers);
        SCardReleaseContext(context);
    }
};

SmartCardReader ReadReader(SCARDCONTEXT context, const wchar_t* name) {
    SmartCardReader r;
    r.name = ToUtf8Ptr(name);
    CardConnection connection;
    SCARDHANDLE& card = connection.card;
    DWORD protocol = 0;
    if (SCardConnectW(context, name, SCARD_SHARE_DIRECT, 0, &card, &protocol) != SCARD_S_SUCCESS) {
        card = 0;
        return r;
    }
    r.vendor = ReadSmartCardAttribute(card, SCARD_ATTR_VENDOR_NAME);
    r.type = ReadSmartCardAttribute(card, SCARD_ATTR_VENDOR_IFD_TYPE);
    r.serial = ReadSmartCardAttribute(card, SCARD_ATTR_VENDOR_IFD_SERIAL_NO);
    DWORD version = 0;
    DWORD length = sizeof version;
    const LONG rc = SCardGetAttrib(card, SCARD_ATTR_VENDOR_IFD_VERSION, reinterpret_cast<BYTE*>(&version), &length);
    r.version = SmartCardVersionText(static_cast<uint32_t>(rc), length, version);
    return r;
}

}  // namespace

void AddBiometricUnits(Snapshot& s) {
    BiometricScan scan;
    UniqueModule winbio = LoadSystemLibrary(L"winbio.dll");
    auto enumUnits = GetProc<WinBioEnumBiometricUnitsFn>(winbio.get(), "WinBioEnumBiometricUnits");
    auto freeMemory = GetProc<WinBioFreeFn>(winbio.get(), "WinBioFree");
    if (!enumUnits || !freeMemory) {
        const DWORD error = GetLastError();
        scan.unavailable = true;
        scan.error = Win32ErrorText(error ? error : ERROR_PROC_NOT_FOUND);
        AddBiometricTable(s, scan);
        return;
    }
    for (const BiometricFactor& factor : kBiometricFactors) {
        BiometricFactorResult result;
        result.factor = factor.name;
        WinBioUnitSchema* raw = nullptr;
        SIZE_T count = 0;
        const HRESULT hr = enumUnits(factor.code, &raw, &count);
        const std::unique_ptr<WinBioUnitSchema, WinBioFreeFn> units(raw, freeMemory);
        if (FAILED(hr)) {
            result.failed = true;
            result.error = HResultText(hr);
        } else if (units) {
            for (SIZE_T i = 0; i < count; ++i) {
                const WinBioUnitSchema& u = units.get()[i];
                BiometricUnit unit;
                unit.unitId = u.unitId;
                unit.description = Field(u.description);
                unit.manufacturer = Field(u.manufacturer);
                unit.model = Field(u.model);
                unit.serial = Field(u.serialNumber);
                unit.firmware = Format("%u.%u", static_cast<unsigned>(u.firmwareMajor),
                                       static_cast<unsigned>(u.firmwareMinor));
                unit.instance = Field(u.deviceInstanceId);
                result.units.push_back(std::move(unit));
            }
        }
        scan.factors.push_back(std::move(result));
    }
    AddBiometricTable(s, scan);
}

void AddAudioEndpoints(Snapshot& s) {
    AudioScan scan;
    ComPtr<IMMDeviceEnumerator> enumerator;
    const HRESULT hr = CoCreateInstance(kClsidMMDeviceEnumerator, nullptr, CLSCTX_ALL, kIidMMDeviceEnumerator,
                                        enumerator.put_void());
    if (FAILED(hr) || !enumerator) {
        scan.error = HResultText(hr);
        AddAudioTable(s, scan);
        return;
    }
    scan.available = true;
    ComPtr<IMMDeviceCollection> collection;
    UINT count = 0;
    if (SUCCEEDED(enumerator->EnumAudioEndpoints(eAll, DEVICE_STATEMASK_ALL, collection.put())) && collection &&
        FAILED(collection->GetCount(&count)))
        count = 0;
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IMMDevice> device;
        if (FAILED(collection->Item(i, device.put())) || !device) continue;
        DWORD state = 0;
        device->GetState(&state);
        if (state == DEVICE_STATE_NOTPRESENT) {
            AudioEndpoint gone;
            gone.state = state;
            scan.endpoints.push_back(std::move(gone));
            continue;
        }
        scan.endpoints.push_back(ReadEndpoint(device.get(), state));
    }
    AddAudioTable(s, scan);
}

void AddSmartCardReaders(Snapshot& s) {
    SmartCardScan scan;
    SCARDCONTEXT context = 0;
    const LONG established = SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context);
    scan.contextResult = static_cast<uint32_t>(established);
    if (established != SCARD_S_SUCCESS) {
        AddSmartCardTable(s, scan);
        return;
    }
    {
        SmartCardSession session;
        session.context = context;
        DWORD length = SCARD_AUTOALLOCATE;
        const LONG listed = SCardListReadersW(context, nullptr, reinterpret_cast<LPWSTR>(&session.readers), &length);
        scan.listResult = static_cast<uint32_t>(listed);
        const wchar_t* readers = session.readers;
        if (listed == SCARD_S_SUCCESS && readers) {
            // Names separated by NUL, ended by an empty name; never read past the returned length.
            size_t pos = 0;
            while (pos < length && readers[pos] != L'\0') {
                size_t end = pos;
                while (end < length && readers[end] != L'\0') ++end;
                if (end == length) break;  // unterminated last name
                scan.readers.push_back(ReadReader(context, readers + pos));
                pos = end + 1;
            }
        }
    }
    AddSmartCardTable(s, scan);
}

void AddPrinters(Snapshot& s) {
    PrinterScan scan;
    constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0;
    DWORD returned = 0;
    std::vector<uint64_t> buf;  // 8-byte aligned for PRINTER_INFO_2W
    if (EnumPrintersW(kFlags, nullptr, 2, nullptr, 0, &needed, &returned)) {
        scan.ok = true;  // nothing to list
        returned = 0;
    } else {
        DWORD error = GetLastError();
        // A queue added between the calls makes the second one ask for more.
        for (int attempt = 0; attempt < 3 && error == ERROR_INSUFFICIENT_BUFFER && needed != 0; ++attempt) {
            buf.assign((needed + 7) / 8, 0);
            returned = 0;
            if (EnumPrintersW(kFlags, nullptr, 2, reinterpret_cast<BYTE*>(buf.data()), needed, &needed, &returned)) {
                scan.ok = true;
                break;
            }
            error = GetLastError();
        }
        if (!scan.ok) scan.error = Win32ErrorText(error);
    }
    if (scan.ok && returned != 0 && !buf.empty()) {
        wchar_t name[512] = {};
        DWORD size = 512;
        if (GetDefaultPrinterW(name, &size)) {
            name[511] = L'\0';
            scan.defaultName = ToUtf8Ptr(name);
        }
        const size_t fit = buf.size() * 8 / sizeof(PRINTER_INFO_2W);
        const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buf.data());
        for (DWORD i = 0; i < returned && i < fit; ++i) {
            PrinterEntry p;
            p.name = info[i].pPrinterName ? ToUtf8Ptr(info[i].pPrinterName) : std::string();
            p.port = info[i].pPortName ? ToUtf8Ptr(info[i].pPortName) : std::string();
            p.driver = info[i].pDriverName ? ToUtf8Ptr(info[i].pDriverName) : std::string();
            p.attributes = info[i].Attributes;
            scan.printers.push_back(std::move(p));
        }
    }
    AddPrinterTable(s, scan);
}

}  // namespace vorq
