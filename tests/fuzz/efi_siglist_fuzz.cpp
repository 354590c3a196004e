// Firmware-supplied signature lists: every size and count comes from the
// data. The walk must stay inside it and account for every byte it skips.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "collectors/processor/efi_siglist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t named = 0;
    auto namer = [&](const uint8_t* der, size_t n, std::string* subject, std::string* issuer) {
        if (der < data || der + n > data + size) abort();
        ++named;
        if (n == 0 || der[0] != 0x30) return false;  // an empty certificate has no first byte
        *subject = "s";
        *issuer = "i";
        return true;
    };
    const vorq::SignatureListSummary s = vorq::ParseSignatureList(data, size, namer);
    if (s.unparsedBytes > size) abort();
    if (named != s.certificates.size()) abort();
    // Each list holds its 28-byte header, each entry at least 16 bytes.
    const uint64_t least = 28ull * s.lists + 16ull * (s.certificates.size() + s.hashEntries + s.otherEntries);
    if (least + s.unparsedBytes > size) abort();
    return 0;
}
