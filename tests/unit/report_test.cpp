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
// restating text is masked under a context naming where it stands, a signal's
// name, source and note and a check's detail where marked as machine data
// too; the program's own words (titles, item labels, score notes, table
// notes, the notes of the scan) are not. Raw and ui reports keep all.
TEST(Report, SafeReportMasksRestatementsInEveryText) {
    const std::string id = "dev-joined-5f1c";
    Snapshot s;
    s.deviceTitle = "PC " + id;
    s.deviceSubtitle = "Sub";
    Score sc;
    sc.id = "identity";
    sc.title = "Device identity";
    sc.note = "joined as " + id;
    sc.items.push_back({"Entra", 5, 10, kPass, "device " + id});
    s.scores.push_back(sc);
    s.checks.push_back({"x.one", "cat", "T " + id, "D " + id, kInfo});
    s.checks.back().data = true;
    s.checks.push_back({"x.date", "cat", "Installed", "first installed in 2019-04", kInfo, true});
    Table certs = MakeTable("windows", "certs", "Certificates", {{"Store", Role::Program}, {"Subject", Role::Identifier}});
    AddRow(certs, {"My", id});
    s.tables.push_back(certs);
    s.signals.push_back(MakeSignal("ms.device", "MS", "Device " + id, id, SignalScope::PerInstall, 15, "os", Role::Maker,
                                   "JoinInfo " + id, "note " + id, 1.0));
    s.signals.back().data = kDataSrc | kDataNote;
    s.signals.back().nameData = id;
    Table ids = MakeTable("microsoft", "ids", "Ids of " + id, {{"Identifier", Role::Program}, {"Value", Role::Maker}},
                              "about " + id);
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
    const std::string expected[] = {
        R"("device":{"title":)" + tag("device/title", s.deviceTitle) + R"(,"subtitle":"Sub"})",
        R"("title":"Device identity","value":0,"verdict":"","note":"joined as dev-joined-5f1c")",
        R"("label":"Entra","points":5,"max":10,"status":"pass","note":"device dev-joined-5f1c")",
        R"("title":"T dev-joined-5f1c","status":"info","detail":)" + tag("x.one/detail", "D " + id),
        R"("title":"Installed","status":"info","detail":)" + tag("x.date/detail", "first installed in 2019-04"),
        // The signal's value is masked as a sensitive signal's is: no "v", its "h", "sens" true.
        R"({"key":"ms.device","cat":"MS","name":)" + tag("ms.device/name", "Device " + id) + R"(,"h":")" +
            HmacId(key, "ms.device", id) + R"(","group":"os","scope":"per-install","w":15,"sens":true,"q":1,"src":)" +
            tag("ms.device/src", "JoinInfo " + id) + R"(,"note":)" + tag("ms.device/note", "note " + id) + "}",
        R"("id":"ids","title":"Ids of dev-joined-5f1c","note":"about dev-joined-5f1c")",
        R"("c":["Entra device ID",)" + tag("ids/Value", id) + R"(],"s":2)",
        R"("status":"error","error":)" + tag("Windows/error", "failed for " + id),
        R"("notes":["Windows: dev-joined-5f1c"])",
    };
    for (const std::string& e : expected) EXPECT_NE(safe.find(e), std::string::npos) << e << "\n" << safe;
    // Only the program's own texts carry the value: the two titles, the
    // table's note, the score's and its item's notes, the note of the scan.
    size_t shown = 0;
    for (size_t at = safe.find("5f1c"); at != std::string::npos; at = safe.find("5f1c", at + 1)) ++shown;
    EXPECT_EQ(shown, 6u) << safe;

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
    Signal headset = MakeSignal("bt.headset", "Bluetooth", "Headset (Kowalczyk AirPods Pro Hands-Free)", "connected",
                                SignalScope::State, 0, "", Role::Program, "src", "", 1.0);
    headset.nameData = "Kowalczyk AirPods Pro Hands-Free";
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
        R"("name":"hmac:)" + HmacId(key, "bt.headset/name", headset.name) + R"(","v":"connected")",
        R"("c":["Product","Windows 11 Pro"])",
        R"("c":["Owner","<none>"],"s":2)",
        R"("c":["Computer","hmac:)" + HmacId(key, "os/Value", "WINDOWS-PC") + R"("],"s":2)",
    };
    for (const std::string& e : expected) EXPECT_NE(safe.find(e), std::string::npos) << e << "\n" << safe;
}

}  // namespace
}  // namespace vorq
