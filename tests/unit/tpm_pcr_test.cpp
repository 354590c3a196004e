#include <gtest/gtest.h>

#include "collectors/trust/tpm.h"
#include "collectors/trust/tpm_pcr.h"
#include "core/hash.h"
#include "core/text.h"
#include "tests/unit/tcg_log_builder.h"
#include "tests/unit/tpm_fake.h"

namespace vorq {
namespace {

using test::TcgLogBuilder;
using Bytes = std::vector<uint8_t>;

struct Scanned {
    Snapshot s;
    std::vector<uint64_t> fetches;  // sizes asked of the log reader
};

// The provisioned simulator (its PCRs extended with the sample boot log);
// the log query reports `size` and the reader gives `log`.
Scanned Scan(const Bytes& log, uint64_t size) {
    test::TpmReplay tpm("tpm/swtpm-provisioned.txt");
    Scanned out;
    TpmSource src;
    src.deviceResult = 0;
    src.device.tpmVersion = 2;
    src.openContext = [] { return 0u; };
    src.transport = tpm.Transport();
    src.logSize = [size] { return size; };
    src.readLog = [&](uint64_t n) {
        out.fetches.push_back(n);
        return log;
    };
    CollectTpmFrom(out.s, src);
    return out;
}

Scanned Scan(const Bytes& log) { return Scan(log, log.size()); }

std::vector<std::vector<std::string>> Rows(const Snapshot& s, const char* id) {
    std::vector<std::vector<std::string>> rows;
    if (const Table* t = FindTable(s, id))
        for (const TableRow& r : t->rows) rows.push_back(r.cells);
    return rows;
}

std::string DeviceRow(const Snapshot& s, const std::string& label) {
    for (const auto& r : Rows(s, table::kTpmDevice))
        if (r[0] == label) return r[1];
    return "<none>";
}

std::string ReplayCell(const Snapshot& s, uint32_t pcr) {
    for (const auto& r : Rows(s, table::kTpmPcrs))
        if (r[0] == Format("%u", pcr)) return r[3] + " " + r[4];
    return "<none>";
}

TEST(TpmPcr, RecordedBootReplaysToTheSimulatorsPcrs) {
    const TcgLogBuilder log = test::SampleBootLog();
    const Scanned r = Scan(log.bytes);
    const Snapshot& s = r.s;
    EXPECT_EQ(GetFact(s, fact::kTpmLogParse), "complete");
    EXPECT_EQ(GetFact(s, fact::kTpmLog), "match");
    EXPECT_EQ(GetFact(s, fact::kTpmLogMatch), "9/9");
    EXPECT_EQ(DeviceRow(s, "Measured boot log"), "[ok] 14 events, crypto-agile format, replay matches PCR 0-7");
    EXPECT_EQ(ReplayCell(s, 0), "3 [ok] matches log");
    EXPECT_EQ(ReplayCell(s, 14), "1 [ok] matches log");
    EXPECT_EQ(ReplayCell(s, 9), "0 -");
    const auto events = Rows(s, table::kTpmLog);
    ASSERT_EQ(events.size(), 14u);
    EXPECT_EQ(events[0], (std::vector<std::string>{"0", "0", "EV_NO_ACTION", "",
                                                    "TCG crypto-agile log header (Spec ID Event03)"}));
    EXPECT_EQ(events[4], (std::vector<std::string>{"4", "4", "EV_EFI_BOOT_SERVICES_APPLICATION",
                                                    HexEncode(log.digests[3].second.data(), 16),
                                                    "\\EFI\\BOOT\\BOOTX64.EFI"}));
    EXPECT_EQ(events[13][2], "EV_IPL");
    EXPECT_EQ(r.fetches, (std::vector<uint64_t>{log.bytes.size()}));
}

TEST(TpmPcr, OneDifferingPcrBeyondSevenKeepsTheVerdict) {
    TcgLogBuilder log = test::SampleBootLog();
    log.Event(14, 0x0D, TcgLogBuilder::Text("shim extra"));  // not measured into the simulator
    log.Event(16, 1, TcgLogBuilder::Text("debug"));
    const Snapshot s = Scan(log.bytes).s;
    EXPECT_EQ(GetFact(s, fact::kTpmLog), "match");
    EXPECT_EQ(GetFact(s, fact::kTpmLogMatch), "8/9");
    EXPECT_EQ(ReplayCell(s, 14), "2 [warn] differs from log");
    EXPECT_EQ(ReplayCell(s, 16), "1 ");  // events, but not compared
}

TEST(TpmPcr, LogsThatAreNotReplayed) {
    TcgLogBuilder legacy = TcgLogBuilder::Legacy();
    legacy.Legacy(0, 8, {}).Legacy(0, 4, {0, 0, 0, 0});
    TcgLogBuilder thousand = TcgLogBuilder::Agile();
    for (int i = 0; i < 999; ++i) thousand.Event(20, 1, {}, Bytes(32, 2));
    Bytes malformed = test::SampleBootLog().bytes;
    malformed.pop_back();
    struct Case {
        const char* what;
        Bytes log;
        uint64_t size;
        const char* parse;
        const char* row;
        size_t eventRows;
        size_t fetches;
    } cases[] = {
        {"legacy log", legacy.bytes, legacy.bytes.size(), "complete",
         "[info] 2 events, SHA-1 legacy format, not compared", 2, 1},
        {"1,000 events", thousand.bytes, thousand.bytes.size(), "complete",
         "[info] 1000 events, crypto-agile format, not compared", 600, 1},
        {"malformed", malformed, malformed.size(), "malformed", "[info] not available", 0, 1},
        {"no log", {}, 0, "unavailable", "[info] not available", 0, 0},
        {"16 MiB is still fetched", legacy.bytes, kTcgLogMaxBytes, "complete",
         "[info] 2 events, SHA-1 legacy format, not compared", 2, 1},
        {"one byte more is not", legacy.bytes, kTcgLogMaxBytes + 1, "limited", "[info] not available", 0, 0},
    };
    for (const Case& c : cases) {
        const Scanned r = Scan(c.log, c.size);
        EXPECT_EQ(GetFact(r.s, fact::kTpmLogParse), c.parse) << c.what;
        EXPECT_EQ(GetFact(r.s, fact::kTpmLog), "unavailable") << c.what;
        EXPECT_EQ(GetFact(r.s, fact::kTpmLogMatch), "0/0") << c.what;
        EXPECT_EQ(DeviceRow(r.s, "Measured boot log"), c.row) << c.what;
        EXPECT_EQ(Rows(r.s, table::kTpmLog).size(), c.eventRows) << c.what;
        EXPECT_EQ(r.fetches.size(), c.fetches) << c.what;
        EXPECT_EQ(GetFact(r.s, fact::kTpmPcrReadCount), "24") << c.what;
    }
}

TEST(TpmPcr, ReplayStartsPcr0AtTheStartupLocality) {
    TcgLogBuilder b = TcgLogBuilder::Agile();
    Bytes locality = TcgLogBuilder::Text("StartupLocality");
    locality.insert(locality.end(), {0, 3});
    b.Event(0, 3, locality);
    b.Event(0, 1, TcgLogBuilder::Text("POST"));
    b.Event(30, 1, TcgLogBuilder::Text("beyond the PCRs"));
    LogReading r = FetchTcgLog(b.bytes.size(), [&](uint64_t) { return b.bytes; });
    ASSERT_TRUE(r.parsed);
    const PcrReplay replay = ReplayTcgLog(r, 0x000B);
    Bytes chain(32, 0);
    chain[31] = 3;
    chain.insert(chain.end(), b.digests[1].second.begin(), b.digests[1].second.end());
    EXPECT_EQ(replay.values[0], Sha256(chain.data(), chain.size()));
    EXPECT_EQ(replay.counts[0], 1u);  // EV_NO_ACTION is not replayed
    EXPECT_FALSE(ReplayTcgLog(r, 0x0004).ran);
}

TEST(TpmPcr, BankChoice) {
    const struct {
        std::vector<uint16_t> active;
        uint16_t bank;
    } cases[] = {{{0x0004, 0x000B}, 0x000B}, {{0x0004, 0x000C}, 0x0004}, {{}, 0x000B}, {{0x000C}, 0x000C}};
    for (const auto& c : cases) EXPECT_EQ(ChoosePcrBank(c.active), c.bank);
}

}  // namespace
}  // namespace vorq

namespace vorq {
namespace {

// Real logs (tests/fixtures/tcglog/README.md): the agile one replays to the
// PCR values published with it; the legacy one parses but is never replayed.
TEST(TpmPcr, BootVariableAndGptPcrsAreMaskedTheOthersStayReadable) {
    // PCR1 and PCR5 hash the ESP's and the disk's GUIDs; PCR0 and PCR7 are per
    // firmware build and per policy. Every PCR a TPM can show is checked.
    PcrReading pcrs;
    for (uint32_t i = 0; i < kPcrCount; ++i) pcrs.live[i].assign(32, static_cast<uint8_t>(0x40 + i));
    PcrTallies t;
    const Table table = PcrTable(pcrs, PcrReplay{}, t);
    ASSERT_EQ(table.rows.size(), kPcrCount);
    for (const TableRow& row : table.rows) {
        const bool installation = row.cells[0] == "1" || row.cells[0] == "5";
        EXPECT_EQ(row.sens | table.sens, installation ? 2u : 0u) << "PCR" << row.cells[0];
    }
}

TEST(TpmPcr, RealLogs) {
    const Bytes agile = test::ReadFixture("tcglog/ubuntu-2104-gce-agile.bin");
    ASSERT_FALSE(agile.empty());
    const LogReading r = FetchTcgLog(agile.size(), [&](uint64_t) { return agile; });
    ASSERT_EQ(r.validation, kTcgLogWellFormed);
    ASSERT_TRUE(r.parsed);
    EXPECT_TRUE(r.log.cryptoAgile);
    PcrReading pcrs;
    const std::pair<uint32_t, const char*> published[] = {
        {0, "24af52a4f429b71a3184a6d64cddad17e54ea030e2aa6576bf3a5a3d8bd3328f"},
        {1, "45ed8540f34db53220ef197e5fb8a3835b2095454349e445f397f13d91c509a5"},
        {2, "3d458cfe55cc03ea1f443f1562beec8df51c75e14a9fcf9a7234a13f198e7969"},
        {3, "3d458cfe55cc03ea1f443f1562beec8df51c75e14a9fcf9a7234a13f198e7969"},
        {4, "ebc7ae25d0347868250995c9a8fff16bf79e048453262d0ef2756e213c76181c"},
        {5, "47715f9f2c10769da6ee23be5633fd88e247caf162f4eeb0b6f8482ccfeadfb5"},
        {6, "3d458cfe55cc03ea1f443f1562beec8df51c75e14a9fcf9a7234a13f198e7969"},
        {7, "0d8847bc5eca06452df10e2f214363845c7ac11d47525a5474e225e72ce25dfe"},
        {8, "b9a324947de94ec2fd4b04483ecfcb37dfdd520a7c0ecf73c77bf2595549c84f"},
        {9, "adb87be3efd96cc3a2f66b8aa7564f9727563ef494a95d571a3f38ff4afb25dd"},
        {14, "8351c65483c5419079e8c96758dd2130bee075d71fea226f68ec4eb5bfc71983"},
    };
    for (const auto& [pcr, hex] : published) pcrs.live[pcr] = test::HexBytes(hex);
    PcrTallies t;
    const Table table = PcrTable(pcrs, ReplayTcgLog(r, pcrs.bank), t);
    EXPECT_EQ(table.rows.size(), 11u);
    EXPECT_EQ(LogVerdict(r, t), "match");
    EXPECT_EQ(LogMatchText(t), "11/11");
    const Table events = LogTable(r);
    EXPECT_EQ(events.rows.size(), std::min<size_t>(r.log.events.size(), 600));
    bool sawBootApp = false;
    for (const TableRow& row : events.rows)
        if (row.cells[2] == "EV_EFI_BOOT_SERVICES_APPLICATION" && !row.cells[4].empty()) sawBootApp = true;
    EXPECT_TRUE(sawBootApp);

    const Bytes legacy = test::ReadFixture("tcglog/debian-10-gce-legacy.bin");
    const LogReading l = FetchTcgLog(legacy.size(), [&](uint64_t) { return legacy; });
    ASSERT_EQ(l.validation, kTcgLogWellFormed);
    ASSERT_TRUE(l.parsed);
    EXPECT_FALSE(l.log.cryptoAgile);
    EXPECT_FALSE(ReplayTcgLog(l, 0x000B).ran);
    EXPECT_EQ(MeasuredBootRowText(l, PcrTallies{}),
              Format("[info] %zu events, SHA-1 legacy format, not compared", l.log.events.size()));
}

}  // namespace
}  // namespace vorq
