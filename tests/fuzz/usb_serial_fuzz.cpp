// Any UTF-16 text as a device instance id: a serial is found only in a USB id,
// is the text after the last backslash, and comes out as UTF-8.
#include <cstdlib>
#include <string>

#include "collectors/devices/devices.h"
#include "core/text.h"
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string id(size / 2, u'\0');
    for (size_t i = 0; i < id.size(); ++i) id[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    const vorq::UsbSerial u = vorq::UsbSerialFromInstanceId(id);
    if (!u.found) {
        if (!u.value.empty() || u.placeholder) abort();
        return 0;
    }
    if (id.size() < 4 || (id[0] != u'U' && id[0] != u'u') || id[3] != u'\\') abort();
    const std::u16string tail = id.substr(id.rfind(u'\\') + 1);
    if (tail.size() < 4 || tail.find(u'&') != std::u16string::npos) abort();
    if (!vorq::fuzz::IsUtf8(u.value) || u.value != vorq::Utf16ToUtf8(tail.data(), tail.size())) abort();
    return 0;
}
