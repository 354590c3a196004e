#include <gtest/gtest.h>

#include <algorithm>

#include "collectors/devices/devices.h"
#include "collectors/trust/drivers.h"

namespace vorq {
namespace {

// Behaves like ExpandEnvironmentStringsW with %SystemRoot% = `root`.
ExpandEnvFn FakeExpand(std::u16string root, int* calls = nullptr) {
    return [root, calls](const std::u16string& src, char16_t* dst, uint32_t capacity) -> uint32_t {
        if (calls) ++*calls;
        std::u16string out = src;
        const std::u16string var = u"%SystemRoot%";
        for (size_t p; (p = out.find(var)) != std::u16string::npos;) out.replace(p, var.size(), root);
        const uint32_t need = static_cast<uint32_t>(out.size() + 1);
        // Like the system call, a short buffer gets a truncated copy, not the expansion.
        const size_t n = std::min<size_t>(capacity, out.size());
        std::copy_n(out.begin(), n, dst);
        if (n < capacity) dst[n] = u'\0';
        return need;
    };
}

TEST(DriverImagePath, Rules) {
    const ExpandEnvFn expand = FakeExpand(u"C:\\Windows");
    struct Case {
        const char16_t* raw;
        const char16_t* want;
    } cases[] = {
        {u"", u"C:\\Windows\\System32\\drivers\\acpi.sys"},
        {u"\\SystemRoot\\System32\\drivers\\x.sys", u"C:\\Windows\\System32\\drivers\\x.sys"},
        {u"\\systemroot\\x.sys", u"C:\\Windows\\x.sys"},
        {u"\\??\\D:\\Tools\\y.sys", u"D:\\Tools\\y.sys"},
        {u"System32\\DRIVERS\\z.sys", u"C:\\Windows\\System32\\DRIVERS\\z.sys"},
        {u"syswow64\\w.sys", u"C:\\Windows\\syswow64\\w.sys"},
        {u"\\Windows\\v.sys", u"C:\\Windows\\v.sys"},
        {u"\"C:\\Program Files\\A\\a.sys\" -arg", u"C:\\Program Files\\A\\a.sys"},
        {u"\"C:\\open\\b.sys", u"C:\\open\\b.sys"},
        {u"\"", u"\""},  // a lone quote is not a quoted path
        {u"%SystemRoot%\\system32\\c.sys", u"C:\\Windows\\system32\\c.sys"},
        {u"C:\\plain\\d.sys", u"C:\\plain\\d.sys"},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ResolveDriverImagePath(cases[i].raw, u"acpi", u"C:\\Windows", expand), cases[i].want) << "case " << i;
}

TEST(DriverImagePath, LongExpansionIsRetriedAtTheSizeAskedFor) {
    const std::u16string root = u"C:\\" + std::u16string(600, u'r');
    int calls = 0;
    const std::u16string got = ResolveDriverImagePath(u"%SystemRoot%\\e.sys", u"e", u"C:\\Windows", FakeExpand(root, &calls));
    EXPECT_EQ(got, root + u"\\e.sys");
    EXPECT_EQ(calls, 2);
}

TEST(DriverImagePath, FailedExpansionKeepsThePath) {
    const ExpandEnvFn failing = [](const std::u16string&, char16_t*, uint32_t) -> uint32_t { return 0; };
    EXPECT_EQ(ExpandDriverPath(u"%X%\\f.sys", failing), u"%X%\\f.sys");
    // A need that keeps growing is given up on rather than used truncated.
    uint32_t grow = 600;
    const ExpandEnvFn growing = [&grow](const std::u16string&, char16_t*, uint32_t) -> uint32_t { return grow += 100; };
    EXPECT_EQ(ExpandDriverPath(u"%Y%\\g.sys", growing), u"%Y%\\g.sys");
}

TEST(CompanyName, Normalisation) {
    struct Case {
        const char* text;
        const char* key;
    } cases[] = {
        {"Intel Corporation", "intel"},
        {"INTEL CORP.", "intel"},
        {"Realtek Semiconductor Corp.", "realteksemiconductor"},
        {"Acme, Inc.", "acme"},
        {"Foo GmbH", "foo"},
        {"Bar Co", "bar"},
        {"Xco", "xco"},              // fewer than three characters would remain
        {"Abcco", "abc"},            // exactly three remain
        {"Big Corp Inc", "bigcorp"},  // only one suffix
        {"Über Ltd", "ber"},          // non-ASCII dropped
        {"", ""},
        // Nothing ASCII left: the name itself, so two such publishers stay apart.
        {"\xE6\xA0\xAA\xE5\xBC\x8F\xE4\xBC\x9A\xE7\xA4\xBE\xE3\x82\xA2", "\xE6\xA0\xAA\xE5\xBC\x8F\xE4\xBC\x9A\xE7\xA4\xBE\xE3\x82\xA2"},
        {"\xE6\xA0\xAA\xE5\xBC\x8F\xE4\xBC\x9A\xE7\xA4\xBE\xE3\x82\xA4", "\xE6\xA0\xAA\xE5\xBC\x8F\xE4\xBC\x9A\xE7\xA4\xBE\xE3\x82\xA4"},
        {"--", "--"},
    };
    for (const Case& c : cases) EXPECT_EQ(NormalizeCompanyName(c.text), c.key) << c.text;
}

SignerInfo Signer(std::string name, std::vector<std::string> ekus = {}) {
    return SignerInfo{true, name, "Root of " + name, std::move(ekus)};
}

TEST(SignatureClass, FromVerifiedSigner) {
    struct Case {
        SignerInfo signer;
        const char* cls;
    } cases[] = {
        {Signer("Microsoft Windows"), "Inbox (Windows component)"},
        {Signer("microsoft windows publisher"), "Inbox (Windows component)"},
        {Signer("MICROSOFT WINDOWS EARLY LAUNCH Anti-malware Publisher"), "Inbox (Windows component)"},
        {Signer("Microsoft Windows Hardware Compatibility Publisher",
                {"1.3.6.1.4.1.311.10.3.5", "1.3.6.1.4.1.311.10.3.5.1"}),
         "Attestation-signed"},
        {Signer("Microsoft Windows Hardware Compatibility Publisher", {"1.3.6.1.4.1.311.10.3.5"}), "WHQL"},
        {Signer("Microsoft Windows Hardware Compatibility Publisher", {"1.3.6.1.5.5.7.3.3"}),
         "Microsoft hardware-signed"},
        {Signer("microsoft windows hardware compatibility publisher"), "Microsoft-signed"},  // exact name only
        {Signer("Contoso for MICROSOFT partners"), "Microsoft-signed"},
        {Signer("Contoso Ltd"), "Third-party Authenticode"},
        {SignerInfo{}, "Third-party Authenticode"},
    };
    for (const Case& c : cases) {
        DriverRow row;
        row.detail = "stale";
        ClassifySignature(row, 0, c.signer, "unused");
        EXPECT_EQ(row.signatureClass, c.cls) << c.signer.signer;
        EXPECT_EQ(row.detail, "");
        EXPECT_EQ(row.signer, c.signer.signer);
        EXPECT_EQ(row.chainRoot, c.signer.chainRoot);
    }
}

TEST(SignatureClass, FromFailedVerification) {
    struct Case {
        uint32_t result;
        const char* cls;
    } cases[] = {
        {0x80096010, "Invalid (hash mismatch)"},
        {0x800B0001, "Unsigned"},
        {0x800B0003, "Unsigned"},
        {0x800B0100, "Unsigned"},
        {0x800B0101, "Valid chain, expired certificate"},
        {0x800B0109, "Untrusted root (test / self-signed)"},
        {0x800B010A, "Untrusted root (test / self-signed)"},
        {0x800B010D, "Untrusted root (test / self-signed)"},
        {0x800B010C, "Revoked"},
        {0x800B0111, "Explicitly distrusted"},
        {0x80092003, "Invalid signature"},
    };
    for (const Case& c : cases) {
        DriverRow row;
        ClassifySignature(row, c.result, Signer("Microsoft Windows"), "HRESULT text");
        EXPECT_EQ(row.signatureClass, c.cls) << std::hex << c.result;
        EXPECT_EQ(row.result, c.result);
        EXPECT_EQ(row.detail, "HRESULT text");
    }
}

// Which route decides: a verifying catalog, else the embedded signature, else
// (embedded failed too) the catalog that was found.
TEST(SignatureClass, CatalogOrEmbedded) {
    const SignatureVerdict catalogOk{0, Signer("Microsoft Windows")};
    const SignatureVerdict catalogRevoked{0x800B010C, Signer("Revoked Vendor")};
    const SignatureVerdict embeddedOk{0, Signer("Contoso Ltd")};
    const SignatureVerdict embeddedUnsigned{0x800B0100, SignerInfo{}};
    struct Case {
        std::optional<SignatureVerdict> catalog;
        SignatureVerdict embedded;
        bool embeddedAsked;
        const char* cls;
        const char* signer;
        bool viaCatalog;
        uint32_t result;
    } cases[] = {
        {catalogOk, embeddedUnsigned, false, "Inbox (Windows component)", "Microsoft Windows", true, 0},
        {std::nullopt, embeddedOk, true, "Third-party Authenticode", "Contoso Ltd", false, 0},
        {catalogRevoked, embeddedOk, true, "Third-party Authenticode", "Contoso Ltd", false, 0},
        {catalogRevoked, embeddedUnsigned, true, "Revoked", "Revoked Vendor", true, 0x800B010C},
        {std::nullopt, embeddedUnsigned, true, "Unsigned", "", false, 0x800B0100},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        DriverRow row;
        bool asked = false;
        DecideSignature(
            row, c.catalog,
            [&] {
                asked = true;
                return c.embedded;
            },
            [](uint32_t r) { return "text of " + std::to_string(r); });
        EXPECT_EQ(asked, c.embeddedAsked) << "case " << i;
        EXPECT_EQ(row.signatureClass, c.cls) << "case " << i;
        EXPECT_EQ(row.signer, c.signer) << "case " << i;
        EXPECT_EQ(row.viaCatalog, c.viaCatalog) << "case " << i;
        EXPECT_EQ(row.result, c.result) << "case " << i;
        EXPECT_EQ(row.detail, c.result ? "text of " + std::to_string(c.result) : "") << "case " << i;
    }
}

TEST(SignatureClass, RankAndTag) {
    struct Case {
        const char* cls;
        int rank;
        const char* tag;
    } cases[] = {
        {"Inbox (Windows component)", 6, "[ok] "},  {"WHQL", 5, "[ok] "},
        {"Microsoft-signed", 5, "[ok] "},           {"Microsoft hardware-signed", 5, "[ok] "},
        {"Attestation-signed", 4, "[info] "},       {"Third-party Authenticode", 3, "[info] "},
        {"Image not found", 2, "[info] "},          {"Valid chain, expired certificate", 0, "[info] "},
        {"Unsigned", 0, "[bad] "},                  {"Untrusted root (test / self-signed)", 0, "[bad] "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RankSignatureClass(c.cls), c.rank) << c.cls;
        EXPECT_STREQ(SignatureClassTag(c.cls), c.tag) << c.cls;
    }
}

TEST(DriverPool, ThreadCount) {
    EXPECT_EQ(DriverPoolThreads(0), 4u);
    EXPECT_EQ(DriverPoolThreads(1), 1u);
    EXPECT_EQ(DriverPoolThreads(6), 6u);
    EXPECT_EQ(DriverPoolThreads(64), 8u);
}

DriverRow Row(std::string name, std::string cls, std::string company = "", std::string signer = "") {
    DriverRow r;
    r.name = std::move(name);
    r.displayName = r.name + " display";
    r.signatureClass = std::move(cls);
    r.company = std::move(company);
    r.signer = std::move(signer);
    r.imagePath = "C:\\Windows\\System32\\drivers\\" + r.name + ".sys";
    return r;
}

const Table& Find(const Snapshot& s, const char* id) {
    const Table* t = FindTable(s, id);
    EXPECT_NE(t, nullptr) << id;
    static const Table empty;
    return t ? *t : empty;
}

TEST(DriversCollect, NoDriversGivesEmptyTablesAndZeroFacts) {
    Snapshot s;
    CollectDriversFrom(s, {});
    ASSERT_EQ(s.tables.size(), 3u);
    EXPECT_EQ(s.tables[0].id, "drivers.summary");
    EXPECT_EQ(s.tables[1].id, "drivers.vendors");
    EXPECT_EQ(s.tables[2].id, "drivers");
    for (const Table& t : s.tables) EXPECT_TRUE(t.rows.empty()) << t.id;
    for (const char* k : {fact::kDrvTotal, fact::kDrvInbox, fact::kDrvWhql, fact::kDrvAttest, fact::kDrvAuthenticode,
                          fact::kDrvUntrusted, fact::kDrvUnsigned, fact::kDrvNotFound})
        EXPECT_EQ(GetFact(s, k), "0") << k;
}

TEST(DriversCollect, EnumerationFailureIsOnlyANote) {
    Snapshot s;
    CollectDriversFrom(s, {"OpenSCManager failed: error 5: Access is denied.", {}});
    EXPECT_TRUE(s.tables.empty());
    EXPECT_TRUE(s.facts.empty());
    EXPECT_EQ(s.notes, (std::vector<std::string>{"Kernel drivers: OpenSCManager failed: error 5: Access is denied."}));
    EXPECT_TRUE(SourceFailed(s, kDriversOrigin));
}

TEST(DriversCollect, RowsSummaryVendorsAndFacts) {
    Snapshot s;
    SetFact(s, std::string(fact::kSvcDevPrefix) + "netdrv", "2");
    DriverRow bad = Row("zbad", "Unsigned", "Contoso Ltd");
    bad.detail = "HRESULT 0x800B0100: No signature was present in the subject.";
    DriverRow inbox = Row("acpi", "Inbox (Windows component)", "Microsoft Corporation", "Microsoft Windows");
    inbox.detail = "kept but not shown";
    inbox.viaCatalog = true;
    inbox.description = "ACPI Driver";
    DriverRow net = Row("NetDrv", "WHQL", "", "Contoso, Ltd.");
    DriverRow gone = Row("gone", "Image not found", "Fabrikam");
    gone.imageFound = false;
    DriverRow legacy = Row("old", "Valid chain, expired certificate", "CONTOSO LTD");
    DriverRow att = Row("att", "Attestation-signed", "Microsoft Corp.");
    CollectDriversFrom(s, {"", {inbox, bad, net, gone, legacy, att}});

    const Table& d = Find(s, "drivers");
    std::vector<std::string> order;
    for (const TableRow& r : d.rows) order.push_back(r.cells[col::drivers::kDriver]);
    EXPECT_EQ(order, (std::vector<std::string>{"old", "zbad", "gone", "att", "NetDrv", "acpi"}));
    EXPECT_EQ(d.rows[1].cells[col::drivers::kSignatureClass],
              "[bad] Unsigned - HRESULT 0x800B0100: No signature was present in the subject.");
    EXPECT_EQ(d.rows[5].cells,
              (std::vector<std::string>{"acpi", "ACPI Driver", "Microsoft Corporation", "", "[ok] Inbox (Windows component)",
                                        "Microsoft Windows", "", "catalog", "",
                                        "C:\\Windows\\System32\\drivers\\acpi.sys"}));
    EXPECT_EQ(d.rows[4].cells[col::drivers::kDescription], "NetDrv display");
    EXPECT_EQ(d.rows[4].cells[col::drivers::kPnpDevices], "2");  // looked up by the lower-case name
    EXPECT_EQ(d.rows[4].cells[col::drivers::kVia], "embedded");
    EXPECT_EQ(d.rows[2].cells[col::drivers::kVia], "-");

    const Table& sum = Find(s, "drivers.summary");
    std::vector<std::vector<std::string>> sumRows;
    for (const TableRow& r : sum.rows) sumRows.push_back(r.cells);
    EXPECT_EQ(sumRows, (std::vector<std::vector<std::string>>{
                           {"[bad] Unsigned", "1", "no signature - loads only with test signing or a disabled code integrity policy"},
                           {"[info] Valid chain, expired certificate", "1", "old vendor signature without timestamp"},
                           {"[info] Attestation-signed", "1", "Microsoft-signed after attestation, not HLK-tested"},
                           {"[ok] WHQL", "1", "HLK-tested, Windows Hardware Compatibility Program"},
                           {"[ok] Inbox (Windows component)", "1", "part of Windows"},
                           {"[info] Image not found", "1", "image path not resolvable from user mode"},
                       }));

    // Contoso: "Contoso Ltd" (zbad), "CONTOSO LTD" (old), "Contoso, Ltd." (signer of NetDrv) are one
    // publisher, named after the first in sorted order ("old").
    const Table& v = Find(s, "drivers.vendors");
    std::vector<std::vector<std::string>> vendorRows;
    for (const TableRow& r : v.rows) vendorRows.push_back(r.cells);
    EXPECT_EQ(vendorRows, (std::vector<std::vector<std::string>>{
                              {"CONTOSO LTD", "3", "1", "0", "1", "1", "[bad] 33%"},
                              {"Microsoft Corp.", "2", "1", "1", "0", "0", "[info] 50%"},
                              {"Fabrikam", "1", "0", "0", "0", "0", "[info] 0%"},
                          }));

    EXPECT_EQ(GetFact(s, fact::kDrvTotal), "6");
    EXPECT_EQ(GetFact(s, fact::kDrvInbox), "1");
    EXPECT_EQ(GetFact(s, fact::kDrvWhql), "1");
    EXPECT_EQ(GetFact(s, fact::kDrvAttest), "1");
    EXPECT_EQ(GetFact(s, fact::kDrvAuthenticode), "1");
    EXPECT_EQ(GetFact(s, fact::kDrvUntrusted), "0");
    EXPECT_EQ(GetFact(s, fact::kDrvUnsigned), "1");
    EXPECT_EQ(GetFact(s, fact::kDrvNotFound), "1");
}

TEST(DriversCollect, SinglePublisherShare) {
    Snapshot s;
    CollectDriversFrom(s, {"", {Row("a", "WHQL", "Solo"), Row("b", "Third-party Authenticode", "", "")}});
    const Table& v = Find(s, "drivers.vendors");
    ASSERT_EQ(v.rows.size(), 2u);
    EXPECT_EQ(v.rows[0].cells[col::drivers_vendors::kPublisher], "(unknown)");
    EXPECT_EQ(v.rows[0].cells[col::drivers_vendors::kCertifiedShare], "[info] 0%");
    EXPECT_EQ(v.rows[1].cells[col::drivers_vendors::kCertifiedShare], "[ok] 100%");
}

}  // namespace
}  // namespace vorq
