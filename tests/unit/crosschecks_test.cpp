#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "assessment/crosschecks.h"
#include "collectors/devices/storage.h"

namespace vorq {
namespace {

Snapshot WithFacts(const std::map<std::string, std::string>& facts) {
    Snapshot s;
    for (const auto& [k, v] : facts) SetFact(s, k, v);
    return s;
}

const Check* Find(const Snapshot& s, const std::string& id) {
    for (const Check& c : s.checks)
        if (c.id == id) return &c;
    return nullptr;
}

TEST(CrossChecks, EmptyFactsGiveTwelveRowsInOrder) {
    Snapshot s;
    CollectCrossChecksFrom(s, {});
    std::vector<std::string> ids;
    for (const Check& c : s.checks) {
        ids.push_back(c.id);
        EXPECT_EQ(c.status, c.id == "x.placeholder" ? kPass : kInfo) << c.id;
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"x.uuid", "x.board", "x.nvme", "x.cpu", "x.cpuvendor", "x.tpmacpi", "x.ekcert",
                                             "x.gpu", "x.pcr", "x.placeholder", "x.fpu", "x.vm"}));
    EXPECT_EQ(GetFact(s, fact::kOsMemMb), "0");
    EXPECT_EQ(Find(s, "x.vm")->detail, "Virtualization classification unavailable");
}

TEST(CrossChecks, UuidAndBoardSerial) {
    struct Case {
        const char *fwUuid, *wmiUuid, *fwBoard, *wmiBoard;
        int uuidStatus, boardStatus;
        const char* boardDetail;
    } cases[] = {
        {"4C4C4544-0042-3510-8052-B4C04F4E3132", "4c4c454400423510 8052b4c04f4e3132", "ABC-1", "abc1", kPass, kPass,
         "both paths agree"},
        {"4C4C4544-0042-3510-8052-B4C04F4E3132", "", "", "XYZ", kInfo, kFail, "the raw SMBIOS table and WMI disagree"},
        {"AAAA", "BBBB", "ABC", "", kFail, kInfo, "one of the sources is unavailable"},
        {"", "", "", "", kInfo, kInfo, "not provided by the firmware"},
        {"", "", "ABC", "ABD", kInfo, kFail, "the raw SMBIOS table and WMI disagree"},
    };
    for (const auto& c : cases) {
        Snapshot s = WithFacts({{"smbios.uuid", c.fwUuid}, {"smbios.board_serial", c.fwBoard}});
        CollectCrossChecksFrom(s, CrossChecksSource{c.wmiUuid, c.wmiBoard, 0});
        EXPECT_EQ(Find(s, "x.uuid")->status, c.uuidStatus) << c.fwUuid << " / " << c.wmiUuid;
        EXPECT_EQ(Find(s, "x.board")->status, c.boardStatus) << c.fwBoard << " / " << c.wmiBoard;
        EXPECT_EQ(Find(s, "x.board")->detail, c.boardDetail);
    }
}

TEST(CrossChecks, NvmeAndSataSerials) {
    Snapshot s = WithFacts({{"nvme.sn:0", "S4EWNX0R123"},
                            {"nvme.desc:0", "S4EW_NX0R123."},
                            {"nvme.sn:1", "SERIAL-B"},
                            {"nvme.desc:1", "0025_3854_0000_0001."},
                            {"nvme.nguid:1", "0025385400000001"},
                            {"nvme.sn:2", "C"},
                            {"nvme.desc:2", "D"}});
    CollectCrossChecksFrom(s, {});
    EXPECT_EQ(Find(s, "x.nvme")->status, kWarn);
    EXPECT_EQ(Find(s, "x.nvme")->detail,
              "1 of 3 drive(s) report different values on the two paths (filter driver or controller formatting)");

    s = WithFacts({{"nvme.sn:0", "A1"}, {"nvme.desc:0", "A1"}, {"nvme.sn:1", "B"}, {"nvme.desc:1", "EU1"}, {"nvme.eui64:1", "eu1"}});
    CollectCrossChecksFrom(s, {});
    EXPECT_EQ(Find(s, "x.nvme")->detail,
              "2 drive(s) agree; 1 report the namespace NGUID/EUI-64 as the device serial (StorNVMe convention)");

    // 20 bytes of serial delivered as 40 hex digits with each 16-bit word byte-swapped.
    s = WithFacts({{"ata.sn:0", "WD-WCC4N1234567"},
                   {"ata.desc:0", "4457572d43434e34323134333635203720202020"}});
    CollectCrossChecksFrom(s, {});
    ASSERT_NE(Find(s, "x.ata"), nullptr);
    EXPECT_EQ(Find(s, "x.ata")->status, kPass);
    EXPECT_EQ(DecodeSwappedHexSerial("44575"), "");
    EXPECT_EQ(DecodeSwappedHexSerial("445757442d5743"), "");          // 14 characters
    EXPECT_EQ(DecodeSwappedHexSerial("4457572d4343344e00"), "");    // 18 characters
    EXPECT_EQ(DecodeSwappedHexSerial("4457572d4343344e"), "WD-WCCN4");
}

TEST(CrossChecks, ProcessorComparisons) {
    auto tokens = ModelNumberTokens("Intel(R) Core(TM) i7-8700K CPU @ 3.70GHz");
    EXPECT_EQ(tokens, (std::vector<std::string>{"i7-8700k", "70ghz"}));

    Snapshot s = WithFacts({{"cpu.arch.cpuid_safe", "1"},
                            {"cpu.brand", "Intel(R) Core(TM) i7-8700K CPU"},
                            {"smbios.cpu.version", "Intel(R) Core(TM) i7-8700K CPU @ 3.70GHz"},
                            {"cpu.vendor", "GenuineIntel"},
                            {"smbios.cpu.manufacturer", "intel corporation"},
                            {"cpu.logical", "8"},
                            {"smbios.cpu.threads", "8"},
                            {"acpi.madt_cpus", "4"}});
    CollectCrossChecksFrom(s, {});
    EXPECT_EQ(Find(s, "x.cpu")->status, kPass);
    EXPECT_EQ(Find(s, "x.cpuvendor")->status, kPass);
    EXPECT_EQ(Find(s, "x.threads")->status, kPass);
    EXPECT_EQ(Find(s, "x.madt")->status, kWarn);

    s = WithFacts({{"cpu.arch.cpuid_safe", "1"}, {"cpu.vendor", "HygonGenuine"}, {"smbios.cpu.manufacturer", "AMD"},
                   {"cpu.brand", "no model"}, {"smbios.cpu.version", "x"}});
    CollectCrossChecksFrom(s, {});
    EXPECT_EQ(Find(s, "x.cpuvendor")->status, kInfo);
    EXPECT_EQ(Find(s, "x.cpuvendor")->detail, "HygonGenuine vs \"AMD\"");
    EXPECT_EQ(Find(s, "x.cpu")->detail, "SMBIOS processor version not provided");
}

TEST(CrossChecks, MemoryBounds) {
    struct Case {
        double osMb;
        int status;
    } cases[] = {{16384, kPass}, {12288, kPass}, {12000, kWarn}, {16400, kPass}, {16401, kWarn}};
    for (const auto& c : cases) {
        Snapshot s = WithFacts({{"smbios.mem_mb", "16384"}});
        CollectCrossChecksFrom(s, CrossChecksSource{"", "", static_cast<uint64_t>(c.osMb * 1048576.0)});
        ASSERT_NE(Find(s, "x.mem"), nullptr);
        EXPECT_EQ(Find(s, "x.mem")->status, c.status) << c.osMb;
    }
}

TEST(CrossChecks, TpmVendorAndAcpi) {
    Snapshot s = WithFacts({{"tpm.status", "available"}, {"tpm.present", "1"}, {"tpm.version", "2.0"},
                            {"tpm.manufacturer", "IFX"}, {"smbios.tpm.vendor", "XFI"}, {"acpi.tpm2", "1"}});
    CollectCrossChecksFrom(s, {});
    EXPECT_EQ(Find(s, "x.tpmvendor")->status, kPass);
    EXPECT_EQ(Find(s, "x.tpmacpi")->status, kPass);
    s = WithFacts({{"tpm.status", "available"}, {"tpm.present", "1"}, {"tpm.version", "1.2"}});
    CollectCrossChecksFrom(s, {});
    EXPECT_EQ(Find(s, "x.tpmacpi")->status, kInfo);
}

TEST(CrossChecks, EsrtVersionMatchingWithoutOverflow) {
    struct Case {
        const char *esrt, *bios;
        int status;
        const char* tail;
    } cases[] = {
        {"7E", "1.26", kPass, "0x7E read as decimal 126"},
        {"126", "1.26", kPass, "0x126 read as hex"},
        {"0,7E", "1.26", kPass, "0x7E read as decimal 126"},
        {"1", "F.FFFFFFFFFFFFFFFFFFFF", kInfo, "(vendors encode the two differently)"},
        {"FFFFFFFFFFFFFFFFFFFFFF", "1.26", kInfo, "(vendors encode the two differently)"},
    };
    for (const auto& c : cases) {
        Snapshot s = WithFacts({{"uefi.esrt_sysver", c.esrt}, {"smbios.bios_version", c.bios}});
        CollectCrossChecksFrom(s, {});
        const Check* x = Find(s, "x.esrt");
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->status, c.status) << c.esrt;
        EXPECT_TRUE(x->detail.size() >= strlen(c.tail) && x->detail.compare(x->detail.size() - strlen(c.tail), strlen(c.tail), c.tail) == 0)
            << x->detail;
    }
}

TEST(CrossChecks, MacListsAndContextRows) {
    Snapshot s = WithFacts({{"net.perm_macs", "00-11-22-33-44-55,"},
                            {"net.cur_macs", "02:11:22:33:44:55"},
                            {"net.duid_mac", "021122334455"},
                            {"ms.rearm", "998"},
                            {"win.lineage_count", "0"}});
    CollectCrossChecksFrom(s, {});
    EXPECT_EQ(Find(s, "x.duid")->status, kInfo);
    EXPECT_EQ(Find(s, "x.rearm")->detail, "998 re-arm(s) left of the default 1001 - the image was generalized (sysprep) 3 time(s)");
    EXPECT_EQ(Find(s, "x.lineage")->detail, "clean installation - no earlier Windows version recorded");
    EXPECT_TRUE(ListContainsId("a,,00:11", ""));
    EXPECT_TRUE(ListContainsId("00-11-22-33-44-55,", "001122334455"));

    s = WithFacts({{"win.lineage_count", "2"}});
    CollectCrossChecksFrom(s, {});
    EXPECT_EQ(Find(s, "x.lineage"), nullptr);  // an upgraded lineage without a date is not called clean

    // The dated detail restates part of the masked first installation time:
    // that part is a time argument, masked; the clean-installation text is the
    // program's own.
    s = WithFacts({{"win.lineage_count", "2"}, {"win.first_install", "2018-11-13 10:20:00 UTC"}});
    CollectCrossChecksFrom(s, {});
    EXPECT_EQ(Find(s, "x.lineage")->detail,
              "2 earlier Windows version(s) upgraded in place; the lineage was first installed in 2018-11");
    const std::vector<Arg>& args = Find(s, "x.lineage")->detailSaid.args;
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[1].text, "2018-11");
    EXPECT_TRUE(MaskedRole(args[1].role));
    s = WithFacts({{"win.lineage_count", "0"}});
    CollectCrossChecksFrom(s, {});
    EXPECT_TRUE(Find(s, "x.lineage")->detailSaid.args.empty());
}

TEST(CrossChecks, GetFactIntParsesLikeAtoiAndSaturates) {
    struct Case {
        const char* text;
        int32_t want;
    } cases[] = {{"42", 42}, {"  -7x", -7}, {"+3", 3}, {"x", 0}, {"", 0}, {"99999999999999999999", INT32_MAX},
                 {"-99999999999999999999", INT32_MIN}};
    for (const auto& c : cases) {
        Snapshot s = WithFacts({{"k", c.text}});
        EXPECT_EQ(GetFactInt(s, "k"), c.want) << c.text;
    }
}

}  // namespace
}  // namespace vorq
