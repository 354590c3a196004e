#include "collectors/processor/smbios_walker.h"

#include <map>

#include "core/byte_order.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr uint8_t kEndOfTable = 127;
constexpr uint64_t kMaxStructures = 0x10000;

struct StringFields {
    uint8_t type;
    uint8_t offsets[6];
    uint8_t count;
};

// String-number fields whose numbers the integrity walk checks.
constexpr StringFields kStringFields[] = {
    {0, {0x04, 0x05, 0x08}, 3},
    {1, {0x04, 0x05, 0x06, 0x07, 0x19, 0x1A}, 6},
    {2, {0x04, 0x05, 0x06, 0x07, 0x08, 0x0A}, 6},
    {3, {0x04, 0x06, 0x07, 0x08}, 4},
    {4, {0x04, 0x07, 0x10, 0x20, 0x21, 0x22}, 6},
    {17, {0x10, 0x11, 0x17, 0x18, 0x19, 0x1A}, 6},
};

struct RefField {
    uint8_t type;
    uint8_t offset;
    uint8_t requiredType;
};

// Handle references; each is taken when its two bytes lie inside the
// formatted area.
constexpr RefField kRefFields[] = {
    {2, 0x0B, 3},  {4, 0x1A, 7},  {4, 0x1C, 7},  {4, 0x1E, 7},
    {17, 0x04, 16}, {19, 0x0C, 16}, {20, 0x0C, 17}, {20, 0x0E, 19},
};

struct Reference {
    uint16_t handle;
    uint8_t requiredType;
};

}  // namespace

uint8_t SmbiosStructure::FieldByte(size_t offset) const { return HasField(offset, 1) ? data[offset] : 0; }
uint16_t SmbiosStructure::FieldWord(size_t offset) const {
    return HasField(offset, 2) ? Le16(data + offset) : 0;
}
uint32_t SmbiosStructure::FieldDword(size_t offset) const {
    return HasField(offset, 4) ? Le32(data + offset) : 0;
}
uint64_t SmbiosStructure::FieldQword(size_t offset) const {
    return HasField(offset, 8) ? Le64(data + offset) : 0;
}

std::string SmbiosStructure::FieldString(size_t offset) const {
    const uint8_t n = FieldByte(offset);
    if (n == 0 || n > strings.size()) return std::string();
    return Trim(strings[n - 1u]);
}

SmbiosWalkResult ParseSmbiosTable(const uint8_t* data, size_t size) {
    SmbiosWalkResult r;
    if (!data || size == 0) return r;
    if (size > kSmbiosWalkMaxBytes) {
        r.limited = true;
        return r;
    }
    std::map<uint16_t, uint8_t> handles;  // handle -> type of the first structure that had it
    std::vector<Reference> references;
    size_t pos = 0;
    bool normalEnd = true;
    while (pos < size) {
        if (r.structures >= kMaxStructures) {
            r.limited = true;
            normalEnd = false;
            break;
        }
        if (size - pos < 4) {
            normalEnd = false;
            break;
        }
        const uint8_t type = data[pos];
        const size_t len = data[pos + 1];
        if (len < 4 || len > size - pos) {
            normalEnd = false;
            break;
        }
        // The string set must close with a NUL pair entirely inside the area.
        const size_t s = pos + len;
        size_t i = s;
        bool closed = false;
        for (; i + 1 < size; ++i) {
            if (data[i] == 0 && data[i + 1] == 0) {
                closed = true;
                break;
            }
        }
        if (!closed) {
            normalEnd = false;
            break;
        }
        size_t stringCount = 0;
        if (i != s) {
            stringCount = 1;
            for (size_t k = s; k < i; ++k)
                if (data[k] == 0) ++stringCount;
        }
        const uint16_t handle = Le16(data + pos + 2);
        if (type != kEndOfTable) {
            if (handles.count(handle))
                ++r.duplicateHandles;
            else
                handles.emplace(handle, type);
        }
        for (const StringFields& f : kStringFields) {
            if (f.type != type) continue;
            for (uint8_t k = 0; k < f.count; ++k)
                if (f.offsets[k] < len && data[pos + f.offsets[k]] > stringCount) ++r.badStringIndices;
        }
        for (const RefField& f : kRefFields) {
            if (f.type != type || size_t{f.offset} + 2 > len) continue;
            const uint16_t ref = Le16(data + pos + f.offset);
            if (ref <= 0xFFFD) references.push_back(Reference{ref, f.requiredType});
        }
        ++r.structures;
        pos = i + 2;
        if (type == kEndOfTable) {
            r.endOfTable = true;
            break;
        }
    }
    if (normalEnd) {
        for (const Reference& ref : references) {
            auto it = handles.find(ref.handle);
            if (it == handles.end() || it->second != ref.requiredType) ++r.badReferences;
        }
        r.complete = true;
    }
    return r;
}

std::vector<SmbiosStructure> SplitSmbiosStructures(const uint8_t* data, size_t size) {
    std::vector<SmbiosStructure> out;
    if (!data) return out;
    size_t pos = 0;
    while (size >= 4 && pos <= size - 4) {
        const uint8_t type = data[pos];
        const uint8_t len = data[pos + 1];
        if (len < 4) break;
        const size_t start = pos;
        pos += len;
        if (pos > size) break;
        SmbiosStructure rec;
        rec.type = type;
        rec.length = len;
        rec.handle = Le16(data + start + 2);
        rec.data = data + start;
        if (pos + 1 < size && data[pos] == 0 && data[pos + 1] == 0) {
            pos += 2;
        } else {
            while (pos < size) {
                size_t end = pos;
                while (end < size && data[end] != 0) ++end;
                rec.strings.push_back(Latin1ToUtf8(data + pos, end - pos));
                pos = end + 1;  // size + 1 when no NUL closed the string
                if (pos >= size) break;
                if (data[pos] == 0) {
                    ++pos;
                    break;
                }
            }
        }
        out.push_back(std::move(rec));
        if (type == kEndOfTable) break;
    }
    return out;
}

const char* SmbiosWalkStatus(const SmbiosWalkResult& r, uint32_t statedLength, size_t bufferSize) {
    if (r.limited) return "limited";
    if (r.complete && bufferSize >= kSmbiosHeaderSize && statedLength <= bufferSize - kSmbiosHeaderSize)
        return "complete";
    return "malformed";
}

}  // namespace vorq
