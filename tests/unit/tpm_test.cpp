#include <gtest/gtest.h>

#include "collectors/trust/tpm.h"
#include "collectors/trust/tpm_queries.h"
#include "tests/unit/tpm_fake.h"

namespace vorq {
namespace {

std::vector<std::vector<std::string>> Rows(const Snapshot& s, const char* id) {
    std::vector<std::vector<std::string>> rows;
    if (const Table* t = FindTable(s, id))
        for (const TableRow& r : t->rows) rows.push_back(r.cells);
    return rows;
}

std::string Row(const Snapshot& s, const std::string& label) {
    for (const auto& r : Rows(s, table::kTpmDevice))
        if (r[col::tpm_device::kProperty] == label) return r[col::tpm_device::kValue];
    return "<none>";
}

std::vector<std::string> Labels(const Snapshot& s) {
    std::vector<std::string> labels;
    for (const auto& r : Rows(s, table::kTpmDevice)) labels.push_back(r[0]);
    return labels;
}

Signal FindSignal(const Snapshot& s, const char* key) {
    for (const Signal& g : s.signals)
        if (g.key == key) return g;
    ADD_FAILURE() << "no signal " << key;
    return {};
}

std::vector<std::string> SignalKeys(const Snapshot& s) {
    std::vector<std::string> keys;
    for (const Signal& g : s.signals) keys.push_back(g.key);
    return keys;
}

TpmKeyResult NoKey() {
    TpmKeyResult r;
    r.providerOk = true;
    r.openStatus = kNteBadKeyset;
    r.message = "No TPM-bound key has been created on this account.";
    return r;
}

// A TPM 2.0 answering through `transport`; the key status is `key`.
Snapshot Scan(TpmTransport transport, TpmKeyResult key = NoKey()) {
    TpmSource src;
    src.deviceResult = 0;
    src.device.tpmVersion = 2;
    src.device.interfaceType = 1;
    src.openContext = [] { return 0u; };
    src.transport = std::move(transport);
    src.keyStatus = [key] { return key; };
    Snapshot s;
    CollectTpmFrom(s, src);
    return s;
}

Snapshot Scan(test::TpmReplay& tpm, TpmKeyResult key = NoKey()) { return Scan(tpm.Transport(), key); }

TEST(TpmCollect, WithoutATpm2ContextOnlyTheDeviceTable) {
    struct Case {
        uint32_t rc;
        uint32_t version;
        uint32_t context;
        std::vector<std::vector<std::string>> rows;
        std::map<std::string, std::string> facts;
    } cases[] = {
        {kTbsTpmNotFound, 0, 0,
         {{"Present", "[info] No TPM was reported by TBS (0x8028400F)"}},
         {{"tpm.status", "unavailable"}, {"tpm.device_tbs_rc", "0x8028400F"}, {"tpm.device_status", "absent"},
          {"tpm.capability_status", "unavailable"}, {"tpm.present", "0"}}},
        {0x80284008, 0, 0,
         {{"Present", "[info] TPM presence could not be determined by TBS (0x80284008)"}},
         {{"tpm.status", "error"}, {"tpm.device_tbs_rc", "0x80284008"}, {"tpm.device_status", "error"},
          {"tpm.capability_status", "unavailable"}, {"tpm.present", "0"}}},
        {0, 1, 0,
         {{"Present", "[warn] TPM 1.2"}, {"Interface (TBS)", "3"}},
         {{"tpm.status", "unavailable"}, {"tpm.device_tbs_rc", "0x00000000"}, {"tpm.device_status", "complete"},
          {"tpm.capability_status", "unavailable"}, {"tpm.present", "1"}, {"tpm.version", "1.2"}, {"tpm.iftype", "3"}}},
        {0, 7, 0,
         {{"Present", "[warn] unknown version"}, {"Interface (TBS)", "3"}},
         {{"tpm.status", "unavailable"}, {"tpm.device_tbs_rc", "0x00000000"}, {"tpm.device_status", "complete"},
          {"tpm.capability_status", "unavailable"}, {"tpm.present", "1"}, {"tpm.version", "unknown"}, {"tpm.iftype", "3"}}},
        {0, 2, 0x80284004,
         {{"Present", "[ok] TPM 2.0"}, {"Interface (TBS)", "3"}, {"TBS context", "[bad] Tbsi_Context_Create failed: 0x80284004"}},
         {{"tpm.status", "error"}, {"tpm.device_tbs_rc", "0x00000000"}, {"tpm.device_status", "complete"},
          {"tpm.capability_status", "error"}, {"tpm.present", "1"}, {"tpm.version", "2.0"}, {"tpm.iftype", "3"},
          {"tpm.context_tbs_rc", "0x80284004"}}},
    };
    for (const Case& c : cases) {
        TpmSource src;
        src.deviceResult = c.rc;
        src.device.tpmVersion = c.version;
        src.device.interfaceType = 3;
        int opens = 0;
        src.openContext = [&] {
            ++opens;
            return c.context;
        };
        src.transport = [](const TpmBytes&, uint8_t*, uint32_t&) -> uint32_t {
            ADD_FAILURE() << "no command may be sent";
            return 0;
        };
        src.keyStatus = [] {
            ADD_FAILURE() << "no key action without a TPM 2.0 context";
            return TpmKeyResult{};
        };
        Snapshot s;
        CollectTpmFrom(s, src);
        ASSERT_EQ(s.tables.size(), 1u) << c.rc;
        EXPECT_EQ(s.tables[0].id, "tpm.device");
        EXPECT_EQ(s.tables[0].tab, "tpm");
        EXPECT_EQ(s.tables[0].columns, (std::vector<std::string>{"Property", "Value"}));
        EXPECT_EQ(Rows(s, table::kTpmDevice), c.rows) << c.rc;
        EXPECT_EQ(s.facts, c.facts) << c.rc;
        EXPECT_TRUE(s.signals.empty());
        EXPECT_EQ(opens, c.version == 2 ? 1 : 0);
    }
}

TEST(TpmCollect, FreshSimulatorHasNoEndorsementKey) {
    test::TpmReplay tpm("tpm/swtpm-fresh.txt");
    const Snapshot s = Scan(tpm);
    EXPECT_EQ(Labels(s), (std::vector<std::string>{"Present", "Interface (TBS)", "Manufacturer", "Vendor string",
                                                    "Firmware version", "Specification",
                                                    "Owner / endorsement / lockout auth set", "EPS generated by TPM",
                                                    "In dictionary-attack lockout",
                                                    "Hierarchies enabled (platform / storage / endorsement)",
                                                    "FIPS 140-2 mode", "Active PCR banks", "Persistent objects",
                                                    "Defined NV indices", "Endorsement key (RSA, 0x81010001)",
                                                    "Endorsement key (ECC, 0x81010002)", "Measured boot log",
                                                    "TPM-bound application key"}));
    EXPECT_EQ(Row(s, "Manufacturer"), "IBM");
    EXPECT_EQ(Row(s, "Vendor string"), "SWTPM");
    EXPECT_EQ(Row(s, "Firmware version"), "8217.4131.22.13878");
    EXPECT_EQ(Row(s, "Specification"), "2.0 rev 1.64 (2021, day 75)");
    EXPECT_EQ(Row(s, "Owner / endorsement / lockout auth set"), "no / no / no");
    EXPECT_EQ(Row(s, "In dictionary-attack lockout"), "no");
    {
        // TPM_PT_PERMANENT with only inLockout (bit 9) set.
        const TpmBytes variablePage = GetCapabilityCommand(6, 0x200, 64);
        TpmBytes reply = test::TpmReplay::ReplyTo("tpm/swtpm-fresh.txt", variablePage);
        ASSERT_GE(reply.size(), 27u);
        ASSERT_EQ(HexEncode(TpmBytes(reply.begin() + 19, reply.begin() + 23)), "00000200");
        const TpmBytes lockedOut = {0, 0, 2, 0};
        std::copy(lockedOut.begin(), lockedOut.end(), reply.begin() + 23);
        test::TpmReplay locked("tpm/swtpm-fresh.txt");
        locked.Set(variablePage, reply);
        const Snapshot l = Scan(locked);
        EXPECT_EQ(Row(l, "In dictionary-attack lockout"), "[warn] yes");
        EXPECT_EQ(Row(l, "Owner / endorsement / lockout auth set"), "no / no / no");
        EXPECT_EQ(Row(l, "EPS generated by TPM"), "no");
    }
    EXPECT_EQ(Row(s, "Hierarchies enabled (platform / storage / endorsement)"), "yes / yes / yes");
    EXPECT_EQ(Row(s, "Persistent objects"), "(none)");
    EXPECT_EQ(Row(s, "Defined NV indices"), "(none)");
    EXPECT_EQ(Row(s, "Endorsement key (RSA, 0x81010001)"), "[info] TPM response code 0x0000018B");
    EXPECT_EQ(Row(s, "Endorsement key (ECC, 0x81010002)"), "[info] TPM response code 0x0000018B");
    EXPECT_EQ(Row(s, "TPM-bound application key"), "not created - optional, use the panel above");
    EXPECT_EQ(SignalKeys(s), (std::vector<std::string>{"tpm.pcr0", "tpm.pcr7", "tpm.manufacturer", "tpm.firmware"}));
    EXPECT_EQ(FindSignal(s, sig::kTpmManufacturer).value, "IBM (SWTPM)");
    EXPECT_EQ(FindSignal(s, sig::kTpmManufacturer).scope, 1);
    EXPECT_EQ(FindSignal(s, sig::kTpmFirmware).value, "8217.4131.22.13878");
    EXPECT_EQ(FindSignal(s, sig::kTpmFirmware).scope, 4);
    EXPECT_EQ(FindSignal(s, sig::kTpmPcr0).value, std::string(64, '0'));
    EXPECT_EQ(Row(s, "Measured boot log"), "[info] not available");
    const std::map<std::string, std::string> want = {
        {"tpm.status", "available"}, {"tpm.device_tbs_rc", "0x00000000"}, {"tpm.device_status", "complete"},
        {"tpm.present", "1"}, {"tpm.version", "2.0"}, {"tpm.iftype", "1"}, {"tpm.capability_status", "complete"},
        {"tpm.manufacturer", "IBM"}, {"tpm.vendor_string", "SWTPM"}, {"tpm.ek", "0"}, {"tpm.app_key", "absent"},
        {"tpm.log_parse", "unavailable"}, {"tpm.pcr_read_count", "24"}, {"tpm.log", "unavailable"},
        {"tpm.log_match", "0/0"}, {"tpm.ek_certs", "0"}, {"tpm.ek_bound", "0"}, {"tpm.ek_unbound", "0"},
        {"tpm.ek_parse_errors", "0"}, {"tpm.ek_not_comparable", "0"}, {"tpm.nv_skipped", "0"}, {"tpm.ek_cert_sha1s", ""},
        {"tpm.command_tbs_rc", "0x00000000"}, {"tpm.command_tpm_rc", "0x0000018B"},
        {"tpm.command_reply_status", "complete"}};
    EXPECT_EQ(s.facts, want);
    std::vector<std::string> ids;
    for (const Table& t : s.tables) ids.push_back(t.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"tpm.device", "tpm.ekcerts", "tpm.pcrs", "tpm.windows", "tpm.props",
                                              "tpm.log"}));
    EXPECT_EQ(FindTable(s, table::kTpmProps)->title, "TPM properties (TPM2_GetCapability)");
    EXPECT_EQ(FindTable(s, table::kTpmPcrs)->title, "PCR values (SHA256 bank)");
    EXPECT_EQ(Rows(s, table::kTpmPcrs).size(), 24u);
    EXPECT_EQ(Rows(s, table::kTpmPcrs)[7],
              (std::vector<std::string>{"7", std::string(64, '0'), "Secure Boot policy", "0", "-"}));
    EXPECT_TRUE(Rows(s, table::kTpmLog).empty());
    EXPECT_FALSE(FindTable(s, table::kTpmLog)->safe);
    const auto props = Rows(s, table::kTpmProps);
    ASSERT_FALSE(props.empty());
    EXPECT_EQ(props[0], (std::vector<std::string>{"0x100", "FAMILY_INDICATOR", "0x322E3000 (841887744)", "2.0"}));
    EXPECT_TRUE(std::is_sorted(props.begin(), props.end(),
                               [](const auto& a, const auto& b) { return std::stoul(a[0], nullptr, 16) < std::stoul(b[0], nullptr, 16); }));
    EXPECT_EQ(props.back()[0].substr(0, 3), "0x2");
}

TEST(TpmCollect, ProvisionedSimulatorShowsTheEndorsementKey) {
    test::TpmReplay tpm("tpm/swtpm-provisioned.txt");
    const Snapshot s = Scan(tpm);
    EXPECT_EQ(Row(s, "Persistent objects"), "0x81010001");
    EXPECT_EQ(Row(s, "Defined NV indices"), "0x01C00002");
    const std::string ek = Row(s, "Endorsement key (RSA, 0x81010001)");
    EXPECT_EQ(ek.rfind("RSA 2048, name alg SHA256; TPMT_PUBLIC SHA-256 ", 0), 0u) << ek;
    const Table* device = FindTable(s, table::kTpmDevice);
    for (const TableRow& r : device->rows) EXPECT_EQ(r.sens, r.cells[0] == "Endorsement key (RSA, 0x81010001)" ? 2u : 0u);
    EXPECT_EQ(GetFact(s, fact::kTpmEk), "1");
    EXPECT_EQ(SignalKeys(s),
              (std::vector<std::string>{"tpm.ek_rsa", "tpm.ek_cert", "tpm.ek_issuer", "tpm.pcr0", "tpm.pcr7",
                                        "tpm.manufacturer", "tpm.firmware"}));
    EXPECT_EQ(GetFact(s, fact::kTpmEkBound), "1");
    ASSERT_EQ(Rows(s, table::kTpmEkCerts).size(), 1u);
    EXPECT_EQ(Rows(s, table::kTpmEkCerts)[0][5], "[ok] public key matches the TPM EK");
    const Signal& g = s.signals[0];
    EXPECT_EQ(g.value, ek.substr(ek.size() - 32));
    EXPECT_EQ(g.name, "Endorsement key (RSA, 0x81010001)");
    EXPECT_EQ(g.w, 35);
    EXPECT_TRUE(Sensitive(g));
    EXPECT_EQ(g.scope, 0);
    EXPECT_EQ(g.group, "anchor");
    EXPECT_EQ(g.src, "TBS TPM2_ReadPublic");
}

TEST(TpmCollect, NvIndexReadInTinyPiecesStaysWithinABoundedNumberOfCommands) {
    // The simulator, except that every EK certificate slot is a readable
    // index of 46,510 bytes whose reads each return 2 bytes of a certificate.
    test::TpmReplay tpm("tpm/swtpm-provisioned.txt");
    const TpmTransport replay = tpm.Transport();
    const std::vector<uint8_t> cert = test::ReadFixture("tpm/ek-cert.der");
    size_t commands = 0;
    const TpmTransport transport = [&](const TpmBytes& cmd, uint8_t* reply, uint32_t& len) -> uint32_t {
        ++commands;
        const uint32_t code = static_cast<uint32_t>(cmd[6]) << 24 | cmd[7] << 16 | cmd[8] << 8 | cmd[9];
        TpmBytes answer;
        if (code == kTpmCcNvReadPublic) {
            TpmBytes p;
            PutU16(p, 14);
            p.insert(p.end(), cmd.begin() + 10, cmd.begin() + 14);
            PutU16(p, kTpmAlgSha256);
            PutU32(p, 0x22050002);
            PutU16(p, 0);
            PutU16(p, 46510);
            PutU16(p, 0);
            answer = test::TpmReply(0, p);
        } else if (code == kTpmCcNvRead) {
            const size_t offset = static_cast<size_t>(cmd[cmd.size() - 2]) << 8 | cmd[cmd.size() - 1];
            TpmBytes p;
            PutU32(p, 4);
            PutU16(p, 2);
            for (size_t i = offset; i < offset + 2; ++i) PutU8(p, i < cert.size() ? cert[i] : 0xFF);
            PutU16(p, 0);
            PutU8(p, 1);
            PutU16(p, 0);
            answer = test::TpmReply(0, p, kTpmStSessions);
        } else {
            return replay(cmd, reply, len);
        }
        std::copy(answer.begin(), answer.end(), reply);
        len = static_cast<uint32_t>(answer.size());
        return 0;
    };
    const Snapshot s = Scan(transport);
    // About forty commands besides the slots; each slot reads at most 91 chunks of 512 bytes plus the slack.
    EXPECT_LE(commands, 1000u);
    const auto rows = Rows(s, table::kTpmEkCerts);
    ASSERT_EQ(rows.size(), 9u);
    for (const auto& r : rows) {
        EXPECT_EQ(r[2], "46510") << r[1];
        EXPECT_EQ(r[3], "Malformed or unavailable TPM response") << r[1];
    }
    EXPECT_EQ(GetFact(s, fact::kTpmEkCerts), "0");
    EXPECT_EQ(GetFact(s, fact::kTpmCommandReplyStatus), "malformed");
}

TEST(TpmCollect, MalformedReplyMarksTheInventory) {
    test::TpmReplay tpm("tpm/swtpm-provisioned.txt");
    // The EK's public area cut short, its size fields made to agree.
    TpmBytes reply = test::TpmReplay::ReplyTo("tpm/swtpm-provisioned.txt", ReadPublicCommand(0x81010001));
    reply.resize(40);
    reply[10] = 0;
    reply[11] = 60;
    PatchCommandSize(reply);
    tpm.Set(ReadPublicCommand(0x81010001), reply);
    const Snapshot s = Scan(tpm);
    EXPECT_EQ(GetFact(s, fact::kTpmCapabilityStatus), "complete");
    EXPECT_EQ(GetFact(s, fact::kTpmStatus), "error");
    EXPECT_EQ(GetFact(s, fact::kTpmCommandReplyStatus), "malformed");
    EXPECT_EQ(GetFact(s, fact::kTpmEk), "0");
    EXPECT_EQ(Row(s, "Endorsement key (RSA, 0x81010001)"), "[info] Malformed or unavailable TPM response");
    EXPECT_EQ(Labels(s).back(), "TPM inventory availability");
    EXPECT_EQ(Row(s, "TPM inventory availability"),
              "[info] Some TPM commands were unavailable; no absence or physical-machine conclusion is drawn");
}

TEST(TpmCollect, PropertiesThatFailLeaveThePartialOrErrorStatus) {
    const TpmBytes fixedPage = GetCapabilityCommand(6, 0x100, 64);
    struct Case {
        const char* what;
        TpmBytes reply;
        uint32_t tbs;
        const char* capability;
        const char* status;
    } cases[] = {
        {"fixed properties refused", test::TpmReply(0x9A2), 0, "partial", "available"},
        {"fixed properties lost at TBS", {}, 0x80284001, "error", "error"},
        {"fixed properties with a wrong size field", test::HexBytes("8001 00000020 00000000"), 0, "error", "error"},
    };
    for (const Case& c : cases) {
        test::TpmReplay tpm("tpm/swtpm-fresh.txt");
        tpm.Set(fixedPage, c.reply, c.tbs);
        const Snapshot s = Scan(tpm);
        EXPECT_EQ(GetFact(s, fact::kTpmCapabilityStatus), c.capability) << c.what;
        EXPECT_EQ(GetFact(s, fact::kTpmStatus), c.status) << c.what;
        EXPECT_EQ(Row(s, "Manufacturer"), "") << c.what;
        EXPECT_EQ(Row(s, "Firmware version"), "0.0.0.0") << c.what;
        EXPECT_EQ(FindSignal(s, sig::kTpmManufacturer).value, "") << c.what;  // the signal comes even when empty
    }
}

TEST(TpmCollect, ApplicationKeyRowsAndState) {
    TpmKeyResult verified;
    verified.providerOk = verified.exists = verified.challengeOk = true;
    verified.algorithm = "ECDSA_P256";
    verified.publicKeyHash = "0123456789ABCDEF0123456789ABCDEF";
    verified.signMs = 41.6;
    TpmKeyResult failed = verified;
    failed.challengeOk = false;
    failed.message = "Signing failed: HRESULT 0x80280400";
    TpmKeyResult lockout;
    lockout.providerOk = true;
    lockout.openStatus = 0x80280921;
    lockout.message = "The TPM-bound key's state could not be read: HRESULT 0x80280921";
    TpmKeyResult noProvider;
    noProvider.message = "Microsoft Platform Crypto Provider unavailable: HRESULT 0x80090030";
    struct Case {
        const char* what;
        TpmKeyResult key;
        std::vector<std::vector<std::string>> rows;
        const char* state;
        const char* signalNote;  // null: no signal
    } cases[] = {
        {"verified", verified,
         {{"TPM-bound application key", "ECDSA_P256; public key SHA-256 0123456789ABCDEF0123456789ABCDEF"},
          {"Local signing self-test", "[ok] Signature verified locally; TPM residency is not attested (42 ms)"}},
         "verified", "Local signing self-test passed; no independent key-residency or physical-machine proof"},
        {"failed", failed,
         {{"TPM-bound application key", "ECDSA_P256; public key SHA-256 0123456789ABCDEF0123456789ABCDEF"},
          {"Local signing self-test", "[bad] Signing failed: HRESULT 0x80280400"}},
         "failed", "challenge failed"},
        {"never created", NoKey(), {{"TPM-bound application key", "not created - optional, use the panel above"}},
         "absent", nullptr},
        // A lockout is not "no key": the row and the state say it could not be read.
        {"lockout", lockout,
         {{"TPM-bound application key", "The TPM-bound key's state could not be read: HRESULT 0x80280921"}}, "error",
         nullptr},
        {"no provider", noProvider,
         {{"TPM-bound application key", "Microsoft Platform Crypto Provider unavailable: HRESULT 0x80090030"}}, "absent",
         nullptr},
    };
    for (const Case& c : cases) {
        test::TpmReplay tpm("tpm/swtpm-fresh.txt");
        const Snapshot s = Scan(tpm, c.key);
        std::vector<std::vector<std::string>> rows;
        for (const auto& r : Rows(s, table::kTpmDevice))
            if (r[0] == "TPM-bound application key" || r[0] == "Local signing self-test") rows.push_back(r);
        EXPECT_EQ(rows, c.rows) << c.what;
        EXPECT_EQ(GetFact(s, fact::kTpmAppKey), c.state) << c.what;
        const auto it = std::find_if(s.signals.begin(), s.signals.end(), [](const Signal& g) { return g.key == sig::kTpmAppKey; });
        ASSERT_EQ(it != s.signals.end(), c.signalNote != nullptr) << c.what;
        if (c.signalNote) {
            EXPECT_EQ(it->note, c.signalNote);
            EXPECT_EQ(it->value, "0123456789ABCDEF0123456789ABCDEF");
            EXPECT_EQ(it->scope, 2);
            EXPECT_EQ(it->w, 30);
        }
    }
}

}  // namespace
}  // namespace vorq
