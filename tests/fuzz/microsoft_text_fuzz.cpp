// Any bytes as the Connected Devices Platform settings file (a file the user
// can write) and as the Windows Update validation value: the key lookup never
// reads past the text and yields at most 200 characters without a quote, and
// the UTF-16 runs are printable ASCII.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "collectors/trust/microsoft.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string value = vorq::ExtractJsonString(text, "VirtualDeviceId");
    if (value.size() > 200 || value.find('"') != std::string::npos) abort();
    if (!value.empty() && text.find(value) == std::string_view::npos) abort();

    // Runs and their separators are printable ASCII; a run needs 4 code units.
    const std::string runs = vorq::ExtractUtf16Strings(data, size);
    if (size < 8 && !runs.empty()) abort();
    if (runs.size() > size + size / 2) abort();
    for (char c : runs)
        if (c < 32 || c > 126) abort();
    return 0;
}
