#include "collectors/devices/devices.h"

#include <algorithm>
#include <tuple>

#include "core/devprop.h"
#include "core/placeholders.h"
#include "core/text.h"

namespace vorq {

namespace {

auto Tie(const DeviceRecord& r) {
    return std::tie(r.cls, r.device, r.instanceId, r.hardwareId, r.manufacturer, r.driver, r.service, r.containerId,
                    r.pcieLink, r.vmIds);
}

}  // namespace

UsbSerial UsbSerialFromInstanceId(std::u16string_view id) {
    UsbSerial out;
    if (!WStartsWithNoCase(id, u"USB\\") || WStartsWithNoCase(id, u"USB\\ROOT_HUB")) return out;
    const size_t slash = id.rfind(u'\\');
    if (slash == std::u16string_view::npos) return out;
    const std::u16string_view tail = id.substr(slash + 1);
    if (tail.size() < 4 || tail.find(u'&') != std::u16string_view::npos) return out;
    out.found = true;
    out.placeholder = std::all_of(tail.begin(), tail.end(), [&](char16_t c) { return c == tail.front(); });
    out.value = Utf16ToUtf8(tail.data(), tail.size());
    return out;
}

std::string VmRelevantIds(const std::vector<std::string>& hardwareIds) {
    static constexpr std::string_view kPrefixes[] = {"PCI\\", "ACPI\\", "XENBUS\\", "VMBUS\\"};
    std::vector<std::string> kept;
    for (const std::string& id : hardwareIds)
        for (std::string_view p : kPrefixes)
            if (StartsWithNoCase(id, p)) {
                kept.push_back(id);
                break;
            }
    return Join(kept, "\n");
}

std::string DriverText(const std::string& provider, const std::string& version) {
    if (provider.empty() && version.empty()) return std::string();
    return Trim(provider + " " + version);
}

std::string PcieLinkField(const PcieLinkReads& r) {
    if (!r.currentOk || r.currentWidth == 0) return std::string();
    std::string text = PcieLinkText(r.currentSpeed, r.currentWidth);
    if (r.maxOk && (r.maxSpeed != r.currentSpeed || r.maxWidth != r.currentWidth))
        text += " (max " + PcieLinkText(r.maxSpeed, r.maxWidth) + ")";
    return text;
}

void SortDeviceRecords(std::vector<DeviceRecord>& records) {
    std::stable_sort(records.begin(), records.end(),
                     [](const DeviceRecord& a, const DeviceRecord& b) { return Tie(a) < Tie(b); });
}

std::vector<std::pair<std::string, uint32_t>> CountRows(const std::map<std::string, uint32_t>& counts) {
    std::vector<std::pair<std::string, uint32_t>> rows(counts.begin(), counts.end());
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return rows;
}

bool HasChosenName(const DeviceProps& p) {
    if (p.device.empty()) return false;
    if (WStartsWithNoCase(p.instanceId, u"BTHENUM\\DEV_") || WStartsWithNoCase(p.instanceId, u"BTHLE\\DEV_"))
        return true;
    if (!EqualsNoCase(p.cls, "WPD")) return false;
    // A drive shown as a portable device is named by its label, or by its root when it has none.
    const std::string_view name = p.device;
    const bool root = (name.size() == 2 || (name.size() == 3 && name[2] == '\\')) && IsAsciiLetter(name[0]) &&
                      name[1] == ':';
    return !root && !IsDefaultVolumeLabel(name);
}

void ClearVmPnpFacts(Snapshot& s) {
    static constexpr std::string_view kPrefix = fact::kVmPnpIds;
    auto it = s.facts.lower_bound(std::string(kPrefix));
    while (it != s.facts.end() && it->first.compare(0, kPrefix.size(), kPrefix) == 0) it = s.facts.erase(it);
}

namespace {

// Collects the devices of one walk and writes the tables, signals and facts.
class DeviceInventory {
public:
    // Builds the record, appends the USB serial signal (walk order), counts.
    void Add(Snapshot& s, const DeviceProps& props);
    // Sorts and writes everything; `subInventories` appends its tables
    // between "devices.providers" and "devices".
    void Finish(Snapshot& s, const std::function<void(Snapshot&)>& subInventories);

private:
    std::vector<DeviceRecord> records_;
    std::map<std::string, uint32_t> classes_;
    std::map<std::string, uint32_t> providers_;
    std::map<std::string, uint32_t> services_;
    uint32_t usbSerials_ = 0;
};

void DeviceInventory::Add(Snapshot& s, const DeviceProps& p) {
    DeviceRecord r;
    r.cls = p.cls.empty() ? "(no class)" : p.cls;
    r.device = p.device;
    r.manufacturer = p.manufacturer;
    if (!p.hardwareIds.empty()) r.hardwareId = p.hardwareIds.front();
    r.instanceId = Utf16ToUtf8(p.instanceId.data(), p.instanceId.size());
    r.driver = DriverText(p.provider, p.version);
    r.service = p.service;
    r.containerId = p.containerId;
    r.pcieLink = p.pcieLink;
    r.vmIds = VmRelevantIds(p.hardwareIds);

    // A name its owner chose masks every text that holds it; the signal is
    // then named by the hardware ID.
    const bool chosen = HasChosenName(p);
    if (chosen) s.named.push_back({ValueKind::Chosen, p.device});
    r.chosenName = chosen;
    const UsbSerial serial = UsbSerialFromInstanceId(p.instanceId);
    if (serial.found) {
        const std::string& label = r.device.empty() || chosen ? r.hardwareId : r.device;
        // The device's description its driver gives, or its hardware ID.
        s.signals.push_back(MakeSignal(sig::kUsbSerial, "Peripherals", {"USB serial: {x1}", {{label, Role::Maker}}},
                                       serial.value,
                                       SignalScope::PerUnit, 2, "peripheral", Role::Identifier, "SetupAPI device instance ID",
                                       serial.placeholder ? "placeholder serial (one repeated character) - ignored"
                                                          : "removable device - low identity weight",
                                       serial.placeholder ? 0.0 : 1.0));
        if (!serial.placeholder) ++usbSerials_;
    }

    ++classes_[r.cls];
    if (!p.provider.empty()) ++providers_[p.provider];
    if (!p.service.empty()) ++services_[ToLower(p.service)];
    records_.push_back(std::move(r));
}

void DeviceInventory::Finish(Snapshot& s, const std::function<void(Snapshot&)>& subInventories) {
    SortDeviceRecords(records_);

    Table devices = MakeTable(
        "devices", table::kDevices, "Present PnP devices",
        {{"Class", Role::Program},
         {"Device", Role::Maker},
         {"Manufacturer", Role::Maker},
         {"Hardware ID", Role::Maker},
         {"Instance ID", Role::Identifier},
         {"Driver", Role::Maker},
         {"Service", Role::Maker},
         {"Container ID", Role::Identifier},
         {"PCIe link", Role::Maker}},
        "Instance IDs embed serial numbers for devices that expose one; container IDs group functions of one "
        "physical device.");
    devices.groupCol = 0;
    devices.safe = false;
    for (const DeviceRecord& r : records_) {
        if (!r.vmIds.empty()) SetFact(s, fact::kVmPnpIds + std::to_string(devices.rows.size()), r.vmIds);
        AddRow(devices, {r.cls, r.device, r.manufacturer, r.hardwareId, r.instanceId, r.driver, r.service,
                         r.containerId, r.pcieLink},
               {Role::Undeclared, r.chosenName ? Role::Typed : Role::Undeclared});
    }

    Table classes = MakeTable("devices", table::kDevicesClasses, "Device classes", {{"Class", Role::Program}, {"Devices", Role::Program}});
    for (const auto& [name, count] : CountRows(classes_)) AddRow(classes, {name, std::to_string(count)});
    Table providers = MakeTable("devices", table::kDevicesProviders, "Driver providers (PnP packages)",
                                {{"Provider", Role::Maker}, {"Devices", Role::Program}},
                                "Who supplied the driver packages bound to present devices.");
    for (const auto& [name, count] : CountRows(providers_)) AddRow(providers, {name, std::to_string(count)});

    for (const auto& [name, count] : services_) SetFact(s, fact::kSvcDevPrefix + name, std::to_string(count));
    SetFact(s, fact::kDevicesCount, std::to_string(records_.size()));
    SetFact(s, fact::kDevicesUsbSerials, std::to_string(usbSerials_));

    s.tables.push_back(std::move(classes));
    s.tables.push_back(std::move(providers));
    if (subInventories) subInventories(s);
    s.tables.push_back(std::move(devices));
}

}  // namespace

void CollectDevicesFrom(Snapshot& s, const DevicesSource& src) {
    ClearVmPnpFacts(s);
    if (!src.listOpened) {
        AddFailureNote(s, "PnP devices", "SetupDiGetClassDevs failed: " + src.listError);
        return;
    }
    DeviceInventory inventory;
    for (const DeviceProps& props : src.devices) inventory.Add(s, props);
    inventory.Finish(s, src.subInventories);
}

}  // namespace vorq
