#include <gtest/gtest.h>

#include "collectors/processor/smbios.h"

namespace vorq {
namespace {

TEST(CollectSmbios, ReadsAndWalksThePlatformTable) {
    Snapshot s;
    CollectSmbios(s);
    EXPECT_TRUE(s.notes.empty()) << (s.notes.empty() ? "" : s.notes[0]);
    EXPECT_EQ(GetFact(s, "vm.smbios.structure.status"), "complete");
    EXPECT_NE(GetFact(s, "vm.smbios.structures", "0"), "0");
    EXPECT_FALSE(GetFact(s, "smbios.version").empty());
    ASSERT_EQ(s.tables.size(), 2u);
    EXPECT_EQ(s.tables[0].id, "smbios.summary");
    EXPECT_EQ(s.tables[1].id, "smbios");
    EXPECT_FALSE(s.tables[1].rows.empty());
}

}  // namespace
}  // namespace vorq
