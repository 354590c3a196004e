// Any protocol-specific reply is accepted only with its 4096 Identify bytes
// inside the reply, and the fields of accepted data parse.
#include <cstdlib>

#include "collectors/devices/storage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vorq::Bytes reply(data, data + size);
    vorq::Bytes id;
    uint32_t error = 0;
    if (!vorq::ParseNvmeIdentifyReply(reply, id, error)) {
        if (error != vorq::kErrorInvalidData) abort();
        return 0;
    }
    if (id.size() != vorq::kNvmeIdentifySize || size < 48 + vorq::kNvmeIdentifySize) abort();
    vorq::NvmeController c = vorq::ParseNvmeController(id);
    vorq::NvmeNamespace n = vorq::ParseNvmeNamespace(id);
    if (c.vid.size() != 4 || (!c.fruGuid.empty() && c.fruGuid.size() != 32)) abort();
    if ((!n.nguid.empty() && n.nguid.size() != 32) || (!n.eui64.empty() && n.eui64.size() != 16)) abort();
    return 0;
}
