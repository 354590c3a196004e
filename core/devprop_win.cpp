#include "core/devprop_win.h"

namespace vorq {

namespace {

// A property's type and bytes; `type` 0 means absent.
struct PropBuffer {
    uint32_t type = 0;
    Bytes data;
};

SP_DEVINFO_DATA* Entry(const SP_DEVINFO_DATA& device) { return const_cast<SP_DEVINFO_DATA*>(&device); }

DWORD RegistryPropertyFor(const DEVPROPKEY& key) {
    for (const auto& row : kDevPropKeys)
        if (row.key->pid == key.pid && IsEqualGUID(row.key->fmtid, key.fmtid)) return row.registryProperty;
    return kNoRegistryProperty;
}

// The older per-device registry property, with its registry type mapped to
// the property type it stands for.
PropBuffer ReadRegistryProperty(HDEVINFO set, const SP_DEVINFO_DATA& device, DWORD property) {
    PropBuffer out;
    DWORD regType = 0;
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyW(set, Entry(device), property, &regType, nullptr, 0, &size);
    if (size == 0) return out;
    Bytes buf(size + 4, 0);
    if (!SetupDiGetDeviceRegistryPropertyW(set, Entry(device), property, &regType, buf.data(), size, &size)) return out;
    switch (regType) {
        case REG_SZ:
        case REG_EXPAND_SZ: out.type = kDevPropTypeString; break;
        case REG_MULTI_SZ: out.type = kDevPropTypeStringList; break;
        case REG_DWORD: out.type = kDevPropTypeUint32; break;
        default: return out;
    }
    buf.resize(size < buf.size() ? size : buf.size());
    out.data = std::move(buf);
    return out;
}

PropBuffer ReadProperty(HDEVINFO set, const SP_DEVINFO_DATA& device, const DEVPROPKEY& key) {
    PropBuffer out;
    DEVPROPTYPE type = 0;
    DWORD size = 0;
    SetupDiGetDevicePropertyW(set, Entry(device), &key, &type, nullptr, 0, &size, 0);
    if (size != 0) {
        // Spare zero bytes past the data, so a string without its terminators still ends.
        Bytes buf(size + 4, 0);
        DWORD got = 0;
        if (SetupDiGetDevicePropertyW(set, Entry(device), &key, &type, buf.data(), size, &got, 0)) {
            buf.resize(got < size ? got : size);
            out.type = type;
            out.data = std::move(buf);
            return out;
        }
    }
    DWORD property = RegistryPropertyFor(key);
    if (property != kNoRegistryProperty) return ReadRegistryProperty(set, device, property);
    return out;
}

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

}  // namespace

void CloseDeviceInfoList(HDEVINFO set) {
    if (set != INVALID_HANDLE_VALUE && set != nullptr) SetupDiDestroyDeviceInfoList(set);
}

std::wstring DevInstanceId(HDEVINFO set, const SP_DEVINFO_DATA& device) {
    constexpr DWORD kChars = 1024;
    std::vector<wchar_t> buf(kChars, L'\0');
    DWORD needed = 0;
    if (!SetupDiGetDeviceInstanceIdW(set, Entry(device), buf.data(), kChars, &needed)) return {};
    buf.back() = L'\0';
    return std::wstring(buf.data());
}

std::wstring DevPropString(HDEVINFO set, const SP_DEVINFO_DATA& device, const DEVPROPKEY& key) {
    PropBuffer p = ReadProperty(set, device, key);
    return Wide(DevPropBufferString(p.type, p.data.data(), p.data.size()));
}

std::vector<std::wstring> DevPropStringList(HDEVINFO set, const SP_DEVINFO_DATA& device, const DEVPROPKEY& key) {
    PropBuffer p = ReadProperty(set, device, key);
    std::vector<std::wstring> out;
    for (const auto& s : DevPropBufferStringList(p.type, p.data.data(), p.data.size())) out.push_back(Wide(s));
    return out;
}

bool DevPropUint32(HDEVINFO set, const SP_DEVINFO_DATA& device, const DEVPROPKEY& key, uint32_t& value) {
    PropBuffer p = ReadProperty(set, device, key);
    return DevPropBufferUint32(p.type, p.data.data(), p.data.size(), value);
}

bool DevPropGuid(HDEVINFO set, const SP_DEVINFO_DATA& device, const DEVPROPKEY& key, GUID& value) {
    PropBuffer p = ReadProperty(set, device, key);
    Guid g;
    if (!DevPropBufferGuid(p.type, p.data.data(), p.data.size(), g)) return false;
    value.Data1 = g.Data1;
    value.Data2 = g.Data2;
    value.Data3 = g.Data3;
    for (int i = 0; i < 8; ++i) value.Data4[i] = g.Data4[i];
    return true;
}

std::wstring DevFriendlyName(HDEVINFO set, const SP_DEVINFO_DATA& device) {
    std::wstring name = DevPropString(set, device, DEVPKEY_Device_FriendlyName);
    return name.empty() ? DevPropString(set, device, DEVPKEY_Device_DeviceDesc) : name;
}

bool DevRegValue(HDEVINFO set, const SP_DEVINFO_DATA& device, DWORD keyType, const wchar_t* name, Bytes& data,
                 DWORD& type) {
    HKEY raw = SetupDiOpenDevRegKey(set, Entry(device), DICS_FLAG_GLOBAL, 0, keyType, KEY_READ);
    if (raw == nullptr || raw == INVALID_HANDLE_VALUE) return false;
    UniqueHKey key(raw);
    type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0) return false;
    data.assign(size, 0);
    DWORD bytes = size;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS) return false;
    if (bytes < data.size()) data.resize(bytes);
    return true;
}

}  // namespace vorq
