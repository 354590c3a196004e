#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "collectors/processor/acpi_scan.h"
#include "tests/unit/acpi_support.h"
#include "tests/unit/test_support.h"

namespace vorq {
namespace {

using test::AcpiTable;
using test::FixChecksum;

TEST(ScanAcpiTable, HeaderChecks) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool headerOk;
    };
    std::vector<uint8_t> trailing = AcpiTable("FACP", 1, std::vector<uint8_t>(8, 0));
    trailing.push_back(0x55);  // beyond Length: neither summed nor a reason to refuse
    std::vector<uint8_t> longer = AcpiTable("FACP", 1, {});
    longer[4] = 37;  // Length past the buffer
    FixChecksum(longer);
    std::vector<uint8_t> shortLength = AcpiTable("FACP", 1, {});
    shortLength[4] = 35;
    FixChecksum(shortLength);
    std::vector<uint8_t> badSum = AcpiTable("FACP", 1, std::vector<uint8_t>(4, 1));
    badSum[9]++;
    std::vector<uint8_t> cut35 = AcpiTable("FACP", 1, {});
    cut35.pop_back();
    std::vector<uint8_t> big = AcpiTable("SSDT", 1, std::vector<uint8_t>(kAcpiMaxTableSize - 36, 0));
    std::vector<uint8_t> tooBig = AcpiTable("SSDT", 1, std::vector<uint8_t>(kAcpiMaxTableSize - 35, 0));
    const Case cases[] = {
        {"minimal", AcpiTable("FACP", 1, {}), true},
        {"35 bytes", cut35, false},
        {"Length 35", shortLength, false},
        {"Length past buffer", longer, false},
        {"bytes after Length", trailing, true},
        {"checksum off by one", badSum, false},
        {"ASF!", AcpiTable("ASF!", 1, {}), true},
        {"lower case", AcpiTable("FAcP", 1, {}), false},
        {"underscore", AcpiTable("_SB_", 1, {}), false},
        {"blank", AcpiTable("AB C", 1, {}), false},
        {"exactly 4 MiB", big, true},
        {"4 MiB + 1", tooBig, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScanAcpiTable(c.bytes.data(), c.bytes.size()).headerOk, c.headerOk) << c.what;
    }
    EXPECT_FALSE(ScanAcpiTable(nullptr, 100).headerOk);
}

TEST(ScanAcpiTable, WaetRule) {
    auto rev1 = AcpiTable("WAET", 1, std::vector<uint8_t>(4, 0));
    auto rev2 = AcpiTable("WAET", 2, std::vector<uint8_t>(4, 0));
    auto short1 = AcpiTable("WAET", 1, std::vector<uint8_t>(3, 0));
    EXPECT_TRUE(ScanAcpiTable(rev1.data(), rev1.size()).waetValid);
    AcpiScanResult r2 = ScanAcpiTable(rev2.data(), rev2.size());
    EXPECT_TRUE(r2.headerOk);
    EXPECT_FALSE(r2.waetValid);
    EXPECT_FALSE(ScanAcpiTable(short1.data(), short1.size()).waetValid);
}

std::vector<uint8_t> Named(const char* name, const std::string& id) {
    std::vector<uint8_t> v(id.size() + 7, 0);
    v[0] = 0x08;
    std::memcpy(v.data() + 1, name, 4);
    v[5] = 0x0D;
    std::memcpy(v.data() + 6, id.data(), id.size());
    return v;
}

std::vector<uint8_t> Cat(std::vector<std::vector<uint8_t>> parts) {
    std::string out;
    for (auto& p : parts) out.append(p.begin(), p.end());
    return std::vector<uint8_t>(out.begin(), out.end());
}

TEST(ScanAcpiTable, AmlPatterns) {
    struct Case {
        const char* what;
        std::vector<uint8_t> table;
        bool qemu, genId, clock;
    };
    // A pattern ending exactly at Length matches; one byte more of it is cut off by Length.
    auto cut = AcpiTable("DSDT", 2, Named("_HID", "QEMU0002"));
    cut.push_back(0);
    cut[4] = static_cast<uint8_t>(cut.size() - 2);
    FixChecksum(cut);
    auto badSum = AcpiTable("SSDT", 2, Named("_HID", "QEMU0002"));
    badSum.back() ^= 1;
    const Case cases[] = {
        {"qemu at end", AcpiTable("DSDT", 2, Named("_HID", "QEMU0002")), true, false, false},
        {"cut by Length", cut, false, false, false},
        {"_CID generation counter", AcpiTable("SSDT", 2, Named("_CID", "VM_Gen_Counter")), false, true, false},
        {"both generation forms", AcpiTable("SSDT", 2, Cat({Named("_HID", "QEMUVGID"), Named("_CID", "VM_Gen_Counter")})),
         false, true, false},
        {"Length 50, short clock", AcpiTable("DSDT", 2, Named("_CID", "VMCLOCK")), false, false, true},
        {"amazon clock", AcpiTable("DSDT", 2, Named("_HID", "AMZNC10C")), false, false, true},
        {"wrong name", AcpiTable("DSDT", 2, Named("_CID", "QEMU0002")), false, false, false},
        {"not AML", AcpiTable("FACP", 2, Named("_HID", "QEMU0002")), false, false, false},
        {"bad checksum", badSum, false, false, false},
    };
    EXPECT_EQ(cases[4].table.size(), 50u);
    for (const Case& c : cases) {
        AcpiScanResult r = ScanAcpiTable(c.table.data(), c.table.size());
        EXPECT_EQ(r.qemuDevice, c.qemu) << c.what;
        EXPECT_EQ(r.vmGenId, c.genId) << c.what;
        EXPECT_EQ(r.vmClock, c.clock) << c.what;
    }
}

TEST(ScanAcpiTable, RealGuestDsdt) {
    auto dsdt = test::ReadFixture("acpi/DSDT.bin");
    ASSERT_FALSE(dsdt.empty());
    AcpiScanResult r = ScanAcpiTable(dsdt.data(), dsdt.size());
    EXPECT_TRUE(r.headerOk);
    EXPECT_TRUE(r.isAml);
    EXPECT_TRUE(r.vmGenId);
    EXPECT_TRUE(r.vmClock);
    EXPECT_FALSE(r.qemuDevice);
}

TEST(AcpiNames, DescriptionsAndStartMethods) {
    EXPECT_EQ(DescribeAcpiSignature("ASF!"), "Alert Standard Format");
    EXPECT_EQ(DescribeAcpiSignature("FACP"), "Fixed ACPI Description (FADT)");
    EXPECT_EQ(DescribeAcpiSignature("facp"), "");
    EXPECT_EQ(DescribeAcpiSignature("XYZW"), "");
    EXPECT_STREQ(Tpm2StartMethodName(7), "Command Response Buffer (CRB)");
    EXPECT_STREQ(Tpm2StartMethodName(14), "CRB + Pluton");
    EXPECT_STREQ(Tpm2StartMethodName(3), "other");
}

}  // namespace
}  // namespace vorq
