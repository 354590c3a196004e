// The VPD 0x83 designator walk stays inside the reply and within its cap.
#include <cstdlib>

#include "collectors/devices/storage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vorq::Bytes reply(data, data + size);
    bool truncated = false;
    auto ds = vorq::WalkDesignators(reply, vorq::kMaxDesignatorRows, &truncated);
    if (ds.size() > vorq::kMaxDesignatorRows) abort();
    if (truncated && ds.size() != vorq::kMaxDesignatorRows) abort();
    for (const auto& d : ds)
        if (d.text.size() > 2 * size) abort();
    return 0;
}
