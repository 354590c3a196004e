// Any ATA pass-through reply either fails with error 13 or gives 512 bytes
// whose strings and world wide name parse.
#include <cstdlib>

#include "collectors/devices/storage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vorq::Bytes reply(data, data + size);
    vorq::Bytes id;
    uint32_t error = 0;
    if (!vorq::ParseAtaIdentifyReply(reply, id, error)) {
        if (error != vorq::kErrorInvalidData) abort();
        return 0;
    }
    if (id.size() != vorq::kAtaIdentifySize) abort();
    vorq::AtaIdentity a = vorq::ParseAtaIdentity(id);
    if (!a.wwn.empty() && (a.wwn.size() != 16 || a.wwn[0] != '5')) abort();
    return 0;
}
