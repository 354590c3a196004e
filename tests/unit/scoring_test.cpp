#include <gtest/gtest.h>

#include <map>

#include "assessment/scoring.h"
#include "collectors/processor/acpi.h"
#include "vm/vm.h"

namespace vorq {
namespace {

Snapshot WithFacts(const std::map<std::string, std::string>& facts) {
    Snapshot s;
    for (const auto& [k, v] : facts) SetFact(s, k, v);
    return s;
}

const Score& Area(const Snapshot& s, const std::string& id) {
    for (const Score& sc : s.scores)
        if (sc.id == id) return sc;
    static const Score none;
    return none;
}

const ScoreItem* Item(const Score& sc, const std::string& label) {
    for (const ScoreItem& i : sc.items)
        if (i.label == label) return &i;
    return nullptr;
}

int SumPoints(const Score& sc) {
    int sum = 0;
    for (const ScoreItem& i : sc.items) sum += i.points;
    return sum;
}

void AddSignal(Snapshot& s, const char* key, double q = 1.0) {
    Signal g;
    g.key = key;
    g.value = "x";
    g.q = q;
    s.signals.push_back(g);
}

Snapshot EveryIdentityAnchor() {
    Snapshot s = WithFacts({{"tpm.ek", "1"},
                            {"tpm.status", "available"},
                            {"ms.autopilot_hash", "1"},
                            {"win.system_id_source", "TPM"},
                            {"smbios.uuid_valid", "1"},
                            {"smbios.board_serial_valid", "1"},
                            {"storage.system_with_id", "1"},
                            {"net.permanent_good", "2"},
                            {"gpu.uuid_count", "1"}});
    AddSignal(s, sig::kAcpiFingerprint);
    return s;
}

TEST(Scoring, IdentityAnchorsVmAndInconsistencies) {
    Snapshot s = EveryIdentityAnchor();
    ScoreSnapshot(s);
    EXPECT_EQ(Area(s, "identity").value, 95);
    EXPECT_EQ(Area(s, "identity").verdict, "High");

    s = EveryIdentityAnchor();
    SetFact(s, fact::kVmGuest, "1");
    s.checks = {Check{"x.uuid", "", "", "", kFail}, Check{"x.board", "", "", "", kFail}};
    ScoreSnapshot(s);
    EXPECT_EQ(Area(s, "identity").value, 55);
    EXPECT_EQ(Area(s, "identity").verdict, "Low");

    s = EveryIdentityAnchor();
    s.checks.assign(4, Check{"x", "", "", "", kFail});
    ScoreSnapshot(s);
    EXPECT_EQ(Item(Area(s, "identity"), "Cross-source inconsistencies")->points, -30);
}

TEST(Scoring, IdentityRowsForMissingData) {
    Snapshot s = WithFacts({{"win.system_id_source", "Registry"}});
    AddSignal(s, sig::kAcpiFingerprint, 0.0);  // a placeholder does not count
    ScoreSnapshot(s);
    const Score& id = Area(s, "identity");
    EXPECT_EQ(Item(id, "Windows SystemId (publisher)")->points, 2);
    EXPECT_EQ(Item(id, "Windows SystemId (publisher)")->status, kInfo);
    EXPECT_EQ(Item(id, "Firmware build fingerprint")->points, 0);
    EXPECT_EQ(Item(id, "TPM endorsement key")->status, kInfo);
    EXPECT_EQ(Item(id, "TPM endorsement key")->note, "TPM access is unavailable; endorsement-key identity cannot be assessed.");
    EXPECT_EQ(id.value, SumPoints(id));
}

TEST(Scoring, TpmAccessUnavailable) {
    struct Case {
        std::map<std::string, std::string> facts;
        bool unavailable;
    } cases[] = {
        {{{"tpm.status", "available"}}, false},
        {{{"tpm.status", "error"}, {"tpm.device_status", "complete"}}, true},
        {{{"tpm.device_status", "absent"}}, false},
        {{{"tpm.device_status", "complete"}, {"tpm.version", "2.0"}}, true},
        {{{"tpm.device_status", "complete"}, {"tpm.version", "1.2"}}, false},
        {{}, true},
    };
    for (const auto& c : cases) EXPECT_EQ(TpmAccessUnavailable(WithFacts(c.facts)), c.unavailable);
}

TEST(Scoring, PlatformRowsAndUnknownCodeIntegrity) {
    Snapshot s = WithFacts({{"tpm.status", "available"}, {"tpm.version", "2.0"}, {"plat.uefi", "1"}, {"plat.secureboot", "1"},
                            {"plat.vbs", "1"}, {"plat.hvci", "1"}, {"plat.ci_ok", "1"}, {"plat.blocklist", "1"},
                            {"acpi.iommu", "1"}, {"tpm.log", "match"}, {"uefi.db_read", "1"}});
    ScoreSnapshot(s);
    EXPECT_EQ(Area(s, "platform").value, 100);
    EXPECT_EQ(Area(s, "platform").verdict, "High");
    EXPECT_EQ(Item(Area(s, "platform"), "Secure Boot db certificates")->status, kWarn);

    // Without the code-integrity state nothing claims test signing or debugging is on.
    s = WithFacts({});
    ScoreSnapshot(s);
    for (const char* label : {"Test signing off", "Kernel debugging off"}) {
        const ScoreItem* i = Item(Area(s, "platform"), label);
        ASSERT_NE(i, nullptr);
        EXPECT_EQ(i->points, 0);
        EXPECT_EQ(i->max, 10);
        EXPECT_EQ(i->status, kInfo);
        EXPECT_EQ(i->note, "code-integrity state is unavailable");
    }
    s = WithFacts({{"plat.ci_ok", "1"}, {"plat.testsign", "1"}});
    ScoreSnapshot(s);
    EXPECT_EQ(Item(Area(s, "platform"), "Test signing off")->status, kFail);
    EXPECT_EQ(Item(Area(s, "platform"), "Kernel debugging off")->status, kPass);
}

TEST(Scoring, DriverPenaltiesAreCappedAndClamped) {
    Snapshot s = WithFacts({{"drv.unsigned", "3"}, {"drv.untrusted", "1"}, {"plat.testsign", "1"}, {"drv.total", "120"}});
    ScoreSnapshot(s);
    const Score& d = Area(s, "drivers");
    EXPECT_EQ(Item(d, "Unsigned / invalid kernel drivers")->points, -60);
    EXPECT_EQ(Item(d, "Untrusted-root (test / self-signed) drivers")->points, -30);
    EXPECT_EQ(d.value, 0);
    EXPECT_EQ(d.verdict, "Very low");
    EXPECT_EQ(d.note, "Signature provenance of running kernel drivers (120 checked). Signed is not the same as safe.");

    s = WithFacts({{"drv.authenticode", "6"}});
    ScoreSnapshot(s);
    EXPECT_EQ(Item(Area(s, "drivers"), "Legacy third-party Authenticode drivers")->points, -15);
    EXPECT_EQ(Area(s, "drivers").value, 85);
    EXPECT_EQ(Item(Area(s, "drivers"), "Attestation-signed drivers"), nullptr);
}

TEST(Scoring, LevelBoundaries) {
    EXPECT_STREQ(ScoreLevelName(85), "High");
    EXPECT_STREQ(ScoreLevelName(84), "Medium");
    EXPECT_STREQ(ScoreLevelName(65), "Medium");
    EXPECT_STREQ(ScoreLevelName(45), "Low");
    EXPECT_STREQ(ScoreLevelName(44), "Very low");
}

TEST(Scoring, OrderTitleAndSubtitle) {
    Snapshot s = WithFacts({{"sys.product", "ThinkPad X1"}, {"smbios.mem_mb", "15800"}, {"cpu.brand", "CPU X"},
                            {"os.text", "Windows 11 Pro"}});
    s.scores.push_back(Score{"physical", "Physical PC Confidence", "", "", 80, {}});
    ScoreSnapshot(s);
    std::vector<std::string> ids;
    for (const Score& sc : s.scores) ids.push_back(sc.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"identity", "platform", "drivers", "physical"}));
    EXPECT_EQ(s.deviceTitle, "ThinkPad X1");
    EXPECT_EQ(s.deviceSubtitle, "CPU X  \xC2\xB7  15 GB RAM  \xC2\xB7  Windows 11 Pro");

    s = WithFacts({{"os.mem_mb", "8100"}});
    ScoreSnapshot(s);
    EXPECT_EQ(s.deviceTitle, "Windows PC");
    EXPECT_EQ(s.deviceSubtitle, "8 GB RAM");
    EXPECT_EQ(s.scores.back().id, "drivers");

    s = WithFacts({{"smbios.mem_mb", "16384"}, {"sys.manufacturer", " Dell Inc. "}});
    ScoreSnapshot(s);
    EXPECT_EQ(s.deviceSubtitle, "16 GB RAM");
    EXPECT_EQ(s.deviceTitle, "Dell Inc.");
}

}  // namespace
}  // namespace vorq
