// The NVML step against a real DLL: none in the test prefix, or the fake one
// that scripts/run-fake-nvml puts in a prefix of its own (VORQ_FAKE_NVML=1).
#include <gtest/gtest.h>

#include <cstdlib>

#include "collectors/devices/nvml.h"

namespace vorq {
namespace {

bool FakeInstalled() { return std::getenv("VORQ_FAKE_NVML") != nullptr; }

TEST(NvmlLibrary, AbsentFromTheSystemFolder) {
    if (FakeInstalled()) GTEST_SKIP() << "the fake library is installed";
    NvmlApi api;
    EXPECT_FALSE(LoadNvml(api));
    Snapshot s;
    NvmlTables t = RunNvmlStep(s, api, false);
    EXPECT_EQ(t.gpus.note, "NVML not available (no NVIDIA driver) - AMD/Intel vendor SDKs are not queried.");
    EXPECT_EQ(GetFact(s, "display.probe.nvml.status"), "not_supported");
}

TEST(NvmlLibrary, FakeLibraryInTheSystemFolder) {
    if (!FakeInstalled()) GTEST_SKIP() << "run by scripts/run-fake-nvml";
    Snapshot s;
    NvmlTables t;
    {
        NvmlApi api;
        ASSERT_TRUE(LoadNvml(api));
        EXPECT_EQ(api.getUtilizationRates, nullptr);
        t = RunNvmlStep(s, api, true);
    }
    ASSERT_EQ(t.gpus.rows.size(), 2u);
    EXPECT_EQ(t.gpus.rows[0].cells, (std::vector<std::string>{"Fake GPU A", "GPU-aaaaaaaa-0000-0000-0000-000000000001",
                                                              "1320120012345", "900-FAKE-0000", "94.00.00.00.01"}));
    EXPECT_EQ(t.gpus.rows[0].sens, 4u);
    EXPECT_EQ(t.gpus.rows[1].cells[2], "not supported");
    EXPECT_EQ(t.gpus.rows[1].sens, 0u);
    EXPECT_EQ(t.modes.rows[0].cells, (std::vector<std::string>{"Adapter 1", "PASSTHROUGH", "0"}));
    EXPECT_EQ(t.modes.rows[1].cells, (std::vector<std::string>{"Adapter 2", "NONE", "0"}));
    ASSERT_EQ(t.telemetry.rows.size(), 6u);
    EXPECT_EQ(t.telemetry.rows[0].cells, (std::vector<std::string>{"Adapter 1", "TEMPERATURE_C", "", "3"}));
    EXPECT_EQ(t.telemetry.rows[1].cells, (std::vector<std::string>{"Adapter 1", "GRAPHICS_CLOCK_MHZ", "1500", "0"}));
    EXPECT_EQ(t.telemetry.rows[2].cells, (std::vector<std::string>{"Adapter 1", "MEMORY_CLOCK_MHZ", "7000", "0"}));
    EXPECT_EQ(GetFact(s, "gpu.uuid_count"), "2");
    EXPECT_EQ(GetFact(s, "display.probe.nvml.status"), "ok");
    EXPECT_EQ(GetFact(s, "display.probe.nvml.guest"), "1");
    EXPECT_EQ(GetFact(s, "display.probe.nvml.host"), "0");
    EXPECT_EQ(GetFact(s, "display.probe.telemetry.status"), "ok");
    int uuids = 0, serials = 0;
    for (const Signal& sig : s.signals) {
        uuids += sig.key == "gpu.uuid";
        serials += sig.key == "gpu.serial";
    }
    EXPECT_EQ(uuids, 2);
    EXPECT_EQ(serials, 1);
}

}  // namespace
}  // namespace vorq
