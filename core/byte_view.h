// A read-only view of bytes that came from the system (firmware tables, device
// replies, variables) whose reads are checked: a field that does not lie
// wholly inside the view reads as absent, never past its end. Offsets and
// lengths are checked without overflow, so sizes taken from the bytes
// themselves can be passed as they are.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/byte_order.h"

namespace vorq {

class ByteView {
public:
    ByteView() = default;
    ByteView(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
    explicit ByteView(const std::vector<uint8_t>& bytes) : ByteView(bytes.data(), bytes.size()) {}
    template <size_t N>
    explicit ByteView(const std::array<uint8_t, N>& bytes) : ByteView(bytes.data(), N) {}
    template <size_t N>
    explicit ByteView(const uint8_t (&bytes)[N]) : ByteView(bytes, N) {}

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // Whether the n bytes at offset lie inside the view.
    bool Has(uint64_t offset, uint64_t n) const { return offset <= size_ && n <= size_ - offset; }

    std::optional<uint8_t> U8(uint64_t offset) const {
        if (!Has(offset, 1)) return std::nullopt;
        return data_[offset];
    }
    std::optional<uint16_t> Le16(uint64_t offset) const {
        if (!Has(offset, 2)) return std::nullopt;
        return vorq::Le16(data_ + offset);
    }
    std::optional<uint32_t> Le32(uint64_t offset) const {
        if (!Has(offset, 4)) return std::nullopt;
        return vorq::Le32(data_ + offset);
    }
    std::optional<uint64_t> Le64(uint64_t offset) const {
        if (!Has(offset, 8)) return std::nullopt;
        return vorq::Le64(data_ + offset);
    }

    // The n bytes at offset, or nothing when they do not lie inside the view.
    std::optional<ByteView> Slice(uint64_t offset, uint64_t n) const {
        if (!Has(offset, n)) return std::nullopt;
        return ByteView(data_ + offset, static_cast<size_t>(n));
    }
    // Everything from offset on; empty when offset lies beyond the end.
    ByteView From(uint64_t offset) const {
        if (offset >= size_) return ByteView();
        return ByteView(data_ + offset, size_ - static_cast<size_t>(offset));
    }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace vorq
