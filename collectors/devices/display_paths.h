// The display-path and raw-input steps of the display collector over small
// platform sources, so their size limits and retry rules run without Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/snapshot.h"

namespace vorq {

constexpr uint32_t kMaxDisplayPaths = 256;
constexpr uint32_t kMaxDisplayModes = 1024;
constexpr uint32_t kMaxRawInputDevices = 512;
// The two Win32 errors the steps tell apart, as their queries return them.
namespace display_rc {
constexpr long kNotSupported = 50;
constexpr long kInsufficientBuffer = 122;
}  // namespace display_rc

struct DisplayPathInfo {
    uint32_t source = 0;
    uint32_t target = 0;
    uint32_t technology = 0;
    uint32_t flags = 0;
    uint64_t adapter = 0;  // the target's adapter LUID, for the EDID identity query
};

struct DisplayPathSource {
    // GetDisplayConfigBufferSizes for the active paths.
    std::function<long(uint32_t& paths, uint32_t& modes)> bufferSizes;
    // QueryDisplayConfig into buffers of the given sizes; the counts come back
    // as the platform reports them, `out` holds the paths that fit.
    std::function<long(uint32_t& paths, uint32_t& modes, std::vector<DisplayPathInfo>& out)> query;
    // "%04X:%04X" of the target's EDID ids, or empty.
    std::function<std::string(const DisplayPathInfo& path)> edidIdentity;
    // The session's client protocol; false when it cannot be read.
    std::function<bool(uint16_t& protocol)> remoteProtocol;
};

struct RawInputInfo {
    uint32_t type = 0;
    uint32_t vendorId = 0;
    uint32_t productId = 0;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
};

struct RawInputSource {
    // The device count; false when the query fails.
    std::function<bool(uint32_t& count)> count;
    // Reads the list into `capacity` entries: the number read, or -1 with the
    // error code in `error`.
    std::function<int64_t(uint32_t capacity, uint32_t& error)> list;
    // The information of entry `index` of the last list read; false when unreadable.
    std::function<bool(uint32_t index, RawInputInfo& info)> info;
};

// Each appends its table and writes its probe facts.
void AddDisplayPathsFrom(Snapshot& s, const DisplayPathSource& src);
void AddRawInputDevicesFrom(Snapshot& s, const RawInputSource& src);

}  // namespace vorq
