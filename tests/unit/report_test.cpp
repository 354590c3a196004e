#include <gtest/gtest.h>

#include <cmath>

#include "core/json.h"
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
    s.deviceTitleRole = Role::Maker;
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
    s.signals.push_back(MakeSignal("s.serial", "Board", "Serial", "SN-1", SignalScope::PerUnit, 15, "g", Role::Identifier,
                                   "src", "", 1.0));
    s.signals.push_back(MakeSignal("s.model", "Board", "Model", "M", static_cast<SignalScope>(7), 0, "", Role::Maker,
                                   "src", "placeholder", 0.0));
    s.signals.push_back(
        MakeSignal("s.empty", "Board", "Empty", "", SignalScope::PerInstall, 1, "", Role::Identifier, "", "", 1.0));
    Table t = MakeTable("hw", "t", "Title", {{"A", Role::Maker}, {"B", Role::Identifier}});
    AddRow(t, {"x", "y"});
    AddRow(t, {"p", "", "z"}, {Role::Undeclared, Role::Undeclared, Role::Identifier});
    s.tables.push_back(t);
    Table hidden = MakeTable("hw", "hidden", "H", {}, "kept local");
    hidden.safe = false;
    hidden.groupCol = 0;
    AddRow(hidden, {"v"}, {Role::Identifier});
    s.tables.push_back(hidden);
    s.collectors.push_back({"Windows", 1.5, "ok", ""});
    s.collectors.push_back({"CPU", NAN, "error", "boom"});
    s.notes.push_back("ACPI: none");
    return s;
}

// A cell's role declared after its row was added (a collector that learns it
// later) decides its sensitive bit as AddRow would have.
TEST(Report, CellRoleSetLaterDerivesItsBit) {
    Table t = MakeTable("t", "t", "T", {{"Name", Role::Typed}, {"Serial", Role::Identifier}});
    AddRow(t, {"Ana's speakers", "SN-1"});
    TableRow& row = t.rows[0];
    EXPECT_EQ(row.sens, 1u);
    SetCellRole(t, row, 0, Role::Maker);
    EXPECT_EQ(row.sens, 0u);
    EXPECT_EQ(CellRole(t, row, 0), Role::Maker);
    SetCellRole(t, row, 0, Role::Typed);
    EXPECT_EQ(row.sens, 1u);
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

// How a restating text shows in a safe report: as the pseudonym its own cell
// would have if its column were sensitive, with its bit in the row's mask. A
// maker's column is masked for an identifier, never for a name; a program
// column is never compared.
TEST(Report, SafeReportMasksTextsThatRestateAMaskedValue) {
    struct Case {
        const char* what;
        const char* maskedValue;
        const char* text;
        bool masked;
        Role column = Role::Maker;
    } cases[] = {
        {"contained identifier", "DESKTOP-7QK2L9M", "Bluetooth radio of DESKTOP-7QK2L9M", true},
        {"other value", "DESKTOP-7QK2L9M", "DESKTOP-7QK2L9N", false},
        {"a name in a maker's text", "Hollowmere Logistics", "hollowmere logistics", false},
        {"organization as a driver's signer", "Dell Inc.", "Dell Inc", false},
        {"an identifier in a maker's column", "DESKTOP-7QK2L9M", "DESKTOP-7QK2L9M Test CA", true},
        {"workgroup as a row name", "WORKGROUP", "Domain / workgroup", false, Role::Program},
        {"a row name equal to a value", "Product", "Product", false, Role::Program},
        {"an identifier in a program text", "DESKTOP-7QK2L9M", "DESKTOP-7QK2L9M", false, Role::Program},
    };
    const Bytes key = TestKey();
    for (const Case& c : cases) {
        Snapshot s;
        s.signals.push_back(MakeSignal("s.name", "OS", "Name", c.maskedValue, SignalScope::PerInstall, 4, "os",
                                       Role::Identifier, "src", "", 1.0));
        Table t = MakeTable("net", "bt", "Radios", {{"Radio", Role::Program}, {"Name", c.column}});
        AddRow(t, {"r1", c.text});
        s.tables.push_back(t);
        std::string safe, raw;
        WriteSnapshotJsonWithKey(safe, s, kReportSafe, key);
        WriteSnapshotJsonWithKey(raw, s, kReportRaw, key);
        const std::string maskedRow = R"("rows":[{"c":["r1","hmac:)" + HmacId(key, "bt/Name", c.text) + R"("],"s":2}])";
        std::string plainRow = R"("rows":[{"c":["r1",)";
        AppendJsonQuoted(plainRow, c.text);
        plainRow += "]}]";
        EXPECT_NE(safe.find(c.masked ? maskedRow : plainRow), std::string::npos) << c.what << "\n" << safe;
        EXPECT_NE(raw.find(plainRow), std::string::npos) << c.what;
    }
}

// Every text of machine data a safe report writes is looked at, and each
// restating text is masked under a context naming where it stands; in a
// sentence (a signal's name, source and note, a check's detail, a score's,
// item's and table's note) the argument alone is masked, in place, under a
// context naming the argument. The program's own words (titles, a sentence's
// pattern, the notes of the scan) are not. Raw and ui reports keep all.
TEST(Report, SafeReportMasksRestatementsInEveryText) {
    const std::string id = "dev-joined-5f1c";
    const auto typed = [&](const char* pattern) { return Sentence(pattern, {{id, Role::Typed}}); };
    Snapshot s;
    s.deviceTitle = "PC " + id;
    s.deviceSubtitle = "Sub";
    Score sc;
    sc.id = "identity";
    sc.title = "Device identity";
    Say(sc.note, sc.noteSaid, typed("joined as {x1}"));
    ScoreItem item{"Entra", 5, 10, kPass, ""};
    Say(item.note, item.noteSaid, typed("device {x1}"));
    sc.items.push_back(item);
    s.scores.push_back(sc);
    s.checks.push_back({"x.one", "cat", "T " + id, "", kInfo});
    Say(s.checks.back().detail, s.checks.back().detailSaid, typed("D {x1}"));
    s.checks.push_back({"x.date", "cat", "Installed", "", kInfo});
    Say(s.checks.back().detail, s.checks.back().detailSaid,
        Sentence("first installed in {x1}", {{"2019-04", Role::Time}}));
    Table certs = MakeTable("windows", "certs", "Certificates", {{"Store", Role::Program}, {"Subject", Role::Identifier}});
    AddRow(certs, {"My", id});
    s.tables.push_back(certs);
    s.signals.push_back(MakeSignal("ms.device", "MS", typed("Device {x1}"), id, SignalScope::PerInstall, 15, "os",
                                   Role::Maker, typed("JoinInfo {x1}"), typed("note {x1}"), 1.0));
    Table ids = MakeTable("microsoft", "ids", "Ids of " + id, {{"Identifier", Role::Program}, {"Value", Role::Maker}});
    Say(ids.note, ids.noteSaid, typed("about {x1}"));
    AddRow(ids, {"Entra device ID", id});
    s.tables.push_back(ids);
    s.collectors.push_back({"Windows", 1.0, "error", "failed for " + id});
    s.notes.push_back("Windows: " + id);

    const Bytes key = TestKey();
    std::string safe;
    WriteSnapshotJsonWithKey(safe, s, kReportSafe, key);
    EXPECT_EQ(safe.find("2019-04"), std::string::npos) << safe;
    const auto tag = [&](const char* context, const std::string& text) {
        return "\"hmac:" + HmacId(key, context, text) + "\"";
    };
    const auto in = [&](const char* words, const char* context, const std::string& text) {
        return "\"" + std::string(words) + "hmac:" + HmacId(key, context, text) + "\"";
    };
    const std::string expected[] = {
        R"("device":{"title":)" + tag("device/title", s.deviceTitle) + R"(,"subtitle":"Sub"})",
        R"("title":"Device identity","value":0,"verdict":"","note":)" + in("joined as ", "identity/note/1", id),
        R"("label":"Entra","points":5,"max":10,"status":"pass","note":)" + in("device ", "identity/items/0/note/1", id),
        R"("title":"T dev-joined-5f1c","status":"info","detail":)" + in("D ", "x.one/detail/1", id),
        R"("title":"Installed","status":"info","detail":)" + in("first installed in ", "x.date/detail/1", "2019-04"),
        // The signal's value is masked as a sensitive signal's is: no "v", its "h", "sens" true.
        R"({"key":"ms.device","cat":"MS","name":)" + in("Device ", "ms.device/name/1", id) + R"(,"h":")" +
            HmacId(key, "ms.device", id) + R"(","group":"os","scope":"per-install","w":15,"sens":true,"q":1,"src":)" +
            in("JoinInfo ", "ms.device/src/1", id) + R"(,"note":)" + in("note ", "ms.device/note/1", id) + "}",
        R"("id":"ids","title":"Ids of dev-joined-5f1c","note":)" + in("about ", "ids/note/1", id),
        R"("c":["Entra device ID",)" + tag("ids/Value", id) + R"(],"s":2)",
        R"("status":"error","error":)" + tag("Windows/error", "failed for " + id),
        R"("notes":["Windows: dev-joined-5f1c"])",
    };
    for (const std::string& e : expected) EXPECT_NE(safe.find(e), std::string::npos) << e << "\n" << safe;
    // Only the program's own texts carry the value: the two titles and the
    // note of the scan.
    size_t shown = 0;
    for (size_t at = safe.find("5f1c"); at != std::string::npos; at = safe.find("5f1c", at + 1)) ++shown;
    EXPECT_EQ(shown, 3u) << safe;

    for (int mode : {kReportRaw, kReportUi}) {
        std::string out;
        WriteSnapshotJsonWithKey(out, s, mode, key);
        EXPECT_EQ(out.find("hmac:"), std::string::npos) << out;
        EXPECT_NE(out.find(R"("detail":"first installed in 2019-04")"), std::string::npos) << out;
        EXPECT_NE(out.find(R"("c":["Entra device ID","dev-joined-5f1c"]})"), std::string::npos) << out;
        EXPECT_NE(out.find(R"("v":"dev-joined-5f1c","group":"os","scope":"per-install","w":15,"sens":false)"),
                  std::string::npos)
            << out;
    }
}

// Plain names masked elsewhere ("user", "Administrator", "Microsoft") leave
// the program's own words and the texts that only use the same words alone.
TEST(Report, OrdinaryWordsAreNotRestatements) {
    Snapshot s;
    for (const char* v : {"user", "Administrator", "Microsoft"})
        s.signals.push_back(
            MakeSignal("w.name", "OS", "Name", v, SignalScope::PerInstall, 4, "os", Role::Identifier, "src", "", 1.0));
    s.deviceSubtitle = "Intel Core i7  \xC2\xB7  Microsoft Windows 11 Pro";
    Score sc;
    sc.id = "identity";
    sc.title = "Device identity";
    sc.items.push_back({"Microsoft Entra device identity", 0, 0, kPass, "joined to Microsoft Entra"});
    s.scores.push_back(sc);
    s.checks.push_back({"x.user", "cat", "User", "running as Administrator (elevated)", kInfo});
    s.signals.push_back(MakeSignal("ms.x", "Microsoft", "Administrator", "1", SignalScope::State, 0, "", Role::Maker,
                                   "HKLM\\SOFTWARE\\Microsoft\\SQMClient", "", 1.0));
    Table t = MakeTable("windows", "profiles", "User profiles", {{"User", Role::Maker}, {"Microsoft", Role::Maker}},
                        "Accounts of Microsoft Entra");
    AddRow(t, {"Administrator (elevated)", "Microsoft account"});
    s.tables.push_back(t);
    std::string safe;
    WriteSnapshotJsonWithKey(safe, s, kReportSafe, TestKey());
    for (const char* kept : {"\"subtitle\":\"Intel Core i7  \xC2\xB7  Microsoft Windows 11 Pro\"",
                             R"("label":"Microsoft Entra device identity")", R"("note":"joined to Microsoft Entra")",
                             R"x("title":"User","status":"info","detail":"running as Administrator (elevated)")x",
                             R"("name":"Administrator")", R"("src":"HKLM\\SOFTWARE\\Microsoft\\SQMClient")",
                             R"("columns":["User","Microsoft"])", R"("note":"Accounts of Microsoft Entra")",
                             R"x("c":["Administrator (elevated)","Microsoft account"]})x"})
        EXPECT_NE(safe.find(kept), std::string::npos) << kept << "\n" << safe;
}

// A value masked only in a table left out of the safe report is not masked
// elsewhere: the safe report does not mask it anywhere.
TEST(Report, ValuesOfLeftOutTablesMaskNothing) {
    Snapshot s;
    Table local = MakeTable("hw", "local", "L", {{"A", Role::Identifier}});
    local.safe = false;
    AddRow(local, {"SERIAL-77QX"});
    s.tables.push_back(local);
    s.collectors.push_back({"Storage", 1.0, "error", "SERIAL-77QX"});
    std::string out;
    WriteSnapshotJsonWithKey(out, s, kReportSafe, TestKey());
    EXPECT_NE(out.find(R"("error":"SERIAL-77QX")"), std::string::npos) << out;
}

// The report hands what collectors name, and where makers' names stand in a
// table of fields or a signal, to the masking rules. Named values are masked
// where restated and never written.
TEST(Report, NamedValuesMakersAndPlaceholders) {
    Snapshot s;
    s.named.push_back({ValueKind::Account, "jquellbrandt"});
    s.named.push_back({ValueKind::ProfileFolder, "C:\\Users\\JRGENQ~1"});
    s.signals.push_back(MakeSignal("win.org", "OS", "Organization", "Dell Inc.", SignalScope::PerInstall, 4, "os",
                                   Role::Identifier, "src", "", 1.0));
    s.signals.push_back(MakeSignal("smbios.bios_vendor", "Firmware", "BIOS vendor", "Dell Inc.", SignalScope::PerModel,
                                   1, "firmware", Role::Maker, "src", "", 1.0));
    Table t = MakeTable("firmware", "smbios", "SMBIOS structures",
                        {{"Structure", Role::Program}, {"Field", Role::Program}, {"Value", Role::Field}});
    const auto row = [&](const char* structure, const char* field, const char* value, Role role) {
        AddRow(t, {structure, field, value}, {Role::Undeclared, Role::Undeclared, role});
    };
    row("Type 0", "Vendor", "Dell Inc.", Role::Maker);
    row("Type 1", "Serial number", "To Be Filled By O.E.M.", Role::Identifier);
    row("Type 1", "Product name", "To Be Filled By O.E.M.", Role::Maker);
    // An organization's name is no restatement in a maker's text.
    row("Type 2", "Product", "Dell Inc.", Role::Maker);
    row("Type 11", "String 1", "WDKTestCert jquellbrandt,133512345678901234", Role::Identifier);
    // A profile folder is an identifier: it masks a maker's text too.
    row("Type 11", "String 2", "C:\\Users\\JRGENQ~1\\AppData", Role::Maker);
    s.tables.push_back(t);

    const Bytes key = TestKey();
    std::string safe, raw;
    WriteSnapshotJsonWithKey(safe, s, kReportSafe, key);
    WriteSnapshotJsonWithKey(raw, s, kReportRaw, key);
    const auto masked = [&](const char* structure, const char* field, const std::string& value) {
        return std::string(R"({"c":[")") + structure + R"(",")" + field + R"(","hmac:)" +
               HmacId(key, "smbios/Value", value) + R"("],"s":4})";
    };
    const auto clear = [&](const char* structure, const char* field, const char* value) {
        return std::string(R"({"c":[")") + structure + R"(",")" + field + R"(",")" + value + R"("]})";
    };
    const std::string expected[] = {
        clear("Type 0", "Vendor", "Dell Inc."),
        R"({"key":"smbios.bios_vendor","cat":"Firmware","name":"BIOS vendor","v":"Dell Inc.")",
        clear("Type 1", "Product name", "To Be Filled By O.E.M."),
        clear("Type 2", "Product", "Dell Inc."),
        masked("Type 11", "String 1", "WDKTestCert jquellbrandt,133512345678901234"),
        masked("Type 11", "String 2", "C:\\Users\\JRGENQ~1\\AppData"),
    };
    for (const std::string& e : expected) EXPECT_NE(safe.find(e), std::string::npos) << e << "\n" << safe;
    EXPECT_EQ(raw.find("\"jquellbrandt\""), std::string::npos) << raw;
    EXPECT_EQ(raw.find("hmac:"), std::string::npos) << raw;
}

// A sensitive value that names nobody (a placeholder, "<none>", a public
// service's address, the account "root") is shown, even where it holds a
// masked name ("login.windows.net" beside the computer "WINDOWS"); the program's own texts
// (label cells of a table of fields, program-text signal values) are never
// compared; a signal name made of machine data is masked like a cell.
TEST(Report, ShownValuesProgramTextsAndDataNames) {
    Snapshot s;
    s.named.push_back({ValueKind::Computer, "WINDOWS"});
    s.named.push_back({ValueKind::Owner, "Ana Kowalczyk"});
    const auto sensitive = [&](const char* key, const char* value) {
        s.signals.push_back(
            MakeSignal(key, "MS", key, value, SignalScope::PerInstall, 4, "os", Role::Identifier, "src", "", 1.0));
    };
    sensitive("idp", "login.windows.net");
    sensitive("user", "root");
    sensitive("serial", "To Be Filled By O.E.M.");
    Signal product = MakeSignal("os.product", "OS", "Windows product", "Windows 11 Pro", SignalScope::State, 0, "",
                                Role::Program, "HKLM\\SOFTWARE\\Microsoft\\Windows NT", "Windows' own name", 1.0);
    s.signals.push_back(product);
    Signal headset = MakeSignal("bt.headset", "Bluetooth",
                                {"Headset ({x1})", {{"Kowalczyk AirPods Pro Hands-Free", Role::Typed}}}, "connected",
                                SignalScope::State, 0, "", Role::Program, "src", "", 1.0);
    s.signals.push_back(headset);
    Table t = MakeTable("windows", "os", "Operating system", FieldColumns());
    AddField(t, "Product", "Windows 11 Pro", Role::Program);
    AddField(t, "Owner", "<none>", Role::Identifier);
    AddField(t, "Computer", "WINDOWS-PC", Role::Typed);
    s.tables.push_back(t);

    const Bytes key = TestKey();
    std::string safe;
    WriteSnapshotJsonWithKey(safe, s, kReportSafe, key);
    const std::string expected[] = {
        R"("name":"idp","v":"login.windows.net","h":")" + HmacId(key, "idp", "login.windows.net"),
        R"("name":"user","v":"root")",
        R"("name":"serial","v":"To Be Filled By O.E.M.")",
        R"("name":"Windows product","v":"Windows 11 Pro","group":"","scope":"state","w":0,"sens":false,"q":1,)"
        R"("src":"HKLM\\SOFTWARE\\Microsoft\\Windows NT","note":"Windows' own name")",
        R"("name":"Headset (hmac:)" + HmacId(key, "bt.headset/name/1", "Kowalczyk AirPods Pro Hands-Free") +
            R"x()","v":"connected")x",
        R"("c":["Product","Windows 11 Pro"])",
        R"("c":["Owner","<none>"],"s":2)",
        R"("c":["Computer","hmac:)" + HmacId(key, "os/Value", "WINDOWS-PC") + R"("],"s":2)",
    };
    for (const std::string& e : expected) EXPECT_NE(safe.find(e), std::string::npos) << e << "\n" << safe;
}

// A sentence is filled mark by mark in the order the marks stand; braces that
// are no mark, and marks inside an argument, stay as they are.
TEST(Report, SentencesFillTheirMarksInOrder) {
    const struct {
        Sentence said;
        const char* text;
    } cases[] = {
        {Sentence("Disk {n1} serial ({x1})", {{"0", Role::Program}, {"WDC WD10", Role::Maker}}), "Disk 0 serial (WDC WD10)"},
        {Sentence("{x2} and {t1}", {{"a", Role::Program}, {"b", Role::Program}}), "a and b"},
        {Sentence("{x1} {y1} {x} {x1", {{"{x2}", Role::Typed}, {"never", Role::Typed}}), "{x2} {y1} {x} {x1"},
        {Sentence("{x1} of {x2}", {{"one", Role::Typed}}), "one of {x2}"},
        {Sentence("a {x1} without arguments"), "a {x1} without arguments"},
    };
    for (const auto& c : cases) {
        std::string text;
        Sentence kept;
        Say(text, kept, c.said);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(kept.args.size(), c.said.args.size()) << c.text;
    }
}

// Each argument of a sentence is written by its role, masked in place: a
// program's never, a maker's only where it restates an identifier (never for
// a name: the account "Adapter" leaves "Wine Adapter"), an identifier's and a
// time's always, a typed one's (or one of no role) unless a default. The
// pattern's words are never compared; a raw report writes the text filled.
TEST(Report, SentenceArgumentsAreWrittenByTheirRoles) {
    const struct {
        Role role;
        const char* text;
        bool masked;
    } cases[] = {
        {Role::Program, "Adapter", false},
        {Role::Maker, "Wine Adapter", false},
        {Role::Maker, "Disk SN7Q4K2X9P", true},
        {Role::Identifier, "AB12CD", true},
        {Role::Time, "2019-04", true},
        {Role::Typed, "Ana's Adapter", true},
        {Role::Typed, "localhost", false},
        {Role::Undeclared, "Speakers", true},
        {Role::Field, "Speakers", true},
    };
    const Bytes key = TestKey();
    for (const auto& c : cases) {
        Snapshot s;
        s.named.push_back({ValueKind::Account, "Adapter"});
        s.signals.push_back(MakeSignal("disk.sn", "Storage", "Disk serial", "SN7Q4K2X9P", SignalScope::PerUnit, 4, "",
                                       Role::Identifier, "src", "", 1.0));
        s.signals.push_back(MakeSignal("gpu", "Display", {"Adapter {n1}: {x1}", {{"2", Role::Program}, {c.text, c.role}}},
                                       "v", SignalScope::PerModel, 1, "", Role::Program, "src", "", 1.0));
        std::string safe, raw;
        WriteSnapshotJsonWithKey(safe, s, kReportSafe, key);
        WriteSnapshotJsonWithKey(raw, s, kReportRaw, key);
        const std::string shown = c.masked ? "hmac:" + HmacId(key, "gpu/name/2", c.text) : std::string(c.text);
        EXPECT_NE(safe.find(R"("name":"Adapter 2: )" + shown + "\""), std::string::npos) << c.text << "\n" << safe;
        EXPECT_NE(raw.find(R"("name":"Adapter 2: )" + std::string(c.text) + "\""), std::string::npos) << raw;
    }
}

// A text changed after its sentence was said no longer is what the sentence
// fills: the safe report masks it whole, as a typed text, rather than trust
// the pattern.
TEST(Report, ATextItsSentenceNoLongerFillsIsMaskedWhole) {
    Snapshot s;
    s.signals.push_back(MakeSignal("usb", "Peripherals", {"USB serial: {x1}", {{"Wine Hub", Role::Maker}}}, "v",
                                   SignalScope::PerModel, 1, "", Role::Program, "src", "", 1.0));
    s.signals.back().name += " (Ana's)";
    const Bytes key = TestKey();
    std::string safe;
    WriteSnapshotJsonWithKey(safe, s, kReportSafe, key);
    EXPECT_NE(safe.find(R"("name":"hmac:)" + HmacId(key, "usb/name", "USB serial: Wine Hub (Ana's)")), std::string::npos)
        << safe;
}

}  // namespace
}  // namespace vorq
