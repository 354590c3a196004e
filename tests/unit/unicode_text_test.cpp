// Normalization and word boundaries against the Unicode conformance files the
// build copies beside its tables.
#include "core/unicode_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vorq {
namespace {

std::string DataFile(const char* name) { return std::string(VORQ_UNICODE_TESTS) + "/" + name; }

std::u32string CodePoints(const std::string& hex) {
    std::u32string out;
    std::istringstream in(hex);
    std::string token;
    while (in >> token) out.push_back(static_cast<char32_t>(std::stoul(token, nullptr, 16)));
    return out;
}

std::string Utf8(const std::u32string& cps) {
    std::string out;
    for (char32_t c : cps) unicode::Append(out, c);
    return out;
}

std::vector<std::string> Split(const std::string& line, char by) {
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, by)) out.push_back(field);
    return out;
}

// Every line of NormalizationTest.txt: c2 == NFC(c1) == NFC(c2) == NFC(c3),
// c4 == NFC(c4) == NFC(c5), c3 == NFD(c1) == NFD(c2) == NFD(c3), c5 ==
// NFD(c4) == NFD(c5); and every code point its character-by-character part
// does not list is its own NFC and NFD.
TEST(UnicodeText, NormalizationConformance) {
    std::ifstream in(DataFile("NormalizationTest.txt"));
    ASSERT_TRUE(in) << DataFile("NormalizationTest.txt");
    std::set<char32_t> listed;
    bool part1 = false;
    size_t lines = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '@') {
            part1 = line.starts_with("@Part1");
            continue;
        }
        const std::vector<std::string> f = Split(line, ';');
        ASSERT_GE(f.size(), 5u) << line;
        std::string c[5];
        for (int k = 0; k < 5; ++k) c[k] = Utf8(CodePoints(f[static_cast<size_t>(k)]));
        if (part1) listed.insert(CodePoints(f[0])[0]);
        for (int k : {0, 1, 2}) {
            EXPECT_EQ(unicode::Nfc(c[k]), c[1]) << line;
            EXPECT_EQ(unicode::Nfd(c[k]), c[2]) << line;
        }
        for (int k : {3, 4}) {
            EXPECT_EQ(unicode::Nfc(c[k]), c[3]) << line;
            EXPECT_EQ(unicode::Nfd(c[k]), c[4]) << line;
        }
        ++lines;
    }
    ASSERT_GT(lines, 0u);
    // In runs of a few thousand, each after a line feed that nothing composes
    // with; a run that changes is checked one by one.
    constexpr char32_t kRun = 4096;
    for (char32_t from = 0; from <= 0x10FFFF; from += kRun) {
        std::u32string run;
        for (char32_t cp = from; cp < from + kRun && cp <= 0x10FFFF; ++cp)
            if ((cp < 0xD800 || cp > 0xDFFF) && !listed.count(cp)) run += {U'\n', cp};
        const std::string text = Utf8(run);
        if (unicode::Nfc(text) == text && unicode::Nfd(text) == text) continue;
        for (size_t k = 1; k < run.size(); k += 2) {
            const std::string one = Utf8(run.substr(k, 1));
            if (unicode::Nfc(one) != one || unicode::Nfd(one) != one)
                ADD_FAILURE() << "U+" << std::hex << static_cast<uint32_t>(run[k]);
        }
    }
}

// Bytes that are no UTF-8 pass through both forms unchanged.
TEST(UnicodeText, InvalidBytesUnchanged) {
    for (const std::string& text : {std::string("J\xC3"), std::string("\xFF\xFEo\xCC"), std::string("a\xED\xA0\x80")}) {
        EXPECT_EQ(unicode::Nfc(text), text);
        EXPECT_EQ(unicode::Nfd(text), text);
    }
}

// Words as masking splits them, from the general categories: runs of
// letters, numbers and the marks after them.
std::vector<std::string> OurWords(const std::u32string& text) {
    std::vector<std::string> words;
    std::u32string word;
    for (char32_t c : text) {
        const unicode::Class cls = unicode::ClassOf(c);
        if (cls == unicode::Class::Ignored) continue;
        if (cls == unicode::Class::Separator || (cls == unicode::Class::Mark && word.empty())) {
            if (!word.empty()) words.push_back(Utf8(word));
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty()) words.push_back(Utf8(word));
    return words;
}

// The lines of WordBreakTest.txt made only of characters whose word-break
// property and general category tell the same: letters and numbers
// (ALetter, Hebrew_Letter, Numeric) of scripts written with spaces, marks
// (Extend), and separators (Other, CR, LF, Newline, WSegSpace); their word
// segments are our words. The rules differ elsewhere on purpose: they end a
// word at every punctuation mark (UAX #29 keeps "can't", "3.14" and "a_b"
// whole), drop format characters, keep a run of a script written without
// spaces whole (UAX #29 splits ideographs), and end a word at a symbol that
// Unicode counts as a letter for word breaking (circled letters) and at
// modifier letters of no script (the apostrophe U+02BC).
TEST(UnicodeText, WordBoundariesWhereUax29Agrees) {
    std::map<char32_t, std::string> property;
    {
        std::ifstream in(DataFile("WordBreakProperty.txt"));
        ASSERT_TRUE(in);
        for (std::string line; std::getline(in, line);) {
            line = line.substr(0, line.find('#'));
            const std::vector<std::string> f = Split(line, ';');
            if (f.size() < 2) continue;
            const std::string range = f[0].substr(0, f[0].find_last_not_of(' ') + 1);
            std::string value = f[1].substr(f[1].find_first_not_of(' '));
            value = value.substr(0, value.find_last_not_of(' ') + 1);
            const size_t dots = range.find("..");
            const char32_t lo = static_cast<char32_t>(std::stoul(range.substr(0, dots), nullptr, 16));
            const char32_t hi = dots == std::string::npos ? lo : static_cast<char32_t>(std::stoul(range.substr(dots + 2), nullptr, 16));
            for (char32_t c = lo; c <= hi; ++c) property[c] = value;
        }
    }
    auto wb = [&](char32_t c) {
        const auto it = property.find(c);
        return it == property.end() ? std::string("Other") : it->second;
    };
    auto agrees = [&](char32_t c) {
        const std::string p = wb(c);
        const unicode::Class cls = unicode::ClassOf(c);
        if (p == "ALetter" || p == "Hebrew_Letter" || p == "Numeric")
            return (cls == unicode::Class::Letter || cls == unicode::Class::Number) && !unicode::IsSpaceless(c);
        if (p == "Extend") return cls == unicode::Class::Mark;
        if (p == "Other" || p == "CR" || p == "LF" || p == "Newline" || p == "WSegSpace")
            return cls == unicode::Class::Separator;
        return false;
    };
    std::ifstream in(DataFile("WordBreakTest.txt"));
    ASSERT_TRUE(in);
    size_t compared = 0;
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        if (line.empty()) continue;
        std::u32string text;
        std::vector<std::u32string> segments(1);
        bool usable = true;
        std::istringstream tokens(line);
        for (std::string t; tokens >> t;) {
            if (t == "\xC3\xB7") {  // the division sign: a boundary
                if (!segments.back().empty()) segments.emplace_back();
            } else if (t != "\xC3\x97") {  // the multiplication sign: none
                const char32_t c = static_cast<char32_t>(std::stoul(t, nullptr, 16));
                usable = usable && agrees(c);
                text.push_back(c);
                segments.back().push_back(c);
            }
        }
        if (!usable) continue;
        std::vector<std::string> words;
        for (const std::u32string& s : segments)
            for (char32_t c : s)
                if (const std::string p = wb(c); p == "ALetter" || p == "Hebrew_Letter" || p == "Numeric") {
                    words.push_back(Utf8(s));
                    break;
                }
        EXPECT_EQ(OurWords(text), words) << line;
        ++compared;
    }
    EXPECT_GT(compared, 0u);
}

}  // namespace
}  // namespace vorq
