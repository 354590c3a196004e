#include <gtest/gtest.h>

#include "collectors/trust/tpm.h"
#include "collectors/trust/tpm_provisioning.h"
#include "core/hash.h"
#include "core/text.h"

namespace vorq {
namespace {

RegValue Dword(const wchar_t* name, uint32_t v) {
    return {name, kRegDword, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}};
}
RegValue Qword(const wchar_t* name, uint64_t v) {
    RegValue r{name, kRegQword, {}};
    for (int i = 0; i < 8; ++i) r.data.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return r;
}
RegValue Sz(const wchar_t* name, const std::u16string& text) {
    RegValue r{name, kRegSz, {}};
    for (char16_t c : text + u'\0') {
        r.data.push_back(static_cast<uint8_t>(c));
        r.data.push_back(static_cast<uint8_t>(c >> 8));
    }
    return r;
}
RegValue Binary(const wchar_t* name, std::vector<uint8_t> data) { return {name, kRegBinary, std::move(data)}; }

std::string FakeHResult(uint32_t code) { return Format("HRESULT 0x%08X: text", code); }

TEST(TpmProvisioning, Formatters) {
    EXPECT_EQ(BindingStateText(0), "0 - binding not possible");
    EXPECT_EQ(BindingStateText(1), "1 - binding possible");
    EXPECT_EQ(BindingStateText(2), "2 - bound");
    EXPECT_EQ(BindingStateText(7), "7");
    EXPECT_EQ(FourCcCodeText(0x414D4400), "AMD (0x414D4400)");
    EXPECT_EQ(FourCcCodeText(0), " (0x00000000)");
    EXPECT_EQ(ResultCodeText(0, FakeHResult), "0 (success)");
    EXPECT_EQ(ErrorCodeText(0, FakeHResult), "0 (none)");
    // The code shows twice: once here, once in the system's text.
    EXPECT_EQ(ErrorCodeText(0x80070005, FakeHResult), "0x80070005 HRESULT 0x80070005: text");
}

TEST(TpmProvisioning, LatestPcrRecordIsTheGreatestBootNumber) {
    const struct {
        std::vector<std::u16string> names;
        int latest;
        uint32_t boot;
    } cases[] = {
        {{u"9-1", u"10-1"}, 1, 10},  // not "9-1", which sorts after "10-1" as text
        {{u"10-1", u"9-1", u"100-3"}, 2, 100},
        {{u"12-1", u"12-2"}, 1, 12},
        {{u"abc", u"3-1"}, 1, 3},
        {{u"7"}, 0, 7},
        {{u"99999999999999999999-1", u"4294967294-1"}, 0, 0xFFFFFFFF},
        {{}, -1, 0},
    };
    for (const auto& c : cases) {
        const int latest = LatestPcrRecord(c.names);
        EXPECT_EQ(latest, c.latest);
        if (latest >= 0) {
            EXPECT_EQ(PcrRecordBootNumber(c.names[static_cast<size_t>(latest)]), c.boot);
        }
    }
}

std::array<std::vector<uint8_t>, 24> LivePcrs() {
    std::array<std::vector<uint8_t>, 24> live;
    for (size_t i = 0; i < 24; ++i) live[i].assign(32, static_cast<uint8_t>(i));
    return live;
}

std::vector<uint8_t> Recorded(size_t size, int differing = -1) {
    std::vector<uint8_t> b(size, 0xEE);
    for (size_t i = 0; i < 8 && 32 * (i + 1) <= size; ++i)
        std::fill(b.begin() + 32 * i, b.begin() + 32 * (i + 1), static_cast<uint8_t>(static_cast<int>(i) == differing ? 0xAA : i));
    return b;
}

ProvisioningInputs FullRecord(std::vector<uint8_t> physical) {
    ProvisioningInputs in;
    in.record.wmi = {Binary(L"WindowsAIKHash", {0xAB, 0x01}), Dword(L"TpmBackedDeviceID", 1),
                     Dword(L"taskreadyforattestation", 1),  // names are not case-sensitive
                     Dword(L"TaskReadyForStorage", 0),      Dword(L"TaskManufacturerId", 0x49465800),
                     Sz(L"TaskFirmwareVersion", u"7.85"),   Sz(L"TaskOsBuildNumber", u""),
                     Dword(L"AIKCertAcquiredExpired", 3),   Dword(L"AIKEnrollmentErrorCode", 0),
                     Sz(L"AIKCertAcquiredExpiredX", u"ignored")};
    in.record.provisionInfo = {Dword(L"TotalTPMProvisioningCount", 2),       Qword(L"LastTPMProvisionedTime", 0),
                               Dword(L"LastTPMProvisionedBootId", 9),        Sz(L"ClearReason", u""),
                               Binary(L"LastEkPub", {1, 2, 3}),              Sz(L"LastRsaEkCertThumbprint", u"ABCDEF01"),
                               Dword(L"LastRsaEKCertStoreCount", 1),         Sz(L"LastEccEKCertStoreCount", u"1")};
    in.record.taskStates = {Dword(L"PCR7BindingState", 2),  Qword(L"TcgHvciStatus", 5),
                            Dword(L"TpmProvisionFailedSteps", 0x1A), Dword(L"TpmProvisionHresult", 0)};
    in.record.pcrSubkeys = {u"9-1", u"10-1"};
    in.readPcrRecord = [physical](const std::u16string& name) {
        EXPECT_EQ(name, u"10-1");
        return std::vector<RegValue>{Dword(L"PcrsMatched", 1), Binary(L"PhysicalPcrRead", physical)};
    };
    in.hresultText = FakeHResult;
    return in;
}

TEST(TpmProvisioning, RowsSignalAndFacts) {
    Snapshot s;
    const Table t = ProvisioningTable(s, FullRecord(Recorded(24 * 32)), 0x000B, LivePcrs());
    std::vector<std::vector<std::string>> rows;
    for (const TableRow& r : t.rows) rows.push_back(r.cells);
    EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{
                        {"Windows AIK hash (WindowsAIKHash)", "AB01"},
                        {"TPM-backed device ID (TpmBackedDeviceID)", "yes"},
                        {"Ready for attestation", "yes"},
                        {"Ready for storage", "no"},
                        {"Manufacturer ID seen by the task", "IFX (0x49465800)"},
                        {"Firmware version seen by the task", "7.85"},
                        {"OS build of the last task run", ""},
                        {"AIK certificate acquisition state", "3"},
                        {"AIK enrollment error code", "0 (none)"},
                        {"Provisioning count", "2"},
                        {"Last provisioned", "never (value 0)"},
                        {"Last provisioned at boot", "9"},
                        {"Last EK public key (LastEkPub)", "3 bytes, SHA-256 " + Sha256Hex("\x01\x02\x03", 3)},
                        {"Last RSA EK certificate thumbprint (SHA-1)", "ABCDEF01"},
                        {"RSA EK certificates in the Windows cache", "1"},
                        {"PCR7 binding state (PCR7BindingState)", "2 - bound"},
                        {"HVCI status seen by the task", "5"},
                        {"Provisioning failed steps", "0x1A"},
                        {"Provisioning result", "0 (success)"},
                        {"PCR read records (PcrInfo)", "2"},
                        {"Last recorded boot", "10"},
                        {"PCRs matched the log at that boot (PcrsMatched)", "yes"},
                        {"PCR 0-7 recorded vs live", "[ok] equal (boot 10)"},
                    }));
    // The AIK was made in this TPM for this installation: masked like the EK.
    for (const TableRow& r : t.rows)
        EXPECT_EQ(r.sens, r.cells[0].rfind("Last EK", 0) == 0 || r.cells[0].rfind("Last RSA", 0) == 0 ||
                                  r.cells[0].rfind("Windows AIK", 0) == 0
                              ? 2u
                              : 0u)
            << r.cells[0];
    ASSERT_EQ(s.signals.size(), 1u);
    EXPECT_EQ(s.signals[0].key, sig::kTpmAikHash);
    EXPECT_TRUE(Sensitive(s.signals[0]));
    EXPECT_EQ(s.signals[0].value, "AB01");
    EXPECT_EQ(s.signals[0].scope, 2);
    EXPECT_EQ(s.signals[0].w, 8);
    EXPECT_EQ(s.facts, (std::map<std::string, std::string>{
                           {"tpm.win_ek_thumb", "abcdef01"}, {"tpm.win_pcr", "match"}, {"tpm.win_pcr_boot", "10"}}));
}

TEST(TpmProvisioning, ProvisioningTimeIsMaskedOnlyWhenItIsATime) {
    const struct {
        uint64_t fileTime;
        const char* text;
        uint32_t sens;
    } cases[] = {
        {0, "never (value 0)", 0},
        {133500000000000000ULL, "2024-01-17 21:20:00 UTC", 2},  // to the second: dates this installation
    };
    for (const auto& c : cases) {
        ProvisioningInputs in;
        in.record.provisionInfo = {Qword(L"LastTPMProvisionedTime", c.fileTime)};
        Snapshot s;
        const Table t = ProvisioningTable(s, in, 0x000B, LivePcrs());
        ASSERT_EQ(t.rows.size(), 1u);
        EXPECT_EQ(t.rows[0].cells, (std::vector<std::string>{"Last provisioned", c.text}));
        EXPECT_EQ(t.rows[0].sens, c.sens) << c.text;
    }
}

TEST(TpmProvisioning, RecordedPcrComparison) {
    const struct {
        const char* what;
        std::vector<uint8_t> physical;
        uint16_t bank;
        const char* row;  // null: no row and no facts
        const char* fact;
    } cases[] = {
        {"PCR 7 differs", Recorded(256, 7), 0x000B, "[warn] 1 of 8 differ (recorded at boot 10)", "mismatch"},
        {"255 bytes", Recorded(255), 0x000B, nullptr, nullptr},
        {"SHA-1 bank", Recorded(256), 0x0004, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        Snapshot s;
        const Table t = ProvisioningTable(s, FullRecord(c.physical), c.bank, LivePcrs());
        std::string row = "<none>";
        for (const TableRow& r : t.rows)
            if (r.cells[0] == "PCR 0-7 recorded vs live") row = r.cells[1];
        EXPECT_EQ(row, c.row ? c.row : "<none>") << c.what;
        EXPECT_EQ(GetFact(s, fact::kTpmWinPcr), c.fact ? c.fact : "") << c.what;
        EXPECT_EQ(HasFact(s, fact::kTpmWinPcrBoot), c.fact != nullptr) << c.what;
    }
}

TEST(TpmProvisioning, NoRecord) {
    Snapshot s;
    const Table t = ProvisioningTable(s, ProvisioningInputs{}, 0x000B, LivePcrs());
    EXPECT_TRUE(t.rows.empty());
    const std::string tail = " No provisioning record found.";
    EXPECT_EQ(t.note.substr(t.note.size() - tail.size()), tail);
    EXPECT_TRUE(s.facts.empty());
    EXPECT_TRUE(s.signals.empty());
}

}  // namespace
}  // namespace vorq
