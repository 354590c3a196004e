#include <gtest/gtest.h>

#include "core/snapshot.h"

namespace vorq {
namespace {

TEST(Facts, SetGetHas) {
    Snapshot s;
    EXPECT_EQ(GetFact(s, "a", "dflt"), "dflt");
    EXPECT_FALSE(HasFact(s, "a"));
    SetFact(s, "a", "");
    EXPECT_EQ(GetFact(s, "a", "dflt"), "");
    EXPECT_TRUE(HasFact(s, "a"));
    SetFact(s, "a", "1");
    SetFact(s, "a", "2");
    EXPECT_EQ(s.facts.size(), 1u);
    EXPECT_EQ(GetFact(s, "a"), "2");
}

TEST(Records, Defaults) {
    Signal sig;
    EXPECT_EQ(sig.scope, 1);
    EXPECT_EQ(sig.w, 0);
    EXPECT_TRUE(Sensitive(sig));  // a value whose role nobody declared is masked
    EXPECT_EQ(sig.q, 1.0);
    Table t = MakeTable("cpu", "cpu.x", "X", {{"A", Role::Program}, {"B", Role::Maker}});
    EXPECT_TRUE(t.safe);
    EXPECT_EQ(t.groupCol, -1);
    EXPECT_EQ(t.sens, 0u);
    EXPECT_EQ(ScoreItem{}.status, kInfo);
    EXPECT_EQ(Check{}.status, kInfo);
    auto p = MakeSnapshot();
    EXPECT_TRUE(p->signals.empty() && p->tables.empty() && p->deviceTitle.empty());
}

TEST(Records, MakeSignalMapsPositionalArguments) {
    Signal s = MakeSignal("k", "c", "n", "v", SignalScope::PerUnit, 15, "g", Role::Identifier, "src", "note", 0.0);
    EXPECT_EQ(s.key, "k");
    EXPECT_EQ(s.cat, "c");
    EXPECT_EQ(s.name, "n");
    EXPECT_EQ(s.value, "v");
    EXPECT_EQ(s.scope, 0);
    EXPECT_EQ(s.w, 15);
    EXPECT_EQ(s.group, "g");
    EXPECT_TRUE(Sensitive(s));
    EXPECT_EQ(s.src, "src");
    EXPECT_EQ(s.note, "note");
    EXPECT_EQ(s.q, 0.0);
}

TEST(Records, AddRowAndNoteAndFindTable) {
    Snapshot s;
    AddNote(s, "ACPI", "no tables");
    AddNote(s, "", "x");
    EXPECT_EQ(s.notes, (std::vector<std::string>{"ACPI: no tables", ": x"}));
    Table a = MakeTable("t", "id", "first", {{"A", Role::Maker}});
    AddRow(a, {"x"});
    AddRow(a, {"y"}, {Role::Identifier});
    EXPECT_EQ(a.rows[1].sens, 1u);
    s.tables.push_back(a);
    s.tables.push_back(MakeTable("t", "id", "second", {{"A", Role::Program}}));
    ASSERT_NE(FindTable(s, "id"), nullptr);
    EXPECT_EQ(FindTable(s, "id")->title, "first");
    EXPECT_EQ(FindTable(s, "nope"), nullptr);
}

TEST(Records, FailureNotesNameTheirSource) {
    Snapshot s;
    AddNote(s, "Network", "GetIfTable2 failed");  // words alone record nothing
    AddFailureNote(s, "ACPI", "EnumSystemFirmwareTables('ACPI') failed: error 5");
    AddFailureNote(s, "SMBIOS", "short read of the SMBIOS table", Failure::ShortRead);
    EXPECT_EQ(s.notes, (std::vector<std::string>{"Network: GetIfTable2 failed",
                                                 "ACPI: EnumSystemFirmwareTables('ACPI') failed: error 5",
                                                 "SMBIOS: short read of the SMBIOS table"}));
    EXPECT_FALSE(SourceFailed(s, "Network"));
    EXPECT_TRUE(SourceFailed(s, "ACPI"));
    EXPECT_FALSE(SourceFailed(s, "ACPI", Failure::ShortRead));
    EXPECT_FALSE(SourceFailed(s, "acpi"));
    EXPECT_FALSE(SourceFailed(s, "SMBIOS"));
    EXPECT_TRUE(SourceFailed(s, "SMBIOS", Failure::ShortRead));
}

TEST(PrintableAscii, FieldRules) {
    struct Case {
        std::vector<uint8_t> in;
        size_t n;
        const char* want;
    } cases[] = {
        {{0x41, 0x42, 0x01, 0x43}, 4, "AB.C"},
        {{0x20, 0x41, 0x00, 0x42}, 4, "A"},
        {{0xFF, 0xFF, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20}, 8, ".."},
        {{0x41}, 0, ""},
        {{0x41, 0x42, 0x43}, 2, "AB"},
        {{0x7F, 0x41}, 2, ".A"},
    };
    for (const auto& c : cases) EXPECT_EQ(PrintableAscii(c.in.data(), c.n), c.want);
}

}  // namespace
}  // namespace vorq
