// The names Windows and makers write where a person may type one: shown by a
// privacy-safe report in every language they are known in, their near misses
// masked.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/masked_values.h"
#include "core/placeholders.h"
#include "core/report.h"
#include "tests/unit/test_support.h"

namespace vorq {
namespace {

// The tab-separated rows of a file below tests/fixtures, comments left out.
std::vector<std::vector<std::string>> Rows(const std::string& relative) {
    const std::vector<uint8_t> bytes = test::ReadFixture(relative);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        rows.push_back(std::move(fields));
    }
    return rows;
}

bool IsDefaultOfKind(const std::string& kind, const std::string& text) {
    if (kind == "network") return IsDefaultNetworkName(text);
    if (kind == "volume") return IsDefaultVolumeLabel(text);
    if (kind == "owner") return IsDefaultOwnerName(text);
    if (kind == "account") return IsBuiltInAccountName(text);
    ADD_FAILURE() << "unknown kind " << kind;
    return false;
}

TEST(WindowsDefaults, EachLanguagesNamesShownTheirNearMissesMasked) {
    const auto rows = Rows("defaults/typed_texts.tsv");
    ASSERT_FALSE(rows.empty());
    Snapshot s;
    Table t = MakeTable("t", "t.typed", "Typed", {{"Text", Role::Typed}});
    for (const auto& r : rows) {
        ASSERT_EQ(r.size(), 4u);
        const bool shown = r[3] == "shown";
        EXPECT_EQ(IsDefaultOfKind(r[1], r[2]), shown) << r[0] << ": " << r[2];
        EXPECT_EQ(IsDefaultTypedText(r[2]), shown) << r[0] << ": " << r[2];
        AddRow(t, {r[2]});
    }
    s.tables.push_back(std::move(t));
    std::string safe;
    WriteSnapshotJsonWithKey(safe, s, kReportSafe, Bytes(32, 7));
    for (const auto& r : rows)
        EXPECT_EQ(safe.find("\"" + r[2] + "\"") != std::string::npos, r[3] == "shown") << r[0] << ": " << r[2];
}

// What the build compiled is the data file: each of its names is a default of
// its kind, a network's numbered forms too.
TEST(WindowsDefaults, TheDataFileIsWhatTheBuildCompiled) {
    const auto rows = Rows("../../core/windows_defaults.tsv");
    ASSERT_FALSE(rows.empty());
    for (const auto& r : rows) {
        ASSERT_EQ(r.size(), 4u);
        EXPECT_FALSE(r[3].empty()) << r[2] << " has no source";
        EXPECT_TRUE(IsDefaultOfKind(r[0], r[2])) << r[1] << ": " << r[2];
        if (r[0] == "network") {
            EXPECT_TRUE(IsDefaultOfKind(r[0], r[2] + " 2")) << r[1] << ": " << r[2];
            EXPECT_FALSE(IsDefaultOfKind(r[0], r[2] + " 2 Ana")) << r[1] << ": " << r[2];
        }
    }
}

// A router's or an internal network's default domain is shown where a person
// may type a DNS suffix (as the DNS domain it names no organization:
// MaskedValues.PublicSuffixList); a domain of one's own is masked.
TEST(WindowsDefaults, InternalNetworkDomains) {
    const std::pair<const char*, bool> cases[] = {
        {"home", true},  {"LAN", true},        {"fritz.box", true},  {"home.arpa", true}, {" corp ", true},
        {"internal", true}, {"workgroup", true}, {"localdomain", true}, {"hollowmere", false}, {"home2", false},
        {"corp.hollowmere.example", false},
    };
    for (const auto& [domain, internal] : cases) {
        EXPECT_EQ(IsInternalNetworkDefault(domain), internal) << domain;
        EXPECT_EQ(IsDefaultTypedText(domain), internal) << domain;
    }
}

TEST(WindowsDefaults, SetupsPartitionTypes) {
    const std::pair<const char*, bool> cases[] = {
        {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", true},    // EFI system
        {"{c12a7328-f81f-11d2-ba4b-00a0c93ec93b}", true},  // with braces
        {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", true},    // Microsoft reserved
        {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", true},    // Windows recovery
        {"0xEF", true},
        {"0x27", true},
        {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", false},  // basic data
        {"0x07", false},
        {"C12A7328-F81F-11D2-BA4B-00A0C93EC93C", false},
        {"{C12A7328-F81F-11D2-BA4B-00A0C93EC93B", false},
        {"", false},
    };
    for (const auto& [type, setup] : cases) EXPECT_EQ(IsSetupPartitionType(type), setup) << type;
}

TEST(WindowsDefaults, LabelsThatRestateTheDrivesModel) {
    const struct {
        const char* label;
        const char* model;
        bool maker;
    } cases[] = {
        {"My Passport", "WD My Passport 25E2", true},
        {"MY PASSPORT", "WD My Passport 25E2", true},
        {"T7", "Samsung PSSD T7", true},
        {"Elements", "WD Elements 25A2", true},
        {" Expansion Drive ", "Seagate Expansion Drive", true},
        {"My Passport Ana", "WD My Passport 25E2", false},
        {"Ana", "WD My Passport 25E2", false},
        {"T7!", "Samsung PSSD T7", false},
        {"T7", "Samsung PSSD T70", false},
        {"Passport", "", false},
        {"", "WD My Passport 25E2", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsModelLabel(c.label, c.model), c.maker) << c.label << " / " << c.model;
}

TEST(WindowsDefaults, BuiltInAccountsByTheirRid) {
    const struct {
        const char* sid;
        const char* machine;
        bool builtIn;
    } cases[] = {
        {"S-1-5-21-11-22-33-500", "S-1-5-21-11-22-33", true},
        {"S-1-5-21-11-22-33-501", "S-1-5-21-11-22-33", true},
        {"S-1-5-21-11-22-33-503", "S-1-5-21-11-22-33", true},
        {"S-1-5-21-11-22-33-504", "S-1-5-21-11-22-33", true},
        {"S-1-5-21-11-22-33-502", "S-1-5-21-11-22-33", false},  // krbtgt, a domain's
        {"S-1-5-21-11-22-33-1001", "S-1-5-21-11-22-33", false},
        {"S-1-5-21-11-22-33-5000", "S-1-5-21-11-22-33", false},
        {"S-1-5-21-44-22-33-500", "S-1-5-21-11-22-33", false},  // another domain's administrator
        {"S-1-5-21-11-22-333-500", "S-1-5-21-11-22-33", false},
        {"S-1-5-21-11-22-33-500", "", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsBuiltInAccountSid(c.sid, c.machine), c.builtIn) << c.sid;
}

}  // namespace
}  // namespace vorq
