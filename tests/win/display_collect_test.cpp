#include <gtest/gtest.h>

#include "collectors/devices/battery.h"
#include "collectors/devices/display.h"

namespace vorq {
namespace {

std::vector<std::string> Ids(const Snapshot& s) {
    std::vector<std::string> ids;
    for (const Table& t : s.tables) ids.push_back(t.id);
    return ids;
}

TEST(DisplayCollector, TablesFactsAndStatuses) {
    Snapshot s;
    SetFact(s, "display.probe.stale.status", "error");
    CollectDisplay(s);
    EXPECT_EQ(Ids(s), (std::vector<std::string>{"display.paths", "display.input_devices", "display.gpus", "display.dxgi",
                                                "display.outputs", "display.nvml", "display.monitors",
                                                "display.adapter_flags", "display.d3d_caps", "display.memory_budgets",
                                                "display.nvml_modes", "display.nvml_telemetry", "display.edid_checks"}));
    EXPECT_FALSE(HasFact(s, "display.probe.stale.status"));
    for (const char* probe : {"dxgi", "wddm", "d3d", "memory", "paths", "hid", "nvml", "telemetry", "edid", "override"}) {
        const std::string st = GetFact(s, std::string("display.probe.") + probe + ".status", "absent");
        EXPECT_TRUE(st == "ok" || st == "error" || st == "not_supported") << probe << " " << st;
    }
    for (const char* key : {"dxgi.hw", "dxgi.matched", "dxgi.pci_hw", "dxgi.pci_matched", "pnp.gpus", "pnp.gpus_nonpci",
                            "display.outputs", "gpu.uuid_count", "monitor.serials"})
        EXPECT_TRUE(HasFact(s, key)) << key;
    for (const Table& t : s.tables)
        for (const TableRow& r : t.rows) EXPECT_EQ(r.cells.size(), t.columns.size()) << t.id;
}

TEST(BatteryCollector, CountAndTable) {
    Snapshot s;
    CollectBattery(s);
    EXPECT_TRUE(HasFact(s, "battery.count"));
    ASSERT_EQ(s.tables.size(), 1u);
    EXPECT_EQ(s.tables[0].id, "battery");
}

}  // namespace
}  // namespace vorq
