#include <gtest/gtest.h>

#include "collectors/processor/smbios_walker.h"
#include "tests/unit/smbios_builder.h"

namespace vorq {
namespace {

using test::SmbiosArea;
using test::SmbiosEnd;
using test::SmbiosRec;

std::vector<uint8_t> Append(std::vector<uint8_t> a, std::initializer_list<uint8_t> tail) {
    a.insert(a.end(), tail);
    return a;
}

SmbiosRec Board(uint16_t handle, uint16_t chassis) { return SmbiosRec(2, 0x0F, handle).W(0x0B, chassis); }

struct WalkCase {
    const char* name;
    std::vector<uint8_t> area;
    bool complete, endOfTable;
    uint64_t structures, duplicates, badRefs, badStrings;
    const char* status;
};

TEST(SmbiosWalk, StatusesAndCounters) {
    const auto two = SmbiosArea({SmbiosRec(3, 0x15, 1), Board(2, 0x7777)});  // one dangling reference
    const WalkCase cases[] = {
        {"empty area", {}, false, false, 0, 0, 0, 0, "malformed"},
        {"ends at type 127", SmbiosArea({SmbiosRec(3, 0x15, 1), Board(2, 1), SmbiosEnd()}), true, true, 3, 0, 0, 0,
         "complete"},
        {"ends exactly without type 127", two, true, false, 2, 0, 1, 0, "complete"},
        {"one stray byte", Append(two, {0}), false, false, 2, 0, 0, 0, "malformed"},
        {"three stray bytes", Append(two, {1, 2, 3}), false, false, 2, 0, 0, 0, "malformed"},
        {"bytes after type 127", Append(SmbiosArea({SmbiosRec(3, 0x15, 1), SmbiosEnd()}), {9, 9, 9, 9, 9}), true,
         true, 2, 0, 0, 0, "complete"},
        {"header length below 4", Append(SmbiosArea({SmbiosRec(3, 0x15, 1)}), {8, 3, 0, 0, 0, 0}), false, false, 1,
         0, 0, 0, "malformed"},
        {"stated length beyond the area", Append(SmbiosArea({SmbiosRec(3, 0x15, 1)}), {8, 0x40, 2, 0, 0, 0}), false,
         false, 1, 0, 0, 0, "malformed"},
        {"string set never closed", Append(SmbiosArea({SmbiosRec(3, 0x15, 1)}), {8, 4, 2, 0, 'a', 0}), false, false,
         1, 0, 0, 0, "malformed"},
        {"three structures share a handle",
         SmbiosArea({SmbiosRec(8, 4, 5), SmbiosRec(8, 4, 5), SmbiosRec(9, 4, 5), SmbiosEnd(5)}), true, true, 4, 2, 0,
         0, "complete"},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.name);
        SmbiosWalkResult r = ParseSmbiosTable(c.area.data(), c.area.size());
        EXPECT_EQ(r.complete, c.complete);
        EXPECT_EQ(r.endOfTable, c.endOfTable);
        EXPECT_FALSE(r.limited);
        EXPECT_EQ(r.structures, c.structures);
        EXPECT_EQ(r.duplicateHandles, c.duplicates);
        EXPECT_EQ(r.badReferences, c.badRefs);
        EXPECT_EQ(r.badStringIndices, c.badStrings);
        const size_t buffer = c.area.size() + kSmbiosHeaderSize;
        EXPECT_STREQ(SmbiosWalkStatus(r, static_cast<uint32_t>(c.area.size()), buffer), c.status);
    }
    EXPECT_EQ(ParseSmbiosTable(nullptr, 100).structures, 0u);
}

TEST(SmbiosWalk, StatedLengthBeyondTheBufferIsMalformed) {
    const auto area = SmbiosArea({SmbiosRec(3, 0x15, 1), SmbiosEnd()});
    SmbiosWalkResult r = ParseSmbiosTable(area.data(), area.size());
    ASSERT_TRUE(r.complete);
    const size_t buffer = area.size() + kSmbiosHeaderSize;
    EXPECT_STREQ(SmbiosWalkStatus(r, static_cast<uint32_t>(area.size()), buffer), "complete");
    EXPECT_STREQ(SmbiosWalkStatus(r, static_cast<uint32_t>(area.size() + 1), buffer), "malformed");
}

TEST(SmbiosWalk, References) {
    struct Case {
        const char* name;
        std::vector<uint8_t> area;
        uint64_t bad;
    } cases[] = {
        {"chassis handle names a processor", SmbiosArea({SmbiosRec(4, 0x1A, 1), Board(2, 1)}), 1},
        {"handle no structure has", SmbiosArea({SmbiosRec(3, 0x15, 1), Board(2, 9)}), 1},
        {"handle of the end structure", SmbiosArea({SmbiosRec(3, 0x15, 1), Board(2, 7), SmbiosEnd(7)}), 1},
        {"no-structure handle", SmbiosArea({Board(2, 0xFFFF), Board(3, 0xFFFE)}), 0},
        {"forward reference", SmbiosArea({Board(2, 5), SmbiosRec(3, 0x15, 5)}), 0},
        {"chassis field outside a short baseboard", SmbiosArea({SmbiosRec(2, 0x0C, 2).B(0x0B, 9)}), 0},
        // Each cache handle is taken by itself: 0x1E lies past a length of 0x1F.
        {"cache handles", SmbiosArea({SmbiosRec(4, 0x1F, 1).W(0x1A, 7).W(0x1C, 8).B(0x1E, 9), SmbiosRec(7, 0x13, 7)}),
         1},
        {"memory device, array and mapped addresses",
         SmbiosArea({SmbiosRec(16, 0x0F, 1), SmbiosRec(17, 0x15, 2).W(0x04, 1), SmbiosRec(19, 0x0F, 3).W(0x0C, 1),
                     SmbiosRec(20, 0x13, 4).W(0x0C, 2).W(0x0E, 3), SmbiosRec(20, 0x13, 5).W(0x0C, 1).W(0x0E, 2)}),
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmbiosWalkResult r = ParseSmbiosTable(c.area.data(), c.area.size());
        EXPECT_TRUE(r.complete);
        EXPECT_EQ(r.badReferences, c.bad);
    }
}

TEST(SmbiosWalk, StringNumbers) {
    struct Case {
        const char* name;
        SmbiosRec rec;
        uint64_t bad;
    } cases[] = {
        {"serial past two strings", SmbiosRec(1, 0x1B, 1).Strings({"a", "b"}).B(0x07, 3), 1},
        {"serial 0", SmbiosRec(1, 0x1B, 1).Strings({"a", "b"}).B(0x07, 0), 0},
        {"serial 2", SmbiosRec(1, 0x1B, 1).Strings({"a", "b"}).B(0x07, 2), 0},
        {"family at the length is not examined", SmbiosRec(1, 0x1A, 1).Strings({"a"}).B(0x19, 1), 0},
        {"empty string set", SmbiosRec(0, 0x12, 1).B(0x04, 1).B(0x05, 1).B(0x08, 2), 3},
        {"memory device fields", SmbiosRec(17, 0x1B, 1).Strings({"a"}).B(0x10, 1).B(0x17, 2).B(0x1A, 5), 2},
        {"other types are not examined", SmbiosRec(9, 0x11, 1).B(0x04, 7), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto area = SmbiosArea({c.rec});
        EXPECT_EQ(ParseSmbiosTable(area.data(), area.size()).badStringIndices, c.bad);
    }
}

TEST(SmbiosWalk, SizeCap) {
    // One structure whose string fills the area up to exactly 4 MiB.
    std::vector<uint8_t> area = {200, 4, 1, 0};
    area.resize(kSmbiosWalkMaxBytes - 2, 'a');
    area.push_back(0);
    area.push_back(0);
    SmbiosWalkResult r = ParseSmbiosTable(area.data(), area.size());
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.structures, 1u);

    area.push_back(0);
    r = ParseSmbiosTable(area.data(), area.size());
    EXPECT_TRUE(r.limited);
    EXPECT_FALSE(r.complete || r.endOfTable);
    EXPECT_EQ(r.structures + r.duplicateHandles + r.badReferences + r.badStringIndices, 0u);
    EXPECT_STREQ(SmbiosWalkStatus(r, static_cast<uint32_t>(area.size()), area.size() + 8), "limited");
    // The rendering walk has no cap.
    EXPECT_EQ(SplitSmbiosStructures(area.data(), area.size()).size(), 1u);
}

TEST(SmbiosWalk, StructureLimit) {
    std::vector<uint8_t> area;
    for (uint32_t i = 0; i < 0x10000; ++i) SmbiosRec(8, 4, static_cast<uint16_t>(i)).AppendTo(area);
    SmbiosEnd(0xFFFD).AppendTo(area);
    SmbiosWalkResult r = ParseSmbiosTable(area.data(), area.size());
    EXPECT_TRUE(r.limited);
    EXPECT_FALSE(r.complete);
    EXPECT_FALSE(r.endOfTable);
    EXPECT_EQ(r.structures, 0x10000u);
    EXPECT_EQ(r.duplicateHandles, 0u);
}

TEST(SmbiosSplit, CutsRecordsAndStrings) {
    auto area = SmbiosArea({SmbiosRec(1, 0x08, 0x1234).Strings({"  Acme  ", "X\xE9"}), SmbiosRec(8, 4, 2),
                            SmbiosEnd(3), SmbiosRec(9, 4, 4)});
    auto recs = SplitSmbiosStructures(area.data(), area.size());
    ASSERT_EQ(recs.size(), 3u);  // nothing after type 127
    EXPECT_EQ(recs[0].type, 1);
    EXPECT_EQ(recs[0].length, 8);
    EXPECT_EQ(recs[0].handle, 0x1234);
    EXPECT_EQ(recs[0].data, area.data());
    EXPECT_EQ(recs[0].strings, (std::vector<std::string>{"  Acme  ", "X\xC3\xA9"}));
    EXPECT_TRUE(recs[1].strings.empty());
    EXPECT_EQ(recs[2].type, 127);

    struct Case {
        const char* name;
        std::vector<uint8_t> area;
        size_t records;
        std::vector<std::string> lastStrings;
    } cases[] = {
        {"header length below 4", {8, 3, 0, 0, 0, 0}, 0, {}},
        {"formatted area past the end", {8, 4, 0, 0, 0, 0, 8, 9, 0, 0}, 1, {}},
        {"string without NUL at the end", {8, 4, 0, 0, 'a', 'b'}, 1, {"ab"}},
        {"one NUL at the end", {8, 4, 0, 0, 'a', 0}, 1, {"a"}},
        {"fewer than four bytes left", {8, 4, 0, 0, 0, 0, 8, 4, 0}, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = SplitSmbiosStructures(c.area.data(), c.area.size());
        ASSERT_EQ(r.size(), c.records);
        if (!r.empty()) {
            EXPECT_EQ(r.back().strings, c.lastStrings);
        }
    }
}

TEST(SmbiosSplit, AccessorsStopAtTheFormattedLength) {
    auto area = SmbiosArea({SmbiosRec(4, 0x0C, 1).Q(0x04, 0x0807060504030201ull).Strings({" padded ", "two"})});
    SmbiosStructure r = SplitSmbiosStructures(area.data(), area.size()).at(0);
    EXPECT_TRUE(r.HasField(0x08, 4));
    EXPECT_FALSE(r.HasField(0x09, 4));
    EXPECT_EQ(r.FieldByte(0x0B), 0x08);
    EXPECT_EQ(r.FieldByte(0x0C), 0);  // first string byte: outside the formatted area
    EXPECT_EQ(r.FieldWord(0x0A), 0x0807);
    EXPECT_EQ(r.FieldWord(0x0B), 0);
    EXPECT_EQ(r.FieldDword(0x08), 0x08070605u);
    EXPECT_EQ(r.FieldDword(0x09), 0u);
    EXPECT_EQ(r.FieldQword(0x04), 0x0807060504030201ull);
    EXPECT_EQ(r.FieldQword(0x05), 0u);
    EXPECT_EQ(r.FieldString(0x04), "padded");  // string 1, trimmed
    EXPECT_EQ(r.FieldString(0x05), "two");
    EXPECT_EQ(r.FieldString(0x06), "");  // number 3 past the set
    EXPECT_EQ(r.FieldString(0x20), "");
}

}  // namespace
}  // namespace vorq
