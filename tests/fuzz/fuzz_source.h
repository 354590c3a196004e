// Values for a collector's source drawn from the fuzz input.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/registry.h"
#include "core/text.h"
#include "tests/fuzz/fuzz_checks.h"

namespace vorq::fuzz {

struct Feed {
    FuzzedDataProvider& in;

    bool Bool() { return in.ConsumeBool(); }
    template <class T>
    T Int() {
        return in.ConsumeIntegral<T>();
    }
    // Small numbers are common in real answers; any value stays possible.
    uint32_t Word() { return Bool() ? in.ConsumeIntegralInRange<uint32_t>(0, 16) : Int<uint32_t>(); }
    size_t Count(size_t max) { return in.ConsumeIntegralInRange<size_t>(0, max); }
    // Texts reach collectors converted from UTF-16, so always as UTF-8: bytes
    // that do not form UTF-8 are taken as Latin-1.
    std::string Text(size_t max = 48) {
        std::string t = in.ConsumeRandomLengthString(max);
        if (IsUtf8(t)) return t;
        std::string out;
        for (const char c : t) {
            const auto b = static_cast<uint8_t>(c);
            if (b < 0x80) {
                out.push_back(c);
            } else {
                out.push_back(static_cast<char>(0xC0 | b >> 6));
                out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
            }
        }
        return out;
    }
    std::u16string Wide(size_t max = 48) {
        const std::string t = in.ConsumeRandomLengthString(max * 2);
        std::u16string w;
        for (size_t i = 0; i + 1 < t.size(); i += 2)
            w.push_back(static_cast<char16_t>(static_cast<uint8_t>(t[i]) | static_cast<uint8_t>(t[i + 1]) << 8));
        return w;
    }
    Bytes Blob(size_t max = 512) { return in.ConsumeBytes<uint8_t>(Count(max)); }
    template <class T>
    std::optional<T> Maybe() {
        if (!Bool()) return std::nullopt;
        return Int<T>();
    }
    std::optional<std::string> MaybeText(size_t max = 48) {
        if (!Bool()) return std::nullopt;
        return Text(max);
    }
    RegValue Value() {
        RegValue v;
        const std::string name = Text(24);
        v.name.assign(name.begin(), name.end());
        v.type = in.ConsumeIntegralInRange<uint32_t>(0, 12);
        v.data = Blob(128);
        return v;
    }
    std::vector<RegValue> Values(size_t max = 8) {
        std::vector<RegValue> out(Count(max));
        for (RegValue& v : out) v = Value();
        return out;
    }
    std::vector<std::string> Texts(size_t max = 6, size_t len = 48) {
        std::vector<std::string> out(Count(max));
        for (std::string& t : out) t = Text(len);
        return out;
    }
};

}  // namespace vorq::fuzz
