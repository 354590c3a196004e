#include <gtest/gtest.h>

#include "core/text.h"
#include "tests/unit/test_support.h"

namespace vorq {
namespace {

TEST(FormatBytes, UnitsAndRounding) {
    struct Case {
        uint64_t n;
        const char* want;
    } cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.00 KB"},
        {1536, "1.50 KB"},
        {10240, "10.0 KB"},
        {102400, "100 KB"},
        {1048575, "1024 KB"},
        {10ull << 20, "10.0 MB"},
        {1ull << 40, "1.00 TB"},
        {1ull << 60, "1024 PB"},
        {UINT64_MAX, "16384 PB"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatBytes(c.n), c.want) << c.n;
}

TEST(Format, ShortAndLongResultsAreWhole) {
    EXPECT_EQ(Format("%s-%d", "a", 7), "a-7");
    std::string s511(511, 'x'), s512(512, 'y'), s4k(4096, 'z');
    EXPECT_EQ(Format("%s", s511.c_str()), s511);
    EXPECT_EQ(Format("%s", s512.c_str()), s512);
    EXPECT_EQ(Format("<%s>", s4k.c_str()), "<" + s4k + ">");
    EXPECT_EQ(Format("%zu %llu", size_t{5}, 18446744073709551615ull), "5 18446744073709551615");
}

TEST(Hex, FixedWidthForms) {
    EXPECT_EQ(Hex16(74565), "2345");
    EXPECT_EQ(Hex32(0x1234567890ull), "34567890");
    EXPECT_EQ(Hex64(0xABCull), "0000000000000ABC");
    const uint8_t one[] = {0x0A};
    const uint8_t mac[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(HexEncodeSep(one, 1, '-'), "0A");
    EXPECT_EQ(HexEncodeSep(mac, 0, '-'), "");
    EXPECT_EQ(HexEncodeSep(mac, 6, '-'), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(HexEncode(mac, 6), "001A2B3C4D5E");
}

TEST(FormatGuid, NilAndLayout) {
    EXPECT_EQ(FormatGuid(Guid{}), "00000000-0000-0000-0000-000000000000");
    auto b = test::HexBytes("33 22 11 00 55 44 77 66 88 99 AA BB CC DD EE FF");
    EXPECT_EQ(FormatGuid(GuidFromBytes(b.data())), "00112233-4455-6677-8899-AABBCCDDEEFF");
}

TEST(Trim, OnlyTheFiveWhitespaceBytes) {
    EXPECT_EQ(Trim(std::string_view("\r\n x \t\0", 7)), "x");
    EXPECT_EQ(Trim("  "), "");
    EXPECT_EQ(Trim(" a b "), "a b");
    EXPECT_EQ(Trim("\va\v"), "\va\v");
}

TEST(WithoutFinalStop, SystemMessagesInsideOurSentence) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"HRESULT 0x8007007E: Module not found.", "HRESULT 0x8007007E: Module not found"},
        {"The specified module could not be found.\r\n", "The specified module could not be found"},
        {"HRESULT 0x80070002", "HRESULT 0x80070002"},
        {"\xE6\x89\xBE\xE4\xB8\x8D\xE5\x88\xB0\xE3\x80\x82", "\xE6\x89\xBE\xE4\xB8\x8D\xE5\x88\xB0"},
        {"...", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(WithoutFinalStop(c.in), c.out) << c.in;
}

TEST(CaseFolding, AsciiLettersOnly) {
    EXPECT_TRUE(ContainsNoCase("Intel(R) Core", "core"));
    EXPECT_TRUE(ContainsNoCase("", ""));
    EXPECT_TRUE(ContainsNoCase("abc", ""));
    EXPECT_FALSE(ContainsNoCase("ab", "abc"));
    EXPECT_FALSE(EqualsNoCase("\xC3\x84" "B", "\xC3\xA4" "b"));
    EXPECT_TRUE(EqualsNoCase("QEMU", "qemu"));
    EXPECT_TRUE(StartsWithNoCase("PCI\\VEN_8086", "pci\\ven_"));
    EXPECT_TRUE(StartsWithNoCase("x", ""));
    EXPECT_FALSE(StartsWithNoCase("x", "xy"));
    EXPECT_TRUE(WStartsWithNoCase(u"ROOT\\Device", u"root\\"));
    EXPECT_EQ(ToUpper("az09-\xC3\xA4"), "AZ09-\xC3\xA4");
    EXPECT_EQ(ToLower("AZ09-\xC3\x84"), "az09-\xC3\x84");
}

TEST(AsciiWords, RunsOfLettersAndDigits) {
    using W = std::vector<std::string_view>;
    const struct {
        const char* text;
        const char* inner;
        W words;
    } cases[] = {
        {"Hollowmere Issuing CA 02", "", W{"Hollowmere", "Issuing", "CA", "02"}},
        {"DESK-CA7, O=x", "", W{"DESK", "CA7", "O", "x"}},
        {"NPI8C2A1F (HP LaserJet)", "-_", W{"NPI8C2A1F", "HP", "LaserJet"}},
        {"BRN-3C2A_F4 ", "-_", W{"BRN-3C2A_F4"}},
        {"--", "", W{}},
        {"", "-", W{}},
        {"\xC3\xA4" "b", "", W{"b"}},  // bytes beyond ASCII end a word
    };
    for (const auto& c : cases) EXPECT_EQ(AsciiWords(c.text, c.inner), c.words) << c.text;
}

TEST(Join, KeepsEmptyItems) {
    EXPECT_EQ(Join({}, ", "), "");
    EXPECT_EQ(Join({"a"}, ", "), "a");
    EXPECT_EQ(Join({"a", "", "b"}, ", "), "a, , b");
}

TEST(Conversions, Latin1AndUtf16) {
    const uint8_t latin[] = {0x41, 0x42, 0x07, 0xE9, 0x00, 0x43, 0x44};
    EXPECT_EQ(Latin1ToUtf8(latin, sizeof latin), "AB.\xC3\xA9");
    const char16_t wide[] = {u'A', 0x00E9, 0xD83D, 0xDE00, 0xDC00};
    EXPECT_EQ(Utf16ToUtf8(wide, 5), "A\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD");
    const uint8_t le[] = {0x41, 0x00, 0xE9, 0x00, 0x42};
    EXPECT_EQ(Utf16LeBytesToUtf8(le, sizeof le), "A\xC3\xA9");
    EXPECT_EQ(Utf8ToUtf16("A\xC3\xA9\xF0\x9F\x98\x80"), std::u16string(u"A\u00E9\U0001F600"));
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), std::u16string(u"\uFFFD"));
}

TEST(TimeTexts, FileTimeAndUnixTime) {
    EXPECT_EQ(FormatFileTimeUtc(0), "1601-01-01 00:00:00 UTC");
    EXPECT_EQ(FormatFileTimeUtc(116444736000000000ull), "1970-01-01 00:00:00 UTC");
    EXPECT_EQ(FormatFileTimeUtc(0x8000000000000000ull), "");
    EXPECT_EQ(FormatUnixTimeUtc(951782400), "2000-02-29 00:00:00 UTC");
    EXPECT_EQ(FormatUnixTimeUtc(32535215999), "3000-12-31 23:59:59 UTC");
    EXPECT_EQ(FormatUnixTimeUtc(32535216000), "");
    EXPECT_EQ(FormatUnixTimeUtc(-1), "");
}

}  // namespace
}  // namespace vorq
