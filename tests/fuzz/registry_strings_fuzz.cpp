// Registry string data of any type and length: the walk never reads past the
// data, never yields an empty string, and a non-list type yields at most one.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "vm/vm_artifacts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint32_t type = data[0] % 3 == 0 ? vorq::kRegMultiSz : data[0] % 3 == 1 ? vorq::kRegSz : vorq::kRegExpandSz;
    const std::vector<uint8_t> bytes(data + 1, data + size);
    vorq::ArtifactScan scan;
    const std::vector<std::string> strings = vorq::ParseRegistryStrings(type, bytes, scan);
    if (type != vorq::kRegMultiSz && strings.size() > 1) abort();
    for (const std::string& s : strings)
        if (s.empty()) abort();
    if (bytes.size() % 2 != 0 && (!strings.empty() || !scan.accessError)) abort();
    return 0;
}
