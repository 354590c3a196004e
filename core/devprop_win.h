// Device property readers over SetupAPI. Each works on one device entry of a
// device-information set the caller owns, reports absence as false or an
// empty result, and never throws for a platform failure.
#pragma once

#include <windows.h>
// clang-format off
#include <devpropdef.h>
#include <setupapi.h>
// clang-format on

#include <string>
#include <vector>

#include "core/devprop.h"
#include "core/win.h"

namespace vorq {

// The unified property keys the collectors read.
inline constexpr DEVPROPKEY DEVPKEY_Device_DeviceDesc{{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 2};
inline constexpr DEVPROPKEY DEVPKEY_Device_HardwareIds{{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 3};
inline constexpr DEVPROPKEY DEVPKEY_Device_Service{{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 6};
inline constexpr DEVPROPKEY DEVPKEY_Device_Class{{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 9};
inline constexpr DEVPROPKEY DEVPKEY_Device_Manufacturer{{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 13};
inline constexpr DEVPROPKEY DEVPKEY_Device_FriendlyName{{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
inline constexpr DEVPROPKEY DEVPKEY_Device_ContainerId{{0x8c7ed206, 0x3f8a, 0x4827, {0xb3, 0xab, 0xae, 0x9e, 0x1f, 0xae, 0xfc, 0x6c}}, 2};
inline constexpr DEVPROPKEY DEVPKEY_Device_DriverVersion{{0xa8b865dd, 0x2e3d, 0x4094, {0xad, 0x97, 0xe5, 0x93, 0xa7, 0x0c, 0x75, 0xd6}}, 3};
inline constexpr DEVPROPKEY DEVPKEY_Device_DriverProvider{{0xa8b865dd, 0x2e3d, 0x4094, {0xad, 0x97, 0xe5, 0x93, 0xa7, 0x0c, 0x75, 0xd6}}, 9};
inline constexpr DEVPROPKEY DEVPKEY_PciDevice_CurrentLinkSpeed{{0x3ab22e31, 0x8264, 0x4b4e, {0x9a, 0xf5, 0xa8, 0xd2, 0xd8, 0xe3, 0x3e, 0x62}}, 9};
inline constexpr DEVPROPKEY DEVPKEY_PciDevice_CurrentLinkWidth{{0x3ab22e31, 0x8264, 0x4b4e, {0x9a, 0xf5, 0xa8, 0xd2, 0xd8, 0xe3, 0x3e, 0x62}}, 10};
inline constexpr DEVPROPKEY DEVPKEY_PciDevice_MaxLinkSpeed{{0x3ab22e31, 0x8264, 0x4b4e, {0x9a, 0xf5, 0xa8, 0xd2, 0xd8, 0xe3, 0x3e, 0x62}}, 11};
inline constexpr DEVPROPKEY DEVPKEY_PciDevice_MaxLinkWidth{{0x3ab22e31, 0x8264, 0x4b4e, {0x9a, 0xf5, 0xa8, 0xd2, 0xd8, 0xe3, 0x3e, 0x62}}, 12};

// One row of the key table. `registryProperty` is the SPDRP code read when
// the unified store lacks the property (Wine's has none of them), or
// kNoRegistryProperty.
inline constexpr DWORD kNoRegistryProperty = 0xFFFFFFFF;
struct DevPropKeyRow {
    const char* name;
    const DEVPROPKEY* key;
    DWORD registryProperty;
};
inline constexpr DevPropKeyRow kDevPropKeys[] = {
    {"DEVPKEY_Device_DeviceDesc", &DEVPKEY_Device_DeviceDesc, SPDRP_DEVICEDESC},
    {"DEVPKEY_Device_HardwareIds", &DEVPKEY_Device_HardwareIds, SPDRP_HARDWAREID},
    {"DEVPKEY_Device_Service", &DEVPKEY_Device_Service, SPDRP_SERVICE},
    {"DEVPKEY_Device_Class", &DEVPKEY_Device_Class, SPDRP_CLASS},
    {"DEVPKEY_Device_Manufacturer", &DEVPKEY_Device_Manufacturer, SPDRP_MFG},
    {"DEVPKEY_Device_FriendlyName", &DEVPKEY_Device_FriendlyName, SPDRP_FRIENDLYNAME},
    {"DEVPKEY_Device_ContainerId", &DEVPKEY_Device_ContainerId, kNoRegistryProperty},
    {"DEVPKEY_Device_DriverVersion", &DEVPKEY_Device_DriverVersion, kNoRegistryProperty},
    {"DEVPKEY_Device_DriverProvider", &DEVPKEY_Device_DriverProvider, kNoRegistryProperty},
    {"DEVPKEY_PciDevice_CurrentLinkSpeed", &DEVPKEY_PciDevice_CurrentLinkSpeed, kNoRegistryProperty},
    {"DEVPKEY_PciDevice_CurrentLinkWidth", &DEVPKEY_PciDevice_CurrentLinkWidth, kNoRegistryProperty},
    {"DEVPKEY_PciDevice_MaxLinkSpeed", &DEVPKEY_PciDevice_MaxLinkSpeed, kNoRegistryProperty},
    {"DEVPKEY_PciDevice_MaxLinkWidth", &DEVPKEY_PciDevice_MaxLinkWidth, kNoRegistryProperty},
};

// Releases a device-information set; INVALID_HANDLE_VALUE (and null) are left alone.
void CloseDeviceInfoList(HDEVINFO set);

namespace detail {
struct DevInfoTraits {
    using Type = HDEVINFO;
    static HDEVINFO Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HDEVINFO h) { CloseDeviceInfoList(h); }
};
}  // namespace detail
// Owns the set SetupDiGetClassDevsW returned.
using DeviceInfoList = UniqueResource<detail::DevInfoTraits>;

// The device instance id; empty on failure.
std::wstring DevInstanceId(HDEVINFO set, const SP_DEVINFO_DATA& device);
std::wstring DevPropString(HDEVINFO set, const SP_DEVINFO_DATA& device, const DEVPROPKEY& key);
std::vector<std::wstring> DevPropStringList(HDEVINFO set, const SP_DEVINFO_DATA& device, const DEVPROPKEY& key);
bool DevPropUint32(HDEVINFO set, const SP_DEVINFO_DATA& device, const DEVPROPKEY& key, uint32_t& value);
bool DevPropGuid(HDEVINFO set, const SP_DEVINFO_DATA& device, const DEVPROPKEY& key, GUID& value);
// The friendly name, else the device description.
std::wstring DevFriendlyName(HDEVINFO set, const SP_DEVINFO_DATA& device);
// A value of the device's hardware key (DIREG_DEV) or driver key (DIREG_DRV);
// false when the key or the value is missing or the value is empty.
bool DevRegValue(HDEVINFO set, const SP_DEVINFO_DATA& device, DWORD keyType, const wchar_t* name, Bytes& data,
                 DWORD& type);

inline PciIds ParsePciIds(const std::wstring& hardwareId) { return ParsePciIds(WStringToUtf8(hardwareId)); }

}  // namespace vorq
