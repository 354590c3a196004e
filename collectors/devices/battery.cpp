#include "collectors/devices/battery.h"

#include <algorithm>
#include <cstring>

#include "core/byte_view.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr const char* kNoBattery = "No battery present (desktop or battery not reported by ACPI).";

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The 12-byte query input: tag, information level, at-rate 0.
bool QueryInformation(const BatterySource& port, uint32_t tag, uint32_t level, void* out, uint32_t outSize,
                      uint32_t& returned) {
    uint8_t in[12] = {};
    PutU32(in, tag);
    PutU32(in + 4, level);
    returned = 0;
    return port.ioctl(kIoctlBatteryQueryInformation, in, sizeof in, out, outSize, returned);
}

}  // namespace

std::string QueryBatteryString(const BatterySource& port, uint32_t tag, uint32_t level) {
    uint8_t reply[512] = {};
    uint32_t returned = 0;
    // 510 bytes asked, so the last UTF-16 unit always stays 0.
    if (!QueryInformation(port, tag, level, reply, 510, returned)) return std::string();
    const ByteView text(reply, std::min<size_t>(returned, 510));
    size_t units = 0;
    while (text.Le16(2 * units).value_or(0) != 0) ++units;
    return Trim(Utf16LeBytesToUtf8(reply, units * 2));
}

std::string BatteryDateText(const uint8_t reply[4]) {
    const unsigned year = static_cast<unsigned>(reply[2]) | static_cast<unsigned>(reply[3]) << 8;
    return Format("%04u-%02u-%02u", year, static_cast<unsigned>(reply[1]), static_cast<unsigned>(reply[0]));
}

void CollectBatteryFrom(Snapshot& s, const BatterySource& port) {
    Table t = MakeTable("display", table::kBattery, "Batteries",
                        {{"Device", Role::Maker},
                         {"Manufacturer", Role::Maker},
                         {"Serial", Role::Identifier},
                         {"Unique ID", Role::Identifier},
                         {"Manufactured", Role::Maker},
                         {"Chemistry", Role::Maker},
                         {"Design / full capacity", Role::Maker},
                         {"Cycles", Role::Maker}},
                        "Laptop batteries expose a unique ID that Windows uses to recognise the same physical pack.");
    uint32_t count = 0;
    for (uint32_t index = 0; port.listed && index < kMaxBatteryInterfaces; ++index) {
        const BatteryOpen o = port.open(index);
        if (o == BatteryOpen::End) break;
        if (o == BatteryOpen::Skip) continue;

        uint8_t wait[4] = {};
        uint8_t tagBytes[4] = {};
        uint32_t returned = 0;
        if (!port.ioctl(kIoctlBatteryQueryTag, wait, sizeof wait, tagBytes, sizeof tagBytes, returned) ||
            ByteView(tagBytes).Le32(0).value_or(0) == 0) {
            port.close();
            continue;
        }
        const uint32_t tag = *ByteView(tagBytes).Le32(0);
        ++count;
        const std::string device = QueryBatteryString(port, tag, 4);
        const std::string manufacturer = QueryBatteryString(port, tag, 6);
        const std::string serial = QueryBatteryString(port, tag, 8);
        const std::string uniqueId = QueryBatteryString(port, tag, 7);

        std::string manufactured;
        uint8_t date[4] = {};
        if (QueryInformation(port, tag, 5, date, sizeof date, returned)) manufactured = BatteryDateText(date);

        std::string chemistry, capacity, cycles;
        uint8_t info[36] = {};
        if (QueryInformation(port, tag, 0, info, sizeof info, returned)) {
            chemistry = Latin1ToUtf8(info + 8, 4);
            const ByteView reply(info);
            capacity = Format("%lu / %lu mWh", static_cast<unsigned long>(*reply.Le32(12)),
                              static_cast<unsigned long>(*reply.Le32(16)));
            cycles = std::to_string(*reply.Le32(32));
        }
        AddRow(t, {device, manufacturer, serial, uniqueId, manufactured, chemistry, capacity, cycles});

        const std::string value = uniqueId.empty() ? serial : uniqueId;
        if (!value.empty()) {
            // The pack's device name its firmware gives.
            s.signals.push_back(MakeSignal(sig::kBatteryUniqueId, "Peripherals",
                                           {"Battery unique ID ({x1})", {{device, Role::Maker}}}, value,
                                           SignalScope::PerUnit, 4, "peripheral", Role::Identifier,
                                           "IOCTL_BATTERY_QUERY_INFORMATION / BatteryUniqueID",
                                           "replaced together with the battery pack", 1.0));
        }
        port.close();
    }
    if (count == 0) t.note = kNoBattery;
    SetFact(s, fact::kBatteryCount, std::to_string(count));
    s.tables.push_back(std::move(t));
}

}  // namespace vorq
