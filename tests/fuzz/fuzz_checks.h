// Checks shared by the fuzz targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/snapshot.h"

namespace vorq::fuzz {

// Well-formed UTF-8: no stray continuation bytes, overlong forms, surrogates
// or code points above U+10FFFF.
inline bool IsUtf8(std::string_view s) {
    size_t i = 0;
    auto cont = [&](size_t k) { return k < s.size() && (static_cast<uint8_t>(s[k]) & 0xC0) == 0x80; };
    while (i < s.size()) {
        const uint8_t b = static_cast<uint8_t>(s[i]);
        const uint8_t n = i + 1 < s.size() ? static_cast<uint8_t>(s[i + 1]) : 0;
        size_t len = 0;
        if (b < 0x80) len = 1;
        else if (b >= 0xC2 && b <= 0xDF) len = 2;
        else if (b == 0xE0) len = n >= 0xA0 ? 3 : 0;
        else if (b == 0xED) len = n < 0xA0 ? 3 : 0;
        else if (b >= 0xE1 && b <= 0xEF) len = 3;
        else if (b == 0xF0) len = n >= 0x90 ? 4 : 0;
        else if (b == 0xF4) len = n < 0x90 ? 4 : 0;
        else if (b >= 0xF1 && b <= 0xF3) len = 4;
        if (len == 0) return false;
        for (size_t k = 1; k < len; ++k)
            if (!cont(i + k)) return false;
        i += len;
    }
    return true;
}

// Every cell of the table with this id is UTF-8 and no row is longer than the
// column list; the number of rows, or -1 when the table is missing.
inline long CheckTable(const Snapshot& s, std::string_view id) {
    const Table* t = FindTable(s, std::string(id));
    if (!t) return -1;
    for (const auto& row : t->rows) {
        if (row.cells.size() > t->columns.size()) __builtin_trap();
        for (const std::string& c : row.cells)
            if (!IsUtf8(c)) __builtin_trap();
    }
    return static_cast<long>(t->rows.size());
}

// Every table, fact and signal of the snapshot is UTF-8 and no row is longer
// than its column list.
inline void CheckSnapshot(const Snapshot& s) {
    for (const Table& t : s.tables)
        for (const auto& row : t.rows) {
            if (row.cells.size() > t.columns.size()) __builtin_trap();
            for (const std::string& c : row.cells)
                if (!IsUtf8(c)) __builtin_trap();
        }
    for (const auto& [key, value] : s.facts)
        if (!IsUtf8(key) || !IsUtf8(value)) __builtin_trap();
    for (const Signal& sig : s.signals)
        if (!IsUtf8(sig.key) || !IsUtf8(sig.value) || !IsUtf8(sig.name) || !IsUtf8(sig.note)) __builtin_trap();
    for (const std::string& n : s.notes)
        if (!IsUtf8(n)) __builtin_trap();
    // scripts/fuzz-seeds names seeds by the tables and checks they fill.
    if (std::getenv("VORQ_FUZZ_DESCRIBE")) {
        std::string shown;
        for (const Table& t : s.tables)
            if (!t.rows.empty()) shown += (shown.empty() ? "" : "+") + t.id + "-" + std::to_string(t.rows.size());
        if (!s.checks.empty()) shown += (shown.empty() ? "checks-" : "+checks-") + std::to_string(s.checks.size());
        std::fprintf(stderr, "fills: %s\n", shown.empty() ? "nothing" : shown.c_str());
    }
}

}  // namespace vorq::fuzz
