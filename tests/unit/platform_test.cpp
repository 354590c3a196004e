#include <gtest/gtest.h>

#include <map>

#include "collectors/processor/acpi.h"
#include "collectors/trust/platform.h"
#include "collectors/trust/tpm.h"
#include "collectors/trust/windows_os.h"

namespace vorq {
namespace {

using Rows = std::vector<std::vector<std::string>>;

PlatformSource Source() {
    PlatformSource src;
    src.errorText = [](uint32_t e) { return "error " + std::to_string(e); };
    src.random = [](uint8_t* b, size_t n) {
        for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i);
        return true;
    };
    return src;
}

const Table& Posture(const Snapshot& s) { return s.tables.at(0); }

// Feature -> State of the posture table.
std::map<std::string, std::string> States(const Snapshot& s) {
    std::map<std::string, std::string> out;
    for (const TableRow& r : Posture(s).rows) out[r.cells[col::platform_posture::kFeature]] = r.cells[col::platform_posture::kState];
    return out;
}

std::vector<std::string> Features(const Snapshot& s) {
    std::vector<std::string> out;
    for (const TableRow& r : Posture(s).rows) out.push_back(r.cells[col::platform_posture::kFeature]);
    return out;
}

TEST(Platform, NothingReadableUnderAPlainMachine) {
    Snapshot s;
    PlatformSource src = Source();
    src.deviceGuardError = "ConnectServer(ROOT\\Microsoft\\Windows\\DeviceGuard): HRESULT 0x8004100E";
    CollectPlatformFrom(s, src);
    ASSERT_EQ(s.tables.size(), 2u);
    EXPECT_EQ(s.tables[0].id, "platform.posture");
    EXPECT_EQ(s.tables[1].id, "platform.wsc");
    Rows rows;
    for (const TableRow& r : Posture(s).rows) rows.push_back(r.cells);
    EXPECT_EQ(rows, (Rows{
                        {"Firmware type", "[info] unknown", "GetFirmwareType"},
                        {"Secure Boot", "[info] not reported", "HKLM\\...\\SecureBoot\\State\\UEFISecureBootEnabled"},
                        {"Code integrity", "[info] query failed", "NtQuerySystemInformation(SystemCodeIntegrityInformation)"},
                        {"Virtualization-based security", "[info] unknown",
                         "WMI: ConnectServer(ROOT\\Microsoft\\Windows\\DeviceGuard): HRESULT 0x8004100E"},
                        {"Microsoft vulnerable driver blocklist", "[warn] disabled",
                         "HKLM\\...\\CI\\Config\\VulnerableDriverBlocklistEnable"},
                        {"IOMMU (DMAR / IVRS table)", "[warn] not reported", "ACPI tables"},
                        {"TPM 2.0", "[warn] not available", "Tbsi_GetDeviceInfo"},
                        {"Measured boot log vs PCRs", "[info] not compared", "Tbsi_Get_TCG_Log_Ex + TPM2_PCR_Read"},
                        {"Runtime attestation report", "[info] API not present on this Windows build",
                         "GetRuntimeAttestationReport (Secure Kernel)"},
                    }));
    EXPECT_EQ(s.facts, (std::map<std::string, std::string>{{"plat.blocklist", "0"}, {"plat.secureboot", "0"},
                                                            {"plat.uefi", "0"}, {"plat.wsc", "0"}}));
    EXPECT_TRUE(s.tables[1].note.ends_with(
        " Security Center namespace not available (server editions do not have it)."));
}

TEST(Platform, CodeIntegrityOptions) {
    struct Case {
        uint32_t options;
        std::map<std::string, std::string> states;  // rows that must be there
        std::vector<std::string> absent;
        std::map<std::string, std::string> facts;
    } cases[] = {
        {0x0001,
         {{"Code integrity", "[ok] enabled"}, {"Test signing", "[ok] off"}, {"Kernel debugging mode", "[ok] off"},
          {"HVCI (memory integrity) - kernel mode CI", "[warn] off"},
          {"User-mode code integrity (WDAC/App Control)", "[info] off"}},
         {"Flight signing", "WHQL-only kernel driver policy"},
         {{"plat.ci_ok", "1"}, {"plat.testsign", "0"}, {"plat.debug", "0"}, {"plat.hvci_ci", "0"}}},
        {0x4001, {{"WHQL-only kernel driver policy", "[ok] enforced"}}, {}, {}},
        {0xC001, {{"WHQL-only kernel driver policy", "[info] audit mode"}}, {}, {}},
        {0x8000, {{"Code integrity", "[bad] disabled"}, {"WHQL-only kernel driver policy", "[info] audit mode"}}, {}, {}},
        {0x0687,
         {{"Test signing", "[bad] ON - test-signed kernel code can load"}, {"Kernel debugging mode", "[bad] ON"},
          {"HVCI (memory integrity) - kernel mode CI", "[ok] enforced"},
          {"User-mode code integrity (WDAC/App Control)", "[info] enforced"},
          {"Flight signing", "[warn] enabled (Insider builds)"}},
         {},
         {{"plat.testsign", "1"}, {"plat.debug", "1"}, {"plat.hvci_ci", "1"}}},
    };
    for (const Case& c : cases) {
        Snapshot s;
        PlatformSource src = Source();
        src.ciOptions = c.options;
        CollectPlatformFrom(s, src);
        const auto states = States(s);
        for (const auto& [feature, state] : c.states) EXPECT_EQ(states.at(feature), state) << std::hex << c.options;
        for (const std::string& feature : c.absent) EXPECT_EQ(states.count(feature), 0u) << feature;
        for (const auto& [key, value] : c.facts) EXPECT_EQ(GetFact(s, key), value) << key;
    }
    Snapshot s;
    PlatformSource src = Source();
    src.ciOptions = 0x1;
    CollectPlatformFrom(s, src);
    EXPECT_EQ(Posture(s).rows.at(2).cells[col::platform_posture::kEvidence], "CodeIntegrityOptions = 0x00000001");
}

TEST(Platform, DeviceGuard) {
    Snapshot s;
    PlatformSource src = Source();
    src.deviceGuard = {2, {1, 2, 3}, {0, 3, 9, 5}};
    CollectPlatformFrom(s, src);
    auto states = States(s);
    EXPECT_EQ(states["Virtualization-based security"], "[ok] running");
    EXPECT_EQ(states["HVCI service"], "[ok] running");
    EXPECT_EQ(states["Credential Guard"], "[ok] running");
    EXPECT_EQ(states["System Guard Secure Launch (DRTM)"], "[ok] running");
    EXPECT_EQ(states["Hardware security properties available"], "[info] DMA protection, NX");
    EXPECT_EQ(GetFact(s, fact::kPlatVbs), "1");
    EXPECT_EQ(GetFact(s, fact::kPlatHvci), "1");
    EXPECT_EQ(GetFact(s, fact::kPlatDmaCapable), "1");

    s = Snapshot();
    src.deviceGuard = {1, {}, {1, 2, 4, 6, 7, 8}};
    CollectPlatformFrom(s, src);
    states = States(s);
    EXPECT_EQ(states["Virtualization-based security"], "[warn] enabled, not running");
    EXPECT_EQ(states["HVCI service"], "[warn] not running");
    EXPECT_EQ(states["Credential Guard"], "[info] not running");
    EXPECT_EQ(states.count("System Guard Secure Launch (DRTM)"), 0u);
    EXPECT_EQ(states["Hardware security properties available"],
              "[info] hypervisor support, Secure Boot, secure memory overwrite, SMM mitigations, MBEC/GMET, APIC "
              "virtualization");
    EXPECT_EQ(GetFact(s, fact::kPlatVbs), "0");
    EXPECT_EQ(GetFact(s, fact::kPlatDmaCapable), "0");

    // A query that ran but gave no row: no facts, empty error.
    s = Snapshot();
    src.deviceGuard = {};
    CollectPlatformFrom(s, src);
    EXPECT_EQ(Posture(s).rows.at(3).cells, (std::vector<std::string>{"Virtualization-based security", "[info] unknown", "WMI: "}));
    EXPECT_FALSE(HasFact(s, fact::kPlatVbs));
}

TEST(Platform, BlocklistDefaultsByBuild) {
    struct Case {
        std::optional<uint32_t> value;
        const char* build;
        const char* state;
        const char* fact;
    } cases[] = {
        {std::nullopt, "22620", "[warn] disabled", "0"},
        {std::nullopt, "22621", "[ok] enabled (default)", "1"},
        {std::nullopt, "", "[warn] disabled", "0"},
        {std::nullopt, "x", "[warn] disabled", "0"},
        {0u, "26100", "[warn] disabled", "0"},
        {1u, "7601", "[ok] enabled", "1"},
    };
    for (const Case& c : cases) {
        Snapshot s;
        if (*c.build) SetFact(s, fact::kOsBuild, c.build);
        PlatformSource src = Source();
        src.blocklist = c.value;
        CollectPlatformFrom(s, src);
        EXPECT_EQ(States(s)["Microsoft vulnerable driver blocklist"], c.state) << c.build;
        EXPECT_EQ(GetFact(s, fact::kPlatBlocklist), c.fact) << c.build;
    }
}

RegValue Dword(const wchar_t* name, uint32_t v) {
    RegValue r{name, 4, {}};
    for (int i = 0; i < 4; ++i) r.data.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return r;
}

RegValue Sz(const wchar_t* name, const char* text) {
    RegValue r{name, 1, {}};
    for (const char* p = text; *p; ++p) r.data.insert(r.data.end(), {static_cast<uint8_t>(*p), 0});
    r.data.insert(r.data.end(), {0, 0});
    return r;
}

TEST(Platform, FirmwareSecureBootServicingAndSmartAppControl) {
    Snapshot s;
    SetFact(s, fact::kAcpiIommu, "1");
    SetFact(s, fact::kAcpiDmaOptIn, "1");
    SetFact(s, fact::kTpmVersion, "2.0");
    SetFact(s, fact::kTpmLog, "mismatch");
    PlatformSource src = Source();
    src.firmwareType = 2;
    src.secureBoot = 1;
    src.servicing = {Dword(L"AvailableUpdates", 0x4100), Sz(L"Other", "x"), Sz(L"UEFICA2023Status", "updated"),
                     Dword(L"UEFICA2023Error", 0)};
    src.smartAppControl = 2;
    CollectPlatformFrom(s, src);
    const std::vector<std::string> features = Features(s);
    EXPECT_EQ(std::vector<std::string>(features.begin(), features.begin() + 5),
              (std::vector<std::string>{"Firmware type", "Secure Boot", "Secure Boot servicing: AvailableUpdates",
                                        "Secure Boot CA 2023 certificate update", "Secure Boot servicing: UEFICA2023Error"}));
    auto states = States(s);
    EXPECT_EQ(states["Firmware type"], "[ok] UEFI");
    EXPECT_EQ(states["Secure Boot"], "[ok] enabled");
    EXPECT_EQ(states["Secure Boot servicing: AvailableUpdates"], "[info] 16640 (0x4100)");
    EXPECT_EQ(states["Secure Boot CA 2023 certificate update"], "[ok] updated");
    EXPECT_EQ(states["Smart App Control"], "[info] evaluation");
    EXPECT_EQ(states["IOMMU (DMAR / IVRS table)"], "[ok] present, firmware opted into DMA protection");
    EXPECT_EQ(states["TPM 2.0"], "[ok] present");
    EXPECT_EQ(states["Measured boot log vs PCRs"], "[warn] replay differs");
    EXPECT_EQ(GetFact(s, fact::kPlatUefi), "1");
    EXPECT_EQ(GetFact(s, fact::kPlatSecureBoot), "1");

    s = Snapshot();
    src.firmwareType = 1;
    src.secureBoot = 0;
    src.servicing = {Sz(L"UEFICA2023Status", "InProgress")};
    src.smartAppControl = 0;
    CollectPlatformFrom(s, src);
    states = States(s);
    EXPECT_EQ(states["Firmware type"], "[warn] legacy BIOS");
    EXPECT_EQ(states["Secure Boot"], "[warn] disabled");
    EXPECT_EQ(states["Secure Boot CA 2023 certificate update"], "[info] InProgress");
    EXPECT_EQ(states["Smart App Control"], "[info] off");
    EXPECT_EQ(GetFact(s, fact::kPlatSecureBoot), "0");
}

// A fake GetRuntimeAttestationReport: sizes per selector (0 = fails with
// `error` for that selector), and the answer of the request.
struct FakeAttestation {
    std::map<uint64_t, std::pair<uint32_t, uint32_t>> sizeQuery;  // selector -> (size, error when failing)
    bool requestOk = true;
    uint32_t written = 0;  // 0: the whole buffer
    std::vector<uint64_t> selectors;  // of every call

    AttestationCall Call() {
        return [this](const uint8_t* nonce, uint16_t version, uint64_t sel, void* buffer, uint32_t* size, uint32_t* err) {
            selectors.push_back(sel);
            EXPECT_EQ(version, 1);
            if (!buffer) {
                EXPECT_EQ(nonce, nullptr);
                const auto [n, e] = sizeQuery[sel];
                *size = n;
                *err = e;
                return false;
            }
            EXPECT_NE(nonce, nullptr);
            if (!requestOk) {
                *err = 5;
                return false;
            }
            std::fill_n(static_cast<uint8_t*>(buffer), *size, 0xAB);
            if (written) *size = written;
            return true;
        };
    }
};

TEST(RuntimeReport, Sequence) {
    const auto random = [](uint8_t*, size_t) { return true; };
    const auto text = [](uint32_t e) { return "error " + std::to_string(e); };
    struct Case {
        FakeAttestation fake;
        std::string state;
        bool produced;
        std::vector<uint64_t> selectors;
    } cases[] = {
        {{{{3, {64, 122}}}, true, 0, {}}, "[ok] signed report produced: 64 bytes, SHA-256 ", true, {3, 3}},
        // Selector 3 refused as a parameter: the size query and the request use 1.
        {{{{3, {0, 87}}, {1, {32, 122}}}, true, 16, {}}, "[ok] signed report produced: 16 bytes, SHA-256 ", true,
         {3, 1, 1}},
        {{{{3, {0, 50}}}, true, 0, {}}, "[warn] size query failed: error 50", false, {3}},
        {{{{3, {128, 31}}}, true, 0, {}}, "[warn] size query failed: error 31", false, {3}},
        {{{{3, {64, 122}}}, false, 0, {}}, "[warn] report request failed: error 5", false, {3, 3}},
        {{{{3, {kMaxRuntimeReportSize + 1, 122}}}, true, 0, {}},
         "[warn] size query failed: 16777217 bytes is above the 16777216-byte limit", false, {3}},
    };
    for (Case& c : cases) {
        bool produced = false;
        const std::string state = RequestRuntimeReport(c.fake.Call(), random, text, produced);
        EXPECT_EQ(produced, c.produced) << state;
        if (c.produced) {
            EXPECT_TRUE(state.starts_with(c.state)) << state;
            EXPECT_TRUE(state.ends_with(" (verify on a backend; not verified locally)")) << state;
            EXPECT_EQ(state.size(), c.state.size() + 16 + 44) << state;
        } else {
            EXPECT_EQ(state, c.state);
        }
        EXPECT_EQ(c.fake.selectors, c.selectors) << state;
    }
}

TEST(RuntimeReport, AskedOnlyWithMemoryIntegrity) {
    FakeAttestation fake{{{3, {64, 122}}}, true, 0, {}};
    Snapshot s;
    PlatformSource src = Source();
    src.attestation = fake.Call();
    src.ciOptions = 0x1;
    CollectPlatformFrom(s, src);
    EXPECT_EQ(States(s)["Runtime attestation report"],
              "[info] API present; a report requires VBS + HVCI (memory integrity), which are off");
    EXPECT_TRUE(fake.selectors.empty());
    EXPECT_FALSE(HasFact(s, fact::kPlatRuntimeReport));

    s = Snapshot();
    src.ciOptions = 0x401;
    CollectPlatformFrom(s, src);
    EXPECT_TRUE(States(s)["Runtime attestation report"].starts_with("[ok] signed report produced: 64 bytes"));
    EXPECT_EQ(GetFact(s, fact::kPlatRuntimeReport), "1");
}

TEST(SecurityCenter, ProductRowsAndNotes) {
    Snapshot s;
    PlatformSource src = Source();
    src.productQueryOk = true;
    src.products = {{"antivirus", {{"Defender", 0x061100, "Thu, 10 Dec 2026 10:00:00 GMT"}, {"Old AV", 0x060010, ""}}},
                    {"firewall", {{"Wall", 0, ""}}}};
    CollectPlatformFrom(s, src);
    Rows rows;
    for (const TableRow& r : s.tables[1].rows) rows.push_back(r.cells);
    EXPECT_EQ(rows, (Rows{{"antivirus", "Defender", "enabled (0x061100)", "up to date", "Thu, 10 Dec 2026 10:00:00 GMT"},
                          {"antivirus", "Old AV", "disabled (0x060010)", "out of date", ""},
                          {"firewall", "Wall", "disabled (0x000000)", "up to date", ""}}));
    EXPECT_EQ(GetFact(s, fact::kPlatWsc), "3");
    EXPECT_EQ(s.tables[1].sens, 0x10u);  // the update time, an event of this installation
    EXPECT_TRUE(s.tables[1].note.ends_with("decoded from productState."));

    s = Snapshot();
    src.products = {{"antivirus", {}}};
    CollectPlatformFrom(s, src);
    EXPECT_TRUE(s.tables[1].note.ends_with("decoded from productState. No products registered."));
    EXPECT_EQ(GetFact(s, fact::kPlatWsc), "0");
}

}  // namespace
}  // namespace vorq
