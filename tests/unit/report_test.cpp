#include <gtest/gtest.h>

#include <cmath>

#include "core/report.h"

namespace vorq {
namespace {

// Key 00 01 .. 1F. Expected digests were computed independently (Python
// hmac/hashlib), not by this program.
Bytes TestKey() {
    Bytes k(32);
    for (size_t i = 0; i < k.size(); ++i) k[i] = static_cast<uint8_t>(i);
    return k;
}

TEST(Report, HmacIdAndKeyIdMatchIndependentValues) {
    const Bytes key = TestKey();
    EXPECT_EQ(HmacKeyId(key), "630DCD29");
    struct Case {
        const char* context;
        const char* value;
        const char* id;
    } cases[] = {
        {"t/B", "y", "9B13ADE16CD8901D91F5DB41"},
        {"t/2", "z", "B86A9518EAD2582DB42833E5"},
        {"s.serial", "SN-1", "262918C14AB23EBDB0C8460A"},
        {"", "", "62CD4DB5EBFA50FC81B99A0B"},
        {"ctx", "v\xC3\xA9", "9EF6FD5E8A72DFF2EE774791"},
    };
    for (const Case& c : cases) EXPECT_EQ(HmacId(key, c.context, c.value), c.id) << c.context;
}

TEST(Report, ScopeNames) {
    const std::pair<int32_t, const char*> cases[] = {{0, "per-unit"}, {1, "per-model"}, {2, "per-install"},
                                                     {3, "per-boot"}, {4, "state"},     {-1, "state"}};
    for (const auto& [scope, word] : cases) EXPECT_EQ(ScopeName(scope), word) << scope;
}

Snapshot Sample() {
    Snapshot s;
    s.created = "2024-01-02T03:04:05Z";
    s.elevated = true;
    s.durationMs = 12345.6789012;
    s.deviceTitle = "Dev";
    s.deviceSubtitle = "Sub";
    Score sc;
    sc.id = "identity";
    sc.title = "Device identity";
    sc.value = 80;
    sc.verdict = "Medium";
    ScoreItem item;
    item.label = "L";
    item.points = -5;
    item.max = 10;
    item.status = kWarn;
    sc.items.push_back(item);
    s.scores.push_back(sc);
    Check c;
    c.id = "c1";
    c.category = "cat";
    c.title = "T";
    c.status = kFail;
    s.checks.push_back(c);
    s.signals.push_back(MakeSignal("s.serial", "Board", "Serial", "SN-1", SignalScope::PerUnit, 15, "g", Sens::Yes,
                                   "src", "", 1.0));
    s.signals.push_back(MakeSignal("s.model", "Board", "Model", "M", static_cast<SignalScope>(7), 0, "", Sens::No,
                                   "src", "placeholder", 0.0));
    s.signals.push_back(
        MakeSignal("s.empty", "Board", "Empty", "", SignalScope::PerInstall, 1, "", Sens::Yes, "", "", 1.0));
    Table t = MakeTable("hw", "t", "Title", {"A", "B"});
    t.sens = 2;
    AddRow(t, {"x", "y"});
    AddRow(t, {"p", "", "z"}, 4);
    s.tables.push_back(t);
    Table hidden = MakeTable("hw", "hidden", "H", {}, "kept local");
    hidden.safe = false;
    hidden.groupCol = 0;
    AddRow(hidden, {"v"}, 1);
    s.tables.push_back(hidden);
    s.collectors.push_back({"Windows", 1.5, "ok", ""});
    s.collectors.push_back({"CPU", NAN, "error", "boom"});
    s.notes.push_back("ACPI: none");
    return s;
}

TEST(Report, ModesWriteTheExactDocument) {
    const std::string head =
        R"({"schema":"vorq.snapshot/1","tool":"VornixQuelm","version":"1.4.0","mode":"MODE",)"
        R"("created":"2024-01-02T03:04:05Z","hmacKeyId":"630DCD29","elevated":true,"durationMs":12345.6789,)"
        R"("device":{"title":"Dev","subtitle":"Sub"},)"
        R"("scores":[{"id":"identity","title":"Device identity","value":80,"verdict":"Medium","note":"",)"
        R"("items":[{"label":"L","points":-5,"max":10,"status":"warn","note":""}]}],)"
        R"("checks":[{"id":"c1","category":"cat","title":"T","status":"fail","detail":""}],)";
    const std::string tail =
        R"("collectors":[{"name":"Windows","ms":1.5,"status":"ok"},{"name":"CPU","ms":null,"status":"error","error":"boom"}],)"
        R"("notes":["ACPI: none"]})";
    const std::string hiddenTable =
        R"({"tab":"hw","id":"hidden","title":"H","note":"kept local","columns":[],"sens":0,"groupCol":0,)"
        R"("rows":[{"c":["v"],"s":1}]})";
    struct Case {
        int mode;
        const char* name;
        std::string body;
    } cases[] = {
        {kReportSafe, "safe",
         R"("signals":[{"key":"s.serial","cat":"Board","name":"Serial","h":"262918C14AB23EBDB0C8460A","group":"g",)"
         R"("scope":"per-unit","w":15,"sens":true,"q":1,"src":"src"},)"
         R"({"key":"s.model","cat":"Board","name":"Model","v":"M","group":"","scope":"state","w":0,"sens":false,"q":0,)"
         R"("src":"src","note":"placeholder"},)"
         R"({"key":"s.empty","cat":"Board","name":"Empty","group":"","scope":"per-install","w":1,"sens":true,"q":1,"src":""}],)"
         R"("tables":[{"tab":"hw","id":"t","title":"Title","columns":["A","B"],"sens":2,"groupCol":-1,)"
         R"("rows":[{"c":["x","hmac:9B13ADE16CD8901D91F5DB41"]},{"c":["p","","hmac:B86A9518EAD2582DB42833E5"],"s":4}]}],)"},
        {kReportRaw, "raw", ""},
        {kReportUi, "ui", ""},
        {9, "raw", ""},
    };
    const std::string fullBody =
        R"("signals":[{"key":"s.serial","cat":"Board","name":"Serial","v":"SN-1","h":"262918C14AB23EBDB0C8460A",)"
        R"("group":"g","scope":"per-unit","w":15,"sens":true,"q":1,"src":"src"},)"
        R"({"key":"s.model","cat":"Board","name":"Model","v":"M","group":"","scope":"state","w":0,"sens":false,"q":0,)"
        R"("src":"src","note":"placeholder"},)"
        R"({"key":"s.empty","cat":"Board","name":"Empty","v":"","group":"","scope":"per-install","w":1,"sens":true,"q":1,"src":""}],)"
        R"("tables":[{"tab":"hw","id":"t","title":"Title","columns":["A","B"],"sens":2,"groupCol":-1,)"
        R"("rows":[{"c":["x","y"]},{"c":["p","","z"],"s":4}]},)" +
        hiddenTable + "],";
    const Snapshot s = Sample();
    for (Case& c : cases) {
        std::string expected = head;
        expected.replace(expected.find("MODE"), 4, c.name);
        expected += c.body.empty() ? fullBody : c.body;
        expected += tail;
        std::string out;
        WriteSnapshotJsonWithKey(out, s, c.mode, TestKey());
        EXPECT_EQ(out, expected) << "mode " << c.mode;
    }
}

TEST(Report, EmptySnapshotHasEveryMember) {
    std::string out;
    WriteSnapshotJsonWithKey(out, Snapshot{}, kReportSafe, TestKey());
    EXPECT_EQ(out,
              R"({"schema":"vorq.snapshot/1","tool":"VornixQuelm","version":"1.4.0","mode":"safe","created":"",)"
              R"("hmacKeyId":"630DCD29","elevated":false,"durationMs":0,"device":{"title":"","subtitle":""},)"
              R"("scores":[],"checks":[],"signals":[],"tables":[],"collectors":[],"notes":[]})");
}

TEST(Report, AppendsAfterExistingTextAndAddsTheKeyNote) {
    std::string out = "[";
    WriteSnapshotJsonWithKey(out, Snapshot{}, kReportUi, TestKey(), "Report: key for this process only");
    ASSERT_EQ(out.substr(0, 2), "[{");
    EXPECT_NE(out.find(R"("notes":["Report: key for this process only"]})"), std::string::npos) << out;
}

TEST(Report, CellsFromPosition32AreNeverReplaced) {
    Snapshot s;
    Table t = MakeTable("hw", "wide", "W", {});
    TableRow row;
    for (int i = 0; i < 34; ++i) row.cells.push_back("v");
    row.sens = 0x80000000u;
    t.sens = 0xFFFFFFFFu;
    t.rows.push_back(row);
    s.tables.push_back(t);
    std::string out;
    WriteSnapshotJsonWithKey(out, s, kReportSafe, TestKey());
    const std::string masked = "\"hmac:" + HmacId(TestKey(), "wide/31", "v") + "\"";
    // Cell 31 is masked (context by position), cells 32 and 33 stay as they are.
    EXPECT_NE(out.find(masked + R"(,"v","v"],"s":2147483648})"), std::string::npos) << out;
    EXPECT_NE(out.find(R"("sens":4294967295)"), std::string::npos);
}

}  // namespace
}  // namespace vorq
