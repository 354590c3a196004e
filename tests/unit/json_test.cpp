#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/json.h"

namespace vorq {
namespace {

std::string Quoted(const std::string& bytes) {
    std::string out;
    AppendJsonQuoted(out, bytes);
    return out;
}

TEST(JsonWriter, SeparatorsAfterKeysAndInNestedContainers) {
    JsonWriter w;
    w.BeginObject();
    w.WriteString("a", "b");
    w.WriteInt("n", 1);
    w.WriteKey("k");
    w.BeginArray();
    w.WriteStringValue("x");
    w.WriteStringValue("y");
    w.BeginObject();
    w.EndObject();
    w.BeginArray();
    w.EndArray();
    w.EndArray();
    w.WriteKey("q");
    w.WriteQuoted("v");
    w.WriteBool("t", true);
    w.WriteNumber("d", 0.5);
    w.EndObject();
    EXPECT_EQ(w.str(), R"({"a":"b","n":1,"k":["x","y",{},[]],"q":"v","t":true,"d":0.5})");
}

TEST(JsonWriter, Numbers) {
    struct Case {
        double x;
        const char* want;
    } cases[] = {
        {0.1, "0.1"},
        {1e21, "1e+21"},
        {1.0 / 3.0, "0.3333333333"},
        {12345.6789012, "12345.6789"},
        {1.0, "1"},
        {0.0, "0"},
        {std::nan(""), "null"},
        {std::numeric_limits<double>::infinity(), "null"},
        {-std::numeric_limits<double>::infinity(), "null"},
    };
    for (const auto& c : cases) {
        JsonWriter w;
        w.WriteNumberValue(c.x);
        EXPECT_EQ(w.str(), c.want);
    }
    JsonWriter w;
    w.BeginArray();
    w.WriteIntValue(std::numeric_limits<int64_t>::min());
    w.WriteIntValue(std::numeric_limits<int64_t>::max());
    w.WriteIntValue(0);
    w.EndArray();
    EXPECT_EQ(w.str(), "[-9223372036854775808,9223372036854775807,0]");
}

TEST(JsonQuote, EscapesAndUtf8Validation) {
    struct Case {
        std::string in;
        std::string want;
    } cases[] = {
        {"A\"\\\n\x08\x7F", R"("A\"\\\n\u0008\u007f")"},
        {"\t\r/", R"("\t\r/")"},
        {std::string("\0", 1), R"("\u0000")"},
        {"\xC3\xA9", "\"\xC3\xA9\""},
        {"\xC3" "A", R"("\ufffdA")"},
        {"\x80", R"("\ufffd")"},
        {"\xE2\x82", R"("\ufffd\ufffd")"},
        {"\xF5\x80\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},
        {"\xC0\xAF", R"("\ufffd\ufffd")"},
        {"\xE2\x82\xAC", "\"\xE2\x82\xAC\""},
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
        {"\xF4\x8F\xBF\xBF", "\"\xF4\x8F\xBF\xBF\""},
        // Overlong, surrogate and beyond-U+10FFFF forms are not passed through.
        {"\xE0\x80\xAF", R"("\ufffd\ufffd\ufffd")"},
        {"\xED\xA0\x80", R"("\ufffd\ufffd\ufffd")"},
        {"\xF4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},
        {"\xF0\x80\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},
        // Runs of plain text and UTF-8 between escapes, at either end and side by side.
        {"\\C:\\Windows\\x.sys\"", R"("\\C:\\Windows\\x.sys\"")"},
        {"Gr\xC3\xBC\xC3\x9F" "e\x01\x02" "ab\xE2\x82\xAC\x80z", "\"Gr\xC3\xBC\xC3\x9F" "e\\u0001\\u0002" "ab\xE2\x82\xAC\\ufffdz\""},
        {"\xC3\xA9\xC3", "\"\xC3\xA9\\ufffd\""},
    };
    for (const auto& c : cases) EXPECT_EQ(Quoted(c.in), c.want);
}

}  // namespace
}  // namespace vorq
