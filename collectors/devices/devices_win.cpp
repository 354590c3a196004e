#include "collectors/devices/devices.h"
#include "collectors/devices/pcie_link_win.h"
#include "collectors/devices/peripherals.h"
#include "core/devprop_win.h"

namespace vorq {

namespace {

std::string PropText(HDEVINFO set, const SP_DEVINFO_DATA& d, const DEVPROPKEY& key) {
    return WStringToUtf8(DevPropString(set, d, key));
}

DeviceProps ReadDevice(HDEVINFO set, const SP_DEVINFO_DATA& d) {
    DeviceProps p;
    p.cls = PropText(set, d, DEVPKEY_Device_Class);
    p.device = WStringToUtf8(DevFriendlyName(set, d));
    p.manufacturer = PropText(set, d, DEVPKEY_Device_Manufacturer);
    for (const std::wstring& id : DevPropStringList(set, d, DEVPKEY_Device_HardwareIds))
        p.hardwareIds.push_back(WStringToUtf8(id));
    const std::wstring instance = DevInstanceId(set, d);
    p.instanceId.assign(instance.begin(), instance.end());
    p.provider = PropText(set, d, DEVPKEY_Device_DriverProvider);
    p.version = PropText(set, d, DEVPKEY_Device_DriverVersion);
    p.service = PropText(set, d, DEVPKEY_Device_Service);
    GUID container{};
    if (DevPropGuid(set, d, DEVPKEY_Device_ContainerId, container)) p.containerId = FormatGuid(container);
    if (WStartsWithNoCase(p.instanceId, u"PCI\\")) p.pcieLink = PcieLinkOf(set, d);
    return p;
}

}  // namespace

void CollectDevices(Snapshot& s) {
    DevicesSource src;
    HDEVINFO raw = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    const DWORD openError = GetLastError();
    DeviceInfoList list(raw);
    if (!list) {
        src.listOpened = false;
        src.listError = Win32ErrorText(openError);
        CollectDevicesFrom(s, src);
        return;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA d{};
        d.cbSize = sizeof d;
        if (!SetupDiEnumDeviceInfo(list.get(), index, &d)) break;
        src.devices.push_back(ReadDevice(list.get(), d));
    }
    src.subInventories = [](Snapshot& snap) {
        AddBiometricUnits(snap);
        AddAudioEndpoints(snap);
        AddSmartCardReaders(snap);
        AddPrinters(snap);
    };
    CollectDevicesFrom(s, src);
}

}  // namespace vorq
