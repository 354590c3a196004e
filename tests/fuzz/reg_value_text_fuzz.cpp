// Any type and data give a text without reading past the data; string types
// give valid UTF-8 and the hexadecimal form never shows more than 64 bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint32_t types[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xFFFFFFFF};
    uint32_t type = types[data[0] % (sizeof types / sizeof types[0])];
    // A copy of exactly the remaining length, so a read past it is caught.
    size_t n = size - 1;
    uint8_t* copy = static_cast<uint8_t*>(malloc(n ? n : 1));
    if (n) memcpy(copy, data + 1, n);
    std::string text = vorq::RegValueToText(type, copy, n);
    if ((type == 3 || type == 0) && text.size() > 128 + 3) abort();
    auto list = vorq::SplitUtf16Strings(copy, n);
    for (const auto& s : list)
        if (s.empty() || s.find(u'\0') != std::u16string::npos) abort();
    free(copy);
    return 0;
}
