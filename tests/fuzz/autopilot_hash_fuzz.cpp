// Any bytes as the base64-decoded Autopilot hardware hash: the record walk
// stays inside the declared total, which stays inside the input.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "collectors/trust/microsoft.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vorq::AutopilotHashInfo info = vorq::ParseAutopilotHash(data, size);
    if (info.parsed) {
        if (size < 32 || info.totalLength > size || info.recordCount < 1) abort();
        if (info.identityHash.size() != 64) abort();
        // One type per record, each at most three digits and a comma.
        if (info.recordTypes.size() > static_cast<size_t>(info.recordCount) * 4) abort();
        // Every record has at least 4 bytes and lies after the 4-byte header.
        if (static_cast<size_t>(info.recordCount) * 4 + 4 > info.totalLength) abort();
    } else if (info.recordCount != 0 || !info.identityHash.empty()) {
        abort();
    }

    vorq::MicrosoftSource in;
    in.elevated = true;
    in.devDetailOk = true;
    in.hardwareData = "T0E=";
    in.hardwareBytes.assign(data, data + size);
    vorq::Snapshot s;
    vorq::CollectMicrosoftFrom(s, in);
    if (vorq::GetFact(s, "ms.autopilot_hash") != "1") abort();
    return 0;
}
