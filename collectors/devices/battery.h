// The battery collector over an abstract device port: the Windows side opens
// battery interfaces and forwards I/O controls; everything else (the request
// and reply layouts, the row, the signal, the count) is platform-free.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/snapshot.h"

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kBatteryCount[] = "battery.count";
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kBatteryUniqueId[] = "battery.unique_id";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kBattery[] = "battery";
}  // namespace vorq::table

namespace vorq {

constexpr uint32_t kIoctlBatteryQueryTag = 0x294040;
constexpr uint32_t kIoctlBatteryQueryInformation = 0x294044;
constexpr uint32_t kMaxBatteryInterfaces = 8;

enum class BatteryOpen { End, Skip, Opened };

struct BatterySource {
    // False when the battery device list could not be opened.
    bool listed = false;
    // Opens the battery interface of this enumeration index.
    std::function<BatteryOpen(uint32_t index)> open;
    // One I/O control on the open device; false on failure.
    std::function<bool(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize, uint32_t& returned)>
        ioctl;
    // Closes the open device.
    std::function<void()> close;
};

// One string information level; the empty text on failure.
std::string QueryBatteryString(const BatterySource& port, uint32_t tag, uint32_t level);
// "%04u-%02u-%02u" of the 4-byte manufacture-date reply.
std::string BatteryDateText(const uint8_t reply[4]);

// Writes "battery.count" and appends the table "battery".
void CollectBatteryFrom(Snapshot& s, const BatterySource& port);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectBattery(Snapshot& s);

}  // namespace vorq
