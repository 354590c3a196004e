#include <gtest/gtest.h>

#include <regex>

#include "collectors/devices/storage.h"
#include "core/snapshot.h"

namespace vorq {
namespace {

// Wine has no physical disks but does have fixed volumes: the collector still
// writes its three tables in order, a serial per volume and its counts.
TEST(StorageWin, CollectsVolumesAndCounts) {
    Snapshot s;
    s.elevated = true;
    CollectStorage(s);
    ASSERT_EQ(s.tables.size(), 3u);
    EXPECT_EQ(s.tables[0].id, "storage.disks");
    EXPECT_EQ(s.tables[1].id, "storage.ids");
    EXPECT_EQ(s.tables[2].id, "storage.volumes");
    const Table& volumes = s.tables[2];
    ASSERT_FALSE(volumes.rows.empty());
    const std::regex serial("[0-9A-F]{4}-[0-9A-F]{4}");
    for (const TableRow& r : volumes.rows) {
        ASSERT_EQ(r.cells.size(), 6u);
        EXPECT_TRUE(std::regex_match(r.cells[3], serial)) << r.cells[3];
        EXPECT_EQ(r.cells[0].substr(1), ":\\");
    }
    size_t serials = 0;
    for (const Signal& sig : s.signals) serials += sig.key == "volume.serial";
    EXPECT_EQ(serials, volumes.rows.size());
    EXPECT_TRUE(HasFact(s, "storage.with_serial"));
    EXPECT_TRUE(HasFact(s, "storage.system_with_id"));
    for (const std::string& n : s.notes) EXPECT_NE(n.rfind("Storage:", 0), 0u) << n;
}

}  // namespace
}  // namespace vorq
