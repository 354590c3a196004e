#include <gtest/gtest.h>

#include "core/devprop.h"
#include "tests/unit/test_support.h"

namespace vorq {
namespace {

using test::HexBytes;

TEST(DevPropBuffer, StringsByType) {
    struct Case {
        const char* what;
        uint32_t type;
        const char* hex;
        std::u16string first;
        std::vector<std::u16string> list;
    } cases[] = {
        {"string", kDevPropTypeString, "41 00 42 00 00 00", u"AB", {u"AB"}},
        {"empty string is one entry", kDevPropTypeString, "00 00", u"", {u""}},
        {"string without NUL", kDevPropTypeString, "41 00 42 00", u"AB", {u"AB"}},
        {"string, odd byte", kDevPropTypeString, "41 00 42", u"A", {u"A"}},
        {"no bytes", kDevPropTypeString, "", u"", {u""}},
        {"list", kDevPropTypeStringList, "61 00 00 00 62 00 00 00 00 00", u"a", {u"a", u"b"}},
        {"list, first empty", kDevPropTypeStringList, "00 00 62 00 00 00 00 00", u"", {}},
        {"list without terminators", kDevPropTypeStringList, "61 00 00 00 62 00", u"a", {u"a", u"b"}},
        {"integer", kDevPropTypeUint32, "41 00 00 00", u"", {}},
        {"guid", kDevPropTypeGuid, "41 00 42 00 00 00 00 00 00 00 00 00 00 00 00 00", u"", {}},
    };
    for (const auto& c : cases) {
        Bytes b = HexBytes(c.hex);
        EXPECT_EQ(DevPropBufferString(c.type, b.data(), b.size()), c.first) << c.what;
        EXPECT_EQ(DevPropBufferStringList(c.type, b.data(), b.size()), c.list) << c.what;
    }
}

TEST(DevPropBuffer, IntegersAndGuidsNeedTheirSize) {
    struct Case {
        const char* what;
        uint32_t type;
        const char* hex;
        bool ok;
        uint32_t value;
    } ints[] = {
        {"uint32", kDevPropTypeUint32, "10 00 00 00", true, 16},
        {"int32 as bits", kDevPropTypeInt32, "FF FF FF FF", true, 0xFFFFFFFF},
        {"3 bytes", kDevPropTypeUint32, "10 00 00", false, 99},
        {"string", kDevPropTypeString, "31 00 00 00", false, 99},
        {"longer buffer", kDevPropTypeUint32, "02 01 00 00 AA", true, 0x102},
    };
    for (const auto& c : ints) {
        Bytes b = HexBytes(c.hex);
        uint32_t v = 99;
        EXPECT_EQ(DevPropBufferUint32(c.type, b.data(), b.size(), v), c.ok) << c.what;
        EXPECT_EQ(v, c.value) << c.what;
    }
    Bytes g = HexBytes("06 D2 7E 8C 8A 3F 27 48 B3 AB AE 9E 1F AE FC 6C");
    Guid out;
    ASSERT_TRUE(DevPropBufferGuid(kDevPropTypeGuid, g.data(), g.size(), out));
    EXPECT_EQ(FormatGuid(out), "8C7ED206-3F8A-4827-B3AB-AE9E1FAEFC6C");
    Guid untouched;
    untouched.Data1 = 5;
    EXPECT_FALSE(DevPropBufferGuid(kDevPropTypeGuid, g.data(), 15, untouched));
    EXPECT_FALSE(DevPropBufferGuid(kDevPropTypeString, g.data(), g.size(), untouched));
    EXPECT_EQ(untouched.Data1, 5u);
}

TEST(ParsePciIds, FieldsAfterTheFirstTag) {
    struct Case {
        const char* id;
        PciIds want;
    } cases[] = {
        {"PCI\\VEN_10DE&DEV_2684&SUBSYS_16F310DE&REV_A1", {"10DE", "2684", "16F310DE", "A1"}},
        {"PCI\\VEN_8086&DEV_1234", {"8086", "1234", "", ""}},
        {"pci\\ven_abcd&dev_ef01&subsys_0000aaaa&rev_0b", {"ABCD", "EF01", "0000AAAA", "0B"}},
        {"PCI\\DEV_1234&VEN_1", {"1", "1234", "", ""}},
        {"ACPI\\PNP0A08", {"", "", "", ""}},
        {"PCI\\VEN_1111&VEN_2222", {"1111", "", "", ""}},
        {"PCI\\VEN_", {"", "", "", ""}},
        {"PCI\\VEN_ZZ&&&DEV_12\\3", {"ZZ&&", "12\\3", "", ""}},
        {"", {"", "", "", ""}},
    };
    for (const auto& c : cases) {
        PciIds got = ParsePciIds(c.id);
        EXPECT_EQ(got.ven, c.want.ven) << c.id;
        EXPECT_EQ(got.dev, c.want.dev) << c.id;
        EXPECT_EQ(got.subsys, c.want.subsys) << c.id;
        EXPECT_EQ(got.rev, c.want.rev) << c.id;
    }
}

TEST(PcieLinkText, GenerationsAndUnknownCodes) {
    struct Case {
        uint32_t speed, width;
        const char* want;
    } cases[] = {
        {1, 1, "Gen1 2.5 GT/s x1"}, {2, 4, "Gen2 5 GT/s x4"},   {3, 16, "Gen3 8 GT/s x16"}, {4, 8, "Gen4 16 GT/s x8"},
        {5, 2, "Gen5 32 GT/s x2"},  {6, 16, "Gen6 64 GT/s x16"}, {0, 4, "? x4"},            {7, 8, "? x8"},
        {0xFFFFFFFF, 0xFFFFFFFF, "? x4294967295"},
    };
    for (const auto& c : cases) EXPECT_EQ(PcieLinkText(c.speed, c.width), c.want);
}

}  // namespace
}  // namespace vorq
