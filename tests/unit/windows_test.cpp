#include <gtest/gtest.h>

#include <algorithm>

#include "collectors/trust/windows_os.h"
#include "core/report.h"
#include "core/snapshot.h"

namespace vorq {
namespace {

const Table& TableOf(const Snapshot& s, const char* id) {
    const Table* t = FindTable(s, id);
    EXPECT_NE(t, nullptr) << id;
    static const Table kNone;
    return t ? *t : kNone;
}

const Signal* SignalOf(const Snapshot& s, const std::string& key) {
    for (const Signal& sig : s.signals)
        if (sig.key == key) return &sig;
    return nullptr;
}

const TableRow* RowNamed(const Table& t, const std::string& first) {
    for (const TableRow& r : t.rows)
        if (!r.cells.empty() && r.cells[0] == first) return &r;
    return nullptr;
}

TEST(WindowsRules, Windows11RuleAndBuildNumber) {
    struct Case {
        const char* name;
        const char* build;
        const char* product;
    } cases[] = {
        {"Windows 10 Pro", "22631", "Windows 11 Pro"},
        {"Windows 10 Pro", "22000", "Windows 11 Pro"},
        {"Windows 10 Pro", "21999", "Windows 10 Pro"},
        {"Microsoft Windows 10 Enterprise Windows 10", "26100", "Microsoft Windows 11 Enterprise Windows 10"},
        {"Windows Server 2022", "22631", "Windows Server 2022"},
        {"Windows 7", "7601", "Windows 7"},
        {"Windows 10 Home", "abc", "Windows 10 Home"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ApplyWindows11Rule(c.name, ParseBuildNumber(c.build)), c.product) << c.name << " " << c.build;
    EXPECT_EQ(ParseBuildNumber("22631.4037"), 22631);
    EXPECT_EQ(ParseBuildNumber("x22631"), 0);
    EXPECT_EQ(ParseBuildNumber(""), 0);
}

TEST(WindowsRules, AllFGuidAndCredentialProviders) {
    EXPECT_TRUE(IsAllFGuidText("{ffffffff-FFFF-ffff-ffff-ffffffffffff}"));
    EXPECT_TRUE(IsAllFGuidText("ffff"));
    EXPECT_FALSE(IsAllFGuidText(""));
    EXPECT_FALSE(IsAllFGuidText("{ffffffff-ffff-ffff-ffff-fffffffffffe}"));

    EXPECT_EQ(CredentialProviderName("{60b78e88-ead8-445c-9cfd-0b87f74ea6cd}"), "password");
    EXPECT_EQ(CredentialProviderName("{CB82EA12-9F71-446D-89E1-8D0924E1256E}"), "PIN (Windows Hello)");
    EXPECT_EQ(CredentialProviderName("{2135f72a-90b5-4ed3-a7f1-8bb705ac276a}"), "picture password");
    EXPECT_EQ(CredentialProviderName("{00000000-0000-0000-0000-000000000000}"), "");
    EXPECT_EQ(CredentialProviderName("60b78e88-ead8-445c-9cfd-0b87f74ea6cd"), "");
}

TEST(WindowsRules, TimesAndSystemIdValue) {
    EXPECT_EQ(FormatFileTimeHighLow(0, 0), "");
    EXPECT_EQ(FormatFileTimeHighLow(0x1d756dd, 0xa5caa000), "2021-06-01 12:00:00 UTC");
    EXPECT_EQ(FormatFileTimeHighLow(0, 1), "1601-01-01 00:00:00 UTC");
    // The hexadecimal text is hashed, not the bytes it spells.
    EXPECT_EQ(SystemIdValue("00112233445566778899AABBCCDDEEFF"), "20AFF5A341131D58C07A76E062D895E0");
    EXPECT_STREQ(SystemIdSourceName(1), "TPM");
    EXPECT_STREQ(SystemIdSourceName(2), "UEFI");
    EXPECT_STREQ(SystemIdSourceName(3), "Registry");
    EXPECT_STREQ(SystemIdSourceName(0), "None");
    EXPECT_STREQ(SystemIdSourceName(7), "None");
}

TEST(WindowsRules, ProfileSids) {
    const std::string machine = "S-1-5-21-11-22-33";
    struct Case {
        const char* sid;
        const char* current;
        ProfileKind kind;
        bool local;
        const char* rid;
    } cases[] = {
        {"S-1-5-18", "", ProfileKind::Service, false, ""},
        {"S-1-5-80-1-2", "", ProfileKind::Service, false, ""},
        {"S-1-5-21-11-22-33-1001", "", ProfileKind::Local, true, "1001"},
        {"S-1-5-21-11-22-33-1000", "S-1-5-21-11-22-33-1000", ProfileKind::CurrentUser, true, "1000"},
        {"S-1-5-21-11-22-333-1000", "", ProfileKind::Domain, false, "1000"},
        {"S-1-5-21-11-22-3-1000", "", ProfileKind::Domain, false, "1000"},
        {"S-1-12-1-5-6-7-8", "", ProfileKind::Entra, false, "8"},
    };
    for (const Case& c : cases) {
        const ProfileClass p = ClassifyProfileSid(c.sid, machine, c.current);
        EXPECT_EQ(p.kind, c.kind) << c.sid;
        EXPECT_EQ(p.local, c.local) << c.sid;
        if (c.kind != ProfileKind::Service) {
            EXPECT_EQ(p.rid, c.rid) << c.sid;
        }
    }
    // Without a machine SID nothing is local.
    EXPECT_EQ(ClassifyProfileSid("S-1-5-21-11-22-33-1001", "", "").kind, ProfileKind::Domain);
}

// The columns a classification masks, as bits: 2 the thumbprint (every
// certificate in these stores is this machine's own), 4 the subject, 8 the
// issuer.
uint32_t MaskOf(const CertClass& r) {
    return 2u | (MaskedRole(r.subject) ? 4u : 0u) | (MaskedRole(r.issuer) ? 8u : 0u);
}

TEST(WindowsRules, CertificateKindAndMask) {
    auto cert = [](const char* subject, bool selfSigned, std::optional<bool> bc = {}, std::optional<bool> st = {}) {
        CertSource c;
        c.subject = subject;
        c.issuer = selfSigned ? subject : "Issuing CA 1";
        c.selfSigned = selfSigned;
        c.basicConstraintsCa = bc;
        c.subjectTypeCa = st;
        return c;
    };
    struct Case {
        CertSource c;
        bool personal;
        const char* kind;
        uint32_t mask;
        const char* organization;  // named as an organization, or ""
        bool datesHere;            // its validity dates an event on this machine
    } cases[] = {
        // Mask bits: 2 thumbprint, 4 subject, 8 issuer. A CA here is the
        // organization's own or made here: its thumbprint and its
        // organization's name are masked.
        {cert("Contoso Root", true, true), true, "root CA", 14, "Contoso", true},  // its issuer is its subject
        {cert("Contoso Issuing", false, true), false, "intermediate CA", 6, "Contoso", false},
        {cert("Legacy", false, std::nullopt, true), false, "intermediate CA", 6, "Legacy", false},
        {cert("Hollowmere Issuing CA 02", true), true, "root CA", 14, "Hollowmere", true},
        // A self-signed CA's names are typed even when no organization is
        // left; the report shows a tool's default ("localhost", as openssl
        // makes it by default, with CA:TRUE).
        {cert("localhost", true, true), true, "root CA", 14, "", true},
        {cert("Test Authority", true), true, "root CA", 14, "", true},
        // An address names a person, never a maker, digits or not.
        {cert("ana.lindqvist1@example.org", true, true), true, "root CA", 14, "", true},
        {cert("ana@example.org", true, true), true, "root CA", 14, "", true},
        // A maker's own root keeps its names and days.
        {cert("Microsoft Root Certificate Authority 2011", true, true), true, "root CA", 2, "", false},
        {cert("Dell Inc. Root CA", true), true, "root CA", 2, "", false},
        // Basic constraints that say "not a CA" win over a name with "Root".
        {cert("Root of nothing", true, false), false, "self-signed", 14, "", true},
        // Issued to this machine or its user: the issuer names their organization's CA.
        {cert("server.example", false), false, "end entity", 14, "", true},
        {cert("server.example", false), true, "end entity", 14, "", true},
        {cert("server.example", false, false), true, "end entity", 14, "", true},
        // Made on this machine: its thumbprint identifies the installation.
        // A self-signed certificate's names were typed here; the report shows
        // a tool's default ("localhost").
        {cert("dev signing", true), true, "self-signed", 14, "", true},
        {cert("localhost", true), true, "self-signed", 14, "", true},  // "ca" inside a word is no CA
        {cert("localhost", true, false), true, "self-signed", 14, "", true},
        {cert("alice", true), true, "self-signed", 14, "", true},
        // The Remote Desktop certificate names the computer, "desk-ca7".
        {cert("DESK-CA7", true), false, "self-signed", 14, "", true},
        // Named after a person: typed, and made here whatever it calls itself.
        {cert("Alice's Root CA", true), true, "root CA", 14, "Alice's", true},
        {cert("Ana Lindqvist Root CA", true), true, "root CA", 14, "Ana Lindqvist", true},
        {cert("desk-ca7 web", false), false, "end entity", 14, "", true},
    };
    for (const Case& c : cases) {
        const CertClass r = ClassifyCertificate(c.c, c.personal, "desk-ca7", "alice");
        EXPECT_EQ(r.kind, c.kind) << c.c.subject;
        EXPECT_EQ(MaskOf(r), c.mask) << c.c.subject;
        EXPECT_EQ(r.organizations, std::vector<std::string>(*c.organization ? 1 : 0, c.organization)) << c.c.subject;
        EXPECT_EQ(r.datesHere, c.datesHere) << c.c.subject;
    }
    EXPECT_EQ(ClassifyCertificate(cert("Hollowmere Issuing CA 02", true), true, "", "").organizations,
              std::vector<std::string>{"Hollowmere"});
    // Empty names match nothing, and a built-in account's name names nobody.
    EXPECT_EQ(MaskOf(ClassifyCertificate(cert("host", true, true), true, "", "")), 14u);
    for (const char* account : {"root", "Administrator", "Guest"})
        EXPECT_EQ(MaskOf(ClassifyCertificate(cert("Vellmoor Root Administrator Guest CA", true), true, "", account)), 14u)
            << account;
}

// A CA's name without the words every CA's name holds is its owner's.
TEST(WindowsRules, CaOrganizationNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"Hollowmere Root CA", "Hollowmere"},
        {"Hollowmere Issuing CA 02", "Hollowmere"},
        {"Wei\u00df Elektro GmbH Root CA G2", "Wei\u00df Elektro GmbH"},
        {"Kowalczyk - Enterprise Certification Authority", "Kowalczyk"},
        {"localhost", ""},
        {"Test Authority", ""},
        {"Root CA", ""},
        {"", ""},
    };
    for (const auto& [name, organization] : cases) EXPECT_EQ(CaOrganizationName(name), organization) << name;
}

WindowsSource SampleSource();

// A browser's per-installation suffix is split from its handler's name.
TEST(WindowsRules, BrowserHandlerSuffix) {
    const struct {
        const char* progId;
        const char* handler;
        const char* suffix;
    } cases[] = {
        {"FirefoxURL-1F9A7C3E5B2D4A68", "FirefoxURL", "1F9A7C3E5B2D4A68"},
        {"FirefoxURL-308046B0AF4A39CB", "FirefoxURL", "308046B0AF4A39CB"},
        {"ChromeHTML.PBDQNIM5QSRFYDVOGGASN3E2FY", "ChromeHTML", "PBDQNIM5QSRFYDVOGGASN3E2FY"},
        {"ChromeHTML", "ChromeHTML", ""},
        {"MSEdgeHTM", "MSEdgeHTM", ""},
        {"IE.HTTPS", "IE.HTTPS", ""},
        {"Applications\\firefox.exe", "Applications\\firefox.exe", ""},
        {"Opera-GX", "Opera-GX", ""},
        {"Vivaldi-ABC!DEF12", "Vivaldi-ABC!DEF12", ""},
        {"-1F9A7C3E5B2D4A68", "-1F9A7C3E5B2D4A68", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        const auto [handler, suffix] = SplitHandlerSuffix(c.progId);
        EXPECT_EQ(handler, c.handler) << c.progId;
        EXPECT_EQ(suffix, c.suffix) << c.progId;
    }
    // The handler's name stays readable; its suffix is masked.
    WindowsSource in = SampleSource();
    in.httpsProgId = "FirefoxURL-1F9A7C3E5B2D4A68";
    Snapshot s;
    CollectWindowsFrom(s, in);
    const Table& os = TableOf(s, table::kWindowsOs);
    const TableRow* handler = RowNamed(os, "Default browser (https handler)");
    const TableRow* suffix = RowNamed(os, "Default browser handler suffix (per installation)");
    ASSERT_NE(handler, nullptr);
    ASSERT_NE(suffix, nullptr);
    EXPECT_EQ(handler->cells[1], "FirefoxURL");
    EXPECT_EQ(handler->sens, 0u);
    EXPECT_EQ(suffix->cells[1], "1F9A7C3E5B2D4A68");
    EXPECT_EQ(suffix->sens, 2u);
}

WindowsSource SampleSource() {
    WindowsSource in;
    in.productName = "Windows 10 Pro";
    in.editionId = "Professional";
    in.displayVersion = "23H2";
    in.currentBuildNumber = "22631";
    in.ubr = 4037;
    in.buildLabEx = "22621.1.amd64fre.ni_release.220506-1250";
    in.installationType = "Client";
    in.productId = "00330-80000-00000-AA123";
    in.buildGuid = "ffffffff-ffff-ffff-ffff-ffffffffffff";
    in.installDate = 1579046400;
    in.machineGuid = "7041f88f-4fd2-473d-977b-e1e57f945dca";
    in.machineSid = "S-1-5-21-11-22-33";
    in.susClientId = "a1b2c3d4-0000-1111-2222-333344445555";
    in.computerName = "desk-7";
    in.currentUserSid = "S-1-5-21-11-22-33-1001";
    in.userName = "alice";
    in.profiles = {{"S-1-5-18", 0, 0, 0, 0, 0, "%systemroot%\\system32\\config\\systemprofile", ""},
                   {"S-1-5-21-11-22-33-1000", 0x1d756dd, 0xa5caa000, 0, 0, 0x204, "C:\\Users\\admin", ""},
                   {"S-1-5-21-11-22-33-1001", 0, 0, 0, 0, 0, "C:\\Users\\alice", ""},
                   {"S-1-12-1-5-6-7-8", 0, 0, 0, 0, 0, "C:\\Users\\bob", ""}};
    LineageSource a, b, c;
    a.entryName = "Source OS (Updated on 6/1/2021 12:00:00)";
    a.productName = "Windows 10 Pro";
    a.displayVersion = "21H1";
    a.currentBuild = "19043";
    a.ubr = 985;
    a.installTime = 132670224000000000ULL;  // 2021-06-01 12:00 UTC
    b.entryName = "Source OS (Updated on 3/2/2019 08:30:00)";
    b.productName = "Windows 10 Pro";
    b.currentBuildNumber = "17763";
    b.installTime = 131959890000000000ULL;  // 2019-03-02 08:30 UTC
    b.buildGuid = "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}";
    c.entryName = "Source OS (Updated on 1/15/2020 00:00:00)";
    c.productName = "Windows 10 Pro";
    c.currentBuildNumber = "18363";
    c.installDate = 1579046400;  // 2020-01-15 00:00 UTC
    in.lineage = {a, b, c};
    CertStoreSource rdp;
    rdp.label = "Remote Desktop";
    rdp.remoteDesktop = true;
    rdp.opened = true;
    CertSource rc;
    rc.subject = rc.issuer = "desk-7";
    rc.selfSigned = true;
    rc.keyAlgorithmOid = "1.2.840.113549.1.1.1";
    rc.keyBits = 2048;
    rc.thumbprint = "AB12";
    rc.notBefore = 132670224000000000ULL;
    rc.notAfter = 131959890000000000ULL;
    rdp.certs = {rc};
    CertStoreSource my;
    my.label = "personal (My)";
    my.error = "error 2: File not found.";
    in.certStores = {rdp, my};
    in.systemId.error = "HRESULT 0x80040154";
    in.chid = "{aaaa}";
    in.chids = {"{aaaa}", "{bbbb}", "{cccc}"};
    in.tickCount = 5400000;
    in.locale = "en-US";
    in.timeZone = "W. Europe Standard Time";
    in.keyboardLayouts = {"00000409"};
    in.lastLoggedOnProvider = "{CB82EA12-9F71-446D-89E1-8D0924E1256E}";
    in.generalizationState = 7;
    in.bootId = 42;
    return in;
}

TEST(WindowsCollect, FactsTablesAndIdentifiers) {
    Snapshot s;
    s.deviceTitle = "stale";
    CollectWindowsFrom(s, SampleSource());
    EXPECT_EQ(GetFact(s, fact::kOsBuild), "22631");
    EXPECT_EQ(GetFact(s, fact::kOsText), "Windows 11 Pro 23H2 (build 22631.4037)");
    EXPECT_EQ(GetFact(s, fact::kWinMachineSid), "S-1-5-21-11-22-33");
    EXPECT_EQ(GetFact(s, fact::kWinSus), "1");
    EXPECT_EQ(GetFact(s, fact::kWinSystemIdSource), "unavailable");
    EXPECT_EQ(GetFact(s, fact::kWinBootId), "42");
    EXPECT_EQ(GetFact(s, fact::kWinLineageCount), "3");
    EXPECT_EQ(GetFact(s, fact::kWinFirstInstall), "2019-03-02 08:30:00 UTC");
    EXPECT_EQ(GetFact(s, fact::kWinRdpCerts), "1");
    EXPECT_EQ(s.deviceTitle, "");

    std::vector<std::string> order;
    for (const Table& t : s.tables) order.push_back(t.id);
    EXPECT_EQ(order, (std::vector<std::string>{"windows.os", "windows.ids", "windows.lineage", "windows.profiles",
                                               "windows.certs", "windows.chid"}));

    const Table& ids = TableOf(s, table::kWindowsIds);
    std::vector<std::string> names;
    for (const TableRow& r : ids.rows) names.push_back(r.cells[0]);
    // The all-F build GUID, absent values and the unknown hardware profile add nothing.
    EXPECT_EQ(names, (std::vector<std::string>{"Operating system", "Edition ID", "MachineGuid",
                                               "Machine SID (account domain)", "Product ID", "Installation time",
                                               "Windows Update client ID (SusClientId)", "Computer name",
                                               "Original installation time (oldest Source OS entry)",
                                               "SystemIdForPublisher"}));
    EXPECT_EQ(RowNamed(ids, "Operating system")->sens, 0u);
    EXPECT_EQ(RowNamed(ids, "MachineGuid")->sens, 2u);
    EXPECT_EQ(RowNamed(ids, "Installation time")->cells[1], "2020-01-15 00:00:00 UTC");
    EXPECT_EQ(RowNamed(ids, "SystemIdForPublisher")->cells,
              (std::vector<std::string>{"SystemIdForPublisher", "unavailable: HRESULT 0x80040154", "",
                                        "Windows.System.Profile.SystemIdentification"}));
    EXPECT_EQ(SignalOf(s, sig::kWinSystemId), nullptr);
    const Signal* guid = SignalOf(s, sig::kWinMachineGuid);
    ASSERT_NE(guid, nullptr);
    EXPECT_EQ(guid->cat, "Windows");
    EXPECT_EQ(guid->w, 30);
    EXPECT_TRUE(Sensitive(*guid));
    EXPECT_EQ(guid->scope, 2);
    EXPECT_EQ(SignalOf(s, "win.os")->scope, 4);
    EXPECT_EQ(SignalOf(s, "win.os")->value, "Windows 11 Pro 23H2 (build 22631.4037)");

    const Table& os = TableOf(s, table::kWindowsOs);
    EXPECT_EQ(RowNamed(os, "Product")->cells[1], "Windows 11 Pro");
    EXPECT_EQ(RowNamed(os, "Build")->cells[1], "22631.4037");
    EXPECT_EQ(RowNamed(os, "Uptime")->cells[1], "1.5 hours");
    EXPECT_EQ(RowNamed(os, "Process elevation")->cells[1], "[info] standard user - some identifiers need elevation");
    EXPECT_EQ(RowNamed(os, "Locale / time zone")->cells[1], "en-US / W. Europe Standard Time");
    EXPECT_EQ(RowNamed(os, "Keyboard layouts (KLID)")->cells[1], "00000409");
    EXPECT_EQ(RowNamed(os, "Last logon credential provider")->cells[1],
              "PIN (Windows Hello) - {CB82EA12-9F71-446D-89E1-8D0924E1256E}");
    EXPECT_EQ(RowNamed(os, "Sysprep generalization state")->cells[1], "7 (complete)");
    EXPECT_EQ(RowNamed(os, "Earlier Windows versions upgraded in place")->cells[1], "3");
    EXPECT_EQ(RowNamed(os, "User profiles")->cells[1], "3 user account(s), 1 service account(s)");
    EXPECT_EQ(os.rows.back().cells[0], "User profiles");
    EXPECT_EQ(RowNamed(os, "DNS domain"), nullptr);
    EXPECT_EQ(RowNamed(os, "Preferred UI languages"), nullptr);

    const Table& chid = TableOf(s, table::kWindowsChid);
    ASSERT_EQ(chid.rows.size(), 3u);
    EXPECT_EQ(chid.rows[0].cells, (std::vector<std::string>{"0", "{aaaa}"}));
    EXPECT_EQ(chid.rows[2].cells, (std::vector<std::string>{"2", "{cccc}"}));
    EXPECT_EQ(SignalOf(s, sig::kWinChid)->scope, 1);
}

TEST(WindowsCollect, LineageProfilesAndCertificates) {
    Snapshot s;
    CollectWindowsFrom(s, SampleSource());
    const Table& lineage = TableOf(s, table::kWindowsLineage);
    EXPECT_EQ(lineage.sens, 0x1E0u);
    ASSERT_EQ(lineage.rows.size(), 3u);
    // Oldest first; an InstallDate sorts by its FILETIME equivalent.
    EXPECT_EQ(lineage.rows[0].cells, (std::vector<std::string>{"1", "Windows 10 Pro", "17763.0", "", "",
                                                                "2019-03-02 08:30:00 UTC", "", "",
                                                                "Source OS (Updated on 3/2/2019 08:30:00)"}));
    EXPECT_EQ(lineage.rows[1].cells[5], "2020-01-15 00:00:00 UTC");
    EXPECT_EQ(lineage.rows[2].cells[1], "Windows 10 Pro 21H1");
    EXPECT_EQ(lineage.rows[2].cells[2], "19043.985");
    EXPECT_EQ(lineage.note.find("clean installation"), std::string::npos);

    const Table& profiles = TableOf(s, table::kWindowsProfiles);
    EXPECT_EQ(profiles.sens, 0x1Cu);  // the path, last loaded and last unloaded
    ASSERT_EQ(profiles.rows.size(), 3u);
    EXPECT_EQ(profiles.rows[0].cells, (std::vector<std::string>{"local account", "1000", "C:\\Users\\admin",
                                                                 "2021-06-01 12:00:00 UTC", "", "0x204"}));
    EXPECT_EQ(profiles.rows[1].cells[0], "current user");
    EXPECT_EQ(profiles.rows[1].cells[1], "1001");
    EXPECT_EQ(profiles.rows[2].cells[0], "Entra account");
    EXPECT_EQ(profiles.rows[2].cells[1], "");
    EXPECT_EQ(SignalOf(s, sig::kWinProfileRids)->value, "1000, 1001");

    const Table& certs = TableOf(s, table::kWindowsCerts);
    ASSERT_EQ(certs.rows.size(), 2u);
    EXPECT_EQ(certs.rows[0].cells,
              (std::vector<std::string>{"Remote Desktop", "AB12", "desk-7", "desk-7", "2021-06-01 12:00:00 UTC",
                                        "2019-03-02 08:30:00 UTC", "RSA 2048", "self-signed"}));
    // Made here: thumbprint, subject, issuer and the validity that dates it.
    EXPECT_EQ(certs.rows[0].sens, 62u);  // every thumbprint, the names and the validity
    EXPECT_EQ(certs.rows[1].cells[1], "[info] not readable: error 2: File not found.");
    const Signal* rdp = SignalOf(s, sig::kWinRdpCert);
    ASSERT_NE(rdp, nullptr);
    EXPECT_EQ(rdp->name, "Remote Desktop certificate (valid to 2019-03-02 08:30:00 UTC)");
    ASSERT_EQ(rdp->nameSaid.args.size(), 1u);
    EXPECT_EQ(rdp->nameSaid.args[0].role, Role::Time);  // the validity dates the installation
    EXPECT_TRUE(Sensitive(*rdp));  // generated per installation
    EXPECT_EQ(rdp->value, "AB12");
}

// A registered owner Windows or a maker writes is shown and masks nothing; a
// person's is masked.
TEST(WindowsCollect, DefaultRegisteredOwnerIsShown) {
    const std::pair<const char*, bool> cases[] = {{"Windows User", true}, {"Ana Kowalczyk", false}};
    for (const auto& [owner, shown] : cases) {
        WindowsSource in = SampleSource();
        in.registeredOwner = owner;
        Snapshot s;
        CollectWindowsFrom(s, in);
        std::string safe;
        WriteSnapshotJsonWithKey(safe, s, kReportSafe, Bytes(32, 5));
        EXPECT_EQ(safe.find(std::string("\"") + owner + "\"") != std::string::npos, shown) << owner;
    }
}

// The names the report's masking rules read: the computer, the DNS domain,
// the registered owner and organization, and every listed profile folder with
// the short form Windows answered.
TEST(WindowsCollect, NamesForTheSafeReport) {
    WindowsSource in = SampleSource();
    in.dnsDomain = "corp.hollowmere.example";
    in.registeredOwner = "Ana Kowalczyk";
    in.registeredOrganization = "Hollowmere GmbH";
    in.profiles[3].shortPath = "C:\\Users\\BOB~1";
    Snapshot s;
    CollectWindowsFrom(s, in);
    std::vector<std::pair<ValueKind, std::string>> named;
    for (const NamedValue& n : s.named) named.emplace_back(n.kind, n.value);
    const std::vector<std::pair<ValueKind, std::string>> expected = {
        {ValueKind::Computer, "desk-7"},
        {ValueKind::ProfileFolder, "C:\\Users\\admin"},
        {ValueKind::ProfileFolder, "C:\\Users\\alice"},
        {ValueKind::ProfileFolder, "C:\\Users\\bob"},
        {ValueKind::ProfileFolder, "C:\\Users\\BOB~1"},
        {ValueKind::DnsDomain, "corp.hollowmere.example"},
        {ValueKind::Owner, "Ana Kowalczyk"},
        {ValueKind::Organization, "Hollowmere GmbH"},
    };
    EXPECT_EQ(named, expected);
}

// The profile of a built-in account (known by its RID, named in Windows'
// language) names nobody: its folder is shown and masks nothing. A local
// account of the same name but another RID, RID 500 of a domain, or a
// built-in account renamed after a person before its first logon is a
// person's.
TEST(WindowsCollect, BuiltInAccountsProfilesByTheirRid) {
    const struct {
        const char* sid;
        const char* path;
        bool builtIn;
    } cases[] = {
        {"S-1-5-21-11-22-33-500", "C:\\Users\\Administrateur", true},
        {"S-1-5-21-11-22-33-501", "C:\\Users\\Gast", true},
        {"S-1-5-21-11-22-33-1002", "C:\\Users\\Administrateur.DESK-7", false},
        {"S-1-5-21-44-55-66-500", "C:\\Users\\Administrateur.CORP", false},
        {"S-1-5-21-11-22-33-500", "C:\\Users\\Lindqvist", false},
        {"S-1-5-21-11-22-33-500", "C:\\Users\\Administrator\\", true},
    };
    for (const auto& c : cases) {
        WindowsSource in = SampleSource();
        in.profiles = {{c.sid, 0, 0, 0, 0, 0, c.path, ""}};
        Snapshot s;
        CollectWindowsFrom(s, in);
        const Table& profiles = TableOf(s, table::kWindowsProfiles);
        ASSERT_EQ(profiles.rows.size(), 1u) << c.sid;
        EXPECT_EQ(profiles.rows[0].cells[2], c.path);
        EXPECT_EQ(CellRole(profiles, profiles.rows[0], 2), c.builtIn ? Role::Program : Role::Identifier) << c.sid;
        const bool named = std::any_of(s.named.begin(), s.named.end(), [&](const NamedValue& n) {
            return n.kind == ValueKind::ProfileFolder && n.value == c.path;
        });
        EXPECT_EQ(named, !c.builtIn) << c.sid;
        std::string safe;
        WriteSnapshotJsonWithKey(safe, s, kReportSafe, Bytes(32, 3));
        std::string quoted;
        for (char ch : std::string(c.path)) quoted += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
        EXPECT_EQ(safe.find("\"" + quoted + "\"") != std::string::npos, c.builtIn) << c.sid;
    }
}

// In the personal store: a local web server's self-signed "localhost" keeps its
// name and loses its thumbprint, whether it says it is a CA or not; a
// certificate an organization's CA issued loses its subject, issuer and
// thumbprint; a self-signed root CA loses its thumbprint, its validity and
// its organization's name, which is named as an organization; so does one
// whose subject is only an address or a person's name calling itself "CA". A
// maker's own root keeps its names and days.
TEST(WindowsCollect, PersonalStoreCertificatesInASafeReport) {
    WindowsSource in = SampleSource();
    CertStoreSource my;
    my.label = "personal (My)";
    my.opened = true;
    CertSource local, localCa, issued, root, mailCa, personCa, maker;
    local.subject = local.issuer = "localhost";
    local.selfSigned = true;
    local.thumbprint = "5C1D7A0E93B4F26881C0DE7F4A2B9E3061D5C8A4F7B2E9013C6A8D4F2B7E1C90";
    local.notBefore = 134414420730000000ULL;  // 2026-12-11 05:54:33 UTC, made here
    local.notAfter = 134729780730000000ULL;   // 2027-12-11 05:54:33 UTC
    localCa = local;
    localCa.basicConstraintsCa = true;
    localCa.thumbprint = "93E1B5C7D9F1A3B5C7D9E1F3A5B7C9D1E3F5A7B9C1D3E5F7A9B1C3D5E7F9A1B3";
    issued.subject = "ws-0451.hollowmere.example";
    issued.issuer = "Hollowmere Issuing CA 02";
    issued.basicConstraintsCa = false;
    issued.thumbprint = "A7E3C9F1046B2D85E9F0137C4A6B8D2E5F9013A7C4E6B8D0F2A4C6E8B0D2F4A6";
    root.subject = root.issuer = "Vellmoor Root Authority";
    root.selfSigned = true;
    root.basicConstraintsCa = true;
    root.thumbprint = "0B1C2D3E4F5061728394A5B6C7D8E9F00112233445566778899AABBCCDDEEFF0";
    root.notBefore = 130775904000000000ULL;  // 2015-06-01
    root.notAfter = 138665952000000000ULL;   // 2040-06-01
    // openssl req -x509 -subj "/emailAddress=..." -addext basicConstraints=critical,CA:TRUE
    mailCa = root;
    mailCa.subject = mailCa.issuer = "ana.lindqvist1986@example.org";
    mailCa.thumbprint = "1F2E3D4C5B6A79881F2E3D4C5B6A79881F2E3D4C5B6A79881F2E3D4C5B6A7988";
    mailCa.notBefore = 132539328000000000ULL;  // 2021-01-01
    mailCa.notAfter = 136482624000000000ULL;   // 2033-07-01
    personCa = mailCa;
    personCa.subject = personCa.issuer = "Bo Kjellberg CA";
    personCa.thumbprint = "2A3B4C5D6E7F80912A3B4C5D6E7F80912A3B4C5D6E7F80912A3B4C5D6E7F8091";
    personCa.notBefore = 133147584000000000ULL;  // 2022-12-06
    personCa.notAfter = 136303776000000000ULL;   // 2032-12-06
    maker = root;
    maker.subject = maker.issuer = "Microsoft Root Certificate Authority 2011";
    maker.thumbprint = "847DF6A78497943F27FC72EB93F9A637320A02B561D0A91B09E87A7807ED7C61";
    maker.notBefore = 129452256000000000ULL;  // 2011-03-22
    maker.notAfter = 137342304000000000ULL;   // 2036-03-22
    my.certs = {local, localCa, issued, root, mailCa, personCa, maker};
    in.certStores = {my};
    Snapshot s;
    CollectWindowsFrom(s, in);
    std::string safe;
    WriteSnapshotJsonWithKey(safe, s, kReportSafe, Bytes(32, 0x42));
    for (const char* hidden : {"5C1D7A0E93B4F268", "93E1B5C7D9F1A3B5", "A7E3C9F1046B2D85", "ws-0451",
                               "Hollowmere Issuing CA 02", "Vellmoor", "0B1C2D3E4F506172", "lindqvist", "Kjellberg",
                               "847DF6A78497943F"})
        EXPECT_EQ(safe.find(hidden), std::string::npos) << hidden;
    // The validity of a certificate made here or by a person, whatever it
    // calls itself, dates the installation; a maker's root's is its maker's.
    for (const char* hidden : {"2026-12-11", "2027-12-11", "2015-06-01", "2040-06-01", "2021-01-01", "2033-07-01",
                               "2022-12-06", "2032-12-06"})
        EXPECT_EQ(safe.find(hidden), std::string::npos) << hidden;
    for (const char* shown : {"\"localhost\"", "\"Microsoft Root Certificate Authority 2011\"", "\"2011-03-22\"",
                              "\"2036-03-22\""})
        EXPECT_NE(safe.find(shown), std::string::npos) << shown;
    const auto organizations = std::count_if(s.named.begin(), s.named.end(), [](const NamedValue& n) {
        return n.kind == ValueKind::Organization && n.value == "Vellmoor";
    });
    EXPECT_EQ(organizations, 1);
}

TEST(WindowsCollect, CleanInstallationAndMissingValues) {
    Snapshot s;
    WindowsSource in;
    in.currentBuild = "7601";
    in.installDate = 0;  // exists: the epoch
    CollectWindowsFrom(s, in);
    EXPECT_EQ(GetFact(s, fact::kOsBuild), "7601");
    EXPECT_EQ(GetFact(s, fact::kWinLineageCount), "0");
    EXPECT_FALSE(HasFact(s, fact::kWinFirstInstall));
    EXPECT_TRUE(HasFact(s, fact::kWinMachineSid));
    EXPECT_EQ(GetFact(s, fact::kWinSus), "0");
    EXPECT_EQ(GetFact(s, fact::kWinRdpCerts), "0");
    EXPECT_FALSE(HasFact(s, fact::kWinBootId));
    const Table& lineage = TableOf(s, table::kWindowsLineage);
    EXPECT_TRUE(lineage.rows.empty());
    EXPECT_TRUE(lineage.note.ends_with(" No earlier version recorded: a clean installation."));
    EXPECT_EQ(RowNamed(TableOf(s, table::kWindowsIds), "Installation time")->cells[1], "1970-01-01 00:00:00 UTC");
    EXPECT_EQ(SignalOf(s, sig::kWinChid), nullptr);

    Snapshot none;
    WindowsSource nothing;
    nothing.currentBuildNumber = "beta";
    CollectWindowsFrom(none, nothing);
    EXPECT_EQ(GetFact(none, fact::kOsBuild), "0");
    EXPECT_EQ(RowNamed(TableOf(none, table::kWindowsIds), "Installation time"), nullptr);
}

TEST(WindowsCollect, LineageWithoutTimeFirstWritesNoFirstInstall) {
    Snapshot s;
    WindowsSource in;
    LineageSource timed, untimed;
    timed.entryName = "Source OS (b)";
    timed.installDate = 1579046400;
    untimed.entryName = "Source OS (a)";
    in.lineage = {timed, untimed};
    CollectWindowsFrom(s, in);
    EXPECT_EQ(TableOf(s, table::kWindowsLineage).rows[0].cells[8], "Source OS (a)");
    EXPECT_EQ(GetFact(s, fact::kWinLineageCount), "2");
    EXPECT_FALSE(HasFact(s, fact::kWinFirstInstall));
}

TEST(WindowsCollect, SystemIdSources) {
    struct Case {
        int32_t source;
        const char* name;
        int32_t scope;
        int32_t weight;
        const char* group;
        const char* scopeWord;
    } cases[] = {
        {1, "TPM", 0, 20, "anchor", "per-unit"},
        {2, "UEFI", 0, 20, "os", "per-unit"},
        {3, "Registry", 2, 8, "os", "per-install"},
        {0, "None", 2, 8, "os", "per-install"},
    };
    for (const Case& c : cases) {
        Snapshot s;
        WindowsSource in;
        in.systemId.ok = true;
        in.systemId.source = c.source;
        in.systemId.idHex = "00112233445566778899AABBCCDDEEFF";
        CollectWindowsFrom(s, in);
        EXPECT_EQ(GetFact(s, fact::kWinSystemIdSource), c.name);
        const Signal* sig = SignalOf(s, sig::kWinSystemId);
        ASSERT_NE(sig, nullptr);
        EXPECT_EQ(sig->name, std::string("SystemIdForPublisher (") + c.name + ")");
        EXPECT_EQ(sig->value, "20AFF5A341131D58C07A76E062D895E0");
        EXPECT_EQ(sig->scope, c.scope);
        EXPECT_EQ(sig->w, c.weight);
        EXPECT_EQ(sig->group, c.group);
        EXPECT_TRUE(Sensitive(*sig));
        const Table& ids = TableOf(s, table::kWindowsIds);
        const TableRow& row = ids.rows.back();
        EXPECT_EQ(row.cells, (std::vector<std::string>{std::string("SystemIdForPublisher (source: ") + c.name + ")",
                                                       "20AFF5A341131D58C07A76E062D895E0", c.scopeWord,
                                                       "Windows.System.Profile.SystemIdentification"}));
        EXPECT_EQ(row.sens, 2u);
    }
}

}  // namespace
}  // namespace vorq
