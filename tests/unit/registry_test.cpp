#include <gtest/gtest.h>

#include "core/registry.h"
#include "tests/unit/test_support.h"

namespace vorq {
namespace {

// UTF-16LE bytes of an ASCII text in which '|' stands for a NUL unit.
Bytes Utf16(const std::string& s) {
    Bytes b;
    for (char c : s) {
        b.push_back(c == '|' ? 0 : static_cast<uint8_t>(c));
        b.push_back(0);
    }
    return b;
}

TEST(RegValueToText, ByTypeAndLength) {
    const std::string ellipsis = "\xE2\x80\xA6";
    Bytes b64(64), b65(65);
    for (size_t i = 0; i < b65.size(); ++i) b65[i] = static_cast<uint8_t>(i);
    for (size_t i = 0; i < b64.size(); ++i) b64[i] = static_cast<uint8_t>(i);
    const std::string hex64 = HexEncode(b64);
    struct Case {
        const char* what;
        uint32_t type;
        Bytes data;
        std::string want;
    } cases[] = {
        {"string", kRegSz, Utf16("abc|"), "abc"},
        {"string without NUL", kRegSz, Utf16("abc"), "abc"},
        {"embedded NUL cuts", kRegSz, Utf16("ab|cd|"), "ab"},
        {"only the terminator", kRegSz, Utf16("|"), ""},
        {"odd trailing byte dropped", kRegSz, {'a', 0, 'b'}, "a"},
        {"no data", kRegSz, {}, ""},
        {"expand kept", kRegExpandSz, Utf16("%TEMP%\\x|"), "%TEMP%\\x"},
        {"non-ASCII", kRegSz, {0xE9, 0x00, 0xAC, 0x20, 0, 0}, "\xC3\xA9\xE2\x82\xAC"},
        {"multi", kRegMultiSz, Utf16("a|bc||"), "a; bc"},
        {"multi with an empty item", kRegMultiSz, Utf16("a||b||"), "a"},
        {"multi without terminators", kRegMultiSz, Utf16("a|b"), "a; b"},
        {"multi empty", kRegMultiSz, Utf16("||"), ""},
        {"dword", kRegDword, {1, 0, 0, 0}, "1 (0x1)"},
        {"dword max", kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295 (0xFFFFFFFF)"},
        {"dword longer data", kRegDword, {0x10, 0, 0, 0, 0xAA}, "16 (0x10)"},
        {"3-byte dword", kRegDword, {1, 2, 3}, "010203"},
        {"qword", kRegQword, {0, 0, 0, 0, 1, 0, 0, 0}, "4294967296 (0x100000000)"},
        {"qword max", kRegQword, Bytes(8, 0xFF), "18446744073709551615 (0xFFFFFFFFFFFFFFFF)"},
        {"7-byte qword", kRegQword, Bytes(7, 0xAB), "ABABABABABABAB"},
        {"binary 64", kRegBinary, b64, hex64},
        {"binary 65", kRegBinary, b65, hex64 + ellipsis},
        {"binary empty", kRegBinary, {}, ""},
        {"big-endian dword as hex", 5, {0, 0, 0, 1}, "00000001"},
        {"unknown type", 0x12345, {0xDE, 0xAD}, "DEAD"},
    };
    for (const auto& c : cases) EXPECT_EQ(RegValueToText(c.type, c.data.data(), c.data.size()), c.want) << c.what;
    EXPECT_EQ(RegValueToText(kRegBinary, b65.data(), 65).size(), 128u + ellipsis.size());
}

TEST(SplitUtf16Strings, StopsAtEmptyStringOrEnd) {
    struct Case {
        std::string in;
        std::vector<std::u16string> want;
    } cases[] = {
        {"", {}},
        {"|", {}},
        {"a|b||", {u"a", u"b"}},
        {"|a|", {}},
        {"ab", {u"ab"}},
        {"a||b|", {u"a"}},
    };
    for (const auto& c : cases) {
        Bytes b = Utf16(c.in);
        EXPECT_EQ(SplitUtf16Strings(b.data(), b.size()), c.want) << c.in;
    }
    EXPECT_TRUE(SplitUtf16Strings(nullptr, 4).empty());
    EXPECT_EQ(FirstUtf16String(nullptr, 4), u"");
}

}  // namespace
}  // namespace vorq
