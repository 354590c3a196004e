// Property buffers of any type and length decode without reading past their
// end; hardware ids of any bytes give fields no longer than their widths.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/devprop.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint32_t types[] = {vorq::kDevPropTypeString, vorq::kDevPropTypeStringList, vorq::kDevPropTypeInt32,
                              vorq::kDevPropTypeUint32, vorq::kDevPropTypeGuid, 0};
    uint32_t type = types[data[0] % 6];
    size_t n = size - 1;
    uint8_t* copy = static_cast<uint8_t*>(malloc(n ? n : 1));
    if (n) memcpy(copy, data + 1, n);
    auto first = vorq::DevPropBufferString(type, copy, n);
    auto list = vorq::DevPropBufferStringList(type, copy, n);
    if (type == vorq::kDevPropTypeString && list.size() != 1) abort();
    if (!list.empty() && list[0] != first) abort();
    uint32_t v = 0;
    vorq::Guid g;
    vorq::DevPropBufferUint32(type, copy, n, v);
    vorq::DevPropBufferGuid(type, copy, n, g);
    vorq::PciIds ids = vorq::ParsePciIds(std::string_view(reinterpret_cast<const char*>(copy), n));
    if (ids.ven.size() > 4 || ids.dev.size() > 4 || ids.subsys.size() > 8 || ids.rev.size() > 2) abort();
    free(copy);
    vorq::PcieLinkText(data[0], static_cast<uint32_t>(size));
    return 0;
}
