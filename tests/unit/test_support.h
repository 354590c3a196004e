// Helpers shared by the unit tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/snapshot.h"

namespace vorq::test {

// Columns of a table another collector made, for tests of its readers: the
// roles do not matter there.
inline std::vector<Column> MakerColumns(std::vector<std::string> titles) {
    std::vector<Column> columns;
    for (std::string& t : titles) columns.emplace_back(std::move(t), Role::Maker);
    return columns;
}

// Bytes from a hexadecimal text; blanks between digits are ignored.
inline std::vector<uint8_t> HexBytes(const std::string& hex) {
    std::vector<uint8_t> out;
    int hi = -1;
    for (char c : hex) {
        int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (v < 0) continue;
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<uint8_t>(hi << 4 | v));
            hi = -1;
        }
    }
    return out;
}

// A file below tests/fixtures (VORQ_FIXTURES names the folder; the build sets it).
inline std::vector<uint8_t> ReadFixture(const std::string& relative) {
    const char* dir = std::getenv("VORQ_FIXTURES");
    std::string path = std::string(dir ? dir : "tests/fixtures") + "/" + relative;
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace vorq::test
