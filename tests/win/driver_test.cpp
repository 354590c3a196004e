#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/collectors.h"
#include "core/driver.h"

namespace vorq {
namespace {

void Nothing(Snapshot&) {}
void AccessViolation() {
    volatile int* volatile p = nullptr;
    *p = 1;
}

using Stages = std::vector<std::pair<std::string, int>>;

TEST(Driver, TableOrderWeightsAndProgress) {
    const char* names[] = {"Windows", "CPU", "FPU", "SMBIOS", "ACPI", "UEFI and boot", "PnP devices", "Storage",
                           "Network", "Display", "Battery", "TPM", "Platform security", "Microsoft and cloud",
                           "Kernel drivers", "VM Detection", "Cross-checks"};
    const int pct[] = {0, 2, 6, 15, 18, 20, 23, 30, 36, 40, 45, 47, 58, 65, 69, 90, 93};
    // The real names and weights, over collectors that do nothing.
    std::array<CollectorEntry, 17> table = kCollectorTable;
    for (CollectorEntry& e : table) e.collect = &Nothing;
    Snapshot s;
    Stages seen;
    RunCollectorTable(table, &Nothing, s, [&](const std::string& stage, int p) { seen.emplace_back(stage, p); });
    ASSERT_EQ(seen.size(), 18u);
    ASSERT_EQ(s.collectors.size(), 17u);
    for (size_t i = 0; i < 17; ++i) {
        EXPECT_EQ(seen[i], std::make_pair(std::string(names[i]), pct[i]));
        EXPECT_EQ(s.collectors[i].name, names[i]);
        EXPECT_EQ(s.collectors[i].status, "ok");
        EXPECT_GE(s.collectors[i].ms, 0.0);
    }
    EXPECT_EQ(seen[17], std::make_pair(std::string("Done"), 100));
    EXPECT_EQ(s.created.size(), 20u);
    EXPECT_GE(s.durationMs, 0.0);
    EXPECT_TRUE(s.notes.empty());

    Snapshot quiet;
    RunCollectorTable(table, &Nothing, quiet, ProgressCallback());  // an empty callback is never called
    EXPECT_EQ(quiet.collectors.size(), 17u);
}

void Mark(Snapshot& s, const char* what) { s.notes.push_back(what); }

TEST(Driver, FailuresBecomeRunsAndTheScanGoesOn) {
    const CollectorEntry table[] = {
        {"ok", [](Snapshot& s) { Mark(s, "ok"); }, 1},
        {"std", [](Snapshot& s) { Mark(s, "std"); throw std::runtime_error("x"); }, 1},
        {"int", [](Snapshot& s) { Mark(s, "int"); throw 42; }, 1},
        {"av", [](Snapshot& s) { Mark(s, "av"); AccessViolation(); }, 1},
        {"div", [](Snapshot& s) {
             Mark(s, "div");
             volatile int a = 7, zero = 0;
             volatile int r = a / zero;
             (void)r;
         }, 1},
        {"last", [](Snapshot& s) { Mark(s, "last"); }, 1},
    };
    const struct {
        const char* status;
        const char* error;
    } want[] = {{"ok", ""}, {"error", "x"}, {"error", kUnexpectedException}, {"error", kUnexpectedException},
                {"error", kUnexpectedException}, {"ok", ""}};
    Snapshot s;
    RunCollectorTable(table, &Nothing, s, nullptr);
    ASSERT_EQ(s.collectors.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(s.collectors[i].name, table[i].name);
        EXPECT_EQ(s.collectors[i].status, want[i].status) << table[i].name;
        EXPECT_EQ(s.collectors[i].error, want[i].error) << table[i].name;
    }
    // What a failing collector appended before it failed stays.
    EXPECT_EQ(s.notes, (std::vector<std::string>{"ok", "std", "int", "av", "div", "last"}));
}

TEST(Driver, FailingScoringGivesOneNote) {
    const CollectorEntry table[] = {{"a", &Nothing, 1}, {"b", &Nothing, 1}};
    struct Case {
        CollectFn score;
        const char* note;
    } cases[] = {
        {[](Snapshot& s) { s.scores.push_back(Score{"first", "", "", "", 0, {}}); throw std::runtime_error("bad"); },
         "Scoring: bad"},
        {[](Snapshot& s) { s.scores.push_back(Score{"first", "", "", "", 0, {}}); AccessViolation(); },
         "Scoring: unexpected exception (structured exception or unknown C++ exception)"},
    };
    for (const Case& c : cases) {
        Snapshot s;
        Stages seen;
        RunCollectorTable(table, c.score, s, [&](const std::string& stage, int p) { seen.emplace_back(stage, p); });
        EXPECT_EQ(s.notes, std::vector<std::string>{c.note});
        ASSERT_EQ(s.scores.size(), 1u);
        EXPECT_EQ(s.collectors.size(), 2u);
        EXPECT_EQ(seen, (Stages{{"a", 0}, {"b", 50}, {"Done", 100}}));
    }
}

TEST(Driver, RunGuardedLeavesTheErrorAloneOnSuccess) {
    Snapshot s;
    std::string error = "untouched";
    EXPECT_TRUE(RunGuarded(&Nothing, s, error));
    EXPECT_EQ(error, "untouched");
}

}  // namespace
}  // namespace vorq
