// Any text parses without overflow, and agrees with a wide-integer reference.
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "core/wmi_value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* p = reinterpret_cast<const char*>(data);
    int64_t got = vorq::ParseWmiDecimal(p, size);
    size_t i = 0;
    while (i < size && (p[i] == ' ' || (p[i] >= '\t' && p[i] <= '\r'))) ++i;
    bool neg = false;
    if (i < size && (p[i] == '+' || p[i] == '-')) neg = p[i++] == '-';
    __int128 v = 0;
    for (; i < size && p[i] >= '0' && p[i] <= '9'; ++i) {
        v = v * 10 + (p[i] - '0');
        if (v > (__int128{1} << 64)) v = __int128{1} << 64;
    }
    if (neg) v = -v;
    __int128 lo = std::numeric_limits<int64_t>::min(), hi = std::numeric_limits<int64_t>::max();
    __int128 want = v < lo ? lo : v > hi ? hi : v;
    if (got != want) abort();
    return 0;
}
