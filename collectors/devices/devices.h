// The PnP device inventory as rules over values already read from SetupAPI:
// the USB serial rule, the hardware-id filter the VM detection reads, the
// record order, the count tables and the facts. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/snapshot.h"

namespace vorq::table {
inline constexpr char kDevices[] = "devices";
}  // namespace vorq::table

namespace vorq::fact {
// Followed by the decimal row index of a "devices" row: its PCI, ACPI, XENBUS
// and VMBUS ids, one a line.
inline constexpr char kVmPnpIds[] = "vm.pnp.ids:";
// Followed by a lower-case service name: how many present devices it serves.
inline constexpr char kSvcDevPrefix[] = "svcdev:";
}  // namespace vorq::fact

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kDevicesCount[] = "devices.count";
inline constexpr char kDevicesUsbSerials[] = "devices.usb_serials";
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kUsbSerial[] = "usb.serial";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kDevicesClasses[] = "devices.classes";
inline constexpr char kDevicesProviders[] = "devices.providers";
}  // namespace vorq::table

namespace vorq::col::devices_classes {
inline constexpr size_t kClass = 0;
}  // namespace vorq::col::devices_classes

namespace vorq::col::devices {
inline constexpr size_t kClass = 0, kDevice = 1, kManufacturer = 2, kHardwareId = 3, kInstanceId = 4, kDriver = 5,
                         kService = 6, kContainerId = 7, kPcieLink = 8;
}  // namespace vorq::col::devices

namespace vorq {

// What the platform side read for one present device (texts in UTF-8, the
// instance id as read, in UTF-16). An absent property is empty.
struct DeviceProps {
    std::string cls;
    std::string device;
    std::string manufacturer;
    std::vector<std::string> hardwareIds;
    std::u16string instanceId;
    std::string provider;
    std::string version;
    std::string service;
    std::string containerId;
    std::string pcieLink;
};

// Whether a device's name is one its owner chose, not its maker: a Bluetooth
// device's (named on the device or here), a portable device's (a phone's
// name, a drive's volume label).
bool HasChosenName(const DeviceProps& p);

// One row of "devices" plus the VM-relevant ids, which are not a column.
struct DeviceRecord {
    std::string cls;
    std::string device;
    std::string manufacturer;
    std::string hardwareId;
    std::string instanceId;
    std::string driver;
    std::string service;
    std::string containerId;
    std::string pcieLink;
    std::string vmIds;
    bool chosenName = false;  // the device's name is one its owner chose
};

struct UsbSerial {
    bool found = false;
    bool placeholder = false;  // one character repeated
    std::string value;         // UTF-8
};
// The per-unit serial a USB device's instance id carries in its last part.
UsbSerial UsbSerialFromInstanceId(std::u16string_view instanceId);

// The hardware ids that begin with PCI\, ACPI\, XENBUS\ or VMBUS\ (any
// letter case), in list order, joined by line feeds.
std::string VmRelevantIds(const std::vector<std::string>& hardwareIds);

// "provider version", trimmed; empty when both are empty.
std::string DriverText(const std::string& provider, const std::string& version);

// The "PCIe link" cell from the link properties: empty unless the current
// speed and width were both read and the width is not 0; " (max ...)"
// follows when the maximum was read and differs.
struct PcieLinkReads {
    bool currentOk = false;
    uint32_t currentSpeed = 0;
    uint32_t currentWidth = 0;
    bool maxOk = false;
    uint32_t maxSpeed = 0;
    uint32_t maxWidth = 0;
};
std::string PcieLinkField(const PcieLinkReads& r);

// By class, then device name, then instance id, byte-wise; the remaining
// fields break the last ties, so the order never depends on the walk.
void SortDeviceRecords(std::vector<DeviceRecord>& records);

// (name, count) pairs, largest count first; equal counts in ascending name order.
std::vector<std::pair<std::string, uint32_t>> CountRows(const std::map<std::string, uint32_t>& counts);

// Removes every fact whose key begins with "vm.pnp.ids:".
void ClearVmPnpFacts(Snapshot& s);

// What the platform side read: the present devices in walk order, and the
// inventories of other device kinds, which add their tables between
// "devices.providers" and "devices".
struct DevicesSource {
    bool listOpened = true;  // false: the device list could not be opened
    std::string listError;   // then the reason, as text
    std::vector<DeviceProps> devices;
    std::function<void(Snapshot&)> subInventories;
};

// Clears earlier "vm.pnp.ids:" facts, then writes the USB serial signals (walk
// order), the sorted tables, the counts and the facts.
void CollectDevicesFrom(Snapshot& s, const DevicesSource& src);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectDevices(Snapshot& s);

}  // namespace vorq
