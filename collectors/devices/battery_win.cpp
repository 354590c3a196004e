// The battery collector's Windows side: battery interfaces through SetupAPI,
// one device handle at a time, I/O controls forwarded to the shared part.
#include <windows.h>
// clang-format off
#include <setupapi.h>
// clang-format on

#include "collectors/devices/battery.h"
#include "core/devprop_win.h"
#include "core/win.h"

namespace vorq {

namespace {

constexpr GUID kBatteryInterface = {0x72631E54, 0x78A4, 0x11D0, {0xBC, 0xF7, 0x00, 0xAA, 0x00, 0xB7, 0xB3, 0x2A}};
// The fixed part of SP_DEVICE_INTERFACE_DETAIL_DATA_W on 64-bit Windows.
constexpr DWORD kDetailFixedSize = 8;

}  // namespace

void CollectBattery(Snapshot& s) {
    DeviceInfoList list(SetupDiGetClassDevsW(&kBatteryInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    UniqueFile device;
    BatterySource port;
    port.open = [&](uint32_t index) {
        SP_DEVICE_INTERFACE_DATA iface{};
        iface.cbSize = sizeof iface;
        if (!SetupDiEnumDeviceInterfaces(list.get(), nullptr, &kBatteryInterface, index, &iface)) return BatteryOpen::End;
        DWORD need = 0;
        SetupDiGetDeviceInterfaceDetailW(list.get(), &iface, nullptr, 0, &need, nullptr);
        if (need == 0) return BatteryOpen::Skip;
        std::vector<uint8_t> buf(static_cast<size_t>(need) + 8, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buf.data());
        detail->cbSize = kDetailFixedSize;
        if (!SetupDiGetDeviceInterfaceDetailW(list.get(), &iface, detail, need, nullptr, nullptr)) return BatteryOpen::Skip;
        device.reset(CreateFileW(detail->DevicePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return device ? BatteryOpen::Opened : BatteryOpen::Skip;
    };
    port.ioctl = [&](uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize, uint32_t& returned) {
        DWORD got = 0;
        const BOOL ok = DeviceIoControl(device.get(), code, const_cast<void*>(in), inSize, out, outSize, &got, nullptr);
        returned = got;
        return ok != FALSE;
    };
    port.close = [&] { device.reset(); };
    port.listed = static_cast<bool>(list);
    CollectBatteryFrom(s, port);
}

}  // namespace vorq
