#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "collectors/trust/microsoft.h"
#include "collectors/trust/windows_os.h"
#include "core/report.h"
#include "core/snapshot.h"
#include "tests/unit/autopilot_records.h"

namespace vorq {
namespace {

using test::Oa3Record;
using test::Oa3Set;
using test::Oa3TimeStamp;

constexpr char kEmptySha256[] = "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855";

std::vector<uint8_t> Utf16At(size_t offset, const std::string& text, size_t total) {
    std::vector<uint8_t> b(total, 0x01);
    for (size_t i = 0; i < text.size(); ++i) {
        b[offset + 2 * i] = static_cast<uint8_t>(text[i]);
        b[offset + 2 * i + 1] = 0;
    }
    return b;
}

const Signal* SignalOf(const Snapshot& s, const std::string& key) {
    for (const Signal& sig : s.signals)
        if (sig.key == key) return &sig;
    return nullptr;
}

size_t SignalCount(const Snapshot& s, const std::string& key) {
    size_t n = 0;
    for (const Signal& sig : s.signals) n += sig.key == key;
    return n;
}

const TableRow* RowNamed(const Snapshot& s, const char* table, const std::string& first) {
    const Table* t = FindTable(s, table);
    if (!t) return nullptr;
    for (const TableRow& r : t->rows)
        if (r.cells[0] == first) return &r;
    return nullptr;
}

std::string ValueOf(const Snapshot& s, const char* table, const std::string& first) {
    const TableRow* r = RowNamed(s, table, first);
    return r ? r->cells[1] : "<none>";
}

TEST(MicrosoftRules, TelemetryLicenceAndChannelNames) {
    EXPECT_EQ(TelemetryLevelName(0), "0 - Security (Enterprise, Education and Server only; Required elsewhere)");
    EXPECT_EQ(TelemetryLevelName(1), "1 - Required");
    EXPECT_EQ(TelemetryLevelName(3), "3 - Optional (full)");
    EXPECT_EQ(TelemetryLevelName(7), "7 - unknown value");
    EXPECT_EQ(LicenseStatusName(0), "unlicensed");
    EXPECT_EQ(LicenseStatusName(1), "licensed");
    EXPECT_EQ(LicenseStatusName(6), "extended grace period");
    EXPECT_EQ(LicenseStatusName(9), "unknown");
    EXPECT_EQ(LicenseStatusName(-1), "unknown");

    EXPECT_EQ(OfficeChannelName("http://officecdn.microsoft.com/pr/492350F6-3A01-4F97-B9C0-C7C6DDF67D60"),
              "Current Channel");
    EXPECT_EQ(OfficeChannelName("5440fd1f-7ecb-4221-8110-145efaa6372f"), "Beta Channel");
    EXPECT_EQ(OfficeChannelName("5440fd1f-7ecb-4221-8110-145efaa6372"), "");  // 35 characters
    EXPECT_EQ(OfficeChannelName("00000000-0000-0000-0000-000000000000"), "");
    EXPECT_EQ(AlnumLower("{4C4C4544-0042-3510}"), AlnumLower("4c4c4544 0042 3510"));
}

TEST(MicrosoftRules, Utf16StringsAtBothAlignments) {
    std::vector<uint8_t> b = Utf16At(0, "SERIAL1234", 64);
    const std::vector<uint8_t> second = Utf16At(30, "DISK98765", 64);
    for (size_t i = 30; i < 48; ++i) b[i] = second[i];
    EXPECT_EQ(ExtractUtf16Strings(b.data(), b.size()), "SERIAL1234 | DISK98765");

    // An odd offset is found by the second pass; a run of 3 is not kept.
    const std::vector<uint8_t> odd = Utf16At(5, "ODDTEXT", 24);
    EXPECT_EQ(ExtractUtf16Strings(odd.data(), odd.size()), "ODDTEXT");
    const std::vector<uint8_t> shortRun = Utf16At(0, "ABC", 10);
    EXPECT_EQ(ExtractUtf16Strings(shortRun.data(), shortRun.size()), "");
    EXPECT_EQ(ExtractUtf16Strings(nullptr, 0), "");
    // A run reaching the end of the data is kept.
    const std::vector<uint8_t> tail = Utf16At(2, "TAIL", 10);
    EXPECT_EQ(ExtractUtf16Strings(tail.data(), tail.size()), "TAIL");
}

TEST(MicrosoftRules, JsonStringWithoutParsing) {
    const std::string v200(200, 'a'), v201(201, 'a');
    struct Case {
        std::string text;
        const char* value;
    } cases[] = {
        {R"({"VirtualDeviceId": "abc-123", "x": 1})", "abc-123"},
        {R"({"VirtualDeviceId":"ab\"cd"})", "ab\\"},
        {"{\"VirtualDeviceId\":\"" + v200 + "\"}", nullptr},
        {"{\"VirtualDeviceId\":\"" + v201 + "\"}", ""},
        {R"({"VirtualDeviceId" 5})", ""},
        {R"({"VirtualDeviceId": 5})", ""},
        {R"({"VirtualDeviceId": "open)", ""},
        {R"({"OtherId": "abc"})", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ExtractJsonString(c.text, "VirtualDeviceId"), c.value ? c.value : v200) << c.text;
}

TEST(MicrosoftRules, AutopilotRecordWalk) {
    const Oa3Record tpm{3, std::vector<uint8_t>(28, 0x11)};
    const Oa3Record disk{9, std::vector<uint8_t>(20, 0x22)};

    const std::vector<uint8_t> onlyStamp = Oa3Set({Oa3TimeStamp(0)});
    AutopilotHashInfo a = ParseAutopilotHash(onlyStamp.data(), onlyStamp.size());
    EXPECT_TRUE(a.parsed);
    EXPECT_EQ(a.recordCount, 1);
    EXPECT_EQ(a.recordTypes, "1");
    EXPECT_EQ(a.identityHash, kEmptySha256);
    EXPECT_EQ(a.harvestTime, "2000-01-01 00:00:00 UTC");
    EXPECT_EQ(a.totalLength, 32);

    const std::vector<uint8_t> first = Oa3Set({tpm, Oa3TimeStamp(100), disk});
    const std::vector<uint8_t> later = Oa3Set({tpm, Oa3TimeStamp(86400), disk});
    const AutopilotHashInfo f = ParseAutopilotHash(first.data(), first.size());
    const AutopilotHashInfo l = ParseAutopilotHash(later.data(), later.size());
    EXPECT_EQ(f.recordTypes, "3,1,9");
    EXPECT_EQ(f.identityHash, l.identityHash);
    EXPECT_NE(f.identityHash, kEmptySha256);
    EXPECT_EQ(l.harvestTime, "2000-01-02 00:00:00 UTC");
    EXPECT_NE(Sha256HexOf(first.data(), first.size()), Sha256HexOf(later.data(), later.size()));

    // A record of size 3 ends the walk; the records before it count.
    std::vector<uint8_t> cut = Oa3Set({tpm, disk});
    cut[4 + 32 + 2] = 3;
    const AutopilotHashInfo c = ParseAutopilotHash(cut.data(), cut.size());
    EXPECT_TRUE(c.parsed);
    EXPECT_EQ(c.recordTypes, "3");
    // A record running past the total length ends it too.
    std::vector<uint8_t> past = Oa3Set({tpm, disk});
    past[4 + 32 + 2] = 200;
    EXPECT_EQ(ParseAutopilotHash(past.data(), past.size()).recordCount, 1);
    // A record set that starts with a bad record is not parsed.
    std::vector<uint8_t> none = Oa3Set({tpm});
    none[4 + 2] = 2;
    EXPECT_FALSE(ParseAutopilotHash(none.data(), none.size()).parsed);
}

TEST(MicrosoftRules, AutopilotHeaderLimits) {
    const Oa3Record tpm{3, std::vector<uint8_t>(28, 0x11)};
    const std::vector<uint8_t> seven = Oa3Set({tpm}, 7);
    AutopilotHashInfo s = ParseAutopilotHash(seven.data(), seven.size());
    EXPECT_FALSE(s.parsed);
    EXPECT_EQ(s.totalLength, 7);
    EXPECT_EQ(s.recordCount, 0);
    const std::vector<uint8_t> beyond = Oa3Set({tpm}, 40);
    EXPECT_FALSE(ParseAutopilotHash(beyond.data(), beyond.size()).parsed);
    // Under 32 bytes nothing is parsed, even with a sound header.
    const std::vector<uint8_t> small = Oa3Set({Oa3Record{3, std::vector<uint8_t>(20, 0)}});
    ASSERT_EQ(small.size(), 28u);
    EXPECT_FALSE(ParseAutopilotHash(small.data(), small.size()).parsed);
    std::vector<uint8_t> wrongMagic = Oa3Set({tpm});
    wrongMagic[1] = 'B';
    EXPECT_FALSE(ParseAutopilotHash(wrongMagic.data(), wrongMagic.size()).parsed);
}

MicrosoftSource Sample() {
    MicrosoftSource in;
    in.currentUserSid = "S-1-5-21-11-22-33-1001";
    in.sqmMachineId = "{A1B2C3D4-0000-1111-2222-333344445555}";
    in.telemetryMachine = 1;
    in.telemetryMdm = 3;
    in.advertisingEnabled = 0;
    in.susValidation = Utf16At(4, "SERIAL1234", 40);
    in.xboxDeviceId = "xbox-1";
    in.msaDevices = {{"S-1-5-18", "02000000DEVICE"}, {"S-1-5-21-11-22-33-1001", "0300USER"},
                     {"S-1-5-21-11-22-33-1002", "0300OTHER"}, {"S-1-5-21-11-22-33-1003", ""}};
    in.rearmCount = 0;
    in.productName = "Windows(R), Professional edition";
    in.keyChannel = "Retail";
    in.licenseStatus = 1;
    in.userName = "alice";
    in.joinRead = true;
    in.joinStatus = 3;
    in.joinName = "CORP";
    in.entraJoined = {{"THUMB1", "dev-1", "tenant-1", "corp.example", "alice@corp.example"}};
    in.entraRegistered = {{"THUMB2", "dev-2", "tenant-2", "", ""}};
    in.enrollments = {{"{LOCAL}", 14, "MS DM Server", "", "", ""},
                      {"{EMPTY}", 0, "", "", "", ""},
                      {"{NOTYPE}", std::nullopt, "Intune", "bob@corp.example", "", ""},
                      {"{INTUNE}", 6, "MS DM Server", "alice@corp.example", "ENTDMID-1", "https://enroll"}};
    in.omadmAccounts = 2;
    in.autopilotTenantDomain = "corp.example";
    in.storeOemId = "OEM1";
    in.edgeWow = {"{EDGE-WOW}", "{EDGE-OLD}", 1579046400, 2};
    in.edgeNative = {"{EDGE-NATIVE}", "", std::nullopt, std::nullopt};
    in.officeInstallId = "OFFICE-1";
    in.officeReleaseIds = "O365ProPlusRetail";
    in.officeVersion = "16.0.1";
    in.officePlatform = "x64";
    in.officeChannel = "http://officecdn.microsoft.com/pr/492350F6-3A01-4F97-B9C0-C7C6DDF67D60";
    in.officeMotherboardUuid = "4c4c4544-0042-3510-8052-b2c04f4e4d32";
    in.oneDriveEverSignedIn = 0;
    in.oneDriveAccounts = {"Personal", "Business1"};
    const std::string cdp = R"({"VirtualDeviceId":"cdp-1"})";
    in.cdpSettings.assign(cdp.begin(), cdp.end());
    return in;
}

TEST(MicrosoftCollect, IdentifiersStatesAndFacts) {
    Snapshot s;
    SetFact(s, fact::kWinMachineSid, "S-1-5-21-11-22-33");
    SetFact(s, "smbios.uuid", "{4C4C4544-0042-3510-8052-B2C04F4E4D32}");
    CollectMicrosoftFrom(s, Sample());

    std::vector<std::string> order;
    for (const Table& t : s.tables) order.push_back(t.id);
    EXPECT_EQ(order, (std::vector<std::string>{"ms.ids", "ms.enrollments", "ms.autopilot"}));

    const char* ids = table::kMsIds;
    EXPECT_EQ(ValueOf(s, ids, "Diagnostic data device ID (ext.device.localId)"),
              "s:A1B2C3D4-0000-1111-2222-333344445555");
    EXPECT_EQ(RowNamed(s, ids, "Diagnostic data device ID (ext.device.localId)")->sens, 2u);
    const TableRow* level = RowNamed(s, ids, "Diagnostic data level (AllowTelemetry)");
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->cells[1], "1 - Required");
    EXPECT_EQ(level->cells[3], "HKLM\\...\\DataCollection\\AllowTelemetry; machine policy 1; MDM policy 3");
    MicrosoftSource withPolicy = Sample();
    withPolicy.telemetryPolicy = 3;  // the group policy value wins over the machine setting
    Snapshot policy;
    CollectMicrosoftFrom(policy, withPolicy);
    EXPECT_EQ(ValueOf(policy, ids, "Diagnostic data level (AllowTelemetry)"), "3 - Optional (full)");
    EXPECT_EQ(RowNamed(s, ids, "Customer Experience Improvement Program (CEIP)"), nullptr);
    EXPECT_EQ(ValueOf(s, ids, "Advertising ID"), "disabled (no ID generated)");

    const Signal* sus = SignalOf(s, "ms.sus_validation");
    ASSERT_NE(sus, nullptr);
    EXPECT_TRUE(sus->value.ends_with(" (text: SERIAL1234)"));
    EXPECT_EQ(sus->note.rfind("40 bytes with SMBIOS", 0), 0u);
    EXPECT_EQ(GetFact(s, fact::kMsSusValidation), "1");

    EXPECT_EQ(SignalOf(s, "ms.msa_device_id")->value, "02000000DEVICE");
    EXPECT_EQ(SignalOf(s, "ms.msa_device_id_user")->value, "0300USER");
    EXPECT_EQ(ValueOf(s, ids, "Microsoft account device IDs of other accounts"), "1");

    EXPECT_EQ(ValueOf(s, ids, "Windows re-arm count remaining"), "0");
    EXPECT_EQ(GetFact(s, fact::kMsRearm), "0");
    EXPECT_EQ(ValueOf(s, ids, "Windows license (name, status, channel)"),
              "Windows(R), Professional edition; licensed; channel Retail");
    EXPECT_EQ(SignalOf(s, "ms.cmid"), nullptr);
    EXPECT_EQ(ValueOf(s, ids, "Client Machine ID (CMID, volume activation)"), "not available on this installation");

    EXPECT_EQ(SignalOf(s, "ms.user_rid")->value, "1001");
    EXPECT_EQ(RowNamed(s, ids, "Current user")->sens, 2u);
    EXPECT_EQ(ValueOf(s, ids, "Domain / workgroup"), "Active Directory domain CORP");
    EXPECT_EQ(RowNamed(s, ids, "Domain / workgroup")->sens, 2u);

    EXPECT_EQ(SignalCount(s, sig::kMsEntraDeviceId), 2u);
    EXPECT_EQ(ValueOf(s, ids, "Entra device ID (registered)"), "dev-2");
    EXPECT_EQ(RowNamed(s, ids, "Entra account (joined)")->sens, 2u);
    EXPECT_EQ(ValueOf(s, ids, "Entra device certificate thumbprint (joined)"), "THUMB1");
    EXPECT_EQ(RowNamed(s, ids, "Entra account (registered)"), nullptr);
    EXPECT_EQ(RowNamed(s, ids, "Microsoft Entra"), nullptr);
    EXPECT_EQ(GetFact(s, fact::kMsEntra), "1");

    EXPECT_EQ(ValueOf(s, ids, "OMA-DM server accounts (MDM configurations)"), "2");
    EXPECT_EQ(ValueOf(s, ids, "Autopilot cloud-assigned tenant"), " (corp.example)");
    EXPECT_EQ(ValueOf(s, ids, "Microsoft Store OEM ID / SCM ID"), "OEM1 /");
    EXPECT_EQ(SignalOf(s, "ms.edge_update_uid")->value, "{EDGE-WOW}");
    EXPECT_EQ(SignalCount(s, "ms.edge_update_uid"), 1u);
    EXPECT_EQ(ValueOf(s, ids, "Edge Update client ID created"), "2020-01-15 00:00:00 UTC");
    EXPECT_EQ(ValueOf(s, ids, "Edge Update client ID history"), "2 rotation(s)");
    EXPECT_EQ(ValueOf(s, ids, "Office Click-to-Run products"), "O365ProPlusRetail 16.0.1 x64");
    EXPECT_EQ(ValueOf(s, ids, "Office update channel"), "Current Channel; 492350F6-3A01-4F97-B9C0-C7C6DDF67D60");
    const Signal* office = SignalOf(s, "ms.office_device_id");
    EXPECT_TRUE(Sensitive(*office));
    EXPECT_EQ(office->note, "equals the SMBIOS system UUID");
    EXPECT_EQ(ValueOf(s, ids, "OneDrive client ever signed in"), "no");
    EXPECT_EQ(ValueOf(s, ids, "OneDrive accounts configured"), "Personal, Business1");
    EXPECT_EQ(SignalOf(s, "ms.cdp_device_id")->value, "cdp-1");
    for (const Signal& sig : s.signals) EXPECT_EQ(sig.cat, "Microsoft") << sig.key;
}

// Every identifier of the device, its user or its organization is masked in a
// privacy-safe report; states, levels, products and counts stay readable.
TEST(MicrosoftCollect, IdentifiersAreMaskedStatesStayClear) {
    MicrosoftSource in = Sample();
    in.advertisingId = "ad-1";
    in.clientMachineId = "cmid-1";
    in.autopilotTenantId = "tenant-ap";
    in.oneDriveDeviceId = "od-1";
    in.oneDriveOriginatorId = "odo-1";
    in.oneDriveBoxId = "box-1";
    in.officeOriginatorId = "oo-1";
    in.officeMotherboardUuid = "11112222-3333-4444-5555-666677778888";  // not the SMBIOS UUID
    Snapshot s;
    SetFact(s, fact::kWinMachineSid, "S-1-5-21-11-22-33");
    CollectMicrosoftFrom(s, in);
    const char* ids = table::kMsIds;
    const char* masked[] = {
        "Advertising ID",
        "Xbox Live device ID",
        "Microsoft account device ID (IdentityCRL, device account)",
        "Microsoft account device ID (IdentityCRL, current user)",
        "Client Machine ID (CMID, volume activation)",
        "Entra device ID (joined)",
        "Entra device ID (registered)",
        "Entra tenant ID (joined)",
        "Entra tenant ID (registered)",
        "Entra identity provider domain (joined)",
        "Entra device certificate thumbprint (joined)",
        "Entra device certificate thumbprint (registered)",
        "Intune device ID (EntDMID)",
        "Autopilot cloud-assigned tenant",
        "Edge Update client ID (uid)",
        "Edge Update previous client ID (old-uid)",
        "Edge Update client ID created",  // to the second: dates the installation
        "Office Click-to-Run install ID",
        "Office telemetry device ID (MotherboardUUID)",
        "OneDrive device ID (DeviceIdForODC)",
        "OneDrive originator ID (OriginatorIdForODC)",
        "OneDrive box ID for Office (BoxIdForOffice)",
        "Office originator ID (OfficeOriginatorID)",
        "Connected Devices Platform virtual device ID",
    };
    for (const char* name : masked) {
        const TableRow* row = RowNamed(s, ids, name);
        ASSERT_NE(row, nullptr) << name;
        EXPECT_EQ(row->sens, 2u) << name;  // the Value column
    }
    for (const Signal& sig : s.signals) {
        if (sig.key == "ms.user_rid") continue;
        EXPECT_TRUE(Sensitive(sig)) << sig.key;
    }
    const char* clear[] = {
        "Diagnostic data level (AllowTelemetry)", "Advertising ID", "Current user RID (local account)",
        "Windows license (name, status, channel)", "Edge Update client ID history", "Office Click-to-Run products",
        "Office update channel", "OneDrive accounts configured", "Microsoft account device IDs of other accounts",
        "OMA-DM server accounts (MDM configurations)", "Microsoft Store OEM ID / SCM ID",
    };
    MicrosoftSource plain = Sample();
    Snapshot states;
    SetFact(states, fact::kWinMachineSid, "S-1-5-21-11-22-33");
    CollectMicrosoftFrom(states, plain);
    for (const char* name : clear) {
        const TableRow* row = RowNamed(states, ids, name);
        ASSERT_NE(row, nullptr) << name;
        EXPECT_EQ(row->sens, 0u) << name;
    }
}

// A domain account's RID names one account of the domain; a local account's
// RID only counts this installation's accounts.
TEST(MicrosoftCollect, OnlyADomainAccountsRidIsMasked) {
    const struct {
        const char* sid;
        const char* account;  // the "Current user account" row, empty when none
        const char* ridRow;
        uint32_t ridSens;
        bool ridSignal;
    } cases[] = {
        {"S-1-5-21-11-22-33-1001", "", "Current user RID (local account)", 0, true},
        {"S-1-5-21-44-55-66-31337", "domain account", "Current user RID (domain account)", 2, false},
        {"S-1-12-1-5-6-7-8", "Microsoft Entra account (SID authority S-1-12-1)", "", 0, false},
    };
    const Bytes key(32, 0x42);
    for (const auto& c : cases) {
        MicrosoftSource in;
        in.currentUserSid = c.sid;
        Snapshot s;
        SetFact(s, fact::kWinMachineSid, "S-1-5-21-11-22-33");
        CollectMicrosoftFrom(s, in);
        const char* ids = table::kMsIds;
        const TableRow* account = RowNamed(s, ids, "Current user account");
        if (*c.account) {
            ASSERT_NE(account, nullptr) << c.sid;
            EXPECT_EQ(account->cells[1], c.account) << c.sid;
            EXPECT_EQ(account->sens, 0u) << c.sid;
        } else {
            EXPECT_EQ(account, nullptr) << c.sid;
        }
        const std::string rid = std::string(c.sid).substr(std::string(c.sid).rfind('-') + 1);
        if (*c.ridRow) {
            const TableRow* row = RowNamed(s, ids, c.ridRow);
            ASSERT_NE(row, nullptr) << c.sid;
            EXPECT_EQ(row->cells[1], rid) << c.sid;
            EXPECT_EQ(row->sens, c.ridSens) << c.sid;
        }
        EXPECT_EQ(SignalOf(s, "ms.user_rid") != nullptr, c.ridSignal) << c.sid;
        std::string safe;
        WriteSnapshotJsonWithKey(safe, s, kReportSafe, key);
        if (c.ridSens) {
            EXPECT_EQ(safe.find(rid), std::string::npos) << c.sid;
        } else if (*c.ridRow) {
            EXPECT_NE(safe.find("\"" + rid + "\""), std::string::npos) << c.sid;
        }
    }
}

// A built-in account is known by its RID, under the name Windows' language gave
// it: its name is shown and masks nothing. The same name on any other account,
// another domain's RID 500, or a built-in account renamed after a person is a
// person's.
TEST(MicrosoftCollect, BuiltInAccountsAreKnownByTheirRid) {
    const struct {
        const char* sid;
        const char* name;
        bool builtIn;
    } cases[] = {
        {"S-1-5-21-11-22-33-500", "Administrateur", true},
        {"S-1-5-21-11-22-33-501", "Gast", true},
        {"S-1-5-21-11-22-33-500", "\u0410\u0434\u043c\u0438\u043d\u0438\u0441\u0442\u0440\u0430\u0442\u043e\u0440", true},
        {"S-1-5-21-11-22-33-1001", "Administrateur", false},
        {"S-1-5-21-44-55-66-500", "Administrateur", false},
        {"S-1-5-21-11-22-33-1001", "jquellbrandt", false},
        {"S-1-5-21-11-22-33-500", "Lindqvist", false},
    };
    for (const auto& c : cases) {
        MicrosoftSource in;
        in.currentUserSid = c.sid;
        in.userName = c.name;
        Snapshot s;
        SetFact(s, fact::kWinMachineSid, "S-1-5-21-11-22-33");
        CollectMicrosoftFrom(s, in);
        const TableRow* row = RowNamed(s, table::kMsIds, "Current user");
        ASSERT_NE(row, nullptr) << c.sid;
        EXPECT_EQ(row->sens, c.builtIn ? 0u : 2u) << c.sid << " " << c.name;
        const bool named = std::any_of(s.named.begin(), s.named.end(), [&](const NamedValue& n) {
            return n.kind == ValueKind::Account && n.value == c.name;
        });
        EXPECT_EQ(named, !c.builtIn) << c.sid << " " << c.name;
        std::string safe;
        WriteSnapshotJsonWithKey(safe, s, kReportSafe, Bytes(32, 0x42));
        EXPECT_EQ(safe.find(std::string("\"") + c.name + "\"") != std::string::npos, c.builtIn) << c.sid << " " << c.name;
    }
}

TEST(MicrosoftCollect, EnrollmentsCountOnlyRealOnes) {
    Snapshot s;
    CollectMicrosoftFrom(s, Sample());
    const Table* t = FindTable(s, table::kMsEnrollments);
    ASSERT_NE(t, nullptr);
    // The user, the Intune device ID and the organization's discovery service.
    EXPECT_EQ(t->sens, 0x38u);
    ASSERT_EQ(t->rows.size(), 2u);
    EXPECT_EQ(t->rows[0].cells, (std::vector<std::string>{"{LOCAL}", "14", "MS DM Server", "", "", ""}));
    EXPECT_EQ(t->rows[0].sens, 0u);  // a built-in authority's key is the same everywhere
    EXPECT_EQ(t->rows[1].cells[4], "ENTDMID-1");
    EXPECT_EQ(t->rows[1].sens, 1u);  // a real enrollment's key was made for this device
    EXPECT_EQ(SignalOf(s, sig::kMsIntuneDeviceId)->value, "ENTDMID-1");
    EXPECT_EQ(GetFact(s, fact::kMsMdm), "1");

    const struct {
        const char* what;
        EnrollmentSource enrollment;
        const char* mdm;
    } alone[] = {
        // Built-in authorities alone (a provider, no user, no EntDMID) are listed but are no enrollment.
        {"built-in authority", {"{LOCAL}", 14, "MS DM Server", "", "", ""}, "0"},
        {"a user only", {"{USER}", 6, "", "carol@corp.example", "", ""}, "1"},
    };
    for (const auto& c : alone) {
        MicrosoftSource in;
        in.enrollments = {c.enrollment};
        Snapshot b;
        CollectMicrosoftFrom(b, in);
        EXPECT_EQ(FindTable(b, table::kMsEnrollments)->rows.size(), 1u) << c.what;
        EXPECT_EQ(GetFact(b, fact::kMsMdm), c.mdm) << c.what;
    }
}

TEST(MicrosoftCollect, EmptyMachine) {
    Snapshot s;
    MicrosoftSource in;
    in.currentUserSid = "S-1-5-21-0-0-0-1000";
    in.joinRead = true;
    in.joinStatus = 2;
    in.joinName = "Workgroup";
    in.officeMotherboardUuid = "4c4c4544";
    in.edgeNative = {"{EDGE-NATIVE}", "", 0u, std::nullopt};
    CollectMicrosoftFrom(s, in);
    const char* ids = table::kMsIds;
    EXPECT_EQ(ValueOf(s, ids, "Advertising ID"), "not generated");
    EXPECT_EQ(ValueOf(s, ids, "Microsoft account device ID (IdentityCRL)"),
              "[info] needs administrator rights (HKU\\S-1-5-18)");
    EXPECT_EQ(ValueOf(s, ids, "Current user account"), "domain account");  // no machine SID known
    EXPECT_EQ(ValueOf(s, ids, "Current user RID (domain account)"), "1000");
    EXPECT_EQ(ValueOf(s, ids, "Domain / workgroup"), "workgroup Workgroup");
    EXPECT_EQ(RowNamed(s, ids, "Domain / workgroup")->sens, 0u);
    EXPECT_EQ(ValueOf(s, ids, "Microsoft Entra"), "not joined, not registered");
    EXPECT_EQ(ValueOf(s, ids, "OMA-DM server accounts (MDM configurations)"), "none");
    EXPECT_EQ(ValueOf(s, ids, "Autopilot profile"), "none assigned");
    EXPECT_EQ(SignalOf(s, "ms.edge_update_uid")->value, "{EDGE-NATIVE}");
    EXPECT_EQ(RowNamed(s, ids, "Edge Update client ID history"), nullptr);
    EXPECT_EQ(SignalOf(s, "ms.office_device_id")->note, "does not equal the SMBIOS system UUID on this machine");
    EXPECT_TRUE(Sensitive(*SignalOf(s, "ms.office_device_id")));
    EXPECT_EQ(RowNamed(s, ids, "Diagnostic data level (AllowTelemetry)"), nullptr);
    EXPECT_EQ(GetFact(s, fact::kMsMdm), "0");
    EXPECT_FALSE(HasFact(s, fact::kMsEntra));
    EXPECT_FALSE(HasFact(s, fact::kMsRearm));
    EXPECT_FALSE(HasFact(s, fact::kMsSusValidation));
    EXPECT_EQ(GetFact(s, fact::kMsAutopilotDenied), "1");
    EXPECT_EQ(ValueOf(s, table::kMsAutopilot, "DeviceHardwareData"),
              "[info] needs administrator rights (MDM bridge WMI provider)");
    EXPECT_EQ(RowNamed(s, ids, "Autopilot hardware hash (OA3 4K HH)")->cells,
              (std::vector<std::string>{"Autopilot hardware hash (OA3 4K HH)",
                                        "[info] needs administrator rights (MDM bridge WMI provider)", "per-unit",
                                        "WMI root\\cimv2\\mdm\\dmmap MDM_DevDetail_Ext01"}));

    Snapshot entra;
    in.currentUserSid = "S-1-12-1-5-6-7-8";
    CollectMicrosoftFrom(entra, in);
    EXPECT_EQ(ValueOf(entra, ids, "Current user account"), "Microsoft Entra account (SID authority S-1-12-1)");
}

// The join name and the account name the report masks, named for its rules:
// Windows' default workgroup names nobody; any other workgroup is a name
// someone chose, masked as an organization's.
TEST(MicrosoftCollect, JoinAndAccountNamesAreNamed) {
    struct Case {
        const char* what;
        uint32_t joinStatus;
        const char* joinName;
        uint32_t mask;
        std::vector<std::pair<ValueKind, std::string>> named;
    } cases[] = {
        {"default workgroup", 2, "Workgroup", 0, {{ValueKind::Account, "jquellbrandt"}}},
        {"default workgroup in capitals", 2, "WORKGROUP", 0, {{ValueKind::Account, "jquellbrandt"}}},
        {"chosen workgroup", 2, "HOLLOWNET", 2,
         {{ValueKind::Account, "jquellbrandt"}, {ValueKind::Organization, "HOLLOWNET"}}},
        {"domain", 3, "HOLLOWMERE", 2,
         {{ValueKind::Account, "jquellbrandt"}, {ValueKind::NetbiosDomain, "HOLLOWMERE"}}},
    };
    for (const Case& c : cases) {
        Snapshot s;
        MicrosoftSource in;
        in.currentUserSid = "S-1-5-21-0-0-0-1000";
        in.userName = "jquellbrandt";
        in.joinRead = true;
        in.joinStatus = c.joinStatus;
        in.joinName = c.joinName;
        CollectMicrosoftFrom(s, in);
        EXPECT_EQ(RowNamed(s, table::kMsIds, "Domain / workgroup")->sens, c.mask) << c.what;
        std::vector<std::pair<ValueKind, std::string>> named;
        for (const NamedValue& n : s.named) named.emplace_back(n.kind, n.value);
        EXPECT_EQ(named, c.named) << c.what;
    }
}

// The addresses of the Entra account and of each MDM enrollment name a person
// and, by their domain, the organization; the Autopilot tenant's domain names
// the organization.
TEST(MicrosoftCollect, AccountAddressesAndTenantAreNamed) {
    Snapshot s;
    MicrosoftSource in;
    in.entraJoined = {{"THUMB1", "dev-1", "tenant-1", "login.windows.net", "ana.quellbrandt@hollowmere.com"}};
    in.enrollments = {{"{LOCAL}", 14, "MS DM Server", "", "", ""},
                      {"{INTUNE}", 6, "MS DM Server", "ana.q@hollowmere-group.com", "ENTDMID-1", ""}};
    in.autopilotTenantDomain = "hollowmere.onmicrosoft.com";
    CollectMicrosoftFrom(s, in);
    std::vector<std::pair<ValueKind, std::string>> named;
    for (const NamedValue& n : s.named) named.emplace_back(n.kind, n.value);
    const std::vector<std::pair<ValueKind, std::string>> expected = {
        {ValueKind::Owner, "ana.quellbrandt@hollowmere.com"},
        {ValueKind::Owner, "ana.q@hollowmere-group.com"},
        {ValueKind::Organization, "hollowmere.onmicrosoft.com"},
    };
    EXPECT_EQ(named, expected);
}

TEST(MicrosoftCollect, AutopilotOutcomes) {
    const Oa3Record tpm{3, std::vector<uint8_t>(28, 0x11)};
    const std::vector<uint8_t> set = Oa3Set({tpm, Oa3TimeStamp(0)});
    struct Case {
        bool ok;
        std::string error, data, mac;
        std::vector<uint8_t> bytes;
        const char* records;
        const char* wlan;
    } cases[] = {
        {false, "ConnectServer(ROOT\\CIMV2\\MDM\\DMMAP): HRESULT 0x8004100E", "", "", {}, nullptr, nullptr},
        {true, "", "", "", {}, nullptr, nullptr},
        {true, "", "T0EA", "00:00:00:00:00:00", set, "2 (types 3,1), 64 bytes of 64 decoded",
         "not reported by the bridge on desktop editions"},
        {true, "", "bm90IGFuIE9BMyBzZXQ=", "AA:BB:CC:DD:EE:FF", {'n', 'o', 't'}, "not parsed (3 bytes decoded)",
         "AA:BB:CC:DD:EE:FF"},
    };
    for (const Case& c : cases) {
        MicrosoftSource in;
        in.elevated = true;
        in.devDetailOk = c.ok;
        in.devDetailError = c.error;
        in.hardwareData = c.data;
        in.wlanMac = c.mac;
        in.hardwareBytes = c.bytes;
        Snapshot s;
        CollectMicrosoftFrom(s, in);
        EXPECT_FALSE(HasFact(s, fact::kMsAutopilotDenied));
        const std::string id = ValueOf(s, table::kMsIds, "Autopilot hardware hash (OA3 4K HH)");
        if (!c.records) {
            const std::string expected =
                "[info] not available: " + (c.error.empty() ? std::string("empty result") : c.error);
            EXPECT_EQ(id, expected);
            EXPECT_EQ(ValueOf(s, table::kMsAutopilot, "DeviceHardwareData"), expected);
            EXPECT_FALSE(HasFact(s, fact::kMsAutopilotHash));
            EXPECT_EQ(SignalOf(s, sig::kMsAutopilotHash), nullptr);
            continue;
        }
        const std::string whole = Sha256HexOf(c.data.data(), c.data.size());
        const Table* t = FindTable(s, table::kMsAutopilot);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->rows[0].cells[1], c.data);
        EXPECT_EQ(t->rows[0].sens, 2u);
        EXPECT_EQ(ValueOf(s, table::kMsAutopilot, "SHA-256 of the whole value"), whole);
        EXPECT_EQ(ValueOf(s, table::kMsAutopilot, "Records"), c.records);
        EXPECT_EQ(ValueOf(s, table::kMsAutopilot, "WLANMACAddress"), c.wlan);
        EXPECT_EQ(SignalOf(s, sig::kMsAutopilotHash)->value, id);
        EXPECT_EQ(GetFact(s, fact::kMsAutopilotHash), "1");
        const bool parsed = std::string(c.records).rfind("not parsed", 0) != 0;
        if (parsed) {
            EXPECT_NE(id, whole);
            EXPECT_EQ(ValueOf(s, table::kMsAutopilot, "Harvest time stamp (record type 1)"), "2000-01-01 00:00:00 UTC");
            // To the second, it dates this installation as the install date does.
            EXPECT_EQ(RowNamed(s, table::kMsAutopilot, "Harvest time stamp (record type 1)")->sens, 2u);
            EXPECT_FALSE(HasFact(s, fact::kMsWlanMac));
        } else {
            EXPECT_EQ(id, whole);
            EXPECT_EQ(GetFact(s, fact::kMsWlanMac), "AA:BB:CC:DD:EE:FF");
            EXPECT_TRUE(Sensitive(*SignalOf(s, sig::kMsWlanMac)));
        }
    }
}

}  // namespace
}  // namespace vorq
