#include <gtest/gtest.h>

#include "collectors/processor/smbios_names.h"

namespace vorq {
namespace {

TEST(SmbiosNames, PlaceholderValues) {
    struct Case {
        const char* text;
        bool placeholder;
    } cases[] = {
        {"", true},
        {"   ", true},
        {"  To Be Filled By O.E.M.  ", true},
        {"0000000", true},
        {"xxxx", true},
        {"..", true},
        {"Please Change", true},
        {"Default String", true},
        {"N/A", true},
        {"SN12345678", true},
        {"Chassis Manufacture", true},
        {"Board - to be filled later", true},  // contains the phrase, 12 bytes or more
        {"0", false},
        {"A1B2", false},
        {"x", false},
        {"to be filled", true},  // exactly 12 bytes
        {"PF2ABCDE", false},
        {"Default String 2", false},
        {"noneX", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsPlaceholderValue(c.text), c.placeholder) << '"' << c.text << '"';
}

TEST(SmbiosNames, PlaceholderUuids) {
    const uint8_t zeros[16] = {};
    uint8_t ones[16];
    std::fill(std::begin(ones), std::end(ones), 0xFF);
    const uint8_t counting[16] = {0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 9};
    const uint8_t swapped[16] = {3, 0, 2, 0, 4, 0, 5, 0, 0, 6, 0, 7, 0, 8, 0, 9};
    uint8_t real[16] = {0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 0x0A};
    EXPECT_TRUE(IsPlaceholderUuid(zeros));
    EXPECT_TRUE(IsPlaceholderUuid(ones));
    EXPECT_TRUE(IsPlaceholderUuid(counting));
    EXPECT_TRUE(IsPlaceholderUuid(swapped));
    EXPECT_FALSE(IsPlaceholderUuid(real));
    real[15] = 0xFF;
    EXPECT_FALSE(IsPlaceholderUuid(real));
}

TEST(SmbiosNames, UuidTextByVersion) {
    const uint8_t u[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                           0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(FormatSmbiosUuid(u, true), "33221100-5544-7766-8899-AABBCCDDEEFF");
    EXPECT_EQ(FormatSmbiosUuid(u, false), "00112233-4455-6677-8899-AABBCCDDEEFF");
}

TEST(SmbiosNames, VendorIdText) {
    const uint8_t ifx[4] = {'I', 'F', 'X', 0};
    const uint8_t odd[4] = {' ', 0x01, 'N', 0x80};
    const uint8_t none[4] = {0, 0, 0, 0};
    EXPECT_EQ(VendorIdText(ifx), "IFX");
    EXPECT_EQ(VendorIdText(odd), "N");
    EXPECT_EQ(VendorIdText(none), "");
}

TEST(SmbiosNames, CodeNames) {
    EXPECT_STREQ(ChassisTypeName(3), "Desktop");
    EXPECT_STREQ(ChassisTypeName(0x80 | 10), "Notebook");  // lock bit ignored
    EXPECT_STREQ(ChassisTypeName(36), "Stick PC");
    EXPECT_STREQ(ChassisTypeName(1), "Other");
    EXPECT_STREQ(ChassisTypeName(20), "Other");
    EXPECT_STREQ(ChassisTypeName(37), "Other");
    EXPECT_STREQ(MemoryFormFactorName(13), "SODIMM");
    EXPECT_STREQ(MemoryFormFactorName(10), "Other");
    EXPECT_STREQ(MemoryTypeName(34), "DDR5");
    EXPECT_STREQ(MemoryTypeName(25), "Other");
    EXPECT_STREQ(SmbiosStructureTypeName(0), "BIOS Information");
    EXPECT_STREQ(SmbiosStructureTypeName(46), "String Property");
    EXPECT_STREQ(SmbiosStructureTypeName(47), "Unknown");
    EXPECT_STREQ(SmbiosStructureTypeName(125), "Unknown");
    EXPECT_STREQ(SmbiosStructureTypeName(126), "Inactive");
    EXPECT_STREQ(SmbiosStructureTypeName(127), "End-of-Table");
    EXPECT_STREQ(SmbiosStructureTypeName(128), "OEM-specific");
    EXPECT_STREQ(WakeUpTypeName(0), "Reserved");
    EXPECT_STREQ(WakeUpTypeName(8), "AC Power Restored");
    EXPECT_STREQ(WakeUpTypeName(9), "?");
    EXPECT_STREQ(ErrorCorrectionName(0), "?");
    EXPECT_STREQ(ErrorCorrectionName(7), "CRC");
    EXPECT_STREQ(ErrorCorrectionName(8), "?");
    EXPECT_STREQ(SlotUsageName(3), "available");
    EXPECT_STREQ(SlotUsageName(4), "in use");
    EXPECT_STREQ(SlotUsageName(5), "unavailable");
    EXPECT_STREQ(SlotUsageName(1), "other/unknown");
}

}  // namespace
}  // namespace vorq
