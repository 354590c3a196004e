#include "core/devprop.h"

#include "core/registry.h"

namespace vorq {

std::u16string DevPropBufferString(uint32_t type, const uint8_t* data, size_t size) {
    if (type != kDevPropTypeString && type != kDevPropTypeStringList) return {};
    return FirstUtf16String(data, size);
}

std::vector<std::u16string> DevPropBufferStringList(uint32_t type, const uint8_t* data, size_t size) {
    if (type == kDevPropTypeString) return {FirstUtf16String(data, size)};
    if (type == kDevPropTypeStringList) return SplitUtf16Strings(data, size);
    return {};
}

bool DevPropBufferUint32(uint32_t type, const uint8_t* data, size_t size, uint32_t& value) {
    if ((type != kDevPropTypeInt32 && type != kDevPropTypeUint32) || !data || size < 4) return false;
    value = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 | static_cast<uint32_t>(data[2]) << 16 |
            static_cast<uint32_t>(data[3]) << 24;
    return true;
}

bool DevPropBufferGuid(uint32_t type, const uint8_t* data, size_t size, Guid& value) {
    if (type != kDevPropTypeGuid || !data || size < 16) return false;
    value = GuidFromBytes(data);
    return true;
}

namespace {

std::string TextAfterTag(const std::string& text, std::string_view tag, size_t n) {
    size_t at = text.find(tag);
    if (at == std::string::npos) return {};
    return text.substr(at + tag.size(), n);
}

}  // namespace

PciIds ParsePciIds(std::string_view hardwareId) {
    const std::string id = ToUpper(std::string(hardwareId));
    PciIds ids;
    ids.ven = TextAfterTag(id, "VEN_", 4);
    ids.dev = TextAfterTag(id, "DEV_", 4);
    ids.subsys = TextAfterTag(id, "SUBSYS_", 8);
    ids.rev = TextAfterTag(id, "REV_", 2);
    return ids;
}

std::string PcieLinkText(uint32_t speedCode, uint32_t width) {
    static const char* const kGenerations[] = {"Gen1 2.5 GT/s", "Gen2 5 GT/s",  "Gen3 8 GT/s",
                                               "Gen4 16 GT/s",  "Gen5 32 GT/s", "Gen6 64 GT/s"};
    const char* gen = (speedCode >= 1 && speedCode <= 6) ? kGenerations[speedCode - 1] : "?";
    return Format("%s x%u", gen, static_cast<unsigned>(width));
}

}  // namespace vorq
