// Configured driver image paths come from the service database and the
// registry. The input is a byte that picks the expansion's answer (fitting,
// growing, failing), then the raw path as UTF-16LE. The result must be built
// without a crash and stay within the raw path and the folders added; a publisher key never
// grows.
#include <cstdint>
#include <cstring>
#include <string>

#include "collectors/trust/drivers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0] % 3;
    std::u16string raw((size - 1) / 2, u'\0');
    if (!raw.empty()) std::memcpy(raw.data(), data + 1, raw.size() * 2);
    uint32_t grow = 500;
    const vorq::ExpandEnvFn expand = [&](const std::u16string& src, char16_t* dst, uint32_t capacity) -> uint32_t {
        if (mode == 1) return grow += 300;
        if (mode == 2) return 0;
        const uint32_t need = static_cast<uint32_t>(src.size() + 1);
        if (need <= capacity) std::memcpy(dst, src.c_str(), need * 2);
        return need;
    };
    const std::u16string path = vorq::ResolveDriverImagePath(raw, u"svc", u"C:\\Windows", expand);
    // Only the folder, the service name and the drivers folder are ever added.
    if (path.size() > raw.size() + 64) __builtin_trap();
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (vorq::NormalizeCompanyName(text).size() > text.size()) __builtin_trap();
    return 0;
}
