// The two walks over the structure area of a raw SMBIOS table ('RSMB'
// buffer: 8-byte header, then the structures): a strict integrity walk that
// counts rule breaks, and a lenient one that cuts records for rendering.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorq {

// Offsets inside the RSMB buffer header.
constexpr size_t kSmbiosHeaderSize = 8;
// The integrity walk refuses larger areas; exactly this much is still walked.
constexpr size_t kSmbiosWalkMaxBytes = 0x400000;

struct SmbiosWalkResult {
    bool complete = false;
    bool endOfTable = false;
    bool limited = false;
    uint64_t structures = 0;
    uint64_t duplicateHandles = 0;
    uint64_t badReferences = 0;
    uint64_t badStringIndices = 0;
};

// One structure of the table. `data` points into the caller's buffer (the
// type byte) and stays valid only as long as that buffer; `length` bytes
// from it lie inside the buffer.
struct SmbiosStructure {
    uint8_t type = 0;
    uint8_t length = 0;
    uint16_t handle = 0;
    const uint8_t* data = nullptr;
    std::vector<std::string> strings;

    // Every check is against the formatted length, never the string set.
    bool HasField(size_t offset, size_t size) const { return size_t{length} >= offset + size; }
    uint8_t FieldByte(size_t offset) const;
    uint16_t FieldWord(size_t offset) const;
    uint32_t FieldDword(size_t offset) const;
    uint64_t FieldQword(size_t offset) const;
    // The string whose number is the byte at `offset`, trimmed; empty for
    // number 0, a number past the string set or an offset past the length.
    std::string FieldString(size_t offset) const;
};

// `data` is the start of the structure area (may be null), `size` the number
// of bytes to walk.
SmbiosWalkResult ParseSmbiosTable(const uint8_t* data, size_t size);
std::vector<SmbiosStructure> SplitSmbiosStructures(const uint8_t* data, size_t size);

// "limited", "complete" (a normal end and the whole stated area delivered)
// or "malformed".
const char* SmbiosWalkStatus(const SmbiosWalkResult& r, uint32_t statedLength, size_t bufferSize);

}  // namespace vorq
