#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "collectors/processor/uefi.h"
#include "core/snapshot.h"
#include "tests/unit/efi_support.h"

namespace vorq {
namespace {

using test::Cert;
using test::Concat;
using test::Esl;

constexpr const char* kGlobal = "{8be4df61-93ca-11d2-aa0d-00e098032b8c}";
constexpr const char* kDb = "{d719b2cb-3d3a-4596-a3bc-dad00e67656f}";
const std::string kBootMgr = "BCD00000000\\Objects\\{9dea862c-5cdd-4e70-acc1-f32b344d4795}\\Elements\\";

// A machine as values: every source the collector reads, with the answers of
// a guest whose firmware and registry have nothing (as under Wine) by default.
struct FakeMachine {
    std::vector<EsrtEntry> esrt;
    uint32_t firmwareType = kFirmwareTypeUnknown;
    bool privilegeWorks = true;
    std::vector<bool> privilegeCalls;
    std::map<std::string, std::vector<uint8_t>> variables;  // "guid/name"
    uint32_t variableError = 1;                             // for variables not in the map
    std::map<std::string, std::string> strings;             // "subkey|name"
    std::map<std::string, std::vector<std::string>> multi;
    int32_t parametersStatus = 2;
    std::vector<std::pair<std::string, std::string>> parameters;
    GenerationIdRead genId{false, 2, false, 0, {}};

    void Var(const std::string& guid, const std::string& name, std::vector<uint8_t> bytes) {
        variables[guid + "/" + name] = std::move(bytes);
    }

    UefiSource Source() {
        UefiSource src;
        src.esrt = [this] { return esrt; };
        src.firmwareType = [this] { return firmwareType; };
        src.systemEnvironmentPrivilege = [this](bool enable) {
            privilegeCalls.push_back(enable);
            return privilegeWorks;
        };
        src.getVariable = [this](const std::string& name, const std::string& guid, void* buffer, uint32_t size,
                                 uint32_t* error) -> uint32_t {
            auto it = variables.find(guid + "/" + name);
            if (it == variables.end()) {
                *error = variableError;
                return 0;
            }
            if (it->second.size() > size) {
                *error = 122;
                return 0;
            }
            std::memcpy(buffer, it->second.data(), it->second.size());
            return static_cast<uint32_t>(it->second.size());
        };
        src.certNamer = test::FixtureNamer();
        src.regString = [this](const std::string& subkey, const std::string& name, std::string* out) {
            auto it = strings.find(subkey + "|" + name);
            if (it == strings.end()) return false;
            *out = it->second;
            return true;
        };
        src.regMultiSz = [this](const std::string& subkey, const std::string& name, std::vector<std::string>* out) {
            auto it = multi.find(subkey + "|" + name);
            if (it == multi.end()) return false;
            *out = it->second;
            return true;
        };
        src.guestParameters = [this](int32_t* status) {
            *status = parametersStatus;
            return parameters;
        };
        src.generationId = [this] { return genId; };
        src.errorText = [](uint32_t code) { return "error " + std::to_string(code); };
        return src;
    }
};

Snapshot Collect(FakeMachine& m, bool elevated = true) {
    Snapshot s;
    s.elevated = elevated;
    CollectUefiFrom(s, m.Source());
    return s;
}

std::vector<std::vector<std::string>> Cells(const Table* t) {
    std::vector<std::vector<std::string>> out;
    if (t)
        for (const TableRow& r : t->rows) out.push_back(r.cells);
    return out;
}

std::vector<std::string> SignalKeys(const Snapshot& s) {
    std::vector<std::string> keys;
    for (const Signal& sig : s.signals) keys.push_back(sig.key);
    return keys;
}

TEST(CollectUefi, NothingAvailable) {
    FakeMachine m;
    Snapshot s = Collect(m);
    std::vector<std::string> ids;
    for (const Table& t : s.tables) ids.push_back(t.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"uefi.esrt", "uefi.secureboot", "uefi.bcd", "platform.hvguest"}));
    EXPECT_EQ(s.tables[0].note, "No ESRT entries: the firmware does not publish capsule-update resources.");
    EXPECT_TRUE(s.tables[1].note.ends_with(
        "dbx is the revocation list. The firmware exposes no Secure Boot variables (error 1)."));
    EXPECT_TRUE(s.tables[2].note.ends_with(
        "generated when Windows is installed. The BCD store is not mounted under HKLM\\BCD00000000 on this system."));
    EXPECT_EQ(s.tables[2].sens, 2u);
    EXPECT_TRUE(s.notes.empty());
    EXPECT_TRUE(s.signals.empty());
    EXPECT_EQ(s.facts, (std::map<std::string, std::string>{{"hv.parameters.status", "absent"},
                                                           {"hv.vm_genid.status", "absent"}}));
    EXPECT_EQ(m.privilegeCalls, (std::vector<bool>{true, false}));
}

TEST(CollectUefi, Esrt) {
    EXPECT_EQ(EsrtStatusName(0, 0), "never attempted");
    EXPECT_EQ(EsrtStatusName(0, 5), "success");
    EXPECT_EQ(EsrtStatusName(8, 0), "unsatisfied dependencies");
    EXPECT_EQ(EsrtStatusName(4097, 0), "vendor-specific error 0x1001");
    EXPECT_EQ(EsrtStatusName(16383, 0), "vendor-specific error 0x3FFF");
    EXPECT_EQ(EsrtStatusName(16384, 0), "unknown status 16384");

    FakeMachine m;
    m.esrt = {{"{A}", 1, 16, 1, 16, 0}, {"{B}", 2, 7, 0, 0, 0}, {"{C}", 1, 42, 0, 0, 4097}};
    Snapshot s = Collect(m);
    EXPECT_EQ(GetFact(s, "uefi.esrt_sysver"), "10,2A");
    EXPECT_EQ(Cells(FindTable(s, "uefi.esrt"))[0],
              (std::vector<std::string>{"{A}", "system firmware", "16 (0x10)", "1 (0x1)", "16 (0x10)", "success"}));
    ASSERT_EQ(s.signals.size(), 3u);
    EXPECT_EQ(s.signals[1].name, "ESRT device firmware ({B})");
    EXPECT_EQ(s.signals[1].value, "0x7");
    EXPECT_EQ(s.signals[1].w, 3);

    FakeMachine device;
    device.esrt = {{"{B}", 2, 7, 0, 0, 0}};
    EXPECT_FALSE(HasFact(Collect(device), "uefi.esrt_sysver"));
}

TEST(CollectUefi, SecureBootAccess) {
    struct Case {
        const char* what;
        uint32_t firmwareType;
        bool privilegeWorks;
        uint32_t variableError;
        const char* noteEnd;
        bool denied;
        std::vector<bool> privilegeCalls;
    };
    const Case cases[] = {
        {"legacy BIOS", kFirmwareTypeBios, true, 1, " Legacy BIOS boot: there are no UEFI variables.", false, {}},
        {"privilege refused", 2, false, 1314, " Not readable in this session: run as administrator.", true, {true}},
        {"privilege not held", 2, true, 1314, " Not readable in this session: run as administrator.", true, {true, false}},
        {"no variables", 2, true, 203, " The firmware exposes no Secure Boot variables (error 203).", false, {true, false}},
    };
    for (const Case& c : cases) {
        FakeMachine m;
        m.firmwareType = c.firmwareType;
        m.privilegeWorks = c.privilegeWorks;
        m.variableError = c.variableError;
        Snapshot s = Collect(m);
        const Table* t = FindTable(s, "uefi.secureboot");
        EXPECT_TRUE(t->note.ends_with(c.noteEnd)) << c.what << ": " << t->note;
        EXPECT_TRUE(t->rows.empty()) << c.what;
        EXPECT_EQ(HasFact(s, "uefi.vars_denied"), c.denied) << c.what;
        EXPECT_FALSE(HasFact(s, "uefi.vars_ok")) << c.what;
        EXPECT_FALSE(HasFact(s, "uefi.secureboot_var")) << c.what;
        EXPECT_EQ(m.privilegeCalls, c.privilegeCalls) << c.what;
    }
}

std::vector<uint8_t> CertList(const std::vector<std::string>& names) {
    std::vector<std::vector<uint8_t>> lists;
    for (const std::string& n : names) {
        auto der = Cert(n.c_str());
        lists.push_back(Esl(test::kX509Type, static_cast<uint32_t>(16 + der.size()), {der}));
    }
    return Concat(lists);
}

TEST(CollectUefi, SecureBootDatabases) {
    FakeMachine m;
    m.firmwareType = 2;
    m.Var(kGlobal, "SecureBoot", {1});
    m.Var(kGlobal, "SetupMode", {0});
    m.Var(kGlobal, "DeployedMode", {1});  // AuditMode unreadable: no row
    m.Var(kGlobal, "PK", Esl(test::kX509Type, 16 + 40, {std::vector<uint8_t>(40, 0x30)}));
    m.Var(kGlobal, "KEK", CertList({"ca2023"}));
    auto db = CertList({"ca2023", "ca2011", "noname"});
    db.resize(db.size() + 5, 0);
    m.Var(kDb, "db", db);
    m.variables.erase(std::string(kDb) + "/dbx");
    Snapshot s = Collect(m);
    const auto rows = Cells(FindTable(s, "uefi.secureboot"));
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"SecureBoot", "[ok] 1 (enforcing)", "", "", ""}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"SetupMode", "[ok] 0 (user mode)", "", "", ""}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"DeployedMode", "[ok] 1 (deployed mode)", "", "", ""}));
    EXPECT_EQ(rows[3][1], "84 bytes, 1 signature list(s): 1 certificate(s), 0 hash entries");
    EXPECT_EQ(rows[3][4].size(), 64u);
    EXPECT_EQ(rows[4], (std::vector<std::string>{"PK", "X.509 certificate", "(unparseable certificate)", "", rows[4][4]}));
    EXPECT_EQ(rows[6][2], "windows uefi ca 2023");
    EXPECT_EQ(rows[7][1], Format("%zu bytes, 3 signature list(s): 3 certificate(s), 0 hash entries, 5 unparsed bytes", db.size()));
    EXPECT_EQ(rows[8][2], "windows uefi ca 2023");
    EXPECT_EQ(rows[10], (std::vector<std::string>{"db", "X.509 certificate", "", "", rows[10][4]}));  // no names
    EXPECT_EQ(rows[11], (std::vector<std::string>{"dbx", "[info] not readable: error 1", "", "", ""}));
    EXPECT_EQ(GetFact(s, "uefi.vars_ok"), "1");
    EXPECT_EQ(GetFact(s, "uefi.secureboot_var"), "1");
    EXPECT_EQ(GetFact(s, "uefi.db_read"), "1");
    EXPECT_EQ(GetFact(s, "uefi.db_ca2023"), "1");  // lower case in db
    EXPECT_EQ(GetFact(s, "uefi.db_ca2011"), "1");
    EXPECT_EQ(GetFact(s, "uefi.pk_subject"), "(unparseable certificate)");
    EXPECT_EQ(SignalKeys(s), (std::vector<std::string>{"uefi.pk", "uefi.kek", "uefi.db"}));
    EXPECT_EQ(s.signals[0].name, "Secure Boot PK (variable hash)");
    EXPECT_EQ(s.signals[0].note, "OEM platform key - usually the same for one model");
    EXPECT_EQ(s.signals[0].value, rows[3][4]);
    EXPECT_EQ(m.privilegeCalls, (std::vector<bool>{true, false}));

    // The 2023 authority in KEK only, and a dbx of hashes only.
    FakeMachine k;
    k.firmwareType = 2;
    k.Var(kGlobal, "SecureBoot", {0});
    k.Var(kGlobal, "KEK", CertList({"ca2023"}));
    k.Var(kDb, "dbx", Esl(test::kSha256Type, 48, std::vector<std::vector<uint8_t>>(3, std::vector<uint8_t>(32, 1))));
    Snapshot sk = Collect(k);
    EXPECT_FALSE(HasFact(sk, "uefi.db_ca2023"));
    EXPECT_FALSE(HasFact(sk, "uefi.db_read"));
    EXPECT_EQ(GetFact(sk, "uefi.secureboot_var"), "0");
    const auto krows = Cells(FindTable(sk, "uefi.secureboot"));
    EXPECT_EQ(krows[0][1], "[warn] 0 (not enforcing)");
    EXPECT_EQ(krows.back()[1], "172 bytes, 1 signature list(s): 0 certificate(s), 3 hash entries");
    EXPECT_EQ(krows.back()[0], "dbx");
}

TEST(ReadFirmwareVariable, BufferSizes) {
    FakeMachine m;
    m.Var(kGlobal, "Big", std::vector<uint8_t>(64 * 1024 + 1, 7));
    m.Var(kGlobal, "Huge", std::vector<uint8_t>(1024 * 1024 + 1, 7));
    m.Var(kGlobal, "Small", {1, 2, 3});
    const UefiSource src = m.Source();
    Bytes b;
    uint32_t err = 0;
    EXPECT_TRUE(ReadFirmwareVariable(src, "Small", kGlobal, b, err));
    EXPECT_EQ(b, (Bytes{1, 2, 3}));
    EXPECT_TRUE(ReadFirmwareVariable(src, "Big", kGlobal, b, err));
    EXPECT_EQ(b.size(), 64u * 1024 + 1);
    EXPECT_FALSE(ReadFirmwareVariable(src, "Huge", kGlobal, b, err));
    EXPECT_EQ(err, 122u);
    EXPECT_FALSE(ReadFirmwareVariable(src, "Missing", kGlobal, b, err));
    EXPECT_EQ(err, 1u);
}

TEST(CollectUefi, BootConfiguration) {
    const std::string def = "{11111111-aaaa-bbbb-cccc-000000000001}";
    FakeMachine m;
    m.strings[kBootMgr + "23000003|Element"] = def;
    m.strings["BCD00000000\\Objects\\" + def + "\\Elements\\12000004|Element"] = "Windows Boot Loader";
    m.strings["BCD00000000\\Objects\\" + def + "\\Elements\\23000003|Element"] = "{R}";
    m.strings["BCD00000000\\Objects\\{X}\\Elements\\12000004|Element"] = "Anas Windows";
    m.multi[kBootMgr + "24000001|Element"] = {def, "{11111111-AAAA-BBBB-CCCC-000000000001}", "{X}"};
    Snapshot s = Collect(m, false);
    const Table* bcd = FindTable(s, "uefi.bcd");
    EXPECT_EQ(Cells(bcd), (std::vector<std::vector<std::string>>{{"Default loader", def, "Windows Boot Loader"},
                                                                 {"Resume object", "{R}", ""},
                                                                 {"Display order", "{11111111-AAAA-BBBB-CCCC-000000000001}", ""},
                                                                 {"Display order", "{X}", "Anas Windows"}}));
    // A description someone set is masked and masks every text holding it.
    std::vector<uint32_t> masks;
    for (const TableRow& r : bcd->rows) masks.push_back(r.sens);
    EXPECT_EQ(masks, (std::vector<uint32_t>{0, 0, 0, 4}));
    EXPECT_EQ(CellRole(*bcd, bcd->rows[3], 2), Role::Typed);
    EXPECT_EQ(CellRole(*bcd, bcd->rows[0], 2), Role::Program);
    ASSERT_EQ(SignalKeys(s), std::vector<std::string>{"uefi.bcd_default"});
    EXPECT_TRUE(Sensitive(s.signals[0]));
    EXPECT_EQ(s.signals[0].scope, 2);

    FakeMachine none;
    EXPECT_TRUE(FindTable(Collect(none, false), "uefi.bcd")->note.ends_with("installed. Needs administrator rights."));
}

TEST(CollectUefi, BootDescriptionsWindowsGives) {
    for (const char* given : {"Windows Boot Manager", "Windows 11", "windows 10", "Windows Memory Diagnostic",
                              "Windows Recovery Environment", "Windows Server 2022"})
        EXPECT_TRUE(IsGivenBootDescription(given)) << given;
    for (const char* chosen : {"Anas Windows", "Windows 11 (Ana)", "Hollowmere Build", "", "Windows 12"})
        EXPECT_FALSE(IsGivenBootDescription(chosen)) << chosen;
}

TEST(CollectUefi, GuestParameters) {
    FakeMachine m;
    m.parametersStatus = 0;
    m.parameters = {{"HostName", "host1"},
                    {"physicalhostname", "lower"},
                    {"PhysicalHostName", "plain"},
                    {"PhysicalHostNameFullyQualified", "host.example"},
                    {"VirtualMachineId", "VM-ID"},
                    {"Other", "x"}};
    Snapshot s = Collect(m);
    const Table* t = FindTable(s, "platform.hvguest");
    std::vector<uint32_t> masks;
    for (const TableRow& r : t->rows) masks.push_back(r.sens);
    EXPECT_EQ(masks, (std::vector<uint32_t>{2, 2, 2, 2, 2, 0}));
    EXPECT_EQ(GetFact(s, "hv.parameters.status"), "ok");
    ASSERT_EQ(SignalKeys(s), (std::vector<std::string>{"hv.vm_id", "hv.host"}));
    EXPECT_EQ(s.signals[0].value, "VM-ID");
    EXPECT_EQ(s.signals[1].value, "host.example");
    EXPECT_EQ(s.signals[1].scope, 4);

    FakeMachine lower;
    lower.parametersStatus = 5;
    lower.parameters = {{"physicalhostname", "lower"}};
    Snapshot sl = Collect(lower);
    EXPECT_TRUE(SignalKeys(sl).empty());
    EXPECT_EQ(GetFact(sl, "hv.parameters.status"), "error");
}

TEST(CollectUefi, GenerationId) {
    FakeMachine m;
    m.genId.opened = true;
    m.genId.readOk = true;
    for (int i = 0; i < 16; ++i) m.genId.bytes[i] = static_cast<uint8_t>(i);
    Snapshot s = Collect(m);
    const Table* t = FindTable(s, "platform.hvguest");
    ASSERT_EQ(t->rows.size(), 1u);
    EXPECT_EQ(t->rows[0].cells, (std::vector<std::string>{"VM generation ID", "0F0E0D0C0B0A09080706050403020100"}));
    EXPECT_EQ(t->rows[0].sens, 2u);
    EXPECT_EQ(GetFact(s, "hv.vm_genid"), "1");
    EXPECT_EQ(GetFact(s, "hv.vm_genid.status"), "ok");
    EXPECT_EQ(SignalKeys(s), std::vector<std::string>{"hv.vm_genid"});

    FakeMachine failed;
    failed.genId = GenerationIdRead{true, 0, false, 31, {}};
    Snapshot sf = Collect(failed);
    EXPECT_EQ(Cells(FindTable(sf, "platform.hvguest")),
              (std::vector<std::vector<std::string>>{{"VM generation ID", "[info] device present, read failed: error 31"}}));
    EXPECT_EQ(GetFact(sf, "hv.vm_genid.status"), "error");
    EXPECT_FALSE(HasFact(sf, "hv.vm_genid"));

    FakeMachine denied;
    denied.genId = GenerationIdRead{false, 5, false, 0, {}};
    EXPECT_EQ(GetFact(Collect(denied), "hv.vm_genid.status"), "error");
}

}  // namespace
}  // namespace vorq
