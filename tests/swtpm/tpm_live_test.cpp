// The "TPM" collector against a live simulator (scripts/with-swtpm starts
// one), and the Snapshot of that run through the cross-checks and scores.
#include <gtest/gtest.h>

#include <algorithm>

#include "assessment/crosschecks.h"
#include "assessment/scoring.h"
#include "collectors/processor/acpi.h"
#include "collectors/processor/smbios.h"
#include "collectors/trust/tpm.h"
#include "core/report.h"
#include "tests/swtpm/ek_cert_maker.h"
#include "tests/swtpm/swtpm_client.h"
#include "tests/unit/tcg_log_builder.h"

namespace vorq {
namespace {

std::string Row(const Snapshot& s, const std::string& label) {
    const Table* t = FindTable(s, table::kTpmDevice);
    if (!t) return "<no table>";
    for (const TableRow& r : t->rows)
        if (r.cells[col::tpm_device::kProperty] == label) return r.cells[col::tpm_device::kValue];
    return "<no row>";
}

const Check* FindCheck(const Snapshot& s, const std::string& id) {
    for (const Check& c : s.checks)
        if (c.id == id) return &c;
    return nullptr;
}

const ScoreItem* FindItem(const Snapshot& s, const std::string& score, const std::string& label) {
    for (const Score& sc : s.scores)
        if (sc.id == score)
            for (const ScoreItem& i : sc.items)
                if (i.label == label) return &i;
    return nullptr;
}

class TpmLive : public ::testing::Test {
protected:
    void SetUp() override {
        if (swtpm::PortFromEnvironment() == 0) GTEST_SKIP() << "run through scripts/with-swtpm";
        conn = std::make_unique<swtpm::Connection>(swtpm::PortFromEnvironment());
        ASSERT_TRUE(conn->ok());
    }
    Snapshot Scan(const std::vector<uint8_t>& log = {}) {
        TpmSource src;
        src.logSize = [&log] { return static_cast<uint64_t>(log.size()); };
        src.readLog = [&log](uint64_t) { return log; };
        src.deviceResult = 0;
        src.device.tpmVersion = 2;
        src.device.interfaceType = 1;
        src.openContext = [] { return 0u; };
        src.transport = conn->Transport();
        src.keyStatus = [] {
            TpmKeyResult r;
            r.providerOk = true;
            r.openStatus = kNteBadKeyset;
            r.message = "No TPM-bound key has been created on this account.";
            return r;
        };
        Snapshot s;
        CollectTpmFrom(s, src);
        return s;
    }
    std::unique_ptr<swtpm::Connection> conn;
};

TEST_F(TpmLive, InventoryOfTheSimulatorWithItsEndorsementKey) {
    const Snapshot before = Scan();
    EXPECT_EQ(GetFact(before, fact::kTpmEk), "0");
    EXPECT_EQ(Row(before, "Endorsement key (RSA, 0x81010001)"), "[info] TPM response code 0x0000018B");

    ASSERT_EQ(swtpm::ProvisionEndorsementKey(*conn), 0u);
    // The maker's certificate for that EK, where firmware keeps it.
    TpmChannel ch;
    ch.transport = conn->Transport();
    const PublicAreaInfo ekPublic = ReadPublicKey(ch, swtpm::kEkHandle);
    ASSERT_EQ(swtpm::ProvisionEkCertificate(*conn, swtpm::MakeRsaEkCertificate(ekPublic.params.keyBytes, 0)), 0u);
    // Measure a boot into the simulator as firmware would, and hand over its log.
    const test::TcgLogBuilder log = test::SampleBootLog();
    for (const auto& [pcr, digest] : log.digests)
        if (!digest.empty()) ASSERT_EQ(swtpm::ExtendPcr(*conn, pcr, digest), 0u);
    Snapshot s = Scan(log.bytes);
    EXPECT_EQ(GetFact(s, fact::kTpmStatus), "available");
    EXPECT_EQ(GetFact(s, fact::kTpmCapabilityStatus), "complete");
    EXPECT_EQ(GetFact(s, fact::kTpmCommandReplyStatus), "complete");
    EXPECT_EQ(GetFact(s, fact::kTpmManufacturer), "IBM");
    EXPECT_EQ(Row(s, "Manufacturer"), "IBM");
    EXPECT_EQ(Row(s, "Vendor string"), "SWTPM");
    EXPECT_TRUE(Row(s, "Firmware version").find('.') != std::string::npos) << Row(s, "Firmware version");
    EXPECT_NE(Row(s, "Firmware version"), "0.0.0.0");
    EXPECT_NE(Row(s, "Active PCR banks").find("SHA256"), std::string::npos) << Row(s, "Active PCR banks");
    EXPECT_NE(Row(s, "Persistent objects").find("0x81010001"), std::string::npos);
    EXPECT_EQ(Row(s, "Endorsement key (RSA, 0x81010001)").rfind("RSA 2048, name alg SHA256; TPMT_PUBLIC SHA-256 ", 0), 0u)
        << Row(s, "Endorsement key (RSA, 0x81010001)");
    EXPECT_EQ(GetFact(s, fact::kTpmEk), "1");
    EXPECT_EQ(Row(s, "TPM-bound application key"), "not created - optional, use the panel above");
    EXPECT_EQ(GetFact(s, fact::kTpmAppKey), "absent");
    const auto ek = std::find_if(s.signals.begin(), s.signals.end(), [](const Signal& g) { return g.key == sig::kTpmEkRsa; });
    ASSERT_NE(ek, s.signals.end());
    EXPECT_EQ(ek->value.size(), 32u);
    EXPECT_EQ(GetFact(s, fact::kTpmLog), "match");
    EXPECT_EQ(GetFact(s, fact::kTpmLogMatch), "9/9");
    EXPECT_EQ(Row(s, "Measured boot log"), "[ok] 14 events, crypto-agile format, replay matches PCR 0-7");
    ASSERT_NE(FindTable(s, table::kTpmPcrs), nullptr);
    EXPECT_EQ(FindTable(s, table::kTpmPcrs)->rows.size(), 24u);
    // PCR1 and PCR5 hash the ESP's and the disk's GUIDs: a safe report masks
    // them; PCR0 (firmware build) and PCR7 (Secure Boot policy) stay.
    {
        std::string safe;
        WriteSnapshotJsonWithKey(safe, s, kReportSafe, Bytes(32, 0x42));
        for (const TableRow& r : FindTable(s, table::kTpmPcrs)->rows) {
            if (r.cells[0] != "0" && r.cells[0] != "1" && r.cells[0] != "5" && r.cells[0] != "7") continue;
            const bool hidden = r.cells[0] == "1" || r.cells[0] == "5";
            EXPECT_EQ(safe.find(r.cells[1]) == std::string::npos, hidden) << "PCR" << r.cells[0];
        }
    }
    ASSERT_NE(FindTable(s, table::kTpmProps), nullptr);
    EXPECT_GT(FindTable(s, table::kTpmProps)->rows.size(), 40u);

    // What the firmware tables of such a machine would say.
    SetFact(s, fact::kSmbiosTpmVendor, "IBM");
    SetFact(s, fact::kAcpiTpm2, "1");
    CollectCrossChecksFrom(s, CrossChecksSource{});
    ScoreSnapshot(s);
    const Check* vendor = FindCheck(s, "x.tpmvendor");
    ASSERT_NE(vendor, nullptr);
    EXPECT_EQ(vendor->status, kPass);
    EXPECT_EQ(vendor->detail, "consistent");
    const Check* acpi = FindCheck(s, "x.tpmacpi");
    ASSERT_NE(acpi, nullptr);
    EXPECT_EQ(acpi->detail, "both report the TPM");
    const Check* cert = FindCheck(s, "x.ekcert");
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(cert->status, kPass);
    EXPECT_EQ(cert->detail, "1 certificate(s) bind the EK read through TPM2_ReadPublic");
    ASSERT_NE(FindTable(s, table::kTpmEkCerts), nullptr);
    ASSERT_EQ(FindTable(s, table::kTpmEkCerts)->rows.size(), 1u);
    EXPECT_EQ(FindTable(s, table::kTpmEkCerts)->rows[0].cells[5], "[ok] public key matches the TPM EK");
    const Check* pcr = FindCheck(s, "x.pcr");
    ASSERT_NE(pcr, nullptr);
    EXPECT_EQ(pcr->status, kPass);
    const ScoreItem* replay = FindItem(s, "platform", "Measured boot replay");
    ASSERT_NE(replay, nullptr);
    EXPECT_EQ(replay->status, kPass);
    const ScoreItem* ekItem = FindItem(s, "identity", "TPM endorsement key");
    ASSERT_NE(ekItem, nullptr);
    EXPECT_EQ(ekItem->points, 30);
    EXPECT_EQ(ekItem->note, "per-unit key burned into the TPM, readable through TBS; manufacturer certificate binds it");
    const ScoreItem* tpmItem = FindItem(s, "platform", "TPM 2.0");
    ASSERT_NE(tpmItem, nullptr);
    EXPECT_EQ(tpmItem->status, kPass);
    EXPECT_EQ(tpmItem->points, 20);
}

}  // namespace
}  // namespace vorq
