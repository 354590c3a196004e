// Any bytes as a monitor's EDID: checks and decoding stay inside the data,
// and what they report is consistent with it.
#include <cstdint>
#include <cstdlib>
#include <string>
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
        // A name fills at most the 13 bytes of each name descriptor (one that
        // fills all 13 goes on in the next); a serial never continues. Both
        // are printable ASCII without blanks at either end.
        size_t nameDescriptors = 0;
        for (size_t off : {54u, 72u, 90u, 108u})
            if (data[off] == 0 && data[off + 1] == 0 && data[off + 3] == 0xFC) ++nameDescriptors;
        if (e.name.size() > 13 * nameDescriptors || e.serialText.size() > 13) abort();
        for (const std::string* text : {&e.name, &e.serialText}) {
            for (char ch : *text)
                if (ch < 0x20 || ch > 0x7E) abort();
            if (!text->empty() && (text->front() == ' ' || text->back() == ' ')) abort();
        }
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
