#include <gtest/gtest.h>

#include "collectors/trust/tpm.h"
#include "collectors/trust/tpm_collect.h"
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
