// Drive layouts of any length and partition count parse inside the reply.
#include <cstdlib>

#include "collectors/devices/storage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vorq::Bytes reply(data, data + size);
    vorq::DriveLayout l = vorq::ParseDriveLayout(reply);
    if (l.style != "GPT" && l.style != "MBR" && l.style != "RAW" && l.style != "?") abort();
    if (!l.espGuid.empty() && l.style != "GPT") abort();
    int32_t n = 0;
    uint64_t bytes = 0;
    vorq::ParseDeviceNumber(reply, n);
    vorq::ParseDiskSize(reply, bytes);
    vorq::ParseFirstExtentDisk(reply);
    return 0;
}
