// Any bytes through the text conversions: the results are always well-formed
// UTF-8 (or UTF-16 that converts back), and well-formed input round-trips.
#include <cstdlib>
#include <string_view>

#include "core/text.h"
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using vorq::fuzz::IsUtf8;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string latin = vorq::Latin1ToUtf8(data, size);
    if (!IsUtf8(latin) || latin.size() > 2 * size) abort();

    const std::string le = vorq::Utf16LeBytesToUtf8(data, size);
    if (!IsUtf8(le) || le.size() > 3 * (size / 2)) abort();

    const std::u16string wide = vorq::Utf8ToUtf16(bytes);
    if (wide.size() > size) abort();
    const std::string back = vorq::Utf16ToUtf8(wide.data(), wide.size());
    if (!IsUtf8(back)) abort();
    if (IsUtf8(bytes) && back != bytes) abort();
    if (vorq::Utf8ToUtf16(back) != wide) abort();
    return 0;
}
