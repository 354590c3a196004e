// Any bytes as a monitor's EDID: checks and decoding stay inside the data,
// and what they report is consistent with it.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "collectors/devices/edid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    const vorq::EdidBlockChecks c = vorq::ValidateEdidBlocks(bytes);
    if (c.sizeOk != (size >= 128 && size <= vorq::kMaxEdidBytes)) abort();
    if (c.availableBlocks * 128 > size) abort();
    if (c.allChecksumsOk && !c.baseChecksumOk) abort();
    const vorq::EdidInfo e = vorq::ParseEdid(bytes);
    if (e.valid) {
        if (e.manufacturer.size() != 3) abort();
        for (char ch : e.manufacturer)
            if (ch < 'A' || ch > 'Z') abort();
        if (e.name.size() > 13 || e.serialText.size() > 13) abort();
    }
    vorq::Snapshot s;
    vorq::MonitorStep m = vorq::BeginMonitorStep(true);
    vorq::MonitorEdidRead r;
    r.hasEdid = true;
    r.bytes = bytes;
    vorq::AddMonitor(s, m, 0, r, [] { return std::string("monitor"); });
    vorq::FinishMonitorStep(s, m);
    if (m.checks.rows.size() != 1 || m.monitors.rows.size() != (e.valid ? 1u : 0u)) abort();
    return 0;
}
