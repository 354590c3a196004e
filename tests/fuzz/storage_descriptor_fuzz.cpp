// Device, seek-penalty and adapter-serial replies of any length parse without
// reading outside the reply; texts never carry a NUL.
#include <cstdlib>

#include "collectors/devices/storage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vorq::Bytes reply(data, data + size);
    vorq::DeviceDescriptor d = vorq::ParseDeviceDescriptor(reply);
    for (const std::string* s : {&d.vendor, &d.product, &d.revision, &d.serial})
        if (s->find('\0') != std::string::npos) abort();
    if (d.busKnown != (size >= 32)) abort();
    if (vorq::ParseSeekPenalty(reply) < -1) abort();
    if (vorq::ParseAdapterSerial(reply).find('\0') != std::string::npos) abort();
    return 0;
}
